#include "engine/channel_clock.h"
#include "engine/fps_ctrl.h"
#include "engine/tick_source.h"

#include <array>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <vector>

namespace tavero::engine {
namespace {

class ChannelClockTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int ch = 0; ch < ChannelClock::kChannels; ++ch) {
            pacers[static_cast<std::size_t>(ch)] = std::make_unique<CFpsCtrl>(ch, 30.0, &ticks);
            clock.Attach(ch, pacers[static_cast<std::size_t>(ch)].get());
        }
    }
    CFpsCtrl& pacer(int ch) { return *pacers[static_cast<std::size_t>(ch)]; }

    // Channel 3 becomes master at tsUs, then channel 1 uses up the settle count.
    void SettleWithMaster3(std::int64_t tsUs) {
        clock.OnFrame(3, tsUs, 30.0);
        for (int i = 0; i < ChannelClock::kSettleFrames; ++i) {
            clock.OnFrame(1, tsUs, 30.0);
        }
        ASSERT_EQ(clock.settleCount(), 0);
    }

    FakeTickSource ticks{1000};
    std::array<std::unique_ptr<CFpsCtrl>, ChannelClock::kChannels> pacers;
    ChannelClock clock{&ticks};
};

TEST_F(ChannelClockTest, FirstStampedFrameChoosesTheMasterAndOthersSettle) {
    clock.OnFrame(2, ChannelClock::kInvalidTs, 30.0);
    EXPECT_EQ(clock.master(), ChannelClock::kMasterUnset) << "a frame without a stamp only paces";

    clock.OnFrame(3, 10'000'000, 30.0);
    EXPECT_EQ(clock.master(), 3);
    EXPECT_EQ(clock.settleCount(), ChannelClock::kSettleFrames);
    EXPECT_EQ(clock.clockUs(), 10'000'000);
    for (int i = 0; i < ChannelClock::kSettleFrames; ++i) {
        clock.OnFrame(1, 12'000'000, 30.0); // 2 s ahead, yet not corrected while settling
        EXPECT_EQ(pacer(1).correction(), 0);
    }
    EXPECT_EQ(clock.settleCount(), 0);

    clock.Restart();
    clock.OnFrame(5, 20'000'000, 30.0);
    EXPECT_EQ(clock.master(), 5) << "after a restart the next frame chooses again";
}

// The next wait of a channel that is not the master grows by its lag, at most 200 ms.
struct LagCase {
    int lagMs;
    int correction;
};

class ChannelLag : public ChannelClockTest, public ::testing::WithParamInterface<LagCase> {};

TEST_P(ChannelLag, CorrectsTheNextWaitByAtMost200Ms) {
    const LagCase c = GetParam();
    SettleWithMaster3(10'000'000);
    clock.OnFrame(2, 10'000'000 + c.lagMs * 1000, 30.0);
    EXPECT_EQ(pacer(2).lag(), c.lagMs);
    EXPECT_EQ(pacer(2).correction(), c.correction);
    EXPECT_EQ(clock.master(), 3);
}

INSTANTIATE_TEST_SUITE_P(Table, ChannelLag,
                         ::testing::Values(LagCase{300, 200}, LagCase{-300, -200},
                                           LagCase{200, 200}, LagCase{50, 50}, LagCase{-50, -50},
                                           LagCase{3, 3}, LagCase{0, 0}));

TEST_F(ChannelClockTest, ChannelZeroJustAheadTakesOverAsMaster) {
    SettleWithMaster3(10'000'000);
    // 3 ms is below a sixth of the 33 ms frame interval.
    clock.OnFrame(0, 10'003'000, 30.0);
    EXPECT_EQ(clock.master(), 0);
    EXPECT_EQ(clock.clockUs(), 10'003'000);
    EXPECT_EQ(pacer(0).correction(), 0);

    // Just behind, it is corrected instead.
    ChannelClock other(&ticks);
    for (int ch = 0; ch < ChannelClock::kChannels; ++ch) {
        other.Attach(ch, &pacer(ch));
    }
    other.OnFrame(3, 10'000'000, 30.0);
    for (int i = 0; i < ChannelClock::kSettleFrames; ++i) {
        other.OnFrame(1, 10'000'000, 30.0);
    }
    other.OnFrame(0, 9'997'000, 30.0);
    EXPECT_EQ(other.master(), 3);
    EXPECT_EQ(pacer(0).correction(), -3);
}

TEST_F(ChannelClockTest, MasterDriftShortensItsWaitEvery100Ms) {
    // Without a sound clock the clock is the master's last stamp, so the drift sums its steps.
    const std::int64_t stamps[] = {50'000, 100'000, 150'000, 200'000, 250'000};
    const std::int64_t drift[] = {50'000, 100'000, 50'000, 100'000, 50'000};
    const int correction[] = {0, 0, -1, 0, -1};
    for (int i = 0; i < 5; ++i) {
        clock.OnFrame(3, stamps[i], 30.0);
        EXPECT_EQ(clock.driftUs(), drift[i]) << i;
        EXPECT_EQ(pacer(3).correction(), correction[i]) << i;
        EXPECT_EQ(clock.clockUs(), stamps[i]);
    }
}

TEST_F(ChannelClockTest, SoundClockLeadsOnceSetAndIsRebasedEveryTenMinutes) {
    clock.SetAudioClockBase(1000, 5'000'000);
    EXPECT_EQ(pacer(6).clockBase().mediaUs, 5'000'000) << "every pacer gets the base";
    SettleWithMaster3(5'000'000);

    // 100 ms later the sound is at 5.1 s; a channel 20 ms ahead of it, with the sound close to
    // the frames: no master channel, every channel follows the sound.
    ticks.advance(100);
    clock.OnFrame(1, 5'120'000, 30.0);
    EXPECT_EQ(clock.master(), ChannelClock::kNoMaster);
    EXPECT_EQ(pacer(1).correction(), 20);

    // Frames 20 s away from the sound: channel 0 leads again.
    clock.OnFrame(2, 25'100'000, 30.0);
    EXPECT_EQ(clock.master(), 0);
    EXPECT_EQ(pacer(2).correction(), 200);

    // After ten minutes the reporting channel's base moves on by 600 s of ticks and media.
    ticks.set(1000 + 600'000 + 5);
    clock.OnFrame(1, 605'005'000, 30.0);
    EXPECT_EQ(pacer(1).clockBase().tickMs, 601'000);
    EXPECT_EQ(pacer(1).clockBase().mediaUs, 605'000'000);
    EXPECT_EQ(clock.master(), ChannelClock::kNoMaster);
}

TEST_F(ChannelClockTest, EightWorkersReportAtOnce) {
    clock.SetAudioClockBase(1000, 0);
    std::vector<std::thread> workers;
    for (int ch = 0; ch < ChannelClock::kChannels; ++ch) {
        workers.emplace_back([this, ch] {
            for (int i = 1; i <= 2000; ++i) {
                clock.OnFrame(ch, i * 33'333, ch % 2 == 0 ? 30.0 : -30.0);
                if (ch == 0 && i % 100 == 0) {
                    ticks.advance(3300);
                    clock.SetAudioClockBase(ticks.nowMs(), i * 33'333);
                }
            }
        });
    }
    for (std::thread& t : workers) {
        t.join();
    }
    const int master = clock.master();
    EXPECT_TRUE(master == ChannelClock::kNoMaster || (master >= 0 && master < 8)) << master;
    for (int ch = 0; ch < ChannelClock::kChannels; ++ch) {
        EXPECT_EQ(pacer(ch).frameCount(), 2000);
    }
}

} // namespace
} // namespace tavero::engine
