// A PlaybackControls over a fake player with three listed recordings of 1 May 2024 (UTC), a
// manual clock and recorded waits, for tests that press buttons in the order a user would.
//
// Thread: the test's thread.
#pragma once

#include "app/playback_controls.h"
#include "fake_player.h"

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <vector>

namespace tavero::test {

class FakePlaybackHost final : public app::PlaybackHost {
public:
    bool TakeEntry(store::IndexRecord*) override {
        ++takes;
        return take;
    }
    bool CheckPassword() override {
        ++passwordAsks;
        return password;
    }
    bool take = true;
    bool password = true;
    int takes = 0;
    int passwordAsks = 0;
};

// 2024-05-01 08:00:00 UTC.
inline constexpr std::int64_t kMay1At8 = 1714550400;

class PlaybackFixture : public ::testing::Test {
protected:
    PlaybackFixture() {
        setenv("TZ", "UTC", 1);
        tzset();
        player.setRecordings({{kMay1At8, kMay1At8 + 600},
                              {kMay1At8 + 600, kMay1At8 + 1200},
                              {kMay1At8 + 3600, kMay1At8 + 3900, store::kEventCodeGSensorEvent}});
        for (store::IndexRecord* r = player.LoadIndex(); r != nullptr;) {
            const store::RecordingEntry e = player.BuildEntry(r, list.size() + 1);
            list.Append(e);
            r = e.next;
        }
    }

    app::PlaybackOptions options() {
        app::PlaybackOptions o;
        o.nowMs = [this] { return clock; };
        o.sleepMs = [this](int ms) { sleeps.push_back(ms); };
        return o;
    }

    // The timer a second later, as the window's timer would run it.
    app::Outcome tick(app::TimerInput input = {}) {
        clock += 1000;
        return controls.OnTimer(input);
    }

    FakePlayer player;
    FakePlaybackHost host;
    app::RecordingList list;
    app::WindowState window;
    std::int64_t clock = 10'000'000;
    std::vector<int> sleeps;
    app::PlaybackControls controls{player, host, list, window, options()};
};

} // namespace tavero::test
