#include "app/playback_controls.h"
#include "playback_test_fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tavero::app {
namespace {

using test::kMay1At8;
using testing::ElementsAre;

class Position : public test::PlaybackFixture {
protected:
    // Playing entry `index` with the engine at `t` seconds.
    void playAt(int index, std::int64_t t) {
        ASSERT_TRUE(controls.PlayIndex(index).ok);
        player.lastTime = static_cast<std::uint32_t>(t);
        player.time = static_cast<std::uint32_t>(t);
    }
};

TEST_F(Position, SelectingAnEntrySpansSlidersAndBackupRangeOverIt) {
    window.timeOffset = 3600;
    const Outcome out = controls.SelectEntry(1, true);
    const PositionSliderView& slider = controls.positionSlider();
    EXPECT_EQ(slider.span.minimum, kMay1At8 + 600);
    EXPECT_EQ(slider.span.maximum, kMay1At8 + 1200);
    EXPECT_EQ(slider.span.maximumValue(), 600);
    EXPECT_EQ(controls.markBar().marks[0], kMay1At8 + 600);
    EXPECT_EQ(controls.markBar().marks[1], kMay1At8 + 1200);
    EXPECT_FALSE(controls.markBar().visible);
    EXPECT_EQ(controls.backupRange().start, kMay1At8 + 600 + 3600);
    EXPECT_EQ(controls.backupRange().end, kMay1At8 + 1200 + 3600);
    EXPECT_TRUE(out.has(UiAction::MoveDayView));
    EXPECT_EQ(controls.dayShown(), (CalendarDate{2024, 5, 1}));
    EXPECT_EQ(controls.seekTick(), clock);
    // Selecting it again changes nothing.
    EXPECT_TRUE(controls.SelectEntry(1, true).actions.empty());
}

TEST_F(Position, TimerMovesTheThumbAndNamesTheTimeInItsTooltip) {
    window.timeOffset = 7200;
    playAt(0, kMay1At8 + 125);
    tick();
    player.clearLog();
    const Outcome out = tick();
    EXPECT_THAT(player.log, ElementsAre("Tick 1"));
    EXPECT_TRUE(out.has(UiAction::UpdatePositionSlider));
    EXPECT_EQ(controls.positionSlider().value(), 125);
    EXPECT_EQ(controls.positionSlider().tooltip, "2024-05-01 10:02:05");
}

TEST_F(Position, TimeBeyondTheEndWidensTheSpan) {
    playAt(0, kMay1At8 + 650); // still entry 0's chain, past its listed end
    player.lastTime = static_cast<std::uint32_t>(kMay1At8 + 100);
    tick();
    tick();
    EXPECT_EQ(controls.positionSlider().span.maximum, kMay1At8 + 650);
    EXPECT_EQ(controls.positionSlider().time, kMay1At8 + 650);
}

TEST_F(Position, DraggingShowsTheTimeUnderTheThumbAndSeeksOnlyOnRelease) {
    playAt(0, kMay1At8 + 10);
    tick();
    player.clearLog();
    controls.OnSliderPressed(SliderId::Position);
    EXPECT_TRUE(controls.dragging());
    controls.OnSliderMoved(SliderId::Position, 300);
    EXPECT_EQ(controls.positionSlider().tooltip, "2024-05-01 08:05:00");
    player.time = static_cast<std::uint32_t>(kMay1At8 + 20);
    tick();
    EXPECT_THAT(player.log, testing::Not(testing::Contains(testing::StartsWith("Seek"))));
    EXPECT_THAT(player.log, testing::Not(testing::Contains("Tick 1")));
    EXPECT_EQ(controls.positionSlider().time, kMay1At8 + 10); // the thumb stays with the hand

    const Outcome out = controls.OnSliderReleased(SliderId::Position, 300);
    EXPECT_FALSE(controls.dragging());
    EXPECT_THAT(player.log, testing::Contains("Seek " + std::to_string(kMay1At8 + 300)));
    EXPECT_TRUE(out.has(UiAction::ReplayLastTrailer));
    EXPECT_EQ(controls.seekTick(), clock + 300);
}

TEST_F(Position, TimerKeepsQuietAfterASeek) {
    playAt(0, kMay1At8 + 10);
    controls.Seek(kMay1At8 + 400);
    player.clearLog();
    clock += 599;
    EXPECT_TRUE(controls.OnTimer({}).actions.empty());
    EXPECT_TRUE(player.log.empty()); // not even the engine's tick
    clock += 1;
    controls.OnTimer({});
    EXPECT_THAT(player.log, ElementsAre("Tick 1"));
    EXPECT_EQ(controls.seekTick(), 0);
}

TEST_F(Position, ReleasingOnAPausedRecordingLeavesItPausedAtTheNewTime) {
    playAt(0, kMay1At8 + 10);
    controls.TogglePause();
    player.clearLog();
    controls.OnSliderPressed(SliderId::Position);
    controls.OnSliderReleased(SliderId::Position, 200);
    EXPECT_THAT(player.log, ElementsAre("Pause 0", "Play 0 0",
                                        "Seek " + std::to_string(kMay1At8 + 200), "Pause 1"));
    EXPECT_THAT(sleeps, ElementsAre(10));
    EXPECT_TRUE(controls.paused());
}

TEST_F(Position, SeekIsClampedIntoTheRecording) {
    playAt(1, kMay1At8 + 700);
    controls.Seek(kMay1At8 + 5000);
    EXPECT_EQ(player.log.back(), "Seek " + std::to_string(kMay1At8 + 1200));
    controls.Seek(0);
    EXPECT_EQ(player.log.back(), "Seek " + std::to_string(kMay1At8 + 600));
}

TEST_F(Position, FailedPlayDuringSeekStops) {
    playAt(0, kMay1At8 + 10);
    player.playOk = false;
    const Outcome out = controls.Seek(kMay1At8 + 100);
    EXPECT_FALSE(out.ok);
    EXPECT_FALSE(controls.sourceOpen());
    EXPECT_THAT(player.log, testing::Not(testing::Contains(testing::StartsWith("Seek"))));
}

TEST_F(Position, PlayingIntoTheNextRecordingMovesSelectionAndDay) {
    playAt(0, kMay1At8 + 10);
    tick();
    tick();
    player.lastTime = static_cast<std::uint32_t>(kMay1At8 + 3700);
    player.time = player.lastTime;
    const Outcome out = tick();
    EXPECT_EQ(controls.currentIndex(), 2);
    EXPECT_TRUE(out.has(UiAction::SelectListItem));
    EXPECT_EQ(controls.positionSlider().span.minimum, kMay1At8 + 3600);
}

TEST_F(Position, NoPositionUpdateWhileABackupWritesOrNothingPlayed) {
    playAt(0, kMay1At8 + 10);
    tick();
    player.time = static_cast<std::uint32_t>(kMay1At8 + 50);
    tick({StepButton::None, true});
    EXPECT_NE(controls.positionSlider().time, kMay1At8 + 50);
    player.lastTime = 0;
    EXPECT_FALSE(tick().has(UiAction::UpdatePositionSlider));
}

TEST_F(Position, RepaintMovesTheThumbWithoutTickingTheEngine) {
    playAt(0, kMay1At8 + 10);
    tick();
    player.time = static_cast<std::uint32_t>(kMay1At8 + 42);
    player.clearLog();
    clock += 200;
    controls.OnRepaint(false);
    EXPECT_TRUE(player.log.empty());
    EXPECT_EQ(controls.positionSlider().time, kMay1At8 + 42);
}

TEST_F(Position, DayViewFollowsTheDayOfThePlayingTime) {
    player.setRecordings({{kMay1At8 + 15 * 3600, kMay1At8 + 17 * 3600}}); // 23:00 to 01:00
    list.Clear();
    list.Append(player.BuildEntry(player.record(0), 1));
    playAt(0, kMay1At8 + 15 * 3600 + 10);
    tick();
    tick();
    EXPECT_EQ(controls.dayShown(), (CalendarDate{2024, 5, 1}));
    player.time = static_cast<std::uint32_t>(kMay1At8 + 16 * 3600 + 5);
    EXPECT_TRUE(tick().has(UiAction::MoveDayView));
    EXPECT_EQ(controls.dayShown(), (CalendarDate{2024, 5, 2}));
    EXPECT_FALSE(tick().has(UiAction::MoveDayView));
}

// ---- marks ----------------------------------------------------------------------------------

TEST_F(Position, MarkInAndOutSetTheBackupRangeAndShowTheBar) {
    window.timeOffset = -3600;
    playAt(1, kMay1At8 + 700);
    const Outcome in = controls.MarkIn();
    EXPECT_TRUE(in.has(UiAction::SelectCurrentInBackupList));
    EXPECT_TRUE(controls.markBar().visible);
    EXPECT_EQ(controls.markBar().marks[0], kMay1At8 + 700);
    EXPECT_EQ(controls.backupRange().start, kMay1At8 + 700 - 3600);
    player.time = static_cast<std::uint32_t>(kMay1At8 + 900);
    controls.MarkOut();
    EXPECT_EQ(controls.markBar().value(1), 300);
    EXPECT_EQ(controls.backupRange().end, kMay1At8 + 900 - 3600);
}

TEST_F(Position, DraggingTheEndMarkMovesTheBackupEnd) {
    playAt(1, kMay1At8 + 700);
    const Outcome pressed = controls.OnSliderPressed(SliderId::MarkBar, 1);
    EXPECT_TRUE(pressed.has(UiAction::SelectCurrentInBackupList));
    EXPECT_EQ(controls.markBar().draggedMark, 1);
    controls.OnSliderMoved(SliderId::MarkBar, 120, 1);
    EXPECT_EQ(controls.backupRange().end, kMay1At8 + 720);
    controls.OnSliderReleased(SliderId::MarkBar, 150, 1);
    EXPECT_EQ(controls.backupRange().end, kMay1At8 + 750);
    EXPECT_EQ(controls.backupRange().start, kMay1At8 + 600); // the default start stays
    EXPECT_FALSE(controls.dragging());
}

TEST_F(Position, RestartPlaysTheCurrentRecordingFromItsStart) {
    playAt(2, kMay1At8 + 3800);
    controls.TogglePause();
    player.clearLog();
    controls.RestartRecording();
    EXPECT_THAT(player.log,
                ElementsAre("Pause 0", "Play 2 0", "Seek " + std::to_string(kMay1At8 + 3600)));
}

// ---- day view seek, snapshot ----------------------------------------------------------------

TEST_F(Position, DayViewSeekWhileIdlePlaysTheRecordingOfThatMinute) {
    const Outcome out = controls.DayViewSeek(kMay1At8 + 3660);
    EXPECT_TRUE(out.ok);
    EXPECT_TRUE(out.has(UiAction::ClearGSensorHistory));
    EXPECT_THAT(player.log, testing::Contains("Play 2 0"));
    EXPECT_EQ(player.log.back(), "Seek " + std::to_string(kMay1At8 + 3660));
    player.clearLog();
    controls.DayViewSeek(kMay1At8 + 3720);
    EXPECT_THAT(player.log, ElementsAre("Seek " + std::to_string(kMay1At8 + 3720)));
}

TEST_F(Position, DayViewSeekOutsideEveryRecordingWhileIdleDoesNothing) {
    const Outcome out = controls.DayViewSeek(kMay1At8 + 2000);
    EXPECT_FALSE(out.ok);
    EXPECT_TRUE(player.log.empty());
}

TEST_F(Position, SnapshotWhileBackwardResumesBackward) {
    playAt(0, kMay1At8 + 100);
    controls.BackwardPlay();
    player.clearLog();
    Outcome out;
    const SnapshotPause pause = controls.BeginSnapshot(out);
    EXPECT_TRUE(controls.paused());
    EXPECT_THAT(sleeps, ElementsAre(93));
    controls.EndSnapshot(pause);
    EXPECT_FALSE(controls.paused());
    EXPECT_EQ(controls.speedIndex(), kBackwardSpeedIndex);
    EXPECT_EQ(player.speed, -1.0);
}

TEST_F(Position, SnapshotWhilePausedLeavesItPaused) {
    playAt(0, kMay1At8 + 100);
    controls.SetSpeedIndex(9);
    Outcome out;
    SnapshotPause pause = controls.BeginSnapshot(out);
    controls.EndSnapshot(pause);
    EXPECT_EQ(controls.speedIndex(), 9);
    EXPECT_EQ(player.speed, 8.0);

    controls.TogglePause();
    player.clearLog();
    pause = controls.BeginSnapshot(out);
    controls.EndSnapshot(pause);
    EXPECT_TRUE(player.log.empty());
    EXPECT_TRUE(controls.paused());
}

} // namespace
} // namespace tavero::app
