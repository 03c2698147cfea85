#pragma once
// The recorder's 6-byte wall-clock time stamp and its conversion to seconds since 1970.

#include <array>
#include <cstdint>
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

// The packed time of a moment: seconds minus the standard-time offset from UTC, split as UTC.
// Agrees with PackedTimeToSeconds for local standard time.
[[nodiscard]] PackedTime SecondsToPackedTime(std::int64_t seconds);

// "YYYY-MM-DD HH:MM:SS" of local time, as list views show it.
[[nodiscard]] std::string FormatLocalTime(std::int64_t seconds);

} // namespace tavero::store
