#include "engine/fps_ctrl.h"
#include "engine/tick_source.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace tavero::engine {
namespace {

// The bound of the wait by speed class: driven to both ends with large lags.
struct BoundCase {
    double speed;
    double fps;
    int bound;
};

class PacerBound : public ::testing::TestWithParam<BoundCase> {};

TEST_P(PacerBound, ClampsTheWaitToTheSpeedClassBound) {
    const BoundCase c = GetParam();
    FakeTickSource ticks(1000);
    CFpsCtrl pacer(0, 30.0, &ticks);
    pacer.SetSpeed(c.speed);

    if (c.speed != 0.0) {
        // Frames 1 s of media apart shown at once: the wait grows until it meets the bound.
        pacer.Reset(1'000);
        for (int i = 1; i <= 60; ++i) {
            pacer.Pace(1'000 + i * 1'000'000, c.fps);
        }
        EXPECT_EQ(pacer.wait(), c.bound);
    }
    // Frames 1 ms apart shown 5 s apart: the wait falls to the other end.
    pacer.Reset(1'000);
    for (int i = 1; i <= 5; ++i) {
        ticks.advance(5'000);
        pacer.Pace(1'000 + i * 1'000, c.fps);
    }
    EXPECT_EQ(pacer.wait(), -c.bound);
    EXPECT_EQ(pacer.frameCount(), 5);
}

INSTANTIATE_TEST_SUITE_P(Table, PacerBound,
                         ::testing::Values(BoundCase{2.0, 30.0, 350}, BoundCase{1.0, 30.0, 46},
                                           BoundCase{1.0, 0.0, 39}, BoundCase{-1.0, 25.0, 56},
                                           BoundCase{4.0, 30.0, 87}, BoundCase{8.0, 30.0, 21},
                                           BoundCase{16.0, 30.0, 21}, BoundCase{32.0, 30.0, 10},
                                           BoundCase{0.5, 30.0, 186}, BoundCase{24.0, 30.0, 0},
                                           BoundCase{0.0, 30.0, 39}));

// Frames without time stamps are paced by a nominal interval; three frames, the second 100 ms
// and the third 1000 ms after the one before.
struct NoStampCase {
    double speed;
    double fps;
    std::int64_t pts;
    int waits[3];
};

class PacerWithoutStamps : public ::testing::TestWithParam<NoStampCase> {};

TEST_P(PacerWithoutStamps, UseTheNominalIntervalAndClampAtFourFifths) {
    const NoStampCase c = GetParam();
    FakeTickSource ticks(1000);
    CFpsCtrl pacer(2, 30.0, &ticks);
    pacer.SetSpeed(c.speed);
    pacer.Reset(0);
    const std::int64_t gapsMs[3] = {0, 100, 1000};
    for (int i = 0; i < 3; ++i) {
        ticks.advance(gapsMs[i]);
        EXPECT_EQ(pacer.Pace(c.pts, c.fps), c.waits[i]) << "frame " << i;
    }
    EXPECT_EQ(pacer.frameCount(), 0) << "only stamped frames are counted";
}

INSTANTIATE_TEST_SUITE_P(
    Table, PacerWithoutStamps,
    ::testing::Values(NoStampCase{4.0, 30.0, 0, {250, 200, -200}}, // 250 ms above speed 1
                      NoStampCase{2.0, 0.0, -1, {250, 200, -200}},
                      NoStampCase{1.0, 30.0, 0, {33, -33, -26}}, // the pacer's interval
                      NoStampCase{0.5, 12.0, -1, {33, -33, -26}},
                      NoStampCase{-1.0, 25.0, 0, {40, -20, -32}},  // 1000 / |fps| backwards
                      NoStampCase{-1.0, 0.0, 0, {33, -33, -26}})); // no rate: the interval

// A jump in the time stamps longer than 1.111 s is a cut, not a long frame, below speed 16.
struct JumpCase {
    double speed;
    std::int64_t stepUs;
    int wait;
};

class PacerJump : public ::testing::TestWithParam<JumpCase> {};

TEST_P(PacerJump, CountsAsNoAdvanceBelowSpeed16) {
    const JumpCase c = GetParam();
    FakeTickSource ticks(1000);
    CFpsCtrl pacer(0, 30.0, &ticks);
    pacer.SetSpeed(c.speed);
    pacer.Reset(5'000'000);
    pacer.Pace(5'000'000 + c.stepUs, 30.0);
    EXPECT_EQ(pacer.wait(), c.wait);
}

INSTANTIATE_TEST_SUITE_P(Table, PacerJump,
                         ::testing::Values(JumpCase{1.0, 2'000'000, 0},
                                           JumpCase{1.0, -2'000'000, 0},
                                           JumpCase{8.0, 2'000'000, 0},
                                           JumpCase{1.0, 1'111'111, 46},  // 1111 / 2, bounded
                                           JumpCase{16.0, 2'000'000, 21}, // 125 / 2, bounded
                                           JumpCase{1.0, 2'000, 2}));     // small steps count whole

TEST(FpsCtrl, CarriesTheFractionOfEachFrameForward) {
    // 30 frames/s shown exactly 33 ms apart: a third of a millisecond per frame is carried, and
    // every third frame the carried millisecond moves the wait by one.
    FakeTickSource ticks(1000);
    CFpsCtrl pacer(1, 30.0, &ticks);
    pacer.Reset(0);
    std::vector<int> waits;
    for (int i = 1; i <= 7; ++i) {
        if (i > 1) {
            ticks.advance(33);
        }
        EXPECT_EQ(pacer.Pace(i * 33'333, 30.0), i) << "the result is the frame count";
        waits.push_back(pacer.wait());
    }
    EXPECT_EQ(waits, (std::vector<int>{16, 16, 16, 15, 15, 15, 14}));
}

TEST(FpsCtrl, ElapsedSubtractsAndClearsTheCorrection) {
    FakeTickSource ticks(1000);
    CFpsCtrl pacer(0, 30.0, &ticks);
    EXPECT_EQ(pacer.Elapsed(), 0);
    ticks.advance(40);
    pacer.AddCorrection(10);
    pacer.AddCorrection(5);
    EXPECT_EQ(pacer.Elapsed(), 25);
    EXPECT_EQ(pacer.correction(), 0);
    ticks.advance(10);
    EXPECT_EQ(pacer.Elapsed(), 10);

    pacer.SetRate(25.0);
    EXPECT_DOUBLE_EQ(pacer.interval(), 40.0);
    ticks.advance(500);
    EXPECT_EQ(pacer.Elapsed(), 0) << "a new rate restarts timing";
    pacer.SetRate(0.0);
    EXPECT_DOUBLE_EQ(pacer.interval(), 40.0) << "a stream without a rate keeps the interval";
}

TEST(FpsCtrl, ResetStartsAfreshAndResetTimesUnsetsTheClockBase) {
    FakeTickSource ticks(1000);
    CFpsCtrl pacer(0, 30.0, &ticks);
    pacer.SetExtraWait(7);
    pacer.Reset(0);
    pacer.Pace(40'000, 30.0);
    ticks.set(2500);
    pacer.Reset(0x1'0000'0064); // kept as its low 32 bits
    EXPECT_EQ(pacer.frameCount(), 0);
    EXPECT_EQ(pacer.wait(), 0);
    EXPECT_EQ(pacer.extraWait(), 0);
    EXPECT_EQ(pacer.startTick(), 2500);
    pacer.Pace(100 + 33'000, 30.0);
    EXPECT_EQ(pacer.wait(), 16) << "the step was measured from the low 32 bits";

    pacer.SetClockBase(2000, 9'000'000);
    EXPECT_TRUE(pacer.clockBase().set());
    const CFpsCtrl::ClockBase moved =
        pacer.advanceClockBase(2000 + 1'250'000, 600'000, 600'000'000);
    EXPECT_EQ(moved.tickMs, 1'202'000);
    EXPECT_EQ(moved.mediaUs, 1'209'000'000);
    pacer.ResetTimes();
    EXPECT_FALSE(pacer.clockBase().set());
    EXPECT_EQ(pacer.clockBase().mediaUs, -1);
}

TEST(FpsCtrl, WaitIsCutShortByWakeAndSetRate) {
    CFpsCtrl pacer(0);
    EXPECT_FALSE(pacer.Wait()) << "one millisecond or less is not waited";
    pacer.SetExtraWait(600'000);

    // A wake-up given before the wait starts is kept (a stop must never be missed).
    {
        bool cut = false;
        std::thread waiter([&] { cut = pacer.Wait(); });
        pacer.Wake();
        waiter.join();
        EXPECT_TRUE(cut) << "Wake";
    }
    // A rate change cuts a wait in progress short.
    {
        std::atomic<bool> cut{false};
        std::thread waiter([&] { cut = pacer.Wait(); });
        for (int i = 0; i < 2000 && !cut.load(); ++i) {
            pacer.SetRate(25.0);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        waiter.join();
        EXPECT_TRUE(cut) << "SetRate";
    }
}

TEST(FpsCtrl, TimingRestartsLeaveTheNextWaitWhole) {
    // After a pause, an empty queue or a rate change nobody waited on, the next frame still
    // waits its time: nothing is left in the event to end it early.
    CFpsCtrl pacer(0);
    pacer.SetRate(25.0);
    pacer.RestartTiming();
    pacer.SetRate(30.0);
    pacer.SetExtraWait(30);
    EXPECT_FALSE(pacer.Wait()) << "the wait ran its course, nothing cut it short";
    pacer.Wake();
    pacer.ClearWake();
    EXPECT_FALSE(pacer.Wait()) << "a cleared wake-up does not end the next wait";
}

} // namespace
} // namespace tavero::engine
