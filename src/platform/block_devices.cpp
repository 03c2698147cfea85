#include "platform/block_devices.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace tavero::platform {
namespace {

namespace fs = std::filesystem;

// First line of a small sysfs attribute file, without its line end; empty when unreadable.
std::string ReadAttribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) {
        return {};
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) {
        line.pop_back();
    }
    return line;
}

bool NodeFromSysPath(const fs::path& link, BlockNode& out) {
    std::error_code ec;
    const fs::path real = fs::canonical(link, ec);
    if (ec) {
        return false;
    }
    out = BlockNode{};
    out.sysPath = real.string();
    out.name = real.filename().string();
    const std::string partition = ReadAttribute(real / "partition");
    if (partition.empty()) {
        out.diskName = out.name;
        return true;
    }
    out.partition = std::atoi(partition.c_str());
    out.diskName = real.parent_path().filename().string();
    return out.partition > 0;
}

} // namespace

bool FindBlockNodeByDevNumber(const SystemRoots& roots, const std::string& majMin, BlockNode& out) {
    if (majMin.empty() || majMin.find('/') != std::string::npos) {
        return false;
    }
    return NodeFromSysPath(fs::path(roots.sys) / "dev" / "block" / majMin, out);
}

bool FindBlockNodeByName(const SystemRoots& roots, const std::string& name, BlockNode& out) {
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
        return false;
    }
    return NodeFromSysPath(fs::path(roots.sys) / "class" / "block" / name, out);
}

std::string KernelNameForPath(const SystemRoots& roots, const std::string& path) {
    std::error_code ec;
    const fs::path real = fs::weakly_canonical(path, ec);
    if (ec) {
        return {};
    }
    const fs::path devRoot = fs::weakly_canonical(roots.dev, ec);
    if (ec || real.parent_path() != devRoot) {
        return {};
    }
    return real.filename().string();
}

namespace {

std::vector<std::string> FolderNames(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The card in a built-in MMC/SD slot; not the boot and RPMB areas of an eMMC chip.
bool IsMmcCardName(const std::string& name) {
    return name.rfind("mmcblk", 0) == 0 && name.find("boot") == std::string::npos &&
           name.find("rpmb") == std::string::npos;
}

} // namespace

std::vector<std::string> Slaves(const SystemRoots& roots, const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos) {
        return {};
    }
    return FolderNames(fs::path(roots.sys) / "class" / "block" / name / "slaves");
}

std::vector<std::string> Holders(const SystemRoots& roots, const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos) {
        return {};
    }
    return FolderNames(fs::path(roots.sys) / "class" / "block" / name / "holders");
}

std::string LoopBackingFile(const SystemRoots& roots, const std::string& diskName) {
    if (diskName.rfind("loop", 0) != 0 || diskName.find('/') != std::string::npos) {
        return {};
    }
    return ReadAttribute(fs::path(roots.sys) / "class" / "block" / diskName / "loop" /
                         "backing_file");
}

DriveKind DiskKind(const SystemRoots& roots, const std::string& diskName) {
    if (diskName.rfind("sr", 0) == 0) {
        return DriveKind::CdRom;
    }
    if (IsMmcCardName(diskName)) {
        return DriveKind::Removable;
    }
    const std::string removable =
        ReadAttribute(fs::path(roots.sys) / "class" / "block" / diskName / "removable");
    return removable == "1" ? DriveKind::Removable : DriveKind::Fixed;
}

bool IsUsbAttached(const SystemRoots& roots, const std::string& diskName) {
    BlockNode node;
    if (!FindBlockNodeByName(roots, diskName, node)) {
        return false;
    }
    // USB devices sit under a bus folder "usbN"; their interfaces carry names like "1-1:1.0".
    for (const auto& part : fs::path(node.sysPath)) {
        const std::string piece = part.string();
        if (piece.rfind("usb", 0) == 0 && piece.size() > 3 &&
            std::all_of(piece.begin() + 3, piece.end(),
                        [](char c) { return c >= '0' && c <= '9'; })) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> ListPartitions(const SystemRoots& roots, const std::string& diskName) {
    std::vector<std::string> names;
    BlockNode disk;
    if (!FindBlockNodeByName(roots, diskName, disk) || disk.partition != 0) {
        return names;
    }
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(disk.sysPath, ec)) {
        if (fs::exists(entry.path() / "partition", ec)) {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string DevNumberOfFileSystem(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        return {};
    }
    return std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
}

bool RereadPartitionTable(int fd, std::string& error) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (!S_ISBLK(st.st_mode)) {
        return true;
    }
    if (::ioctl(fd, BLKRRPART) != 0) {
        // EINVAL: the device keeps no partitions (a loop device without partition scanning),
        // so the kernel holds no old ones either.
        if (errno == EINVAL) {
            return true;
        }
        error = std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace tavero::platform
