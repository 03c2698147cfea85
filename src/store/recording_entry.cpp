#include "store/recording_entry.h"

#include "store/record_index.h"

namespace tavero::store {

EventClass ClassifyEvent(std::uint8_t protect, std::uint16_t firstEventType) {
    int code = kEventCodeRecordStart;
    if (protect == 1) {
        code = kEventCodeGSensorProtected;
    } else if (protect == 2) {
        code = kEventCodeButtonProtected;
    } else if (firstEventType == kEventGSensor) {
        code = kEventCodeGSensorEvent;
    } else if (firstEventType == kEventPushButton) {
        code = kEventCodeButtonEvent;
    } else if (firstEventType == kEventAlarm) {
        code = kEventCodeAlarm;
    }
    return EventClass{code, EventTypeName(code)};
}

std::string_view EventTypeName(int code) {
    switch (code) {
    case kEventCodeRecordStart:
        return "Record Start";
    case kEventCodeGSensorProtected:
        return "G Sensor By Not Overwrite";
    case kEventCodeButtonProtected:
        return "Push Button By Not Overwrite";
    case kEventCodeGSensorEvent:
        return "G Sensor By Event";
    case kEventCodeButtonEvent:
        return "Push Button By Event";
    case kEventCodeAlarm:
        return "Alarm Event";
    default:
        return "EVENT TYPE";
    }
}

RecordingEntry BuildRecordingEntry(RecordIndex& index, IndexRecord* first,
                                   std::int64_t displayOffsetSeconds, std::int32_t hourOffset,
                                   std::int32_t number) {
    RecordingEntry entry;
    entry.number = number;
    if (first == nullptr) {
        return entry;
    }
    entry.firstRecord = first;
    entry.eventCode = ClassifyEvent(first->protect, first->firstEventType()).code;
    entry.start = first->startSeconds();
    entry.firstUnit = first->startUnit;

    IndexRecord* current = first;
    for (;;) {
        entry.end = current->endSeconds();
        IndexRecord* next = index.NextRecord(current);
        // A new recording starts at a recording-start record or where protection changes;
        // an event recording also ends at a gap in time.
        if (next == nullptr || next->recStart != 0 || next->protect != first->protect ||
            (entry.eventCode != kEventCodeRecordStart && next->startSeconds() > entry.end)) {
            entry.next = next;
            break;
        }
        current = next;
    }
    const std::int64_t shift = displayOffsetSeconds + std::int64_t{hourOffset} * 3600;
    entry.displayStart = FormatRecorderTime(entry.start + shift);
    entry.displayEnd = FormatRecorderTime(entry.end + shift);
    return entry;
}

} // namespace tavero::store
