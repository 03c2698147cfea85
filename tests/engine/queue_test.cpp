#include "engine/audio_queue.h"
#include "engine/tick_source.h"
#include "engine/video_queue.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace tavero::engine {
namespace {

constexpr std::size_t kArea = 1000;
constexpr std::size_t kMargin = 100;

FrameRecord Rec(std::uint8_t* at, std::uint32_t size, std::uint32_t kind) {
    FrameRecord r;
    r.payload = at;
    r.size = size;
    r.kind = kind;
    return r;
}

// Pushes a record at area offset `at`; the returned write position as an offset.
struct Pushed {
    bool ok;
    std::ptrdiff_t next;
};
Pushed PushAt(CBuffer& q, std::size_t at, std::uint32_t size, std::uint32_t kind) {
    FrameRecord r = Rec(q.areaStart() + at, size, kind);
    const bool ok = q.Push(r);
    return {ok, r.payload - q.areaStart()};
}

// Kinds the consumer gets, in order, until the queue runs dry.
std::vector<std::uint32_t> DrainKinds(CBuffer& q) {
    std::vector<std::uint32_t> kinds;
    FrameRecord r;
    while (q.Pop(r)) {
        kinds.push_back(r.kind);
    }
    return kinds;
}

class SmallVideoQueue : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(q.Init(kArea, kMargin, false)); }
    FakeTickSource ticks{5000};
    CVBuffer2 q{CVBuffer2::kMaxRecords, &ticks};
};

TEST(FrameQueue, InitReservesOnceAndKeepsALargerArea) {
    CABuffer2 q;
    EXPECT_EQ(q.areaStart(), nullptr);
    ASSERT_TRUE(q.Init(1 << 20, 1 << 14, true));
    std::uint8_t* const first = q.areaStart();
    EXPECT_EQ(q.areaEnd() - first, 1 << 20);
    ASSERT_TRUE(q.Init(1 << 16, 1 << 12, false));
    EXPECT_EQ(q.areaStart(), first) << "a smaller request keeps the reservation";
    EXPECT_EQ(q.areaEnd() - first, 1 << 16);
    EXPECT_EQ(q.margin(), 1u << 12);
    EXPECT_FALSE(q.blocking());
    // Far beyond any address space: the reservation fails and Init says so.
    EXPECT_FALSE(q.Init(std::size_t{1} << 62, 1 << 12, false));
    FrameRecord r;
    EXPECT_FALSE(q.Pop(r));
}

TEST(FrameQueue, ReservationIsCheapUntilTouched) {
    // Eight play-size video areas at once; with committed memory this would cost 640 MiB.
    std::vector<CVBuffer2> queues(8);
    for (CVBuffer2& q : queues) {
        ASSERT_TRUE(q.Init(0x5000000, 0x280000, true));
    }
}

TEST_F(SmallVideoQueue, PushIntoAnEmptyQueueStoresTheRecordTwice) {
    const Pushed p = PushAt(q, 0, 50, kKindAlwaysQueued);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.next, 50);
    EXPECT_EQ(q.recordCount(), 2u);
    EXPECT_EQ(q.queuedBytes(), 50u);

    FrameRecord out;
    ASSERT_TRUE(q.Pop(out)) << "the first pop hands out the record itself";
    EXPECT_EQ(out.payload, q.areaStart());
    EXPECT_EQ(out.size, 50u);
    EXPECT_EQ(q.recordCount(), 1u) << "and keeps it listed as the consumer's current one";
    EXPECT_EQ(q.queuedBytes(), 0u);
    EXPECT_FALSE(q.Pop(out));
    EXPECT_EQ(q.recordCount(), 0u);
}

TEST_F(SmallVideoQueue, RingWrapsAtTheMarginAndRefusesWhenFull) {
    FrameRecord out;
    ASSERT_TRUE(PushAt(q, 0, 50, kKindAlwaysQueued).ok);
    ASSERT_TRUE(q.Pop(out)); // consumer holds [0, 50)
    ASSERT_TRUE(PushAt(q, 50, 300, kKindAlwaysQueued).ok);
    ASSERT_TRUE(PushAt(q, 350, 300, kKindAlwaysQueued).ok);
    // 650 + 300 + margin passes the end, and the consumer's record lies within the margin of
    // the area start: full.
    EXPECT_FALSE(PushAt(q, 650, 300, kKindAlwaysQueued).ok);
    ASSERT_TRUE(q.Pop(out)); // holds [50, 350): still within the margin
    EXPECT_FALSE(PushAt(q, 650, 300, kKindAlwaysQueued).ok);
    ASSERT_TRUE(q.Pop(out)); // holds [350, 650)
    const Pushed wrapped = PushAt(q, 650, 300, kKindAlwaysQueued);
    ASSERT_TRUE(wrapped.ok);
    EXPECT_EQ(wrapped.next, 0) << "the writer wraps to the area start";
    // Wrapped: room up to the consumer's payload, less the margin.
    const Pushed inFront = PushAt(q, 0, 200, kKindAlwaysQueued);
    ASSERT_TRUE(inFront.ok);
    EXPECT_EQ(inFront.next, 200);
    EXPECT_FALSE(PushAt(q, 200, 100, kKindAlwaysQueued).ok);
    EXPECT_EQ(q.recordCount(), 3u);
    EXPECT_EQ(q.queuedBytes(), 500u);
}

TEST_F(SmallVideoQueue, VideoFramesMoveToTheStartOnlyWhenTheConsumerLeftIt) {
    FrameRecord out;
    ASSERT_TRUE(PushAt(q, 0, 400, kKindKeyFrame).ok);
    ASSERT_TRUE(q.Pop(out)); // consumer decodes [0, 400)
    const Pushed nearEnd = PushAt(q, 400, 550, kKindFrame);
    ASSERT_TRUE(nearEnd.ok);
    EXPECT_EQ(nearEnd.next, 950) << "video keeps writing towards the end";

    // The next frame has 30 bytes at 950 and needs 100 more: they must move to the start,
    // where the consumer's frame still lies.
    FrameRecord filling = Rec(q.areaStart() + 950, 30, kKindFrame);
    std::memset(filling.payload, 0x5A, 30);
    EXPECT_EQ(q.EnsureRoom(filling, 100), nullptr);
    EXPECT_EQ(filling.payload, q.areaStart() + 950) << "nothing moved";

    ASSERT_TRUE(q.Pop(out)); // consumer moves on to [400, 950)
    std::uint8_t* const at = q.EnsureRoom(filling, 100);
    ASSERT_EQ(filling.payload, q.areaStart());
    EXPECT_EQ(at, q.areaStart() + 30);
    for (int i = 0; i < 30; ++i) {
        ASSERT_EQ(filling.payload[i], 0x5A);
    }
    // Room behind bytes that do not cross the end needs no move.
    EXPECT_EQ(q.EnsureRoom(filling, 50), q.areaStart() + 30);
}

TEST_F(SmallVideoQueue, EnsureRoomBackwardsPutsBytesInFrontOrMovesThemUp) {
    FrameRecord w = Rec(q.areaStart() + 200, 50, kKindKeyFrame);
    std::memset(w.payload, 0x33, 50);
    EXPECT_EQ(q.EnsureRoom(w, -150), q.areaStart() + 50);
    EXPECT_EQ(w.payload, q.areaStart() + 200);

    // A queued payload where the bytes would move to blocks the move.
    ASSERT_TRUE(PushAt(q, 600, 100, kKindAlwaysQueued).ok);
    EXPECT_EQ(q.EnsureRoom(w, -300), nullptr);
    FrameRecord out;
    ASSERT_TRUE(q.Pop(out));
    EXPECT_FALSE(q.Pop(out)); // the consumer let go of it

    // They end at area end - max(margin, size) = 900.
    EXPECT_EQ(q.EnsureRoom(w, -300), q.areaStart() + 550);
    EXPECT_EQ(w.payload, q.areaStart() + 850);
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(w.payload[i], 0x33);
    }
    EXPECT_EQ(q.EnsureRoom(w, -900), nullptr) << "does not fit at all";
}

TEST_F(SmallVideoQueue, ResetKeepsTheConsumersRecordAndWritesBehindIt) {
    std::uint8_t* w = nullptr;
    q.Reset(w);
    EXPECT_EQ(w, q.areaStart());
    ASSERT_TRUE(PushAt(q, 100, 200, kKindAlwaysQueued).ok);
    ASSERT_TRUE(PushAt(q, 300, 200, kKindAlwaysQueued).ok);
    q.Reset(w);
    EXPECT_EQ(w, q.areaStart() + 300);
    EXPECT_EQ(q.recordCount(), 1u);
    EXPECT_EQ(q.queuedBytes(), 0u);
    EXPECT_EQ(q.keyFrameState(), CVBuffer2::kWaitingForSequence);

    q.Flush();
    FrameRecord out;
    EXPECT_FALSE(q.Pop(out));
    ASSERT_TRUE(PushAt(q, 850, 100, kKindAlwaysQueued).ok);
    q.Reset(w);
    EXPECT_EQ(w, q.areaStart()) << "fewer than margin bytes left behind the first record";
}

TEST_F(SmallVideoQueue, FlushKeepsTheConsumersPayloadProtected) {
    FrameRecord out;
    ASSERT_TRUE(PushAt(q, 300, 100, kKindAlwaysQueued).ok);
    ASSERT_TRUE(q.Pop(out)); // consumer decodes [300, 400)
    ASSERT_TRUE(PushAt(q, 400, 500, kKindAlwaysQueued).ok);
    q.Flush();
    EXPECT_EQ(q.queuedBytes(), 0u);
    // The writer, wrapped to the start, may not run into the payload being decoded.
    EXPECT_FALSE(PushAt(q, 0, 250, kKindAlwaysQueued).ok);
    EXPECT_FALSE(q.Pop(out)) << "nothing waits after a flush";
    ASSERT_TRUE(PushAt(q, 0, 250, kKindAlwaysQueued).ok);
    ASSERT_TRUE(q.Pop(out));
    EXPECT_EQ(out.payload, q.areaStart());
}

TEST_F(SmallVideoQueue, SideRecordsAreNotCountedAndKeepTheirPayload) {
    ASSERT_TRUE(PushAt(q, 0, 100, kKindAlwaysQueued).ok);
    const Pushed trailer = PushAt(q, 100, 512, kKindTrailer);
    ASSERT_TRUE(trailer.ok);
    EXPECT_EQ(trailer.next, 612) << "the next frame goes behind the queued trailer";
    EXPECT_EQ(q.queuedBytes(), 100u);
    const Pushed tooLate = PushAt(q, 612, 300, kKindSideRecord);
    EXPECT_TRUE(tooLate.ok) << "a side record without room is dropped, not refused";
    EXPECT_EQ(tooLate.next, 612);
    EXPECT_EQ(DrainKinds(q), (std::vector<std::uint32_t>{kKindAlwaysQueued, kKindTrailer}));
}

TEST_F(SmallVideoQueue, TrailersInSideSlotsSurviveTheRingAndFreeTheirSlots) {
    std::vector<std::uint8_t> trailer(512);
    for (std::size_t i = 0; i < trailer.size(); ++i) {
        trailer[i] = static_cast<std::uint8_t>(i * 7);
    }
    // A frame is half written at the write position when the next unit's trailer comes.
    std::uint8_t* w = nullptr;
    q.Reset(w);
    FrameRecord side = Rec(nullptr, 0, kKindTrailer);
    side.value = 42;
    ASSERT_TRUE(q.PushSide(side, trailer)) << "an empty queue takes a side record";
    std::memset(w, 0xEE, 300); // the frame's bytes go where the trailer would have gone
    FrameRecord frame = Rec(w, 300, kKindAlwaysQueued);
    ASSERT_TRUE(q.Push(frame));
    EXPECT_EQ(q.queuedBytes(), 300u);

    FrameRecord out;
    ASSERT_TRUE(q.Pop(out));
    EXPECT_EQ(out.kind, kKindTrailer);
    EXPECT_EQ(out.value, 42);
    ASSERT_EQ(out.size, 512u);
    EXPECT_TRUE(std::equal(trailer.begin(), trailer.end(), out.payload));
    ASSERT_TRUE(q.Pop(out));
    EXPECT_EQ(out.payload, q.areaStart()) << "the frame was written at the ring start";

    // Slots come back as records leave: many more trailers than slots pass one by one...
    for (std::size_t i = 0; i < 3 * CBuffer::kSideSlots; ++i) {
        trailer[0] = static_cast<std::uint8_t>(i);
        FrameRecord t = Rec(nullptr, 0, kKindTrailer);
        ASSERT_TRUE(q.PushSide(t, trailer)) << i;
        ASSERT_TRUE(q.Pop(out)) << i;
        ASSERT_EQ(out.payload[0], static_cast<std::uint8_t>(i)) << i;
    }
    // ...while a queue that is never consumed runs out of them, and a flush frees them.
    std::size_t taken = 0;
    for (FrameRecord t = Rec(nullptr, 0, kKindTrailer); q.PushSide(t, trailer); ++taken) {
    }
    EXPECT_EQ(taken, CBuffer::kSideSlots - 1) << "the consumer still holds the last trailer";
    q.Flush();
    FrameRecord again = Rec(nullptr, 0, kKindTrailer);
    EXPECT_TRUE(q.PushSide(again, trailer));

    // Only side kinds, and nothing larger than a slot.
    FrameRecord wrongKind = Rec(nullptr, 0, kKindKeyFrame);
    EXPECT_FALSE(q.PushSide(wrongKind, trailer));
    std::vector<std::uint8_t> big(CBuffer::kSideSlotSize + 1);
    FrameRecord tooBig = Rec(nullptr, 0, kKindTrailer);
    EXPECT_FALSE(q.PushSide(tooBig, big));
}

// The key-frame gate: which kinds reach the consumer, and the state it ends in.
struct GateCase {
    const char* name;
    bool resetFirst;
    std::vector<std::uint32_t> pushed;
    std::vector<std::uint32_t> queued;
    int state;
};

class KeyFrameGate : public SmallVideoQueue, public ::testing::WithParamInterface<GateCase> {};

TEST_P(KeyFrameGate, LetsPredictedFramesThroughOnlyBehindTheirKeyFrame) {
    const GateCase& c = GetParam();
    if (c.resetFirst) {
        std::uint8_t* w = nullptr;
        q.Reset(w);
    }
    std::size_t at = 0;
    for (std::uint32_t kind : c.pushed) {
        const Pushed p = PushAt(q, at, 10, kind);
        ASSERT_TRUE(p.ok) << "dropped records report success";
        at = static_cast<std::size_t>(p.next);
    }
    EXPECT_EQ(q.keyFrameState(), c.state);
    EXPECT_EQ(DrainKinds(q), c.queued);
}

INSTANTIATE_TEST_SUITE_P(
    Table, KeyFrameGate,
    ::testing::Values(
        // A queued key picture opens the gate for its own group: nothing after a start or a
        // seek waits for the second group.
        GateCase{"AfterResetTheFirstKeyFrameOpensTheGate",
                 true,
                 {18, 17, 18, 17, 18},
                 {17, 18, 17, 18},
                 2},
        GateCase{"SequenceHeaderOpensTheGate", true, {16, 17, 18, 19}, {16, 17, 18, 19}, 1},
        GateCase{"AfterInitKeyFramesCount", false, {17, 18, 17, 19}, {17, 18, 17, 19}, 2},
        GateCase{"IgnoredDroppedAlwaysQueuedPasses", true, {0, 80, 19, 81, 1}, {80, 81, 1}, -1},
        GateCase{"HeaderThenPredictedWithoutKey", true, {19, 80, 16, 18}, {80, 16}, 0}),
    [](const ::testing::TestParamInfo<GateCase>& c) { return c.param.name; });

TEST_F(SmallVideoQueue, AFullRingClosesTheGate) {
    FrameRecord out;
    ASSERT_TRUE(PushAt(q, 0, 300, kKindAlwaysQueued).ok);
    ASSERT_TRUE(PushAt(q, 300, 300, kKindAlwaysQueued).ok);
    ASSERT_TRUE(q.Pop(out));
    ASSERT_TRUE(q.Pop(out));                                // consumer holds [300, 600)
    ASSERT_TRUE(PushAt(q, 600, 350, kKindAlwaysQueued).ok); // wraps to 0
    ASSERT_TRUE(PushAt(q, 0, 150, kKindKeyFrame).ok);
    EXPECT_EQ(q.keyFrameState(), 1);

    FrameRecord predicted = Rec(q.areaStart() + 150, 100, kKindFrame);
    EXPECT_FALSE(q.Push(predicted)) << "150 + 100 + margin reaches the consumer's payload";
    EXPECT_EQ(q.keyFrameState(), 0);
    EXPECT_TRUE(q.Push(predicted)) << "retried, it is dropped: its key frame's group is broken";
    EXPECT_EQ(predicted.payload, q.areaStart() + 150) << "a dropped record's space is reused";
    EXPECT_FALSE(PushAt(q, 150, 100, kKindSequenceHeader).ok);
    EXPECT_EQ(q.keyFrameState(), CVBuffer2::kWaitingForSequence);

    ASSERT_TRUE(q.Pop(out)); // consumer moves to [600, 950)
    ASSERT_TRUE(PushAt(q, 150, 100, kKindSequenceHeader).ok);
    EXPECT_EQ(q.keyFrameState(), 0);
}

TEST_F(SmallVideoQueue, TrimKeepsEverythingUpToTheLastSequenceHeader) {
    std::size_t at = 0;
    for (std::uint32_t kind : {80, 16, 17, 18, 16, 17, 18}) {
        const Pushed p = PushAt(q, at, 20, kind);
        ASSERT_TRUE(p.ok);
        at = static_cast<std::size_t>(p.next);
    }
    ticks.set(6000);
    q.Trim();
    EXPECT_EQ(q.recordCount(), 6u);
    EXPECT_EQ(q.queuedBytes(), 100u);
    EXPECT_EQ(q.keyFrameState(), 0);
    EXPECT_EQ(q.lastTrimTick(), 6000);
    EXPECT_EQ(DrainKinds(q), (std::vector<std::uint32_t>{80, 16, 17, 18, 16}));

    // Without a sequence header only the consumer's record stays; a waiting gate stays shut.
    std::uint8_t* w = nullptr;
    q.Reset(w);
    ASSERT_TRUE(PushAt(q, 0, 20, 80).ok);
    ASSERT_TRUE(PushAt(q, 20, 20, 17).ok);
    q.Trim();
    EXPECT_EQ(q.recordCount(), 1u);
    EXPECT_EQ(q.keyFrameState(), 0);
    q.Reset(w);
    q.Trim();
    EXPECT_EQ(q.keyFrameState(), CVBuffer2::kWaitingForSequence);
}

TEST_F(SmallVideoQueue, PopCountsTakenKeyFramesDown) {
    std::size_t at = 0;
    for (std::uint32_t kind : {17, 17, 17}) {
        at = static_cast<std::size_t>(PushAt(q, at, 20, kind).next);
    }
    EXPECT_EQ(q.keyFrameState(), 3);
    FrameRecord out;
    ASSERT_TRUE(q.Pop(out));
    ASSERT_TRUE(q.Pop(out));
    ASSERT_TRUE(q.Pop(out));
    EXPECT_EQ(q.keyFrameState(), 1) << "never below 1 by popping";
}

// Audio: what a refusal turns into, by kind.
struct AudioRefusal {
    std::uint32_t kind;
    std::uint32_t size;
    bool result;
    bool queued;
};

class AudioQueueRefusal : public ::testing::TestWithParam<AudioRefusal> {};

TEST_P(AudioQueueRefusal, RetriesAudioAndDropsTheRest) {
    const AudioRefusal c = GetParam();
    CABuffer2 q;
    ASSERT_TRUE(q.Init(kArea, kMargin, true));
    FrameRecord out;
    ASSERT_TRUE(PushAt(q, 0, 300, kKindAudio).ok);
    ASSERT_TRUE(q.Pop(out)); // consumer plays [0, 300): a wrap to the start is impossible
    EXPECT_EQ(PushAt(q, 300, c.size, c.kind).ok, c.result);
    EXPECT_EQ(q.recordCount(), c.queued ? 2u : 1u);
}

INSTANTIATE_TEST_SUITE_P(Table, AudioQueueRefusal,
                         ::testing::Values(AudioRefusal{kKindAudio, 650, false, false},
                                           AudioRefusal{kKindEnd, 650, true, false},
                                           AudioRefusal{kKindSideRecord, 650, true, false},
                                           AudioRefusal{kKindAudio, 100, true, true}));

TEST(AudioQueue, DropFlagKeepsASilentChannelFromGrowing) {
    CABuffer2 q;
    ASSERT_TRUE(q.Init(kArea, kMargin, true));
    q.SetDropFlag(true);
    std::uint8_t* w = nullptr;
    q.Reset(w);
    // Many times round the ring: with no consumer the producer's own pops keep it moving.
    for (int i = 0; i < 100; ++i) {
        FrameRecord r = Rec(w, 70, kKindAudio);
        ASSERT_TRUE(q.Push(r)) << i;
        w = r.payload;
        ASSERT_EQ(q.recordCount(), 1u) << i;
    }
    EXPECT_EQ(q.queuedBytes(), 0u);

    // Not blocking (exporting): nothing is dropped.
    ASSERT_TRUE(q.Init(kArea, kMargin, false));
    q.Reset(w);
    for (int i = 0; i < 3; ++i) {
        FrameRecord r = Rec(w, 70, kKindAudio);
        ASSERT_TRUE(q.Push(r));
        w = r.payload;
    }
    EXPECT_EQ(q.recordCount(), 4u);
    q.Trim();
    EXPECT_EQ(q.recordCount(), 1u);
}

// A producer blocked on a full video queue is woken by a pop or by Release.
class BlockedProducer : public ::testing::TestWithParam<bool> {};

TEST_P(BlockedProducer, IsWokenWithoutLosingTheWakeUp) {
    const bool release = GetParam();
    CVBuffer2 q(3);
    ASSERT_TRUE(q.Init(kArea, kMargin, true));
    std::atomic<int> pushed{0};
    std::thread producer([&] {
        std::uint8_t* w = q.areaStart();
        for (int i = 0; i < 2; ++i) {
            FrameRecord r = Rec(w, 10, kKindAlwaysQueued);
            if (q.Push(r)) { // the second push leaves 3 records listed and waits
                pushed.fetch_add(1);
            }
            w = r.payload;
        }
    });
    // Wait for the state, not for time: the record is listed before the producer waits, and a
    // wake-up given before its wait is kept by the event.
    while (q.recordCount() < 3) {
        std::this_thread::yield();
    }
    if (release) {
        q.Release();
        EXPECT_FALSE(q.blocking());
    } else {
        FrameRecord out;
        ASSERT_TRUE(q.Pop(out));
    }
    producer.join();
    EXPECT_EQ(pushed.load(), 2);
}

INSTANTIATE_TEST_SUITE_P(Table, BlockedProducer, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p) {
                             return p.param ? "Release" : "Pop";
                         });

// ---- Producer and consumer on two threads: every payload the consumer sees must be intact ----

// Byte i of the payload of frame seq.
std::uint8_t PatternByte(std::uint64_t seq, std::size_t i) {
    return static_cast<std::uint8_t>((seq * 0x9E37u) ^ (i * 131u) ^ (i >> 8));
}

// A small deterministic generator, one per thread.
struct Rng {
    std::uint64_t state;
    std::uint32_t next(std::uint32_t bound) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<std::uint32_t>((state >> 33) % bound);
    }
};

bool Intact(const FrameRecord& r) {
    const auto seq = static_cast<std::uint64_t>(r.ptsUs);
    for (std::size_t i = 0; i < r.size; ++i) {
        if (r.payload[i] != PatternByte(seq, i)) {
            return false;
        }
    }
    return true;
}

struct ConsumerTally {
    int frames = 0;
    int damaged = 0;      // wrong bytes when popped
    int damagedLater = 0; // bytes changed while the consumer still held the record
    int outOfOrder = 0;
};

// Pops until the end record, checking each payload when it is handed out and again just before
// it is given back; every `flushEvery` frames it flushes the queue under its own feet.
ConsumerTally Consume(CBuffer& q, std::uint32_t endKind, int flushEvery, std::atomic<bool>& done) {
    ConsumerTally t;
    Rng rng{77};
    FrameRecord cur;
    bool holding = false;
    std::int64_t lastSeq = 0;
    for (;;) {
        if (holding && !Intact(cur)) {
            ++t.damagedLater;
        }
        holding = q.Pop(cur);
        if (!holding) {
            std::this_thread::yield();
            continue;
        }
        if (cur.kind == endKind && cur.ptsUs == -1) {
            break;
        }
        ++t.frames;
        if (!Intact(cur)) {
            ++t.damaged;
        }
        if (cur.ptsUs <= lastSeq) {
            ++t.outOfOrder;
        }
        lastSeq = cur.ptsUs;
        if (flushEvery > 0 && t.frames % flushEvery == 0) {
            q.Flush();
        }
        for (std::uint32_t k = rng.next(4); k > 0; --k) {
            std::this_thread::yield(); // decode time, during which the producer runs on
        }
    }
    done.store(true);
    q.Release();
    return t;
}

constexpr std::size_t kStressArea = 12 * 1024;
constexpr std::size_t kStressMargin = 4 * 1024;
constexpr int kStressFrames = 6000;

TEST(QueueStress, VideoFramesWrittenInPiecesArriveIntact) {
    // Few records, so the producer also waits on a full queue.
    CVBuffer2 q(8);
    ASSERT_TRUE(q.Init(kStressArea, kStressMargin, true));
    std::atomic<bool> done{false};
    std::thread producer([&] {
        Rng rng{12345};
        std::uint8_t* w = nullptr;
        q.Reset(w);
        for (int seq = 1; seq <= kStressFrames; ++seq) {
            const std::uint32_t size = 1 + rng.next(static_cast<std::uint32_t>(kStressMargin));
            FrameRecord r = Rec(w, 0, seq % 12 == 1 ? kKindKeyFrame : kKindFrame);
            r.ptsUs = seq;
            while (r.size < size) {
                const std::uint32_t piece = std::min(size - r.size, 1 + rng.next(700));
                std::uint8_t* at = nullptr;
                while ((at = q.EnsureRoom(r, piece)) == nullptr) {
                    std::this_thread::yield();
                }
                for (std::uint32_t i = 0; i < piece; ++i) {
                    at[i] = PatternByte(static_cast<std::uint64_t>(seq), r.size + i);
                }
                r.size += piece;
            }
            while (!q.Push(r)) {
                std::this_thread::yield();
            }
            w = r.payload;
        }
        // A flush by the consumer may drop the end record: offered until it has been seen.
        while (!done.load()) {
            FrameRecord end = Rec(w, 0, kKindEnd);
            end.ptsUs = -1;
            (void)q.Push(end);
            std::this_thread::yield();
        }
    });
    const ConsumerTally t = Consume(q, kKindEnd, 97, done);
    producer.join();
    // Predicted frames may be dropped by the gate after a full ring, but every key frame is
    // retried until queued; only a flush (at most 8 waiting records each) loses one then.
    EXPECT_GE(t.frames, kStressFrames / 12 - 8 * (t.frames / 97 + 1));
    EXPECT_EQ(t.damaged, 0);
    EXPECT_EQ(t.damagedLater, 0);
    EXPECT_EQ(t.outOfOrder, 0);
}

TEST(QueueStress, AudioFramesWrittenAtTheWritePositionArriveIntact) {
    CABuffer2 q;
    ASSERT_TRUE(q.Init(kStressArea, kStressMargin, true));
    std::atomic<bool> done{false};
    std::thread producer([&] {
        Rng rng{999};
        std::uint8_t* w = nullptr;
        q.Reset(w);
        for (int seq = 1; seq <= kStressFrames; ++seq) {
            // Written in one piece at the position Push returned: the margin behind it is free.
            const std::uint32_t size = 1 + rng.next(static_cast<std::uint32_t>(kStressMargin));
            for (std::uint32_t i = 0; i < size; ++i) {
                w[i] = PatternByte(static_cast<std::uint64_t>(seq), i);
            }
            FrameRecord r = Rec(w, size, kKindAudio);
            r.ptsUs = seq;
            while (!q.Push(r)) {
                std::this_thread::yield();
            }
            w = r.payload;
        }
        FrameRecord end = Rec(w, 0, kKindAudio);
        end.ptsUs = -1;
        while (!q.Push(end)) {
            std::this_thread::yield();
        }
    });
    const ConsumerTally t = Consume(q, kKindAudio, 0, done);
    producer.join();
    EXPECT_EQ(t.frames, kStressFrames) << "audio is retried, never lost";
    EXPECT_EQ(t.damaged, 0);
    EXPECT_EQ(t.damagedLater, 0);
    EXPECT_EQ(t.outOfOrder, 0);
}

} // namespace
} // namespace tavero::engine
