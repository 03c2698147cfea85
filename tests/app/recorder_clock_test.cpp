#include "app/recorder_clock.h"
#include "store/packed_time.h"

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <string>

namespace tavero::app {
namespace {

// Sets TZ for one test and puts the previous value back.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone) {
        if (const char* old = std::getenv("TZ")) {
            m_old = old;
            m_had = true;
        }
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneScope() {
        if (m_had) {
            setenv("TZ", m_old.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    ZoneScope(const ZoneScope&) = delete;
    ZoneScope& operator=(const ZoneScope&) = delete;

private:
    std::string m_old;
    bool m_had = false;
};

store::PackedTime Stamp(int y, int mo, int d, int h, int mi, int s) {
    store::PackedTime t;
    t.bytes = {static_cast<std::uint8_t>(y - 1800), static_cast<std::uint8_t>(mo),
               static_cast<std::uint8_t>(d),        static_cast<std::uint8_t>(h),
               static_cast<std::uint8_t>(mi),       static_cast<std::uint8_t>(s)};
    return t;
}

TEST(RecorderClock, SummerStampReadsBackAsStampedDespiteDaylightSaving) {
    ZoneScope zone("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(StandardOffsetSeconds(), 3600);
    const std::int64_t summer = store::PackedTimeToSeconds(Stamp(2024, 7, 1, 12, 0, 0));
    EXPECT_EQ(FormatRecorderTime(summer), "2024-07-01 12:00:00");
    const std::int64_t winter = store::PackedTimeToSeconds(Stamp(2024, 1, 15, 23, 59, 59));
    EXPECT_EQ(FormatRecorderTime(winter), "2024-01-15 23:59:59");
    EXPECT_EQ(ToWallClock(summer).hour, 12);
}

TEST(RecorderClock, HalfHourZoneAndRoundTrips) {
    ZoneScope zone("IST-5:30");
    EXPECT_EQ(StandardOffsetSeconds(), 19800);
    const std::int64_t t = store::PackedTimeToSeconds(Stamp(2023, 12, 31, 23, 30, 5));
    EXPECT_EQ(FormatRecorderTime(t), "2023-12-31 23:30:05");
    for (std::int64_t s = -86400 * 3; s < 86400 * 800; s += 86400 / 7 + 13) {
        EXPECT_EQ(FromWallClock(ToWallClock(s)), s);
    }
}

TEST(RecorderClock, DatesAcrossMonthYearAndLeapDay) {
    ZoneScope zone("UTC");
    EXPECT_EQ(NextDay({2024, 2, 28}), (CalendarDate{2024, 2, 29}));
    EXPECT_EQ(NextDay({2023, 2, 28}), (CalendarDate{2023, 3, 1}));
    EXPECT_EQ(NextDay({2024, 12, 31}), (CalendarDate{2025, 1, 1}));
    EXPECT_EQ(DayStart({1970, 1, 1}), 0);
    EXPECT_EQ(FormatRecorderTime(-1), "1969-12-31 23:59:59");
    EXPECT_EQ(FromWallClock(WallClock{{2024, 13, 1}, 0, 0, 0}), DayStart({2025, 1, 1}));
    EXPECT_EQ(FromWallClock(WallClock{{2024, 5, 1}, 0, 60, 0}), DayStart({2024, 5, 1}) + 3600);
    EXPECT_EQ(FormatDate({2024, 5, 1}), "2024-05-01");
}

} // namespace
} // namespace tavero::app
