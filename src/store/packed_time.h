#pragma once
// The recorder's 6-byte wall-clock time stamp and its conversion to seconds since 1970.

#include <array>
#include <cstdint>
#include <ctime>
#include <span>
#include <string>

namespace tavero::store {

// year - 1800, month 1..12, day 1..31, hour, minute, second; the recorder's local wall clock.
struct PackedTime {
    std::array<std::uint8_t, 6> bytes{};

    [[nodiscard]] int year() const { return 1800 + bytes[0]; }
    [[nodiscard]] int month() const { return bytes[1]; }
    [[nodiscard]] int day() const { return bytes[2]; }
    [[nodiscard]] int hour() const { return bytes[3]; }
    [[nodiscard]] int minute() const { return bytes[4]; }
    [[nodiscard]] int second() const { return bytes[5]; }

    static PackedTime FromBytes(std::span<const std::uint8_t> six);
    friend bool operator==(const PackedTime&, const PackedTime&) = default;
};

// Seconds since 1970 of a packed time read as local time with daylight saving off, so the
// result follows the TZ environment like the recorder's own clock does. Out-of-range fields
// are normalised by the C library as usual (month 13 rolls into the next year).
[[nodiscard]] std::int64_t PackedTimeToSeconds(const PackedTime& t);

// The recorder's wall clock of a moment: the exact inverse of PackedTimeToSeconds (local time
// with daylight saving off), so a time read from the card turns back into what the recorder
// stamped, in summer too. Fields as std::tm gives them (tm_year from 1900, tm_mon from 0).
[[nodiscard]] std::tm RecorderWallClock(std::int64_t seconds);

// The packed time of a moment, by the same inverse.
[[nodiscard]] PackedTime SecondsToPackedTime(std::int64_t seconds);

// A moment as the recorder's wall clock shows it, in strftime's format (default
// "YYYY-MM-DD HH:MM:SS", as lists show it). Every recording time shown or written as text goes
// through here. "?" when the format gives nothing.
[[nodiscard]] std::string FormatRecorderTime(std::int64_t seconds,
                                             const char* format = "%Y-%m-%d %H:%M:%S");

} // namespace tavero::store
