#pragma once
// Time and number formatting for GPS track files: UTC instants from the recorder's clock and from
// RMC sentences, ISO 8601 text, and decimal text that never depends on the process locale (a
// desktop application may have switched LC_NUMERIC to a decimal comma).

#include "store/packed_time.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tavero::exporter {

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar (month 1..12, day 1..31).
[[nodiscard]] std::int64_t DaysFromCivil(int year, int month, int day);

// Seconds since 1970 of a packed time read as UTC wall-clock time, whatever TZ says. Fields out
// of range (month 0, day 32, hour 25) fail: a damaged trailer must not turn into a plausible time.
[[nodiscard]] bool PackedTimeAsUtc(const store::PackedTime& t, std::int64_t& seconds);

// UTC milliseconds of a recorder unit time. The recorder's clock runs on local wall-clock time
// of a zone zoneHours east of UTC (the index record's hour offset), so UTC is that wall clock
// minus the offset. Offsets above 14 hours exist in no zone; such a byte is taken as damage and
// the clock is read as UTC.
[[nodiscard]] bool RecorderTimeToUtcMs(const store::PackedTime& t, std::uint8_t zoneHours,
                                       std::int64_t& utcMs);
inline constexpr int kMaxZoneHours = 14;

// The UTC instant of an RMC sentence from its time (hhmmss with optional fraction) and date
// (ddmmyy) fields, in milliseconds since 1970. The sentence is found like the position decoder
// finds it ("$GPRMC", else "$GNRMC"). False when either field is missing or out of range.
// Two-digit years 80..99 are 1980..1999, 00..79 are 2000..2079 (GPS time begins in 1980).
// A receiver hit by the GPS week rollover reports a date 1024 weeks early; that is not corrected.
[[nodiscard]] bool RmcUtcMs(std::string_view text, std::int64_t& utcMs);

// "YYYY-MM-DDTHH:MM:SSZ", with ".mmm" before the Z when the milliseconds are not zero.
[[nodiscard]] std::string FormatIsoUtc(std::int64_t utcMs);

// value with exactly `decimals` digits after a '.', whatever the locale; -0 is written as 0.
[[nodiscard]] std::string FormatFixed(double value, int decimals);

} // namespace tavero::exporter
