// The source thread feeding the channel queues: every picture and sound frame of a recording
// reaches its channel intact and in order, forwards, backwards and after seeks.

#include "card_fixture.h"
#include "engine/player.h"
#include "mkcard/card_writer.h"
#include "platform/drive_table.h"
#include "queue_consumer.h"
#include "store/unit_trailer.h"

#include <algorithm>
#include <condition_variable>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>

namespace tavero {
namespace {

using testing::QueueConsumer;
using testing::Seen;

constexpr int kDrive = 5;

sim::CardSpec TwoChannelCard(const std::filesystem::path& out) {
    sim::CardSpec plan;
    plan.outPath = out.string();
    plan.blockCount = 8;
    sim::ChannelSpec c0;
    c0.channel = 0;
    c0.width = 160;
    c0.height = 96;
    c0.fps = 10;
    c0.gop = 10;
    c0.audio.kind = sim::AudioKind::Tone;
    sim::ChannelSpec c1 = c0;
    c1.channel = 1;
    c1.fps = 5;
    c1.gop = 5;
    c1.audio.kind = sim::AudioKind::None;
    plan.channels = {c0, c1};
    plan.recordings = {{{2024, 5, 1, 8, 0, 0}, 12}, {{2024, 5, 1, 8, 10, 0}, 12}};
    plan.gsensor.metaFrames = true;
    return plan;
}

class SourceBox : public ::testing::Test {
protected:
    void SetUp() override {
        m_plan = TwoChannelCard(m_dir / "card.img");
        std::string error;
        ASSERT_TRUE(sim::writeCard(m_plan, m_manifest, error)) << error;
        platform::SetDrivePath(kDrive, m_plan.outPath);
        m_control.reset(engine::PlayerCreate(&m_sink));
        m_control->runWorkers = false; // the test consumers take the queues
        engine::PlayerOpen(m_control.get(), "car2://5");
        ASSERT_NE(engine::PlayerLoadIndex(m_control.get()), nullptr);
    }
    // Writes the card again with channels switched off over the given spans and reopens it.
    void rewriteCard(std::vector<sim::ChannelOffSpan> spans) {
        m_consumers.clear();
        m_control.reset();
        m_plan.hard.channelOff = std::move(spans);
        std::string error;
        ASSERT_TRUE(sim::writeCard(m_plan, m_manifest, error)) << error;
        m_control.reset(engine::PlayerCreate(&m_sink));
        m_control->runWorkers = false;
        engine::PlayerOpen(m_control.get(), "car2://5");
        ASSERT_NE(engine::PlayerLoadIndex(m_control.get()), nullptr);
    }
    void TearDown() override {
        m_consumers.clear();
        m_control.reset();
        platform::ClearDrivePaths();
    }
    // Starts playback at the first record with a consumer on each of the two channels.
    void play(double speed = 1.0, std::size_t record = 0) {
        engine::PlayerSetSpeed(m_control.get(), speed);
        store::IndexRecord* start = m_control->box().index().fullList()[record];
        ASSERT_TRUE(engine::PlayerPlay(m_control.get(), start, 0)) << m_control->lastError();
        for (int c = 0; c < 2; ++c) {
            m_consumers.push_back(std::make_unique<QueueConsumer>(*m_control, c));
        }
    }
    std::vector<sim::ManifestFrame> expectedVideo(int channel) const {
        std::vector<sim::ManifestFrame> out;
        for (const auto& f : m_manifest.channels[static_cast<std::size_t>(channel)].frames) {
            if (f.media == sim::FrameMedia::Video) {
                out.push_back(f);
            }
        }
        return out;
    }
    static std::vector<Seen> pictures(const std::vector<Seen>& seen) {
        std::vector<Seen> out;
        std::copy_if(seen.begin(), seen.end(), std::back_inserter(out), [](const Seen& s) {
            return s.kind == engine::kKindKeyFrame || s.kind == engine::kKindFrame;
        });
        return out;
    }

    struct Deleter {
        void operator()(engine::COzuCtrl* c) const { engine::PlayerDestroy(c); }
    };
    testing::TempDir m_dir;
    sim::CardSpec m_plan;
    sim::Manifest m_manifest;
    engine::RecordingSink m_sink;
    std::unique_ptr<engine::COzuCtrl, Deleter> m_control;
    std::vector<std::unique_ptr<QueueConsumer>> m_consumers;
};

TEST_F(SourceBox, PlaysEveryPictureOfEveryChannelIntactAndInOrder) {
    play();
    for (auto& consumer : m_consumers) {
        ASSERT_TRUE(consumer->WaitForEnd(20000));
    }
    // The end of the data reaches the channels as end markers; the "end of stream" for the
    // whole source (-1) belongs to exports only.
    const std::int64_t whole = -1;
    EXPECT_FALSE(m_sink.WaitFor(engine::kMsgEndOfStream, 200, &whole));
    for (int c = 0; c < 2; ++c) {
        const auto seen = pictures(m_consumers[static_cast<std::size_t>(c)]->video());
        const auto expected = expectedVideo(c);
        // Every picture arrives, the first group's predicted pictures included, intact and in
        // order. A picture ends where the next header begins, so it carries its zero padding
        // (up to 3 bytes).
        auto same = [](const Seen& s, const sim::ManifestFrame& f) {
            if (s.bytes.size() < f.size || s.bytes.size() > f.size + 3) {
                return false;
            }
            const auto pad = std::span(s.bytes).subspan(f.size);
            return sim::payloadHash(std::span(s.bytes).first(f.size)) == f.hash &&
                   std::all_of(pad.begin(), pad.end(), [](std::uint8_t b) { return b == 0; });
        };
        std::size_t next = 0;
        std::size_t keys = 0;
        std::size_t missingKeys = 0;
        for (const Seen& s : seen) {
            while (next < expected.size() && !same(s, expected[next])) {
                missingKeys += expected[next].key ? 1 : 0;
                ++next;
            }
            ASSERT_LT(next, expected.size()) << "picture out of order or damaged, channel " << c;
            EXPECT_EQ(s.kind == engine::kKindKeyFrame, expected[next].key);
            EXPECT_EQ(s.ptsUs, static_cast<std::int32_t>(expected[next].timestampUs));
            keys += expected[next].key ? 1 : 0;
            ++next;
        }
        EXPECT_GT(keys, 0u);
        EXPECT_EQ(missingKeys, 0u) << "channel " << c;
        EXPECT_EQ(seen.size(), expected.size()) << "channel " << c;
    }
    // Sound of channel 0 (the only channel with sound enabled) arrives whole.
    std::vector<Seen> sound = m_consumers[0]->audio();
    std::vector<sim::ManifestFrame> expectedSound;
    for (const auto& f : m_manifest.channels[0].frames) {
        if (f.media == sim::FrameMedia::Audio) {
            expectedSound.push_back(f);
        }
    }
    // Every sound frame arrives intact and in order.
    std::size_t at = 0;
    for (const Seen& s : sound) {
        EXPECT_EQ(s.kind, engine::kKindAudio);
        while (at < expectedSound.size() &&
               !(s.bytes.size() >= expectedSound[at].size &&
                 sim::payloadHash(std::span(s.bytes).first(expectedSound[at].size)) ==
                     expectedSound[at].hash)) {
            ++at;
        }
        ASSERT_LT(at, expectedSound.size()) << "sound frame out of order or damaged";
        ++at;
    }
    EXPECT_EQ(sound.size(), expectedSound.size());
}

TEST_F(SourceBox, EveryUnitTrailerGoesAheadOfItsUnitsFrames) {
    play();
    ASSERT_TRUE(m_consumers[0]->WaitForEnd(20000));
    const auto seen = m_consumers[0]->video();
    std::vector<std::uint32_t> expectedUnits;
    for (const auto& u : m_manifest.units) {
        if (u.channel == 0) {
            expectedUnits.push_back(u.unitNo);
        }
    }
    std::vector<std::uint32_t> trailerUnits;
    std::int32_t lastSampleIndex = -1;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        const Seen& s = seen[i];
        if (s.kind != engine::kKindTrailer) {
            continue;
        }
        // The item carries the trailer in host order: the card's unit, converted.
        ASSERT_EQ(s.bytes.size(), store::kTrailerSize);
        const store::UnitTrailer t = store::TrailerFromHostImage(s.bytes);
        EXPECT_EQ(t.magic, store::kTrailerMagic);
        EXPECT_EQ(t.diskId, m_control->box().index().fullList()[0]->diskId);
        EXPECT_EQ(t.unitNo, s.unitNo);
        EXPECT_EQ(t.channel, 0u);
        EXPECT_GE(s.value, lastSampleIndex) << "sample indexes only grow while playing on";
        lastSampleIndex = s.value;
        trailerUnits.push_back(t.unitNo);
        // Pictures behind it that start in this unit carry its number.
        for (std::size_t j = i + 1; j < seen.size() && seen[j].kind != engine::kKindTrailer; ++j) {
            if (seen[j].kind != engine::kKindEnd) {
                EXPECT_GE(seen[j].unitNo, t.unitNo);
            }
        }
    }
    EXPECT_EQ(trailerUnits, expectedUnits);
}

TEST_F(SourceBox, SwitchedOffChannelKeepsItsQueuedPicturesAndMarksTheSpot) {
    // Channel 1 off for 4 s, and again for 2 s, inside the first recording.
    rewriteCard({{1, 3.0, 7.0}, {1, 9.0, 11.0}});
    play();
    ASSERT_TRUE(m_consumers[1]->WaitForEnd(20000));
    const std::int64_t start = m_control->box().index().fullList()[0]->startSeconds();
    const auto seen = m_consumers[1]->video();
    // The switch-off travels through the queue: the pictures before it are all there, then the
    // mark, then the pictures after the span (which starts again at a key picture).
    std::vector<std::size_t> marks;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        if (seen[i].kind == engine::kKindSideRecord && seen[i].value == engine::kSideChannelOff) {
            marks.push_back(i);
        }
    }
    ASSERT_EQ(marks.size(), 2u) << "one mark per switched-off span";
    for (std::size_t i = 0; i < seen.size(); ++i) {
        if (seen[i].kind != engine::kKindKeyFrame && seen[i].kind != engine::kKindFrame) {
            continue;
        }
        const std::int64_t t = seen[i].timeSeconds - start;
        if (i < marks[0]) {
            EXPECT_LE(t, 3) << "picture " << i;
        } else if (i < marks[1]) {
            EXPECT_TRUE(t >= 7 && t <= 9) << "picture " << i << " at " << t;
        } else if (t < 600) {
            EXPECT_GE(t, 11) << "picture " << i;
        }
    }
    // Only the frame in progress when the camera went off may be missing: every other picture
    // the recorder wrote for channel 1 arrives.
    EXPECT_GE(pictures(seen).size() + 2, expectedVideo(1).size());
}

// A reader whose thread is stuck in a read of a failing card.
class StuckReader : public engine::CSourceBoxCtx {
public:
    using CSourceBoxCtx::CSourceBoxCtx;
    ~StuckReader() override {
        release();
        Stop(-1);
    }
    int Run() override {
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [this] { return m_released; });
        return 0;
    }
    void release() {
        std::lock_guard lock(m_mutex);
        m_released = true;
        m_cv.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_released = false;
};

TEST_F(SourceBox, StopThatTimesOutLeavesTheReadersStateAlone) {
    StuckReader reader(m_control.get());
    reader.SetSource(m_plan.outPath, kDrive);
    store::IndexRecord* first = reader.OpenIndex();
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(reader.SetStart(first, 0));
    ASSERT_TRUE(reader.Start());
    reader.Stop(50);
    ASSERT_TRUE(reader.hasThread()) << "the thread is still in its read";
    // Nothing the thread uses was cleared or closed under it.
    EXPECT_EQ(reader.currentRecord(), first);
    EXPECT_TRUE(reader.index().IsOpen());
    EXPECT_FALSE(reader.index().fullList().empty());
    // Once the read returns, the next stop finishes the job.
    reader.release();
    reader.Stop(10000);
    EXPECT_FALSE(reader.hasThread());
    EXPECT_EQ(reader.currentRecord(), nullptr);
    reader.Close();
    EXPECT_FALSE(reader.index().IsOpen());
}

TEST_F(SourceBox, EndOfDataWaitsForASeekAndPlaysAgain) {
    play();
    ASSERT_TRUE(m_consumers[0]->WaitForEnd(20000));
    m_consumers[0]->Clear();
    // Back into the middle of the second recording.
    const std::int64_t target = m_control->box().index().fullList()[1]->startSeconds() + 6;
    engine::PlayerSeek(m_control.get(), static_cast<std::int32_t>(target));
    ASSERT_TRUE(m_consumers[0]->WaitForEnd(20000));
    const auto seen = pictures(m_consumers[0]->video());
    ASSERT_FALSE(seen.empty());
    EXPECT_GE(seen.front().timeSeconds, target - 1);
    EXPECT_EQ(engine::PlayerGetTime(m_control.get(), 0), 0u) << "the seek was taken";
}

TEST_F(SourceBox, BackwardsPlaysKeyPicturesLatestFirst) {
    // From the start of the second recording back through the whole first one.
    play(-1.0, 1);
    ASSERT_TRUE(m_consumers[0]->WaitForEnd(20000));
    const auto seen = pictures(m_consumers[0]->video());
    ASSERT_GT(seen.size(), 3u);
    std::vector<std::uint64_t> keyHashes;
    for (const auto& f : expectedVideo(0)) {
        if (f.key && f.recording == 0) {
            keyHashes.push_back(f.hash);
        }
    }
    std::reverse(keyHashes.begin(), keyHashes.end());
    std::vector<std::uint64_t> seenHashes;
    for (const Seen& s : seen) {
        EXPECT_EQ(s.kind, engine::kKindKeyFrame);
        EXPECT_LT(s.speed, 0);
        seenHashes.push_back(s.hash);
    }
    // The second recording's first unit may add its own key picture in front.
    ASSERT_GE(seenHashes.size(), keyHashes.size());
    EXPECT_TRUE(std::equal(keyHashes.begin(), keyHashes.end(),
                           seenHashes.end() - static_cast<std::ptrdiff_t>(keyHashes.size())));
}

} // namespace
} // namespace tavero
