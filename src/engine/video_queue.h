#pragma once
// One channel's video queue, with the key-frame gate that keeps predicted frames out of the
// queue until the key frame they depend on is queued: after a reset or a refused push the gate
// is shut, and the next queued key frame (or sequence header) opens it.

#include "engine/crit_secs.h"
#include "engine/frame_queue.h"
#include "engine/tick_source.h"

#include <cstdint>

namespace tavero::engine {

// Owned by the player control; threads as CBuffer (producer: the source thread; consumer: the
// channel's video worker). Every operation holds the queue's own lock (this CCritSecs) for its
// whole duration, except the producer's wait on a full queue, which is done after leaving it.
// The lock guards the list, the byte count, the key-frame state and the last trim tick.
class CVBuffer2 : public CBuffer, public CCritSecs {
public:
    static constexpr std::uint32_t kMaxRecords = 384;
    // Key-frame state meaning "drop video up to the next sequence header".
    static constexpr int kWaitingForSequence = -1;

    explicit CVBuffer2(std::uint32_t maxRecords = kMaxRecords, const TickSource* ticks = nullptr);
    ~CVBuffer2() override;

    [[nodiscard]] bool Init(std::size_t size, std::size_t margin, bool blocking) override;
    // Keeps the first record and everything up to the most recent sequence header.
    void Trim() override;
    // As CBuffer, and the gate then waits for a sequence header.
    void Reset(std::uint8_t*& writePosition) override;
    // Passes the record through the key-frame gate; a record the gate drops gives true and
    // leaves record.payload alone. Then, with blocking on and the queue at its maximum record
    // count, waits until the consumer pops or the queue is released.
    [[nodiscard]] bool Push(FrameRecord& record) override;
    // Shuts the gate and keeps every queued record: the stream has a hole (a jump in the unit
    // numbering, a camera switched off), so predicted pictures wait for the next key picture
    // while the complete pictures already queued are still shown.
    void CloseGate();
    [[nodiscard]] bool Pop(FrameRecord& out) override;

    // Signed count of key frames waiting; kWaitingForSequence after Reset or a full ring.
    [[nodiscard]] int keyFrameState() const;
    // Tick (ms) of the last Trim; -1 before the first.
    [[nodiscard]] std::int64_t lastTrimTick() const;

protected:
    // The base takes and leaves the lock in pairs (ListLock); not visible to the analysis.
    void lockList() const override TAVERO_NO_TSA { const_cast<CVBuffer2*>(this)->Enter(); }
    void unlockList() const override TAVERO_NO_TSA { const_cast<CVBuffer2*>(this)->Leave(); }

private:
    [[nodiscard]] bool gatedPushLocked(FrameRecord& record);

    const TickSource& m_ticks;
    int m_keyFrameState = 0;          // guarded by the queue lock
    std::int64_t m_lastTrimTick = -1; // guarded by the queue lock
};

} // namespace tavero::engine
