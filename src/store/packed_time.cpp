#include "store/packed_time.h"

#include <cstdio>
#include <ctime>

namespace tavero::store {

PackedTime PackedTime::FromBytes(std::span<const std::uint8_t> six) {
    PackedTime t;
    for (std::size_t i = 0; i < t.bytes.size() && i < six.size(); ++i) {
        t.bytes[i] = six[i];
    }
    return t;
}

std::int64_t PackedTimeToSeconds(const PackedTime& t) {
    std::tm tm{};
    tm.tm_year = t.year() - 1900;
    tm.tm_mon = t.month() - 1;
    tm.tm_mday = t.day();
    tm.tm_hour = t.hour();
    tm.tm_min = t.minute();
    tm.tm_sec = t.second();
    tm.tm_isdst = 0;
    return static_cast<std::int64_t>(std::mktime(&tm));
}

PackedTime SecondsToPackedTime(std::int64_t seconds) {
    tzset();
    // `timezone` is the standard-time offset in seconds west of UTC.
    const std::time_t local = static_cast<std::time_t>(seconds - timezone);
    std::tm tm{};
    gmtime_r(&local, &tm);
    PackedTime t;
    t.bytes[0] = static_cast<std::uint8_t>(tm.tm_year + 1900 - 1800);
    t.bytes[1] = static_cast<std::uint8_t>(tm.tm_mon + 1);
    t.bytes[2] = static_cast<std::uint8_t>(tm.tm_mday);
    t.bytes[3] = static_cast<std::uint8_t>(tm.tm_hour);
    t.bytes[4] = static_cast<std::uint8_t>(tm.tm_min);
    t.bytes[5] = static_cast<std::uint8_t>(tm.tm_sec);
    return t;
}

std::string FormatLocalTime(std::int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (localtime_r(&t, &tm) == nullptr) {
        return "?";
    }
    char text[32];
    if (std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm) == 0) {
        return "?";
    }
    return text;
}

} // namespace tavero::store
