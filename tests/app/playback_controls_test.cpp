#include "app/playback_controls.h"
#include "playback_test_fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tavero::app {
namespace {

using test::kMay1At8;
using testing::ElementsAre;

class Transport : public test::PlaybackFixture {};

TEST_F(Transport, PlayWhilePausedOnlyResumes) {
    ASSERT_TRUE(controls.PlayIndex(0).ok);
    controls.TogglePause();
    EXPECT_TRUE(controls.paused());
    player.clearLog();

    const Outcome out = controls.Play();
    EXPECT_TRUE(out.ok);
    EXPECT_FALSE(controls.paused());
    EXPECT_THAT(player.log, ElementsAre("SetSpeed 1", "SetSpeed 1", "Pause 0"));
}

TEST_F(Transport, PauseStopPlayRestartsTheCurrentRecordingUnpaused) {
    controls.PlayIndex(1);
    controls.TogglePause();
    controls.Stop();
    EXPECT_FALSE(controls.sourceOpen());
    player.clearLog();

    EXPECT_TRUE(controls.Play().ok);
    EXPECT_TRUE(controls.playing());
    EXPECT_FALSE(controls.stopped());
    // The reader forgot its record when it stopped; the listed recording plays from its start.
    EXPECT_THAT(player.log, testing::Contains("Play 1 0"));
    EXPECT_THAT(player.log, testing::Not(testing::Contains("Pause 1")));
}

TEST_F(Transport, StepAfterStopThenPlayPlaysUnpaused) {
    controls.PlayIndex(0);
    controls.Stop();
    controls.NextFrame(); // paused and stopped at once
    player.clearLog();
    EXPECT_TRUE(controls.Play().ok);
    EXPECT_FALSE(controls.paused());
    EXPECT_FALSE(controls.stopped());
    EXPECT_THAT(player.log, testing::Contains("Play 0 0"));
    EXPECT_EQ(player.log.back(), "Pause 0");
    EXPECT_EQ(player.speed, 1.0);
}

TEST_F(Transport, StopClosesHidesChannelsAndReturnsToNormalSpeed) {
    controls.PlayIndex(0);
    controls.SetSpeedIndex(9);
    player.clearLog();
    const Outcome out = controls.Stop();
    EXPECT_THAT(player.log, ElementsAre("Close", "SetSpeed 1"));
    EXPECT_EQ(controls.speedSlider(), kNormalSpeedIndex);
    EXPECT_TRUE(out.has(UiAction::DockAndHideChannels));
    EXPECT_TRUE(out.has(UiAction::ClearMap));
    EXPECT_EQ(controls.positionSlider().tooltip, "Position");
}

TEST_F(Transport, BackwardThenPauseToggleKeepsBackwardSpeedAndPlayGoesForward) {
    controls.PlayIndex(0);
    controls.BackwardPlay();
    EXPECT_EQ(controls.speedIndex(), kBackwardSpeedIndex);
    EXPECT_EQ(controls.speedText(), "-1x");
    controls.TogglePause();
    player.clearLog();
    controls.TogglePause();
    EXPECT_THAT(player.log, ElementsAre("Pause 0")); // the engine keeps -1
    EXPECT_EQ(player.speed, -1.0);
    EXPECT_EQ(controls.speedSlider(), kNormalSpeedIndex);

    controls.Play();
    EXPECT_EQ(player.speed, 1.0);
    EXPECT_EQ(controls.speedIndex(), kNormalSpeedIndex);
}

TEST_F(Transport, FrameStepsPauseAndResumeRestoresTheSpeedBeforeTheStep) {
    controls.PlayIndex(0);
    controls.SetSpeedIndex(8); // 4x
    player.clearLog();
    controls.NextFrame();
    EXPECT_THAT(player.log, ElementsAre("SetSpeed 1.1", "Pause 0"));
    EXPECT_TRUE(controls.paused());
    controls.PrevFrame();
    EXPECT_EQ(player.speed, -1.1);

    player.clearLog();
    controls.TogglePause();
    // Without the speed the engine would show one more frame and stop again.
    EXPECT_THAT(player.log, ElementsAre("Pause 0", "SetSpeed 4"));
    EXPECT_FALSE(controls.paused());
    EXPECT_EQ(controls.speedSlider(), 8);
}

TEST_F(Transport, NextAndPrevFileStopAtTheListEnds) {
    controls.PlayIndex(2);
    player.clearLog();
    EXPECT_TRUE(controls.NextFile().ok);
    EXPECT_TRUE(player.log.empty());
    EXPECT_EQ(controls.currentIndex(), 2);

    controls.PlayIndex(0);
    player.clearLog();
    controls.PrevFile();
    EXPECT_TRUE(player.log.empty());

    controls.NextFile();
    EXPECT_EQ(controls.currentIndex(), 1);
    EXPECT_THAT(player.log, ElementsAre("Close", "SetSpeed 1", "Play 1 0"));
}

TEST_F(Transport, NextFileWithoutCurrentEntryStopsAndPlays) {
    controls.NextFile();
    EXPECT_THAT(player.log, testing::IsSupersetOf({"Close", "Play 0 0"}));
    EXPECT_TRUE(controls.playing());
}

TEST_F(Transport, NextFileFromAnIndexOutsideTheListPlaysNothing) {
    controls.SelectEntry(7, false); // remembered, though the list holds three
    player.clearLog();
    const Outcome out = controls.NextFile();
    EXPECT_TRUE(player.log.empty());
    EXPECT_FALSE(controls.sourceOpen());
    EXPECT_FALSE(controls.PlayIndex(3).ok);
}

TEST_F(Transport, RefusedPasswordLeavesTheWindowIdleAndIsAskedAgainNextTime) {
    host.password = false;
    const Outcome out = controls.Play();
    EXPECT_FALSE(out.ok);
    EXPECT_FALSE(controls.sourceOpen());
    EXPECT_THAT(player.log, testing::Not(testing::Contains(testing::StartsWith("Play"))));
    EXPECT_EQ(host.passwordAsks, 1);

    host.password = true;
    EXPECT_TRUE(controls.Play().ok);
    controls.Stop();
    controls.Play();
    EXPECT_EQ(host.passwordAsks, 2); // accepted once: not asked again in this run
}

TEST_F(Transport, EngineRefusingToPlayStops) {
    player.playOk = false;
    const Outcome out = controls.PlayIndex(1);
    EXPECT_FALSE(out.ok);
    EXPECT_FALSE(controls.sourceOpen());
    EXPECT_TRUE(out.has(UiAction::DockAndHideChannels));
    EXPECT_FALSE(out.has(UiAction::ShowPlayChannels));
}

TEST_F(Transport, PlayingShowsChannelsAndStartsTheVisibilityRefresh) {
    const Outcome out = controls.PlayIndex(0);
    EXPECT_TRUE(out.before(UiAction::DockAndHideChannels, UiAction::ShowPlayChannels));
    EXPECT_TRUE(out.has(UiAction::StartChannelRefresh));
    EXPECT_TRUE(out.has(UiAction::ClearGSensorHistory));
}

TEST_F(Transport, AutoplayPlaysTheFirstRecordingAndHidesTheChooser) {
    const Outcome out = controls.StartFirstRecording();
    EXPECT_TRUE(out.ok);
    EXPECT_TRUE(out.has(UiAction::HideSourceChooser));
    EXPECT_EQ(controls.currentIndex(), 0);
    EXPECT_THAT(player.log, testing::Contains("Play 0 0"));
}

TEST_F(Transport, ANewSourceForgetsTheCurrentIndex) {
    controls.PlayIndex(2);
    list.Clear();
    EXPECT_EQ(controls.currentIndex(), -1);
    player.clearLog();
    controls.NextFile(); // no current entry: stop, then play from the start
    EXPECT_THAT(player.log, testing::Contains("Close"));
}

TEST_F(Transport, MapModeHandsTransportToTheMapReplay) {
    controls.PlayIndex(0);
    window.mapMode = true;
    player.clearLog();
    controls.Stop();
    controls.NextFrame();
    controls.Seek(kMay1At8 + 60);
    EXPECT_TRUE(player.log.empty());
    EXPECT_TRUE(controls.PlayIndex(1).has(UiAction::LeaveMapMode));
}

// ---- speed ----------------------------------------------------------------------------------

struct SpeedCase {
    int requested;
    int applied;
    double engine;
};

class SpeedLadder : public test::PlaybackFixture, public testing::WithParamInterface<SpeedCase> {};

TEST_P(SpeedLadder, IndexIsClampedAndSentAsItsFactor) {
    controls.SetSpeedIndex(GetParam().requested);
    EXPECT_EQ(controls.speedIndex(), GetParam().applied);
    EXPECT_EQ(controls.speedSlider(), GetParam().applied);
    EXPECT_EQ(player.speed, GetParam().engine);
}

INSTANTIATE_TEST_SUITE_P(All, SpeedLadder,
                         testing::Values(SpeedCase{-5, 0, 1.0 / 32}, SpeedCase{0, 0, 1.0 / 32},
                                         SpeedCase{1, 1, 0.04166666}, SpeedCase{5, 5, 0.5},
                                         SpeedCase{6, 6, 1.0}, SpeedCase{10, 10, 16},
                                         SpeedCase{11, 11, 24}, SpeedCase{12, 12, 32},
                                         SpeedCase{13, 12, 32}));

TEST_F(Transport, SlowerAtTheBottomAndFasterAtTheTopDoNothing) {
    controls.SetSpeedIndex(0);
    player.clearLog();
    controls.Slower();
    EXPECT_TRUE(player.log.empty());
    controls.SetSpeedIndex(12);
    player.clearLog();
    controls.Faster();
    EXPECT_TRUE(player.log.empty());
    controls.Slower();
    EXPECT_EQ(controls.speedIndex(), 11);
    EXPECT_EQ(controls.speedText(), "24x");
}

TEST(SpeedLabel, NamesEveryLadderSpeed) {
    EXPECT_EQ(SpeedLabelText(0), "1/32x");
    EXPECT_EQ(SpeedLabelText(1), "1/24x");
    EXPECT_EQ(SpeedLabelText(5), "1/2x");
    EXPECT_EQ(SpeedLabelText(6), "1x");
    EXPECT_EQ(SpeedLabelText(7), "2x");
    EXPECT_EQ(SpeedLabelText(kBackwardSpeedIndex), "-1x");
}

// ---- volume ---------------------------------------------------------------------------------

TEST_F(Transport, MinButtonReachesSilenceAfter27PressesAndStaysThere) {
    for (int i = 0; i < 27; ++i) {
        controls.VolumeDown();
    }
    EXPECT_EQ(controls.volumeLevel(), 0);
    EXPECT_EQ(player.volumes[0], -4320);
    EXPECT_EQ(player.volumes[7], -4320);
    const Outcome out = controls.VolumeDown();
    EXPECT_EQ(controls.volumeLevel(), 0);
    EXPECT_TRUE(out.has(UiAction::UpdateVolumeSliders));
    controls.VolumeUp();
    EXPECT_EQ(player.volumes[3], -4160);
    EXPECT_EQ(player.volumeCalls, 29 * kChannelCount);
}

TEST(VolumeRules, LevelPercentAndSkinnedSlider) {
    EXPECT_EQ(VolumeForLevel(27), 0);
    EXPECT_EQ(VolumeForLevel(0), -4320);
    EXPECT_EQ(VolumeForLevel(40), 0);
    EXPECT_EQ(VolumeForLevel(-1), -4320);
    EXPECT_EQ(VolumeForPercent(0), kSilenceVolume);
    EXPECT_EQ(VolumeForPercent(-20), kSilenceVolume);
    EXPECT_EQ(VolumeForPercent(1), -2475);
    EXPECT_EQ(VolumeForPercent(100), 0);
    EXPECT_EQ(VolumeForPercent(250), 0);
    EXPECT_EQ(VolumeForSkinnedSlider(0), 0);
    EXPECT_EQ(VolumeForSkinnedSlider(27), -2700);
}

TEST_F(Transport, VolumeSliderTopIsFullVolumeLikeMax) {
    controls.OnVolumeBitmapSlider(27);
    EXPECT_EQ(player.volumes[0], 0);
    controls.OnVolumeBitmapSlider(10);
    EXPECT_EQ(controls.volumeLevel(), 10);
    EXPECT_EQ(player.volumes[0], VolumeForLevel(10));
    controls.VolumeUp();
    EXPECT_EQ(controls.volumeLevel(), 11);
    controls.OnSliderReleased(SliderId::VolumePercent, 40);
    EXPECT_EQ(player.volumes[5], -1500);
}

// ---- step repeat ----------------------------------------------------------------------------

TEST(StepRepeatIntervals, ShrinkByAFifthDownTo51) {
    StepRepeat repeat;
    repeat.Start(0);
    std::vector<int> seen{repeat.intervalMs()};
    std::int64_t t = 0;
    for (int i = 0; i < 16; ++i) {
        const int interval = repeat.intervalMs();
        EXPECT_FALSE(repeat.Due(t + interval)); // more than the interval must pass
        t += interval + 1;
        EXPECT_TRUE(repeat.Due(t));
        seen.push_back(repeat.intervalMs());
    }
    EXPECT_THAT(seen, ElementsAre(1200, 960, 768, 614, 491, 392, 313, 250, 200, 160, 128, 102, 81,
                                  64, 51, 51, 51));
}

TEST_F(Transport, HeldNextFrameRepeatsFromTheNextTimerTickUntilReleased) {
    controls.PlayIndex(0);
    controls.NextFrame(); // the press itself
    tick({StepButton::NextFrame});
    ASSERT_TRUE(controls.stepRepeatRunning());
    const std::int64_t started = clock;
    std::vector<std::int64_t> stepsAt;
    while (clock - started < 3000) {
        clock += StepRepeat::kPollMs;
        player.clearLog();
        controls.OnStepRepeatPoll(StepButton::NextFrame);
        if (!player.log.empty()) {
            EXPECT_THAT(player.log, ElementsAre("SetSpeed 1.1", "Pause 0"));
            stepsAt.push_back(clock - started);
        }
    }
    EXPECT_THAT(stepsAt, ElementsAre(1210, 2180, 2950));
    controls.OnStepRepeatPoll(StepButton::None);
    EXPECT_FALSE(controls.stepRepeatRunning());
    clock += 5000;
    player.clearLog();
    controls.OnStepRepeatPoll(StepButton::None);
    EXPECT_TRUE(player.log.empty());
}

} // namespace
} // namespace tavero::app
