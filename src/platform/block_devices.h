#pragma once
// What the kernel says about the computer's block devices: the sysfs tree (whole disks, their
// partitions, removable flag, how they are attached), device numbers and partition-table
// re-reads. Every lookup takes the roots of the system folders, so tests run against a fake
// sysfs tree and a fake /dev folder instead of the machine's own.
//
// Thread: free functions without shared state; callable from any thread.

#include <string>
#include <vector>

namespace tavero::platform {

// Where the system folders lie. The defaults are the machine's own.
struct SystemRoots {
    std::string sys = "/sys";
    std::string dev = "/dev";
    std::string mountInfo = "/proc/self/mountinfo";
    std::string swaps = "/proc/swaps";
    std::string udevData = "/run/udev/data"; // udev's database: file system types and labels
};

enum class DriveKind {
    Fixed,
    Removable, // sysfs "removable" is 1 (card readers, most sticks), or an MMC/SD card
    CdRom,     // sr*
};

// One block device node as sysfs describes it.
struct BlockNode {
    std::string name;     // kernel name, "sdb1"
    std::string diskName; // its whole disk, "sdb" (the same as name for a whole disk)
    int partition = 0;    // partition number, 0 for a whole disk
    std::string sysPath;  // the device's folder in sysfs, symbolic links resolved
};

// The node whose sysfs "dev" number is majMin ("8:17"), through <sys>/dev/block.
[[nodiscard]] bool FindBlockNodeByDevNumber(const SystemRoots& roots, const std::string& majMin,
                                            BlockNode& out);
// The node of a kernel name ("sdb1"), through <sys>/class/block.
[[nodiscard]] bool FindBlockNodeByName(const SystemRoots& roots, const std::string& name,
                                       BlockNode& out);

// Kernel name of the device node at path when it lies in the /dev folder ("/dev/sdb" or a
// symbolic link such as "/dev/disk/by-id/..." gives "sdb"); empty for anything else (an image
// file).
[[nodiscard]] std::string KernelNameForPath(const SystemRoots& roots, const std::string& path);

// Kernel names in the device's "slaves" folder (what a device-mapper or RAID device is built
// on) and "holders" folder (what is built on it), in name order; empty when none.
[[nodiscard]] std::vector<std::string> Slaves(const SystemRoots& roots, const std::string& name);
[[nodiscard]] std::vector<std::string> Holders(const SystemRoots& roots, const std::string& name);
// The file behind a loop device ("loop0"); empty when it has none or is no loop device.
[[nodiscard]] std::string LoopBackingFile(const SystemRoots& roots, const std::string& diskName);

// Built-in SD slots ("mmcblk0": sysfs "removable" 0, not on USB) count as removable: their
// cards come and go like a card reader's. An eMMC chip that holds the system is never listed
// anyway (see SystemDisks).
[[nodiscard]] DriveKind DiskKind(const SystemRoots& roots, const std::string& diskName);

// True when the disk's sysfs path runs through a USB device.
[[nodiscard]] bool IsUsbAttached(const SystemRoots& roots, const std::string& diskName);

// Kernel names of the partitions of a whole disk, in name order.
[[nodiscard]] std::vector<std::string> ListPartitions(const SystemRoots& roots,
                                                      const std::string& diskName);

// "major:minor" of the device that holds the file at path (st_dev); empty when it cannot be
// examined.
[[nodiscard]] std::string DevNumberOfFileSystem(const std::string& path);

// Asks the kernel to read the partition table of the open block device again (BLKRRPART). A
// regular file, or a device that keeps no partitions, needs no re-read: true. False with errno
// text when the kernel refuses (for example while a partition of the disk is mounted).
[[nodiscard]] bool RereadPartitionTable(int fd, std::string& error);

} // namespace tavero::platform
