#pragma once
// What list views show of a recording: a chain of index records from one start to the next,
// with its start, end and event type.

#include "store/index_record.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tavero::store {

class RecordIndex;

enum EventCode : int {
    kEventCodeRecordStart = 1,
    kEventCodeGSensorProtected = 2,
    kEventCodeButtonProtected = 3,
    kEventCodeGSensorEvent = 4,
    kEventCodeButtonEvent = 5,
    kEventCodeAlarm = 6,
};

struct EventClass {
    int code = kEventCodeRecordStart;
    std::string_view name;
};

// Protection first, then the type of the first event entry.
[[nodiscard]] EventClass ClassifyEvent(std::uint8_t protect, std::uint16_t firstEventType);
// The name of an event code; any other code answers "EVENT TYPE" (the column title).
[[nodiscard]] std::string_view EventTypeName(int code);

struct RecordingEntry {
    IndexRecord* firstRecord = nullptr;
    std::int32_t number = 0;
    std::int64_t start = 0; // seconds since 1970
    std::int64_t end = 0;
    std::int32_t reserved = 0;
    std::uint32_t firstUnit = 0;
    int eventCode = kEventCodeRecordStart;
    std::string displayStart; // "YYYY-MM-DD HH:MM:SS" of start + display offset + hours
    std::string displayEnd;
    IndexRecord* next = nullptr; // where the chain stopped: the next recording's first record
};

// Chains records from first while they continue the same recording (see the .cpp).
[[nodiscard]] RecordingEntry BuildRecordingEntry(RecordIndex& index, IndexRecord* first,
                                                 std::int64_t displayOffsetSeconds,
                                                 std::int32_t hourOffset, std::int32_t number);

} // namespace tavero::store
