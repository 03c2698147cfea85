#pragma once
// Where everything lies on a recorder card and in a raw backup file, and the disk information
// block that names the card.

#include "store/packed_time.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tavero::store {

class CStoReader;

inline constexpr std::uint32_t kSectorSize = 512;
inline constexpr std::uint32_t kUnitSize = 16384;
inline constexpr std::uint32_t kDataBlockSize = 0x1000000; // 16 MiB, 1024 units
inline constexpr std::uint32_t kUnitsPerBlock = kDataBlockSize / kUnitSize;

// Card layout.
inline constexpr std::int64_t kDiskInfoOffsetA = 0x4000000;
inline constexpr std::int64_t kDiskInfoOffsetB = 0x5000000;
inline constexpr std::int64_t kFormatFillStart = 0x4100000;
inline constexpr std::int64_t kFormatFillEnd = 0x17000000;
inline constexpr std::int64_t kCardIndexBaseA = 0x6000000;
inline constexpr std::int64_t kCardIndexBaseB = 0x8000000;
inline constexpr std::int64_t kConfigSectorOffset = 0xA000000;
inline constexpr std::int64_t kCardDataBase = 0x16000000;
inline constexpr std::uint32_t kCardMaxIndexRecords = 65536;

// Raw backup file layout.
inline constexpr std::int64_t kBackupIndexBase = 0;
inline constexpr std::uint32_t kBackupIndexRecords = 65536;
inline constexpr std::int64_t kBackupDiskInfoOffset = 0x1FFFC00; // slot 65534
inline constexpr std::int64_t kBackupDataBase = 0x2000000;

inline constexpr std::uint32_t kDiskInfoMagic = 0x78964124;
inline constexpr std::uint32_t kDiskInfoVersion = 0x10000000;
// Identifier given to a card whose disk information could not be read.
inline constexpr std::uint32_t kDefaultDiskId = 10000;

// Disk information block in host order.
struct DiskInfo {
    std::uint32_t magic = 0;
    std::uint32_t version = 0;
    std::uint16_t word8 = 0;
    std::uint16_t word10 = 0;
    std::uint16_t blockCount = 0;
    PackedTime createTime;
    std::uint32_t diskId = 0;
    std::uint32_t checksum = 0;

    friend bool operator==(const DiskInfo&, const DiskInfo&) = default;
};

// Magic and checksum of an on-disk image.
[[nodiscard]] bool DiskInfoValid(std::span<const std::uint8_t> block);
[[nodiscard]] DiskInfo ParseDiskInfo(std::span<const std::uint8_t> block);
// On-disk image (big-endian fields) with the checksum recomputed.
[[nodiscard]] std::array<std::uint8_t, kSectorSize> SerializeDiskInfo(const DiskInfo& info);
// The copy kept at slot 65534 of a raw backup file: fields little-endian as held in memory,
// the checksum word as read from the card.
[[nodiscard]] std::array<std::uint8_t, kSectorSize>
SerializeDiskInfoForBackup(const DiskInfo& info);

// Number of usable 16 MiB data blocks of a drive of the given size (0 or negative: unknown).
[[nodiscard]] std::uint16_t BlockCountForSize(std::int64_t driveBytes);

// Reads copy A and, when valid, copy B. True only when both are valid; see the .cpp for what the
// out block holds otherwise. error (optional) names the failing copy.
[[nodiscard]] bool ReadDiskInfo(int drive, DiskInfo& out, std::string* error = nullptr);
// Same, on an already open drive or card image.
[[nodiscard]] bool ReadDiskInfo(CStoReader& reader, DiskInfo& out, std::string* error = nullptr);

// A fresh block for the open drive: blockCount from its size, createTime now.
void MakeDefaultDiskInfo(const CStoReader& drive, DiskInfo& out, std::uint32_t diskId);
[[nodiscard]] bool FormatDiskInfo(int drive, DiskInfo& out, std::uint32_t diskId);
// Writes the block (host order in, on-disk order written) at offset; the block is unchanged.
[[nodiscard]] bool WriteDiskInfo(int drive, const DiskInfo& info, std::int64_t offset);
[[nodiscard]] bool WriteDiskInfo(CStoReader& writer, const DiskInfo& info, std::int64_t offset);

} // namespace tavero::store
