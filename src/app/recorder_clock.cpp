#include "app/recorder_clock.h"

#include <cstdio>
#include <ctime>

namespace tavero::app {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

// Days since 1970-01-01 of a proleptic Gregorian date (month and day may be out of range only
// as far as the arithmetic below allows; callers normalise through seconds).
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = (m + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

CalendarDate CivilFromDays(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const std::int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    return CalendarDate{static_cast<int>(y), m, d};
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

} // namespace

std::int64_t StandardOffsetSeconds() {
    tzset();
    // `timezone` is the standard-time offset in seconds west of UTC.
    return -static_cast<std::int64_t>(timezone);
}

WallClock ToWallClock(std::int64_t seconds) {
    const std::int64_t local = seconds + StandardOffsetSeconds();
    const std::int64_t days = FloorDiv(local, kSecondsPerDay);
    const std::int64_t inDay = local - days * kSecondsPerDay;
    WallClock c;
    c.date = CivilFromDays(days);
    c.hour = static_cast<int>(inDay / 3600);
    c.minute = static_cast<int>(inDay / 60 % 60);
    c.second = static_cast<int>(inDay % 60);
    return c;
}

std::int64_t FromWallClock(const WallClock& c) {
    // Months beyond 1..12 roll into neighbouring years before the day count.
    const std::int64_t monthIndex = std::int64_t{c.date.year} * 12 + (c.date.month - 1);
    const std::int64_t year = FloorDiv(monthIndex, 12);
    const int month = static_cast<int>(monthIndex - year * 12) + 1;
    const std::int64_t days = DaysFromCivil(year, month, 1) + (c.date.day - 1);
    return days * kSecondsPerDay + std::int64_t{c.hour} * 3600 + std::int64_t{c.minute} * 60 +
           c.second - StandardOffsetSeconds();
}

CalendarDate DateOf(std::int64_t seconds) {
    return ToWallClock(seconds).date;
}

std::int64_t DayStart(const CalendarDate& date) {
    return FromWallClock(WallClock{date});
}

CalendarDate NextDay(const CalendarDate& date) {
    return DateOf(DayStart(date) + kSecondsPerDay);
}

std::string FormatRecorderTime(std::int64_t seconds) {
    const WallClock c = ToWallClock(seconds);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", c.date.year, c.date.month,
                  c.date.day, c.hour, c.minute, c.second);
    return text;
}

std::string FormatDate(const CalendarDate& date) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
    return text;
}

} // namespace tavero::app
