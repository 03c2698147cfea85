#pragma once
// The mounted file systems, read from /proc/self/mountinfo: the Linux counterpart of the drive
// letters. A card's FAT partition mounted by the desktop (for example at "/media/me/NO NAME") is
// reached through its mount point; its device number leads to the disk through sysfs.
//
// Thread: free functions without shared state; callable from any thread.

#include <string>
#include <string_view>
#include <vector>

namespace tavero::platform {

struct MountEntry {
    std::string devNumber;  // "major:minor" of the mounted device
    std::string mountPoint; // escapes ("\040" for a space) decoded
    std::string fsType;
    std::string source;       // the device path or name the file system was mounted from
    std::string superOptions; // the file system's own options ("lowerdir=...,upperdir=...")
};

// The kernel writes space, tab, newline and backslash in names as three octal digits
// ("\040"); this gives the name back.
[[nodiscard]] std::string DecodeMountEscapes(std::string_view field);

// One entry per line of the mountinfo text, in order; malformed lines are left out.
[[nodiscard]] std::vector<MountEntry> ParseMountInfo(std::string_view text);

// Reads and parses the mountinfo file; false when it cannot be read.
[[nodiscard]] bool ReadMountTable(const std::string& mountInfoPath, std::vector<MountEntry>& out);

// The entry whose mount point is path (a trailing "/" is ignored); nullptr when none. When the
// same point is mounted over, the last (visible) mount wins.
[[nodiscard]] const MountEntry* FindMountPoint(const std::vector<MountEntry>& table,
                                               const std::string& path);

// The entry of the file system that holds path: the mount point that is the longest leading
// part of it, the last (visible) one when several are mounted there; nullptr when none.
// path should be absolute and free of symbolic links.
[[nodiscard]] const MountEntry* FindMountHolding(const std::vector<MountEntry>& table,
                                                 const std::string& path);

} // namespace tavero::platform
