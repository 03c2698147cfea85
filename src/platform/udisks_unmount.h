#pragma once
// Unmounting through UDisks2: org.freedesktop.UDisks2.Filesystem.Unmount on the block device's
// object "/org/freedesktop/UDisks2/block_devices/<name>", over Qt D-Bus. Interactive
// authorisation is allowed, so the desktop may ask for a password where its policy wants one.
//
// Thread: one thread at a time. Works with or without a Qt application object.

#include "platform/unmount_service.h"

#include <string>

namespace tavero::platform {

inline constexpr const char* kUDisksService = "org.freedesktop.UDisks2";

class UDisksUnmountService : public UnmountService {
public:
    // busAddress empty: the system bus; otherwise the bus at that address (tests run a bus of
    // their own with a stand-in service).
    explicit UDisksUnmountService(std::string busAddress = {});

    // True when the service is on the bus or the bus can start it.
    [[nodiscard]] static bool ServiceAvailable(const std::string& busAddress = {});

    [[nodiscard]] bool Unmount(const MountedFileSystem& fileSystem, std::string& error) override;
    [[nodiscard]] std::string Name() const override { return "UDisks2"; }

private:
    std::string m_busAddress;
};

// The object path of a block device: its kernel name with every character other than a letter
// or digit written as "_" and two hexadecimal digits ("dm-0" gives ".../block_devices/dm_2d0").
[[nodiscard]] std::string UDisksBlockObjectPath(const std::string& kernelName);

} // namespace tavero::platform
