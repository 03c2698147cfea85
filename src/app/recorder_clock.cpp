#include "app/recorder_clock.h"

#include "store/packed_time.h"

#include <cstdio>
#include <ctime>

namespace tavero::app {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

} // namespace

std::int64_t StandardOffsetSeconds() {
    tzset();
    // `timezone` is the standard-time offset in seconds west of UTC.
    return -static_cast<std::int64_t>(timezone);
}

WallClock ToWallClock(std::int64_t seconds) {
    // The store's own inverse of its reading, so that the window and every other text agree.
    const std::tm tm = store::RecorderWallClock(seconds);
    WallClock c;
    c.date = CalendarDate{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
    c.hour = tm.tm_hour;
    c.minute = tm.tm_min;
    c.second = tm.tm_sec;
    return c;
}

std::int64_t FromWallClock(const WallClock& c) {
    // Read as the store reads a stamp: local time with daylight saving off; out-of-range
    // fields are normalised (month 13 is January of the next year).
    std::tm tm{};
    tm.tm_year = c.date.year - 1900;
    tm.tm_mon = c.date.month - 1;
    tm.tm_mday = c.date.day;
    tm.tm_hour = c.hour;
    tm.tm_min = c.minute;
    tm.tm_sec = c.second;
    tm.tm_isdst = 0;
    return static_cast<std::int64_t>(std::mktime(&tm));
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
