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

std::tm RecorderWallClock(std::int64_t seconds) {
    tzset();
    // Find the wall clock w with PackedTimeToSeconds(w) == seconds. Read as standard time,
    // w = seconds + the standard offset east of UTC at that date; start from today's offset
    // (`timezone` is seconds west) and correct by what mktime says, for zones whose standard
    // offset has changed over the years.
    std::int64_t wall = seconds - timezone;
    std::tm tm{};
    for (int round = 0; round < 3; ++round) {
        const auto asUtc = static_cast<std::time_t>(wall);
        gmtime_r(&asUtc, &tm);
        std::tm probe = tm;
        probe.tm_isdst = 0;
        const std::int64_t back = std::mktime(&probe);
        if (back == -1 || back == seconds) {
            break;
        }
        wall += seconds - back;
    }
    const auto asUtc = static_cast<std::time_t>(wall);
    gmtime_r(&asUtc, &tm);
    tm.tm_isdst = 0;
    return tm;
}

PackedTime SecondsToPackedTime(std::int64_t seconds) {
    const std::tm tm = RecorderWallClock(seconds);
    PackedTime t;
    t.bytes[0] = static_cast<std::uint8_t>(tm.tm_year + 1900 - 1800);
    t.bytes[1] = static_cast<std::uint8_t>(tm.tm_mon + 1);
    t.bytes[2] = static_cast<std::uint8_t>(tm.tm_mday);
    t.bytes[3] = static_cast<std::uint8_t>(tm.tm_hour);
    t.bytes[4] = static_cast<std::uint8_t>(tm.tm_min);
    t.bytes[5] = static_cast<std::uint8_t>(tm.tm_sec);
    return t;
}

std::string FormatRecorderTime(std::int64_t seconds, const char* format) {
    const std::tm tm = RecorderWallClock(seconds);
    char text[128];
    if (std::strftime(text, sizeof text, format, &tm) == 0) {
        return "?";
    }
    return text;
}

} // namespace tavero::store
