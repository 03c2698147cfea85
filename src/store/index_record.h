#pragma once
// One 512-byte index record: the recorder's description of one 16 MiB data block.

#include "store/card_layout.h"
#include "store/packed_time.h"

#include <array>
#include <cstdint>
#include <span>

namespace tavero::store {

inline constexpr std::uint32_t kIndexMagic = 0x49852376;
inline constexpr int kMaxRecordEvents = 16;
// Written into the in-memory protect field of a slot that failed validation.
inline constexpr std::uint8_t kProtectInvalid = 4;

enum EventKind : std::uint16_t {
    kEventNone = 0,
    kEventGSensor = 1,
    kEventPushButton = 2,
    kEventAlarm = 8,
};

struct IndexEvent {
    std::uint32_t unit = 0;
    PackedTime time;
    std::uint16_t type = 0;
};

class RecordIndex;

// Host-order view of a record plus where it lives. Bytes this program does not interpret are
// kept in `image` and written back unchanged.
struct IndexRecord {
    std::uint32_t magic = 0;
    std::uint32_t seq = 0;
    std::array<IndexEvent, kMaxRecordEvents> events{};
    std::uint32_t startUnit = 0;
    PackedTime startTime;
    std::uint8_t recStart = 0;
    std::uint8_t newest = 0;
    std::uint8_t protect = 0;
    std::uint8_t eventCount = 0;
    std::uint32_t endUnit = 0;
    PackedTime endTime;
    std::uint8_t zoneHours = 0;
    std::array<std::uint16_t, 5> words228{};
    std::uint32_t word240 = 0;
    std::uint32_t diskId = 0;
    std::uint32_t checksum = 0;

    std::array<std::uint8_t, kSectorSize> image{};

    // Not on disk.
    const RecordIndex* owner = nullptr;
    std::uint32_t slot = 0;
    std::int64_t indexPosition = 0; // byte position in index area A (card) or the backup file
    std::int64_t dataAddress = 0;   // byte address of the record's data block

    [[nodiscard]] std::int64_t startSeconds() const { return PackedTimeToSeconds(startTime); }
    [[nodiscard]] std::int64_t endSeconds() const { return PackedTimeToSeconds(endTime); }
    [[nodiscard]] std::uint16_t firstEventType() const { return events[0].type; }
};

enum class SourceKind { Card, BackupFile };

// Magic, checksum, seq non-zero and (card only) the disk identifier.
[[nodiscard]] bool IndexRecordValid(std::span<const std::uint8_t> slot, SourceKind kind,
                                    std::uint32_t cardDiskId);
[[nodiscard]] IndexRecord ParseIndexRecord(std::span<const std::uint8_t> slot);
// On-disk image: the kept image with every interpreted field written over it, checksum
// recomputed.
[[nodiscard]] std::array<std::uint8_t, kSectorSize> SerializeIndexRecord(const IndexRecord& r);

} // namespace tavero::store
