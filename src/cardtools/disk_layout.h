#pragma once
// Partition-table and file-system work for giving a card back to ordinary use: the master boot
// record written by "Restore", the FAT file system made by the system's tools (mkfs.fat), volume
// labels (fatlabel), and asking the kernel to read a disk's partitions again.
//
// Thread: plain functions; the format tool calls them on its worker thread.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tavero::cardtools {

// The partition "Restore" creates in "Local Disk" mode starts at sector 63.
inline constexpr std::uint32_t kRestorePartitionFirstLba = 63;
inline constexpr std::uint32_t kRestoreDiskSignature = 99999;
inline constexpr std::uint8_t kBootIndicator = 0x80;
// FAT32 with LBA addressing: what ordinary systems mount.
inline constexpr std::uint8_t kPartitionTypeFat32Lba = 0x0C;

// Sector 0 of a disk of diskSectors 512-byte sectors with one active FAT32 partition from
// sector 63 to the end of the disk (at most 2^32 - 1 sectors, what a partition entry holds).
[[nodiscard]] std::array<std::uint8_t, 512> BuildRestoreMasterBootRecord(std::uint64_t diskSectors);

// Sectors of the partition BuildRestoreMasterBootRecord makes; 0 when the disk is too small.
[[nodiscard]] std::uint32_t RestorePartitionSectors(std::uint64_t diskSectors);

// BLKRRPART on drive n; true for image files.
[[nodiscard]] bool RereadPartitionTableOfDrive(int drive, std::string& error);

// Runs a program (looked up in PATH, then in /usr/sbin and /sbin) and waits for it. False when it
// cannot be started or exits unsuccessfully; error then holds its last line of error output.
[[nodiscard]] bool RunTool(const std::vector<std::string>& argv, std::string& error);

// Makes an empty FAT file system with mkfs.fat on path: from firstSector for sectors sectors
// (an image file, or a whole disk without waiting for its partition node), or the whole of path
// when sectors is 0. label empty gives the file system no label.
[[nodiscard]] bool MakeFatFileSystem(const std::string& path, std::uint32_t firstSector,
                                     std::uint32_t sectors, bool fat32, const std::string& label,
                                     std::string& error);

// Sets the label of the FAT file system on a partition device (fatlabel).
[[nodiscard]] bool SetVolumeLabel(const std::string& partitionDevice, const std::string& label,
                                  std::string& error);

} // namespace tavero::cardtools
