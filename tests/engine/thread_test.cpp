#include "engine/crit_secs.h"
#include "engine/thread_base.h"

#include <atomic>
#include <gtest/gtest.h>
#include <latch>

namespace tavero::engine {
namespace {

// Loops until stopped, sleeping in long steps that only Stop can cut short.
class LoopingWorker : public CMyThread {
public:
    ~LoopingWorker() override { Stop(-1); }
    int Run() override {
        while (running()) {
            ++passes;
            SleepWhileRunning(60'000);
        }
        return 7;
    }
    std::atomic<int> passes{0};
};

// Ignores the running flag until released: a thread that does not end in time.
class StuckWorker : public CMyThread {
public:
    ~StuckWorker() override {
        release.count_down();
        Stop(-1);
    }
    int Run() override {
        entered.count_down();
        release.wait();
        return 1;
    }
    std::latch entered{1};
    std::latch release{1};
};

// Stops itself from its own thread, as a reader that switches files does.
class SelfStoppingWorker : public CMyThread {
public:
    ~SelfStoppingWorker() override { Stop(-1); }
    int Run() override {
        Stop(10'000);
        return running() ? 1 : 2;
    }
};

class StateSource : public CSourceCtx {
public:
    using CSourceCtx::CSourceCtx;
    ~StateSource() override { Stop(-1); }
    int Run() override {
        m_runState[0] = 0xA5010000u;
        m_runState[7] = 9;
        while (running()) {
            SleepWhileRunning(60'000);
        }
        return 0;
    }
    std::uint32_t word(std::size_t i) const { return m_runState[i]; }
};

TEST(ThreadBase, StopEndsALongSleepAndCollectsTheResult) {
    LoopingWorker w;
    ASSERT_TRUE(w.Start());
    EXPECT_TRUE(w.running());
    EXPECT_TRUE(w.hasThread());
    w.Stop(-1);
    EXPECT_FALSE(w.running());
    EXPECT_FALSE(w.hasThread());
    EXPECT_EQ(w.exitCode(), 7);
    EXPECT_GE(w.passes.load(), 0);

    // The object is reused by the next Start.
    ASSERT_TRUE(w.Start());
    w.Stop(-1);
    EXPECT_EQ(w.exitCode(), 7);
}

TEST(ThreadBase, AThreadThatOutlivesItsStopIsNeverRunTwice) {
    StuckWorker w;
    ASSERT_TRUE(w.Start());
    w.entered.wait();
    w.Stop(0);
    EXPECT_FALSE(w.running());
    EXPECT_TRUE(w.hasThread()) << "a thread that did not end is kept, not forgotten";
    EXPECT_FALSE(w.Start()) << "a second thread would run Run() beside the first";

    w.release.count_down();
    w.Stop(-1);
    EXPECT_FALSE(w.hasThread());
    EXPECT_EQ(w.exitCode(), 1);
}

TEST(ThreadBase, StartWhileRunningIsRefused) {
    LoopingWorker w;
    ASSERT_TRUE(w.Start());
    EXPECT_FALSE(w.Start());
    w.Stop(-1);
}

TEST(ThreadBase, StopFromTheWorkersOwnThreadDoesNotWaitForItself) {
    SelfStoppingWorker w;
    ASSERT_TRUE(w.Start());
    w.Stop(-1);
    EXPECT_EQ(w.exitCode(), 2);
}

TEST(ThreadBase, SleepWhileRunningReturnsAtOnceWhenNotRunning) {
    LoopingWorker w;
    w.SleepWhileRunning(60'000); // would hang the test if it slept
    EXPECT_FALSE(w.running());
}

TEST(ThreadBase, SourceStopZeroesTheRunStateOnceTheThreadHasEnded) {
    int ownerTag = 0;
    auto* owner = reinterpret_cast<COzuCtrl*>(&ownerTag);
    StateSource s(owner);
    EXPECT_EQ(s.owner(), owner);
    s.setCurrentTime(1'700'000'000);
    ASSERT_TRUE(s.Start());
    s.Stop(-1); // Run writes the state before it looks at the running flag

    for (std::size_t i = 0; i < CSourceCtx::kRunStateWords; ++i) {
        EXPECT_EQ(s.word(i), 0u) << i;
    }
    EXPECT_EQ(s.currentTime(), 1'700'000'000);
}

TEST(ThreadBase, AutoResetEventKeepsASetUntilOneWaitConsumesIt) {
    AutoResetEvent e;
    EXPECT_FALSE(e.WaitFor(0));
    e.Set();
    e.Set();
    EXPECT_TRUE(e.isSet());
    EXPECT_TRUE(e.WaitFor(60'000));
    EXPECT_FALSE(e.isSet());
    EXPECT_FALSE(e.WaitFor(0));
}

} // namespace
} // namespace tavero::engine
