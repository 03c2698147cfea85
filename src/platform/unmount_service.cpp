#include "platform/unmount_service.h"

#include "platform/udisks_unmount.h"

#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#include <unistd.h>

namespace tavero::platform {

bool SyscallUnmountService::Unmount(const MountedFileSystem& fileSystem, std::string& error) {
    if (::umount2(fileSystem.mountPoint.c_str(), 0) == 0) {
        return true;
    }
    error = "umount " + fileSystem.mountPoint + ": " + std::strerror(errno);
    return false;
}

bool NoUnmountService::Unmount(const MountedFileSystem& fileSystem, std::string& error) {
    error = fileSystem.mountPoint + " cannot be unmounted: " + m_reason;
    return false;
}

std::unique_ptr<UnmountService> MakeDesktopUnmountService() {
    if (UDisksUnmountService::ServiceAvailable()) {
        return std::make_unique<UDisksUnmountService>();
    }
    if (::geteuid() == 0) {
        return std::make_unique<SyscallUnmountService>();
    }
    return std::make_unique<NoUnmountService>(
        "UDisks2 is not on the system bus and the program does not run as root");
}

} // namespace tavero::platform
