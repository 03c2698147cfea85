#include "app/calendar_panel.h"

#include <cstdlib>
#include <ctime>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tavero::app {
namespace {

class DayView : public testing::Test {
protected:
    DayView() {
        setenv("TZ", "UTC", 1);
        tzset();
    }
    static std::int64_t At(int day, int hour, int minute, int second = 0) {
        return FromWallClock(WallClock{{2024, 5, day}, hour, minute, second});
    }
    void add(std::int64_t start, std::int64_t end) {
        store::RecordingEntry e;
        e.start = start;
        e.end = end;
        list.Append(e);
    }
    int greenMinutes() const {
        int n = 0;
        for (int h = 0; h < 24; ++h) {
            for (int m = 0; m < 60; ++m) {
                n += panel.minuteLevel(h, m) == kLevelRecorded ? 1 : 0;
            }
        }
        return n;
    }

    RecordingList list;
    CalendarPanel panel;
};

TEST_F(DayView, OvernightRecordingMarksBothDaysAndTheRightHours) {
    add(At(1, 22, 50), At(2, 1, 10));
    panel.RefreshMarks(list, 0, {2024, 5, 1});
    EXPECT_THAT(panel.boldDays(),
                testing::ElementsAre(CalendarDate{2024, 5, 1}, CalendarDate{2024, 5, 2}));
    EXPECT_EQ(panel.hourLevel(21), kLevelNone);
    EXPECT_EQ(panel.hourLevel(22), kLevelRecorded);
    EXPECT_EQ(panel.hourLevel(23), kLevelRecorded);
    EXPECT_EQ(panel.minuteLevel(22, 49), kLevelNone);
    EXPECT_EQ(panel.minuteLevel(22, 50), kLevelRecorded);
    EXPECT_EQ(panel.minuteLevel(23, 59), kLevelRecorded);
    EXPECT_EQ(greenMinutes(), 70);

    panel.ShowDay({2024, 5, 2}, list, 0);
    EXPECT_EQ(panel.hourLevel(0), kLevelRecorded);
    EXPECT_EQ(panel.hourLevel(1), kLevelRecorded);
    EXPECT_EQ(panel.hourLevel(2), kLevelNone);
    EXPECT_EQ(panel.minuteLevel(1, 10), kLevelRecorded);
    EXPECT_EQ(panel.minuteLevel(1, 11), kLevelNone);
    EXPECT_EQ(greenMinutes(), 71);
}

TEST_F(DayView, RecordingShorterThanAMinuteColoursOneCell) {
    add(At(1, 10, 15, 5), At(1, 10, 15, 40));
    panel.ShowDay({2024, 5, 1}, list, 0);
    EXPECT_EQ(greenMinutes(), 1);
    EXPECT_EQ(panel.minuteLevel(10, 15), kLevelRecorded);
}

TEST_F(DayView, RecordingAcrossHoursWithinTheDay) {
    add(At(1, 10, 40), At(1, 13, 5));
    panel.ShowDay({2024, 5, 1}, list, 0);
    EXPECT_EQ(panel.minuteLevel(10, 39), kLevelNone);
    EXPECT_EQ(panel.minuteLevel(11, 0), kLevelRecorded);
    EXPECT_EQ(panel.minuteLevel(12, 59), kLevelRecorded);
    EXPECT_EQ(panel.minuteLevel(13, 5), kLevelRecorded);
    EXPECT_EQ(panel.minuteLevel(13, 6), kLevelNone);
    EXPECT_EQ(greenMinutes(), 20 + 120 + 6);
}

TEST_F(DayView, WholeDayAndReversedOrOtherDayEntries) {
    add(At(1, 0, 0) - 5, At(3, 0, 0));
    add(At(2, 5, 0), At(2, 4, 0)); // end before start: a damaged entry, ignored
    panel.ShowDay({2024, 5, 2}, list, 0);
    EXPECT_EQ(greenMinutes(), 24 * 60);
    EXPECT_EQ(CalendarPanel::MarkedDays(list, 0).size(), 4u); // 30 April to 3 May
    list.Clear();
    add(At(4, 9, 0), At(4, 9, 30));
    panel.ShowDay({2024, 5, 2}, list, 0);
    EXPECT_EQ(greenMinutes(), 0);
}

TEST_F(DayView, DisplayOffsetMovesDaysAndHours) {
    add(At(1, 23, 30), At(1, 23, 45)); // recording time; shown two hours later
    EXPECT_THAT(CalendarPanel::MarkedDays(list, 7200),
                testing::ElementsAre(CalendarDate{2024, 5, 2}));
    panel.ShowDay({2024, 5, 2}, list, 7200);
    EXPECT_EQ(panel.hourLevel(1), kLevelRecorded);
    panel.OnHourClicked(Strip::A, 1);
    const std::optional<std::int64_t> seek = panel.OnMinuteClicked(Strip::B, 10, 7200);
    ASSERT_TRUE(seek.has_value());
    EXPECT_EQ(*seek, At(1, 23, 40)); // back in recording time
}

TEST_F(DayView, GreyMinuteDoesNotSeekAndMinutesAreGreyBeforeAnHourIsChosen) {
    add(At(1, 15, 0), At(1, 15, 20));
    panel.OnDateSelected({2024, 5, 1}, list, 0);
    EXPECT_EQ(panel.minuteCellColour(Strip::A, 5), kStripGrey);
    EXPECT_FALSE(panel.OnMinuteClicked(Strip::A, 5, 0).has_value());
    EXPECT_EQ(panel.hourCellColour(Strip::B, 3), kStripGreen); // hour 15
    EXPECT_TRUE(panel.OnHourClicked(Strip::B, 3));
    EXPECT_FALSE(panel.OnHourClicked(Strip::B, 3));
    EXPECT_EQ(panel.selectedHour(), 15);
    EXPECT_EQ(panel.minuteCellColour(Strip::A, 5), kStripGreen);
    EXPECT_EQ(panel.minuteCellColour(Strip::A, 21), kStripGrey);
    EXPECT_FALSE(panel.OnMinuteClicked(Strip::B, 0, 0).has_value()); // minute 30: grey
    EXPECT_EQ(panel.selectedMinute(), 30);
    EXPECT_EQ(panel.OnMinuteClicked(Strip::A, 20, 0), At(1, 15, 20));
    EXPECT_FALSE(panel.OnMinuteClicked(Strip::A, 30, 0).has_value()); // no such cell
    EXPECT_FALSE(panel.OnHourClicked(Strip::A, 12));
}

TEST_F(DayView, MinuteClickSeeksIntoTheDayTheStripsShow) {
    add(At(1, 8, 0), At(1, 8, 30));
    add(At(2, 8, 0), At(2, 8, 30));
    panel.OnDateSelected({2024, 5, 1}, list, 0);
    panel.OnHourClicked(Strip::A, 8);
    panel.ShowDay({2024, 5, 2}, list, 0); // playback moved on to the next day
    EXPECT_EQ(panel.viewedDate(), (CalendarDate{2024, 5, 2}));
    EXPECT_EQ(panel.OnMinuteClicked(Strip::A, 10, 0), At(2, 8, 10));
}

TEST_F(DayView, DayChangedFollowsDayAndHourChoices) {
    EXPECT_TRUE(panel.OnDateSelected({2024, 5, 1}, list, 0));
    EXPECT_TRUE(panel.dayChanged());
    panel.ClearDayChanged();
    EXPECT_FALSE(panel.OnDateSelected({2024, 5, 1}, list, 0));
    EXPECT_FALSE(panel.dayChanged());
    panel.OnHourClicked(Strip::A, 4);
    EXPECT_TRUE(panel.dayChanged());
}

} // namespace
} // namespace tavero::app
