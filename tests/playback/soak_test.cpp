// A soak of user sequences: random but repeatable runs of what people do at a player (play,
// pause, every ladder speed, reverse, steps, seeks anywhere, channel switches, close, another
// recording) against one control, with the invariants a user would state checked after each
// step. TAVERO_SOAK_OPS and TAVERO_SOAK_SEED make longer or other runs by hand.

#include "card_fixture.h"
#include "picture_window.h"
#include "platform/drive_table.h"
#include "sequence_card.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <thread>

namespace tavero {
namespace {

using Clock = std::chrono::steady_clock;
using testing::ShownPicture;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

constexpr int kDrive = 7;

long EnvNumber(const char* name, long fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtol(text, nullptr, 10) : fallback;
}

std::size_t ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0;
    std::size_t resident = 0;
    statm >> pages >> resident;
    return resident * 4;
}

class Soak {
public:
    Soak(const testing::SequenceCard& card, std::uint32_t seed) : m_card(card), m_rng(seed) {
        m_control = testing::OpenUnpaced(m_sink, m_window, kDrive, card.image);
        m_records = engine::PlayerLoadIndex(m_control.get()) != nullptr
                        ? m_control->box().index().fullList()
                        : std::vector<store::IndexRecord*>{};
        for (const auto& u : card.manifest.units) {
            if (u.channel == 0 && !u.channelOff && !u.badChecksum) {
                m_unitTimes.push_back(UnitSeconds(u));
            }
        }
        std::sort(m_unitTimes.begin(), m_unitTimes.end());
    }

    void run(long operations) {
        ASSERT_GE(m_records.size(), 3u);
        play(0);
        for (long i = 0; i < operations && !::testing::Test::HasFatalFailure(); ++i) {
            step(i);
            if (i == operations / 5) {
                m_residentAfterWarmUp = ResidentKiB();
            }
        }
        const auto before = Clock::now();
        engine::PlayerClose(m_control.get());
        EXPECT_LT(Clock::now() - before, std::chrono::seconds(11)) << "close within its timeouts";
        if (!kSanitized && m_residentAfterWarmUp > 0) {
            EXPECT_LT(ResidentKiB(), m_residentAfterWarmUp + 96 * 1024)
                << "memory grows across plays";
        }
    }

    void report() const {
        std::string text = "soak:";
        for (const auto& [name, count] : m_ops) {
            text += " " + name + "=" + std::to_string(count);
        }
        text += " | seeks checked " + std::to_string(m_seeksShown) + ", ended at the data's end " +
                std::to_string(m_seeksEnded) + ", superseded " + std::to_string(m_seeksSuperseded) +
                ", play-throughs " + std::to_string(m_playThroughs);
        std::printf("%s\n", text.c_str());
        ::testing::Test::RecordProperty("soak", text);
    }

private:
    static std::int64_t UnitSeconds(const sim::ManifestUnit& u) {
        store::PackedTime p;
        std::copy(u.packed.begin(), u.packed.end(), p.bytes.begin());
        return store::PackedTimeToSeconds(p);
    }

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }
    void count(const std::string& op) {
        ++m_ops[op];
        m_trail.push_back(op);
        if (m_trail.size() > 10) {
            m_trail.erase(m_trail.begin());
        }
    }
    // Every action with its values on standard error (TAVERO_SOAK_TRACE=1), to replay a run.
    void trace(const std::string& text) const {
        if (m_trace) {
            std::fprintf(stderr, "soak: %s\n", text.c_str());
        }
    }
    // The last actions and the player's state, for a failure's message.
    std::string trail() const {
        std::string text = " (speed " + std::to_string(m_speed) +
                           (m_control->paused.load() ? ", paused" : "") + "; last actions:";
        for (const std::string& op : m_trail) {
            text += " " + op;
        }
        return text + ")";
    }
    void pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

    void play(std::size_t record) {
        engine::PlayerClose(m_control.get());
        m_sink.Clear();
        trace("play " + std::to_string(record + 1));
        ASSERT_TRUE(engine::PlayerPlay(m_control.get(), m_records[record], 0))
            << m_control->lastError();
        m_paused = false;
    }

    void setSpeed(double speed) {
        trace("speed " + std::to_string(speed));
        engine::PlayerSetSpeed(m_control.get(), speed);
        m_speed = speed;
    }

    // One random action and its check.
    void step(long index) {
        static constexpr double kLadder[] = {1.0 / 32, 0.04166666, 1.0 / 16, 1.0 / 8, 0.25,
                                             0.5,      1.0,        2.0,      4.0,     8.0,
                                             16.0,     24.0,       32.0};
        const std::size_t before = m_sink.Count(engine::kMsgEndOfStream);
        switch (pick(14)) {
        case 0:
        case 1:
        case 2:
        case 3:
            seek();
            break;
        case 4:
            count("speed");
            setSpeed(kLadder[pick(13)]);
            pause(20);
            break;
        case 5:
            count("reverse");
            setSpeed(-1.0);
            pause(20);
            break;
        case 6:
            // The player's own state: a step pauses it by itself.
            m_paused = !m_control->paused.load();
            count(m_paused ? "pause" : "resume");
            if (!m_paused && std::fabs(m_speed) == 1.1) {
                setSpeed(1.0);
            }
            trace(m_paused ? "pause" : "resume");
            engine::PlayerPause(m_control.get(), m_paused ? 1 : 0);
            pause(20);
            break;
        case 7:
            count(pick(2) == 0 ? "step" : "back");
            setSpeed(m_ops["step"] >= m_ops["back"] ? 1.1 : -1.1);
            engine::PlayerPause(m_control.get(), 0);
            pause(40);
            break;
        case 8:
            count("channels");
            {
                const int video = pick(4) != 0 ? 1 : 0;
                const int audio = pick(2);
                const int channel = pick(2);
                trace("video 2 " + std::to_string(video) + ", audio " +
                      std::to_string(channel + 1) + " " + std::to_string(audio));
                engine::PlayerEnableVideo(m_control.get(), video, 1);
                engine::PlayerEnableAudio(m_control.get(), audio, channel);
            }
            break;
        case 9:
            count("close");
            {
                const auto t0 = Clock::now();
                engine::PlayerClose(m_control.get());
                EXPECT_LT(Clock::now() - t0, std::chrono::seconds(11))
                    << "close within its timeouts";
            }
            play(static_cast<std::size_t>(pick(3)));
            setSpeed(1.0);
            break;
        case 10:
            count("play another");
            play(static_cast<std::size_t>(pick(3)));
            m_trail.back() += "#" + std::to_string(m_records.size());
            setSpeed(pick(3) == 0 ? -1.0 : 1.0);
            break;
        case 11:
            count("tick");
            engine::PlayerTick(m_control.get(), 1);
            engine::PlayerRepaint(m_control.get());
            break;
        case 12:
            if (index % 7 == 0) {
                playThrough();
            } else {
                count("wait");
                pause(30);
            }
            break;
        default:
            count("volume");
            engine::PlayerSetVolume(m_control.get(), -2500 + 100 * pick(26), pick(2));
            break;
        }
        EXPECT_LE(m_sink.Count(engine::kMsgEndOfStream), before + 3 * engine::kChannelCount)
            << "a storm of end notifications after action " << index;
    }

    // Seeks somewhere a person might: inside a recording, across, into the time between them,
    // before the first or after the last unit, forwards or while reversing.
    void seek() {
        count("seek");
        const int r = pick(3);
        std::int64_t target = 0;
        switch (pick(5)) {
        case 0:
            target = r == 0 ? m_card.start[0] - 3600 : m_card.start[r]; // before the first unit
            break;
        case 1:
            target = m_card.end[r] + 1 + pick(40); // after a recording: between or past the last
            break;
        default:
            target = m_card.start[r] + pick(static_cast<int>(m_card.end[r] - m_card.start[r] + 1));
            break;
        }
        if (pick(6) == 0) {
            setSpeed(-1.0);
        } else if (std::fabs(m_speed) > 2 || std::fabs(m_speed) == 1.1) {
            setSpeed(1.0);
        }
        // A change of direction is a seek of its own: it is taken first.
        for (int i = 0; i < 5000 && m_control->seekTarget.load() != 0; ++i) {
            pause(1);
        }
        const bool backwards = m_speed < 0;
        m_trail.back() += "@" + std::to_string(target - m_card.start[0]);
        const std::int64_t zero = 0;
        m_sink.Clear();
        trace("seek " + std::to_string(target));
        engine::PlayerSeek(m_control.get(), static_cast<std::int32_t>(target));
        // Pictures before this point were shown before the seek.
        const std::size_t from = m_window.shown(0).size();
        const auto until = Clock::now() + std::chrono::seconds(10);
        while (m_control->seekTarget.load() != 0 && Clock::now() < until) {
            pause(1);
        }
        ASSERT_EQ(m_control->seekTarget.load(), 0)
            << "the seek to " << target << " was never taken" << trail();
        // What a person should see: the first unit at or after the target (backwards: at or
        // before it); no such unit: the end of the data.
        std::int64_t expected = 0;
        if (backwards) {
            const auto it = std::upper_bound(m_unitTimes.begin(), m_unitTimes.end(), target);
            expected = it == m_unitTimes.begin() ? 0 : *(it - 1);
        } else {
            const auto it = std::lower_bound(m_unitTimes.begin(), m_unitTimes.end(), target);
            expected = it == m_unitTimes.end() ? 0 : *it;
        }
        if (expected == 0) {
            EXPECT_TRUE(m_sink.WaitFor(engine::kMsgEndOfStream, 5000, &zero))
                << "a seek to " << target << " past the data ends it" << trail();
            ++m_seeksEnded;
            return;
        }
        // Two pictures, or one when the player stays paused on it.
        std::vector<ShownPicture> shown;
        const auto start = Clock::now();
        while (Clock::now() < start + std::chrono::seconds(8)) {
            shown = m_window.shown(0);
            if (shown.size() >= from + 2 ||
                (shown.size() >= from + 1 && m_control->paused.load() &&
                 Clock::now() > start + std::chrono::milliseconds(300))) {
                break;
            }
            pause(2);
        }
        ASSERT_GT(shown.size(), from) << "nothing shown after a seek to " << target << trail();
        // The picture that may have been on its way to the window when the seek came is
        // passed over.
        bool fits = false;
        for (std::size_t i = from; i < shown.size() && i < from + 2 && !fits; ++i) {
            const std::int64_t t = shown[i].timeSeconds;
            fits = backwards ? (t <= expected && t >= expected - 1)
                             : (t >= expected && t <= expected + 1);
        }
        EXPECT_TRUE(fits) << "seek to " << target << (backwards ? " backwards" : "") << " expected "
                          << expected << ", shown " << shown[from].timeSeconds << trail();
        ++m_seeksShown;
    }

    // From the start of a recording at speed 1 to its end: every picture from the first key
    // picture on, in order.
    void playThrough() {
        count("play through");
        const int r = pick(3);
        play(static_cast<std::size_t>(r));
        setSpeed(1.0);
        m_window.Clear();
        const std::int64_t zero = 0;
        ASSERT_TRUE(m_sink.WaitFor(engine::kMsgEndOfStream, 60000, &zero));
        const auto shown = m_window.shown(0);
        std::vector<std::int64_t> written;
        for (const auto& f : m_card.manifest.channels[0].frames) {
            if (f.media == sim::FrameMedia::Video && f.recording >= static_cast<std::uint32_t>(r)) {
                written.push_back(static_cast<std::int32_t>(f.timestampUs));
            }
        }
        ASSERT_GE(shown.size(), 1u);
        for (std::size_t i = 0; i < shown.size() && i < written.size(); ++i) {
            ASSERT_EQ(shown[i].ptsUs, written[i])
                << "picture " << i << " of a play from recording " << r + 1;
        }
        EXPECT_EQ(shown.size(), written.size()) << "every picture to the end of the data";
        ++m_playThroughs;
    }

    const testing::SequenceCard& m_card;
    std::mt19937 m_rng;
    engine::RecordingSink m_sink;
    testing::PictureWindow m_window;
    testing::ControlPtr m_control;
    std::vector<store::IndexRecord*> m_records;
    std::vector<std::int64_t> m_unitTimes;
    double m_speed = 1.0;
    bool m_paused = false;
    std::map<std::string, int> m_ops;
    std::vector<std::string> m_trail;
    const bool m_trace = EnvNumber("TAVERO_SOAK_TRACE", 0) != 0;
    int m_seeksShown = 0;
    int m_seeksEnded = 0;
    int m_seeksSuperseded = 0;
    int m_playThroughs = 0;
    std::size_t m_residentAfterWarmUp = 0;
};

TEST(Soak, RandomUserSequencesHoldTheInvariants) {
    testing::TempDir dir;
    testing::SequenceCard card;
    std::string error;
    ASSERT_TRUE(testing::MakeSequenceCard((dir / "card.img").string(), 16, card, error)) << error;
    const auto seed = static_cast<std::uint32_t>(EnvNumber("TAVERO_SOAK_SEED", 20261209));
    const long operations = EnvNumber("TAVERO_SOAK_OPS", 1000);
    Soak soak(card, seed);
    soak.run(operations);
    soak.report();
    platform::ClearDrivePaths();
}

} // namespace
} // namespace tavero
