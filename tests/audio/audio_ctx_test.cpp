#include "engine/audio_ctx.h"
#include "engine/audio_queue.h"
#include "engine/fps_ctrl.h"
#include "engine/ozu_ctrl.h"
#include "fake_sound_output.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tavero::engine {
namespace {

using test::FakeOutputState;

constexpr std::uint32_t kBlock = SoundOutput::kBlockBytes;

// The source thread's part: writes payloads into the queue's ring and pushes them.
class Producer {
public:
    // The queue is initialised later, by the fixture's SetUp.
    explicit Producer(CABuffer2& q) : m_q(q) {}

    void pcm(const std::vector<std::uint8_t>& bytes, std::int64_t seconds, std::int64_t ptsUs) {
        if (m_write == nullptr) {
            m_q.Reset(m_write);
        }
        std::memcpy(m_write, bytes.data(), bytes.size());
        FrameRecord r;
        r.payload = m_write;
        r.size = static_cast<std::uint32_t>(bytes.size());
        r.kind = kKindAudio;
        r.timeSeconds = seconds;
        r.ptsUs = ptsUs;
        ASSERT_TRUE(m_q.Push(r));
        m_write = r.payload;
    }

private:
    CABuffer2& m_q;
    std::uint8_t* m_write = nullptr;
};

std::vector<std::uint8_t> Pattern(std::size_t n, std::uint8_t seed) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        v[i] = static_cast<std::uint8_t>(seed + i * 7 + 1);
    }
    return v;
}

bool WaitUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

bool AllSilent(const std::vector<std::uint8_t>& bytes, std::size_t from = 0) {
    for (std::size_t i = from; i < bytes.size(); ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

class AudioWorker : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(queue.Init(kAudioArea, kAudioMargin, true));
        for (int c = 0; c < kChannelCount; ++c) {
            pacers.push_back(std::make_unique<CFpsCtrl>(c, 30.0, &ticks));
            ctrl.channelClock.Attach(c, pacers.back().get());
        }
    }
    void TearDown() override { worker.Stop(10'000); }

    // Waits until the worker has written n blocks; returns them.
    std::vector<FakeOutputState::Block> blocks(std::size_t n) {
        EXPECT_TRUE(WaitUntil([&] { return state->blockCount() >= n; }));
        return state->blocksCopy();
    }

    FakeTickSource ticks{100'000};
    COzuCtrl ctrl{nullptr};
    std::vector<std::unique_ptr<CFpsCtrl>> pacers;
    CABuffer2 queue;
    Producer producer{queue};
    std::shared_ptr<FakeOutputState> state = std::make_shared<FakeOutputState>();
    CAudioCtx worker{ctrl, test::FakeFactory(state), &ticks};
};

TEST_F(AudioWorker, WritesRecordsIntoConsecutiveBlocksThenSilence) {
    // The first record ends on a loud sample: silence after it must still be zeros.
    auto a = Pattern(4000, 1);
    a[3998] = 0x12;
    a[3999] = 0x7F;
    const auto b = Pattern(4000, 50);
    const auto c = Pattern(4000, 90);
    producer.pcm(a, 1000, 1'000'000);
    producer.pcm(b, 1000, 1'250'000);
    producer.pcm(c, 1001, 1'500'000);
    ASSERT_TRUE(worker.StartWith(0, &queue));
    ASSERT_TRUE(worker.hasThread());

    const auto got = blocks(3);
    ASSERT_GE(got.size(), 3u);
    std::vector<std::uint8_t> expected;
    expected.insert(expected.end(), a.begin(), a.end());
    expected.insert(expected.end(), b.begin(), b.end());
    expected.insert(expected.end(), c.begin(), c.end());
    expected.resize(3 * kBlock, 0);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(got[i].offset, i * kBlock);
        EXPECT_TRUE(std::equal(got[i].bytes.begin(), got[i].bytes.end(),
                               expected.begin() + static_cast<std::ptrdiff_t>(i * kBlock)))
            << "block " << i;
    }
    EXPECT_EQ(ctrl.clock.load(), 1001) << "channel 0 keeps the playback clock";
    EXPECT_EQ(worker.recordsDecoded(), 3u);
    EXPECT_EQ(worker.bytesDecoded(), 12'000u);

    const auto log = state->logCopy();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[0], "create");
    // Play comes once, after the first block.
    EXPECT_EQ(std::count(log.begin(), log.end(), "play"), 1);

    worker.Stop(10'000);
    EXPECT_FALSE(worker.hasThread());
    const auto after = state->logCopy();
    ASSERT_GE(after.size(), 2u);
    EXPECT_EQ(after[after.size() - 2], "stop");
    EXPECT_EQ(after.back(), "pos 0") << "stopped and rewound";
}

TEST_F(AudioWorker, PauseLeavesRecordsQueuedAndPlaysSilence) {
    ASSERT_TRUE(worker.StartWith(0, &queue));
    worker.SetPaused(true); // the worker's first block comes 200 ms after the start
    const auto a = Pattern(2000, 3);
    producer.pcm(a, 500, 0);
    auto got = blocks(3);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(AllSilent(got[i].bytes)) << "block " << i;
    }
    EXPECT_EQ(worker.recordsDecoded(), 0u) << "nothing taken while paused";

    worker.SetPaused(false);
    ASSERT_TRUE(WaitUntil([&] { return worker.recordsDecoded() == 1; }));
    got = blocks(state->blockCount() + 1);
    const auto withSound =
        std::find_if(got.begin(), got.end(), [](const auto& blk) { return !AllSilent(blk.bytes); });
    ASSERT_NE(withSound, got.end());
    EXPECT_TRUE(std::equal(a.begin(), a.end(), withSound->bytes.begin()));
    EXPECT_TRUE(AllSilent(withSound->bytes, a.size()));
}

TEST_F(AudioWorker, DiscardMakesAFreshRingBeforeTheNextBlock) {
    worker.SetVolume(-600);
    ASSERT_TRUE(worker.StartWith(0, &queue));
    blocks(3);
    worker.Discard();
    producer.pcm(Pattern(1000, 9), 1, 0);
    ASSERT_TRUE(WaitUntil([&] { return worker.recordsDecoded() == 1; }));
    blocks(state->blockCount() + 1);
    worker.Stop(10'000);

    const auto log = state->logCopy();
    const auto release = std::find(log.begin(), log.end(), "release");
    ASSERT_NE(release, log.end());
    ASSERT_GE(log.end() - release, 5);
    EXPECT_EQ(release[1], "create");
    EXPECT_EQ(release[2], "volume -600") << "the volume is re-applied to the new ring";
    EXPECT_EQ(release[3], "unlock 0") << "the new ring is written from its start";
    EXPECT_EQ(release[4], "play") << "and starts playing after its first block";
}

TEST_F(AudioWorker, RebaseAnchorsEveryPacerAfterTheFirstBlockWithSound) {
    ctrl.RebaseAudioClock(5'000'000, -40);
    ASSERT_TRUE(worker.StartWith(0, &queue));
    blocks(3);
    EXPECT_TRUE(ctrl.rebasePending.load()) << "silent blocks do not anchor the clock";
    EXPECT_FALSE(pacers[3]->clockBase().set());

    ticks.set(200'000);
    producer.pcm(Pattern(640, 4), 7, 5'000'000);
    ASSERT_TRUE(WaitUntil([&] { return !ctrl.rebasePending.load(); }));
    for (const auto& pacer : pacers) {
        const CFpsCtrl::ClockBase base = pacer->clockBase();
        EXPECT_EQ(base.tickMs, 200'000 - 40) << "channel " << pacer->channel();
        EXPECT_EQ(base.mediaUs, 5'000'000);
    }
    EXPECT_EQ(ctrl.rebaseLatencyMs.load(), 0);

    // The worker's own rebase call works the same way.
    worker.RebaseClock(9'000'000, 0);
    ticks.set(300'000);
    producer.pcm(Pattern(640, 5), 8, 9'000'000);
    ASSERT_TRUE(WaitUntil([&] { return pacers[0]->clockBase().mediaUs == 9'000'000; }));
    EXPECT_EQ(pacers[7]->clockBase().tickMs, 300'000);
}

TEST_F(AudioWorker, UnderrunSkipsAheadOfTheCursors) {
    {
        std::lock_guard<std::mutex> lock(state->mutex);
        state->reportPositions = true;
        state->play = 3 * kBlock;
        state->deviceWrite = 3 * kBlock;
    }
    ASSERT_TRUE(worker.StartWith(0, &queue));
    const auto got = blocks(4);
    EXPECT_EQ(got[0].offset, 0u);
    EXPECT_EQ(got[1].offset, 2 * kBlock);
    EXPECT_EQ(got[2].offset, 4 * kBlock);
    EXPECT_EQ(got[3].offset, 5 * kBlock) << "caught up: no more skipping";
}

class AudioWorkerChannel1 : public AudioWorker {
protected:
    void SetUp() override {
        AudioWorker::SetUp();
        ctrl.audioEnabled[1] = true;
        ctrl.clock = 1000;
    }
};

TEST_F(AudioWorkerChannel1, RecordFarBehindTheClockIsSilence) {
    producer.pcm(Pattern(2000, 1), 997, 0);
    ASSERT_TRUE(worker.StartWith(1, &queue));
    ASSERT_TRUE(WaitUntil([&] { return worker.recordsDecoded() == 1; }));
    const auto got = blocks(2);
    EXPECT_TRUE(AllSilent(got[0].bytes));
    EXPECT_EQ(ctrl.clock.load(), 1000) << "only channel 0 moves the clock";
}

TEST_F(AudioWorker, RecordFarBehindTheClockResetsItOnChannel0) {
    ctrl.clock = 1000;
    const auto a = Pattern(2000, 1);
    producer.pcm(a, 997, 0);
    ASSERT_TRUE(worker.StartWith(0, &queue));
    const auto got = blocks(1);
    EXPECT_TRUE(std::equal(a.begin(), a.end(), got[0].bytes.begin()));
    EXPECT_EQ(ctrl.clock.load(), 997);
}

TEST_F(AudioWorkerChannel1, RecordAheadOfTheClockWaitsForIt) {
    const auto a = Pattern(2000, 1);
    producer.pcm(a, 1003, 0);
    ASSERT_TRUE(worker.StartWith(1, &queue));
    auto got = blocks(3);
    for (const auto& blk : got) {
        EXPECT_TRUE(AllSilent(blk.bytes)) << "held, and the rest of the block is silence";
    }
    ctrl.clock = 1002;
    ASSERT_TRUE(WaitUntil([&] {
        const auto now = state->blocksCopy();
        return std::any_of(now.begin(), now.end(),
                           [](const auto& blk) { return !AllSilent(blk.bytes); });
    }));
    got = state->blocksCopy();
    const auto withSound =
        std::find_if(got.begin(), got.end(), [](const auto& blk) { return !AllSilent(blk.bytes); });
    EXPECT_TRUE(std::equal(a.begin(), a.end(), withSound->bytes.begin()))
        << "the held record plays whole once the clock reaches it";
}

TEST_F(AudioWorkerChannel1, DisabledChannelHasNoThreadAndNoOutput) {
    ctrl.audioEnabled[1] = false;
    ASSERT_TRUE(worker.StartWith(1, &queue));
    EXPECT_FALSE(worker.hasThread());
    EXPECT_FALSE(worker.hasOutput());
    EXPECT_EQ(state->factoryCalls, 0);
    EXPECT_FALSE(queue.dropFlag());
}

TEST_F(AudioWorker, NoSoundDeviceDropsTheChannelsAudio) {
    state->initOk = false;
    ASSERT_TRUE(worker.StartWith(0, &queue)) << "video plays on without sound";
    EXPECT_FALSE(worker.hasThread());
    EXPECT_TRUE(queue.dropFlag());
    EXPECT_EQ(worker.lastError(), "fake output failed");
    EXPECT_TRUE(state->logCopy().empty()) << "no ring without a device";

    // A factory that gives nothing counts as no device too.
    CAudioCtx bare(
        ctrl, [](int) { return std::unique_ptr<SoundOutput>(); }, &ticks);
    CABuffer2 other;
    ASSERT_TRUE(other.Init(kAudioArea, kAudioMargin, true));
    ASSERT_TRUE(bare.StartWith(0, &other));
    EXPECT_TRUE(other.dropFlag());
}

TEST_F(AudioWorker, RingThatCannotBeMadeFailsTheStart) {
    state->createOk = false;
    EXPECT_FALSE(worker.StartWith(0, &queue));
    EXPECT_FALSE(worker.hasThread());
}

TEST_F(AudioWorker, OutputIsMadeOnceAndKeptAcrossPlays) {
    ASSERT_TRUE(worker.StartWith(0, &queue));
    blocks(1);
    worker.Stop(10'000);
    ASSERT_TRUE(worker.StartWith(0, &queue));
    blocks(state->blockCount() + 1);
    worker.Stop(10'000);
    EXPECT_EQ(state->factoryCalls, 1);
    const auto log = state->logCopy();
    EXPECT_EQ(std::count(log.begin(), log.end(), "create"), 1) << "the ring outlives Stop";
}

TEST_F(AudioWorker, VolumeIsMappedAndAppliedToTheOutput) {
    ASSERT_TRUE(worker.StartWith(0, &queue));
    worker.SetVolume(-2700);
    EXPECT_EQ(state->volume, SoundOutput::kSilentVolume);
    worker.SetVolume(25 * 40 - 2500);
    EXPECT_EQ(state->volume, -1500);
    worker.SetVolume(300);
    EXPECT_EQ(state->volume, 0) << "never louder than the recording";
}

TEST(AudioDecode, PcmCopiesWholeSamplesAndSilenceFillsTheRest) {
    const auto in = Pattern(9, 0);
    std::vector<std::uint8_t> out(8, 0xAA);

    std::uint32_t outBytes = 6;
    EXPECT_EQ(DecodeAudio(out.data(), outBytes, in.data(), 9, kKindAudio, 0), 6u);
    EXPECT_EQ(outBytes, 6u);
    EXPECT_TRUE(std::equal(in.begin(), in.begin() + 6, out.begin()));
    EXPECT_EQ(out[6], 0xAA) << "nothing past outBytes";

    // An odd record: its last half sample is consumed without output.
    outBytes = 8;
    EXPECT_EQ(DecodeAudio(out.data(), outBytes, in.data() + 6, 3, kKindAudio, 0), 3u);
    EXPECT_EQ(outBytes, 2u);
    // Room for only one byte: nothing moves until a whole sample fits.
    outBytes = 1;
    EXPECT_EQ(DecodeAudio(out.data(), outBytes, in.data(), 9, kKindAudio, 0), 0u);
    EXPECT_EQ(outBytes, 0u);

    outBytes = 8;
    EXPECT_EQ(DecodeAudio(out.data(), outBytes, in.data(), 9, 0, 0x11), 9u);
    EXPECT_EQ(outBytes, 8u);
    EXPECT_EQ(out, std::vector<std::uint8_t>(8, 0x11));
}

TEST(AudioRules, TimeCheck) {
    struct Case {
        std::int64_t clock, record;
        AudioTimeCheck want;
    };
    const Case cases[] = {
        {1000, 1000, AudioTimeCheck::Play},
        {1000, 998, AudioTimeCheck::Play},
        {1000, 997, AudioTimeCheck::Mute},
        {1000, 1001, AudioTimeCheck::Play},
        {1000, 1002, AudioTimeCheck::Hold},
        {1000, 1005, AudioTimeCheck::Hold},
        {1000, 1006, AudioTimeCheck::Mute},
        // The record's time counts by its low 32 bits.
        {0x1'0000'0000LL + 5, 5, AudioTimeCheck::Play},
        {0xFFFF'FFFFLL, 0x1'0000'0001LL, AudioTimeCheck::Hold},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CheckAudioTime(c.clock, c.record), c.want) << c.clock << " vs " << c.record;
    }
}

TEST(AudioRules, WriterBehindTheCursors) {
    constexpr std::uint32_t n = SoundOutput::kBufferBytes;
    EXPECT_FALSE(WriterBehind(0, 0, 0)) << "a fresh ring";
    EXPECT_FALSE(WriterBehind(2 * kBlock, kBlock / 2, kBlock)) << "writer ahead";
    EXPECT_TRUE(WriterBehind(kBlock, 2 * kBlock, 2 * kBlock));
    EXPECT_FALSE(WriterBehind(kBlock, kBlock / 2, 2 * kBlock))
        << "behind the device's write cursor only";
    EXPECT_FALSE(WriterBehind(0, n - kBlock, n - kBlock / 2)) << "ahead across the wrap";
    EXPECT_TRUE(WriterBehind(n - kBlock, kBlock, kBlock)) << "behind across the wrap";
}

// Unpaced mode: records straight into chN.wav.
class UnpacedAudio : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("tavero_audio_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        ASSERT_TRUE(queue.Init(kAudioArea, kAudioMargin, true));
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::vector<std::uint8_t> read(const std::string& name) {
        std::ifstream in(dir / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::filesystem::path dir;
    COzuCtrl ctrl{nullptr};
    CABuffer2 queue;
    Producer producer{queue};
};

TEST_F(UnpacedAudio, RecordsGoStraightIntoTheFileWithTheMuteRule) {
    ctrl.audioEnabled[2] = true;
    ctrl.clock = 1000;
    CAudioCtx worker(ctrl, {}, nullptr);
    worker.SetUnpacedWavFolder(dir.string());
    const auto a = Pattern(1000, 1);
    const auto stale = Pattern(600, 2);
    const auto b = Pattern(501, 3); // odd: the last half sample goes
    producer.pcm(a, 1000, 0);
    ASSERT_TRUE(worker.StartWith(2, &queue));
    EXPECT_FALSE(worker.hasOutput()) << "no device in unpaced mode";
    producer.pcm(stale, 990, 0);
    producer.pcm(b, 1004, 0); // ahead of the clock: no holding without a device
    worker.Stop(10'000);      // what was queued is written before the file is closed

    const auto file = read("ch2.wav");
    const std::uint32_t data = 1000 + 600 + 500;
    ASSERT_EQ(file.size(), WavWriter::kHeaderBytes + data);
    const auto header = WavWriter::Header(data);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), file.begin()));
    const auto* pcm = file.data() + WavWriter::kHeaderBytes;
    EXPECT_TRUE(std::equal(a.begin(), a.end(), pcm));
    EXPECT_TRUE(std::all_of(pcm + 1000, pcm + 1600, [](std::uint8_t v) { return v == 0; }));
    EXPECT_TRUE(std::equal(b.begin(), b.begin() + 500, pcm + 1600));
    EXPECT_TRUE(worker.lastError().empty()) << worker.lastError();
    EXPECT_EQ(ctrl.clock.load(), 1000);
}

TEST_F(UnpacedAudio, Channel0SetsTheClockAndMissingFolderFailsTheStart) {
    CAudioCtx worker(ctrl, {}, nullptr);
    worker.SetUnpacedWavFolder(dir.string());
    ASSERT_TRUE(worker.StartWith(0, &queue));
    producer.pcm(Pattern(100, 1), 4242, 0);
    ASSERT_TRUE(WaitUntil([&] { return ctrl.clock.load() == 4242; }));
    worker.Stop(10'000);
    EXPECT_EQ(read("ch0.wav").size(), WavWriter::kHeaderBytes + 100);

    CAudioCtx lost(ctrl, {}, nullptr);
    lost.SetUnpacedWavFolder((dir / "missing").string());
    EXPECT_FALSE(lost.StartWith(0, &queue));
    EXPECT_FALSE(lost.hasThread());
    EXPECT_NE(lost.lastError().find("ch0.wav"), std::string::npos) << lost.lastError();
}

} // namespace
} // namespace tavero::engine
