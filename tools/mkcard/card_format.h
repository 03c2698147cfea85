// On-card structures of the recorder, encoded byte for byte.
//
// Everything here is pure: each encoder fills a caller-owned span and returns false only when the
// span has the wrong size. Multi-byte numbers are big-endian except the 32-bit magic words and the
// block checksums, which the recorder stores little-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavero::sim {

inline constexpr size_t kSectorSize = 512;
inline constexpr size_t kUnitSize = 16384;
inline constexpr size_t kFrameAreaSize = 15872;
inline constexpr size_t kTrailerSize = 512;
inline constexpr size_t kFrameHeaderSize = 32;
inline constexpr uint64_t kBlockSize = 0x1000000; // 16 MiB data block
inline constexpr uint32_t kUnitsPerBlock = static_cast<uint32_t>(kBlockSize / kUnitSize);
inline constexpr size_t kMaxEventsPerRecord = 16;
inline constexpr size_t kMaxGSamplesPerUnit = 50;
inline constexpr size_t kGpsTextSize = 160; // including the terminating NUL

static_assert(kFrameAreaSize + kTrailerSize == kUnitSize);
static_assert(kUnitsPerBlock == 1024);
static_assert(kFrameHeaderSize == 32 && kSectorSize == 512);

// Card regions (byte offsets from the start of the drive).
inline constexpr uint64_t kCardPartitionOffset = 0x4000; // FAT16 boot sector, sector 32
inline constexpr uint64_t kCardDiskInfoA = 0x4000000;
inline constexpr uint64_t kCardDiskInfoB = 0x5000000;
inline constexpr uint64_t kCardIndexA = 0x6000000;
inline constexpr uint64_t kCardIndexB = 0x8000000;
inline constexpr uint64_t kCardConfigSector = 0xA000000;
inline constexpr uint64_t kCardDataBase = 0x16000000;
inline constexpr uint32_t kCardSpareBlocks = 8; // the last eight blocks of a card are never used
inline constexpr uint32_t kMaxCardBlocks = 65536;

// Raw backup (".sd") regions.
inline constexpr uint32_t kBackupIndexSlots = 65536;
inline constexpr uint32_t kBackupDiskInfoSlot = 65534;
inline constexpr uint64_t kBackupDataBase = 0x2000000;

inline constexpr uint32_t kDiskInfoMagic = 0x78964124;
inline constexpr uint32_t kIndexMagic = 0x49852376;
inline constexpr uint32_t kTrailerMagic = 0x83062437;
inline constexpr uint32_t kConfigMagic = 0xABABABAB;
inline constexpr uint32_t kConfigRecordMagic = 0xABCDAA55;
inline constexpr uint32_t kDiskInfoVersion = 0x10000000;

// Frame kinds of the channel stream (low 4 bits of header byte 4).
enum class FrameKind : uint8_t { Video = 0, Audio = 1, GSample = 2, Text = 3, Other = 4 };

// Picture types of a video frame header (byte 16).
enum class PictureType : uint8_t { Key = 0, Predicted = 1 };

// Recorder wall-clock time; no time zone is attached.
struct WallTime {
    int year = 2000;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;

    friend bool operator==(const WallTime&, const WallTime&) = default;
};

using PackedTime = std::array<uint8_t, 6>;

// Seconds since 1970-01-01 00:00:00 of the proleptic Gregorian calendar, no zone applied.
[[nodiscard]] int64_t wallToSeconds(const WallTime& time);
[[nodiscard]] WallTime secondsToWall(int64_t seconds);
// False when a field is out of its calendar range or the year cannot be packed (1800..2055).
[[nodiscard]] bool isValidWallTime(const WallTime& time);
[[nodiscard]] PackedTime packTime(const WallTime& time);
[[nodiscard]] std::string formatWallTime(const WallTime& time); // "YYYY-MM-DD hh:mm:ss"

// XOR of the first 127 little-endian words of a 512-byte block.
[[nodiscard]] uint32_t blockChecksum(std::span<const uint8_t> block);
// Stores blockChecksum() little-endian at offset 508.
void sealBlock(std::span<uint8_t> block);

struct FrameHeaderFields {
    FrameKind kind = FrameKind::Video;
    uint32_t payloadLength = 0;
    uint8_t channel = 0;
    PictureType pictureType = PictureType::Key; // video only
    uint32_t timestampUs = 0;                   // video and audio only
};
[[nodiscard]] bool encodeFrameHeader(const FrameHeaderFields& fields, std::span<uint8_t> out);

struct GSample {
    int16_t x = 0;
    int16_t y = 0;
    int16_t z = 0;
};

struct TrailerFields {
    uint32_t unitNo = 0;
    PackedTime unitTime{};
    uint8_t channel = 0;
    bool recStart = false;
    bool protect = false;
    uint16_t eventType = 0;
    uint8_t videoFormat = 0;
    uint8_t fps = 0;
    bool channelOff = false;
    std::vector<GSample> samples; // at most 50; the rest is dropped
    std::string gpsText;          // at most 159 characters are kept
    uint32_t diskId = 0;
};
[[nodiscard]] bool encodeTrailer(const TrailerFields& fields, std::span<uint8_t> out);

struct IndexEvent {
    uint32_t unit = 0;
    PackedTime time{};
    uint16_t type = 0;
};

struct IndexRecordFields {
    uint32_t seq = 0;
    std::vector<IndexEvent> events; // at most 16
    uint32_t startUnit = 0;
    PackedTime startTime{};
    bool recStart = false;
    uint8_t protect = 0;
    uint32_t endUnit = 0;
    PackedTime endTime{};
    uint8_t zoneHours = 0;
    uint32_t diskId = 0;
};
[[nodiscard]] bool encodeIndexRecord(const IndexRecordFields& fields, std::span<uint8_t> out);
// A card slot the recorder has never filled: magic, seq 0, disk identifier, checksum.
[[nodiscard]] bool encodeUnwrittenCardSlot(uint32_t diskId, std::span<uint8_t> out);

struct DiskInfoFields {
    uint16_t blockCount = 0;
    PackedTime createTime{};
    uint32_t diskId = 0;
};
[[nodiscard]] bool encodeDiskInfo(const DiskInfoFields& fields, std::span<uint8_t> out);
// The in-memory (little-endian fields) copy a backup keeps in slot 65534; the checksum word is
// the one of the card's big-endian form.
[[nodiscard]] bool encodeBackupDiskInfo(const DiskInfoFields& fields, std::span<uint8_t> out);

[[nodiscard]] bool encodeDefaultConfigSector(uint32_t diskId, std::span<uint8_t> out);

// Sector 0 (partition table) and the FAT16 volume of an empty configuration partition.
struct BootSector {
    uint64_t offset = 0;
    std::array<uint8_t, kSectorSize> bytes{};
};
[[nodiscard]] std::vector<BootSector> makeBootSectors();

// Nibble-coded payloads of the metadata frames.
[[nodiscard]] std::array<uint8_t, 12> encodeGSampleFrame(const GSample& sample);
[[nodiscard]] std::vector<uint8_t> encodeTextFrame(std::string_view text);

} // namespace tavero::sim
