#pragma once
// Maps the recorder's physical drive numbers (0..9) to block devices or whole-card image files.
// Explicit entries (the "Drives" section of the settings, or --drive N=PATH) win; otherwise drive
// N is the N-th whole-disk block device in name order under /sys/block, leaving out virtual
// devices. The table is process-wide configuration: set it up before opening drives.
// Thread-safe: every call takes the table's own lock.

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tavero::platform {

inline constexpr int kMaxDriveNumber = 9;

// Explicit entry for drive n; an empty path removes it.
void SetDrivePath(int n, const std::string& path);
void ClearDrivePaths();

// Points the automatic enumeration at another sysfs root (tests); empty restores "/sys".
void SetSysfsRoot(const std::string& root);

// Whole-disk block device names ("sda", "mmcblk0") in name order, virtual devices left out.
[[nodiscard]] std::vector<std::string> ListWholeDisks();

// The path that drive n stands for, or nothing when n is out of range or no such drive exists.
[[nodiscard]] std::optional<std::string> ResolveDrivePath(int n);

} // namespace tavero::platform
