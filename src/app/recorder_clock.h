// Recorder times as people read them. The recorder stamps its local wall clock without daylight
// saving, and the store turns stamps into seconds by reading them as this computer's local
// standard time; the functions here go the other way with the same rule, so a stamp and the text
// shown for it always agree. Every time text, date and hour the window shows goes through this
// file, so the rule can be changed in one place.
//
// Thread: plain functions; any thread (the C library's zone is read once per call).
#pragma once

#include <compare>
#include <cstdint>
#include <string>

namespace tavero::app {

struct CalendarDate {
    int year = 1970;
    int month = 1; // 1..12
    int day = 1;   // 1..31
    friend auto operator<=>(const CalendarDate&, const CalendarDate&) = default;
};

struct WallClock {
    CalendarDate date;
    int hour = 0;
    int minute = 0;
    int second = 0;
    friend auto operator<=>(const WallClock&, const WallClock&) = default;
};

// This computer's standard-time offset from UTC in seconds, east positive (daylight saving
// ignored), from the TZ environment.
[[nodiscard]] std::int64_t StandardOffsetSeconds();

// Seconds since 1970 as the recorder's wall clock, and back. FromWallClock normalises
// out-of-range fields (minute 60 is the next hour).
[[nodiscard]] WallClock ToWallClock(std::int64_t seconds);
[[nodiscard]] std::int64_t FromWallClock(const WallClock& clock);

[[nodiscard]] CalendarDate DateOf(std::int64_t seconds);
// Seconds of the date at 00:00:00.
[[nodiscard]] std::int64_t DayStart(const CalendarDate& date);
[[nodiscard]] CalendarDate NextDay(const CalendarDate& date);

// "YYYY-MM-DD HH:MM:SS".
[[nodiscard]] std::string FormatRecorderTime(std::int64_t seconds);
// "YYYY-MM-DD".
[[nodiscard]] std::string FormatDate(const CalendarDate& date);

} // namespace tavero::app
