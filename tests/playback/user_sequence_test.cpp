// The engine driven the way a person drives a player: seeks while playing backwards, two seeks
// in a row, seeks into the time between recordings and past either end, a second recording on
// the same control, a camera switching off. What the person sees is checked, not how.

#include "card_fixture.h"
#include "engine/video_ctx.h"
#include "picture_window.h"
#include "platform/drive_table.h"
#include "sequence_card.h"
#include "store/recording_entry.h"

#include <chrono>
#include <gtest/gtest.h>
#include <set>
#include <thread>

namespace tavero {
namespace {

using testing::PictureWindow;
using testing::ShownPicture;
using Clock = std::chrono::steady_clock;

constexpr int kDrive = 6;

class UserSequence : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new testing::TempDir();
        s_card = new testing::SequenceCard();
        std::string error;
        ASSERT_TRUE(testing::MakeSequenceCard((*s_dir / "card.img").string(), 16, *s_card, error))
            << error;
    }
    static void TearDownTestSuite() {
        delete s_card;
        delete s_dir;
    }
    void SetUp() override {
        m_control = testing::OpenUnpaced(m_sink, m_window, kDrive, s_card->image);
        ASSERT_NE(engine::PlayerLoadIndex(m_control.get()), nullptr);
        // One record a recording, and the block after the last one.
        ASSERT_EQ(records().size(), 4u);
    }
    void TearDown() override {
        m_control.reset();
        platform::ClearDrivePaths();
    }
    const std::vector<store::IndexRecord*>& records() {
        return m_control->box().index().fullList();
    }
    void play(std::size_t record, double speed = 1.0) {
        engine::PlayerSetSpeed(m_control.get(), speed);
        ASSERT_TRUE(engine::PlayerPlay(m_control.get(), records()[record], 0))
            << m_control->lastError();
    }
    // Seeks and waits until the reader took the target; the pictures shown from then on.
    std::size_t seek(std::int64_t target) {
        const std::size_t from = m_window.shown(0).size();
        engine::PlayerSeek(m_control.get(), static_cast<std::int32_t>(target));
        const auto until = Clock::now() + std::chrono::seconds(20);
        while (m_control->seekTarget.load() != 0 && Clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        EXPECT_EQ(m_control->seekTarget.load(), 0)
            << "the seek to " << target << " was never taken";
        // Pictures of the old position may still be shown until the reader took the seek
        // (many when the machine is slow, as under a sanitizer); they do not count.
        m_oldPictures = m_window.shown(0).size() - from;
        return from;
    }
    // Waits until channel 0 showed more than `count` pictures in all; its pictures from `from`.
    std::vector<ShownPicture> picturesFrom(std::size_t from, std::size_t count = 3,
                                           int timeoutMs = 20000) {
        const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
        std::vector<ShownPicture> shown;
        for (;;) {
            shown = m_window.shown(0);
            if (shown.size() >= from + m_oldPictures + count || Clock::now() > until) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return std::vector<ShownPicture>(
            shown.begin() + static_cast<std::ptrdiff_t>(std::min(from, shown.size())), shown.end());
    }
    // The first picture after a seek, skipping those shown before the reader took it and the
    // one that may have been on its way to the window then.
    const ShownPicture* firstAfterSeek(const std::vector<ShownPicture>& after,
                                       bool (*fits)(std::int64_t, std::int64_t),
                                       std::int64_t target) const {
        for (std::size_t i = 0; i < after.size() && i < m_oldPictures + 2; ++i) {
            if (fits(after[i].timeSeconds, target)) {
                return &after[i];
            }
        }
        return nullptr;
    }
    static bool AtOrJustAfter(std::int64_t t, std::int64_t target) {
        return t >= target && t <= target + 1;
    }
    static bool AtOrJustBefore(std::int64_t t, std::int64_t target) {
        return t <= target && t >= target - 1;
    }

    bool waitForEnd(int channel) {
        const std::int64_t c = channel;
        return m_sink.WaitFor(engine::kMsgEndOfStream, 20000, &c);
    }

    static testing::TempDir* s_dir;
    static testing::SequenceCard* s_card;
    engine::RecordingSink m_sink;
    PictureWindow m_window;
    PictureWindow m_otherWindow; // a channel's own window; outlives the control like m_window
    testing::ControlPtr m_control;
    std::size_t m_oldPictures = 0; // shown after the last seek was asked for, before it was taken
};

testing::TempDir* UserSequence::s_dir = nullptr;
testing::SequenceCard* UserSequence::s_card = nullptr;

TEST_F(UserSequence, ForwardSeekWhilePlayingBackwardsShowsTheTarget) {
    // Backwards from the middle of the second recording to the start of the data, then a seek
    // far ahead: the reader walks towards the target, not away from it.
    play(1, -1.0);
    (void)seek(s_card->start[1] + 8);
    ASSERT_TRUE(waitForEnd(0)) << "playing backwards reaches the start of the data";
    const std::int64_t target = s_card->start[2] + 6;
    const auto after = picturesFrom(seek(target));
    const ShownPicture* first = firstAfterSeek(after, AtOrJustBefore, target);
    ASSERT_NE(first, nullptr) << "backwards, the seek shows the second before the target";
    // One end of the data, at most one more: each channel says so once per end.
    EXPECT_LE(m_sink.Count(engine::kMsgEndOfStream), 2u * engine::kChannelCount)
        << "no storm of end notifications";
}

TEST_F(UserSequence, SecondSeekInTheSameRecordingIsTakenToo) {
    play(0);
    engine::PlayerPause(m_control.get(), 1);
    for (const std::int64_t offset : {12, 3, 14, 2}) {
        const std::int64_t target = s_card->start[0] + offset;
        engine::PlayerPause(m_control.get(), 0);
        const auto after = picturesFrom(seek(target));
        EXPECT_NE(firstAfterSeek(after, AtOrJustAfter, target), nullptr) << "seek to +" << offset;
        engine::PlayerPause(m_control.get(), 1);
    }
}

TEST_F(UserSequence, SeekIntoTheTimeBetweenRecordingsPlaysTheNearestUnit) {
    // The first recording's index entry reaches the second's start, its units end 24 s earlier:
    // a target in between is reached by no unit.
    const std::int64_t gap = s_card->end[0] + 10;
    play(0);
    auto after = picturesFrom(seek(gap));
    ASSERT_FALSE(after.empty());
    EXPECT_NE(firstAfterSeek(
                  after, [](std::int64_t t, std::int64_t s) { return t >= s && t <= s + 1; },
                  s_card->start[1]),
              nullptr)
        << "forwards: the first unit after the target, the second recording's start";

    engine::PlayerSetSpeed(m_control.get(), -1.0);
    after = picturesFrom(seek(gap));
    ASSERT_FALSE(after.empty());
    EXPECT_NE(firstAfterSeek(after, AtOrJustBefore, s_card->end[0]), nullptr)
        << "backwards: the last unit before the target, the first recording's end";

    // The second gap, between the second and third recordings, both ways.
    const std::int64_t gap2 = s_card->end[1] + 30;
    after = picturesFrom(seek(gap2));
    EXPECT_NE(firstAfterSeek(after, AtOrJustBefore, s_card->end[1]), nullptr);
    engine::PlayerSetSpeed(m_control.get(), 1.0);
    after = picturesFrom(seek(gap2));
    EXPECT_NE(firstAfterSeek(after, AtOrJustAfter, s_card->start[2]), nullptr);
}

TEST_F(UserSequence, SeeksPastEitherEndOfTheData) {
    play(1);
    // Before the first unit, forwards: the first pictures of the card.
    auto after = picturesFrom(seek(s_card->start[0] - 3600));
    EXPECT_NE(firstAfterSeek(after, AtOrJustAfter, s_card->start[0]), nullptr);
    // After the last unit, backwards: the last pictures of the card.
    engine::PlayerSetSpeed(m_control.get(), -1.0);
    after = picturesFrom(seek(s_card->end[2] + 3600));
    EXPECT_NE(firstAfterSeek(after, AtOrJustBefore, s_card->end[2]), nullptr);
    // Before the first unit, backwards: nothing lies there, the data ends.
    m_sink.Clear();
    (void)seek(s_card->start[0] - 3600);
    EXPECT_TRUE(waitForEnd(0));
    // After the last unit, forwards: the data ends too; then a seek plays again.
    engine::PlayerSetSpeed(m_control.get(), 1.0);
    m_sink.Clear();
    (void)seek(s_card->end[2] + 3600);
    EXPECT_TRUE(waitForEnd(0));
    after = picturesFrom(seek(s_card->start[2] + 4));
    EXPECT_NE(firstAfterSeek(after, AtOrJustAfter, s_card->start[2] + 4), nullptr);
}

TEST_F(UserSequence, EveryPictureFromTheFirstKeyPictureOnIsShownInOrder) {
    // After the start and after a seek the first group is shown whole: its predicted pictures
    // do not wait for the second key picture.
    play(0);
    ASSERT_TRUE(waitForEnd(0));
    std::vector<std::uint32_t> written;
    for (const auto& f : s_card->manifest.channels[0].frames) {
        if (f.media == sim::FrameMedia::Video && f.recording == 0) {
            written.push_back(f.timestampUs);
        }
    }
    const auto shown = m_window.shown(0);
    ASSERT_GE(shown.size(), written.size());
    for (std::size_t i = 0; i < written.size(); ++i) {
        EXPECT_EQ(shown[i].ptsUs, static_cast<std::int32_t>(written[i])) << "picture " << i;
    }
    EXPECT_TRUE(shown.front().key);

    engine::PlayerPause(m_control.get(), 1);
    engine::PlayerPause(m_control.get(), 0);
    const auto after = picturesFrom(seek(s_card->start[0] + 7), 12);
    std::size_t firstKey = 0;
    while (firstKey < after.size() && !after[firstKey].key) {
        ++firstKey;
    }
    ASSERT_LT(firstKey + 10, after.size());
    for (std::size_t i = firstKey + 1; i < firstKey + 10; ++i) {
        EXPECT_EQ(after[i].ptsUs - after[i - 1].ptsUs, 100000)
            << "a picture of the first group is missing";
    }
}

TEST_F(UserSequence, PlayingAnotherRecordingOnTheSameControlStartsItsClockAfresh) {
    // The window stops and plays another entry on the one control; the sound settings changed
    // in between. The channels must not keep following the last play's clock.
    m_control->runWorkers = false;
    play(0);
    m_control->channelClock.OnFrame(0, 1'000'000, 10); // the first play picks its master
    ASSERT_NE(m_control->channelClock.master(), engine::ChannelClock::kMasterUnset);
    engine::PlayerClose(m_control.get());
    engine::PlayerEnableAudio(m_control.get(), 0, 0);
    play(2);
    EXPECT_EQ(m_control->channelClock.master(), engine::ChannelClock::kMasterUnset);
    EXPECT_EQ(m_control->channelClock.driftUs(), 0);
}

TEST_F(UserSequence, LastTimeFindsTheRecordingBeingPlayed) {
    play(1);
    engine::PlayerPause(m_control.get(), 1);
    (void)picturesFrom(0, 1);
    const std::uint32_t last = engine::PlayerGetLastTime(m_control.get(), 0);
    EXPECT_GE(last, s_card->start[1]);
    EXPECT_LE(last, s_card->end[1]);
    // The window's rule: the last entry (from the end) that starts no later than that time.
    std::vector<store::RecordingEntry> entries;
    for (store::IndexRecord* r = records().front(); r != nullptr; r = entries.back().next) {
        entries.push_back(store::BuildRecordingEntry(
            m_control->box().index(), r, 0, 0, static_cast<std::int32_t>(entries.size() + 1)));
    }
    int current = -1;
    for (int i = static_cast<int>(entries.size()) - 1; i >= 0 && last != 0; --i) {
        if (entries[static_cast<std::size_t>(i)].start <= last) {
            current = i;
            break;
        }
    }
    EXPECT_EQ(current, 1);
}

TEST_F(UserSequence, SwitchedOffCameraIsClearedAndHiddenWhereItWentOff) {
    PictureWindow& window = m_otherWindow;
    engine::PlayerSetVideoWindow(m_control.get(), &window, 1);
    play(0);
    const std::int64_t one = 1;
    ASSERT_TRUE(m_sink.WaitFor(engine::kMsgEndOfStream, 20000, &one));
    const auto shown = window.shown(1);
    const auto changes = window.visibility(1);
    ASSERT_GE(changes.size(), 2u) << "hidden when it went off, shown when it came back";
    EXPECT_FALSE(changes[0].visible);
    EXPECT_TRUE(changes[1].visible);
    // Hidden only after every picture from before the switch-off was shown, and shown again
    // with the first picture after it.
    ASSERT_GT(changes[0].after, 0u);
    const std::int64_t lastBefore = shown[changes[0].after - 1].timeSeconds;
    EXPECT_GE(lastBefore, s_card->offFrom - 1);
    EXPECT_LT(lastBefore, s_card->offTo);
    EXPECT_GE(shown[changes[1].after - 1].timeSeconds, s_card->offTo);
    // Nothing from before the switch-off was dropped: every picture the recorder wrote in the
    // seconds before it was shown before the window was hidden (but the one in progress when
    // the camera went off; the decoder itself may leave out the start of an open first group).
    std::set<std::int64_t> shownBefore;
    for (std::size_t i = 0; i < changes[0].after; ++i) {
        shownBefore.insert(shown[i].ptsUs);
    }
    const std::int64_t offUs = (s_card->offFrom - s_card->start[0]) * 1'000'000;
    for (const auto& f : s_card->manifest.channels[1].frames) {
        if (f.media == sim::FrameMedia::Video && f.recording == 0 && f.timestampUs >= 1'000'000 &&
            f.timestampUs + 200'000 < offUs) {
            EXPECT_TRUE(shownBefore.count(static_cast<std::int32_t>(f.timestampUs)) == 1)
                << "the picture at " << f.timestampUs << " us was dropped";
        }
    }
    EXPECT_FALSE(m_control->slot(1)->hidden.load());
    EXPECT_FALSE(m_control->slot(0)->hidden.load());
}

} // namespace
} // namespace tavero
