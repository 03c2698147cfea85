#include "cardtools/card_release.h"

#include "platform/block_devices.h"
#include "platform/mount_table.h"

namespace tavero::cardtools {
namespace {

// Rounds beyond one per mount point before giving up on a table in which mounts reappear (an
// automounter racing the unmount).
constexpr int kReleaseRounds = 2;

std::string DiskOfEntry(const platform::SystemRoots& roots, const platform::MountEntry& entry,
                        std::string& kernelName) {
    platform::BlockNode node;
    if (!entry.devNumber.empty() && entry.devNumber.rfind("0:", 0) != 0 &&
        platform::FindBlockNodeByDevNumber(roots, entry.devNumber, node)) {
        kernelName = node.name;
        return node.diskName;
    }
    if (!entry.source.empty() && entry.source.front() == '/') {
        const std::string name = platform::KernelNameForPath(roots, entry.source);
        if (!name.empty() && platform::FindBlockNodeByName(roots, name, node)) {
            kernelName = node.name;
            return node.diskName;
        }
    }
    return {};
}

// Devices built on the disk or its partitions ("dm-3" over "sdb1").
std::vector<std::string> StackedOn(const platform::SystemRoots& roots, const std::string& disk) {
    std::vector<std::string> stacked = platform::Holders(roots, disk);
    for (const std::string& part : platform::ListPartitions(roots, disk)) {
        const std::vector<std::string> above = platform::Holders(roots, part);
        stacked.insert(stacked.end(), above.begin(), above.end());
    }
    return stacked;
}

} // namespace

std::vector<platform::MountedFileSystem>
MountedFileSystemsOfDisk(const platform::SystemRoots& roots,
                         const std::vector<platform::MountEntry>& table,
                         const std::string& diskName) {
    std::vector<platform::MountedFileSystem> mounted;
    for (const platform::MountEntry& entry : table) {
        std::string kernelName;
        if (!diskName.empty() && DiskOfEntry(roots, entry, kernelName) == diskName) {
            mounted.push_back({kernelName, entry.mountPoint});
        }
    }
    return mounted;
}

bool ReleaseCard(const platform::SystemRoots& roots, const std::string& diskName,
                 platform::UnmountService* service, std::string& why) {
    if (diskName.empty()) {
        return true; // an image file: nothing of it is mounted by the kernel
    }
    if (const std::vector<std::string> stacked = StackedOn(roots, diskName); !stacked.empty()) {
        why = stacked.front() + " is built on this disk; close it first";
        return false;
    }
    // One file system per round, the one mounted last first (a mount inside another card
    // mount point goes before it), then the table again: a service that unmounts by device
    // may take another mount point of the same file system than the one named.
    int rounds = kReleaseRounds;
    for (int round = 0; round < rounds; ++round) {
        std::vector<platform::MountEntry> table;
        if (!platform::ReadMountTable(roots.mountInfo, table)) {
            why = "the mount table cannot be read";
            return false;
        }
        const std::vector<platform::MountedFileSystem> mounted =
            MountedFileSystemsOfDisk(roots, table, diskName);
        if (mounted.empty()) {
            return true;
        }
        if (round == 0) {
            rounds = static_cast<int>(mounted.size()) + kReleaseRounds;
        }
        if (service == nullptr) {
            why = "mounted at " + mounted.back().mountPoint + " and no way to unmount it";
            return false;
        }
        if (!service->Unmount(mounted.back(), why)) {
            return false;
        }
    }
    why = "still mounted after unmounting it";
    return false;
}

} // namespace tavero::cardtools
