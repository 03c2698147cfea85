#pragma once
// Unmounting a card's file systems before the card tools overwrite the card, the way the
// desktop does it: through UDisks2 on the system bus where that service runs (it asks polkit,
// so the user's own mounts stay the user's), else with umount2 when the program runs as root.
// The card tools decide what to unmount; this only does it.
//
// Thread: an object is used by one thread at a time (the card tools' UI thread).

#include <memory>
#include <string>

namespace tavero::platform {

// One mounted file system: the kernel name of its block device ("sdb1") and where it is
// mounted.
struct MountedFileSystem {
    std::string kernelName;
    std::string mountPoint;
};

class UnmountService {
public:
    virtual ~UnmountService() = default;
    // Unmounts the file system. Never forces: a file system with open files stays mounted.
    // False with the reason in error (busy, not allowed, no way to unmount).
    [[nodiscard]] virtual bool Unmount(const MountedFileSystem& fileSystem, std::string& error) = 0;
    // How it unmounts, for messages: "UDisks2", "umount2".
    [[nodiscard]] virtual std::string Name() const = 0;
};

// umount2(2) on the mount point, without MNT_FORCE or MNT_DETACH; needs root.
class SyscallUnmountService : public UnmountService {
public:
    [[nodiscard]] bool Unmount(const MountedFileSystem& fileSystem, std::string& error) override;
    [[nodiscard]] std::string Name() const override { return "umount2"; }
};

// Refuses every unmount with one reason (no UDisks2 on the bus and not root).
class NoUnmountService : public UnmountService {
public:
    explicit NoUnmountService(std::string reason) : m_reason(std::move(reason)) {}
    [[nodiscard]] bool Unmount(const MountedFileSystem& fileSystem, std::string& error) override;
    [[nodiscard]] std::string Name() const override { return "none"; }

private:
    std::string m_reason;
};

// UDisks2 when its service is on the system bus (running, or started by the bus on demand),
// else umount2 when running as root, else NoUnmountService.
[[nodiscard]] std::unique_ptr<UnmountService> MakeDesktopUnmountService();

} // namespace tavero::platform
