#pragma once
// One channel's audio queue. It never makes the producer wait: sound that does not fit is
// retried or dropped, and a channel without sound output drops its frames as they come.

#include "engine/crit_secs.h"
#include "engine/frame_queue.h"

#include <atomic>
#include <cstdint>

namespace tavero::engine {

// Owned by the player control; producer: the source thread; consumer: the channel's audio
// worker. Every operation holds the queue's own lock (this CCritSecs) for its whole duration;
// it guards the list and the byte count. The drop flag is atomic. Trim keeps only the first
// record; Reset, Pop and Flush are CBuffer's.
class CABuffer2 : public CBuffer, public CCritSecs {
public:
    explicit CABuffer2(std::uint32_t maxRecords = 0);
    ~CABuffer2() override;

    // A refused audio frame (kind 64) gives false (the producer retries); a refused kind-21
    // record is offered once more; any other refused record is dropped with true. With blocking
    // on, the maximum record count reached and the drop flag set, the oldest record is popped
    // after the push, so the queue of a channel without sound output does not grow.
    [[nodiscard]] bool Push(FrameRecord& record) override;

    // Set by the audio worker when the channel has no sound output. No consumer runs while it
    // is set: the producer's own pop then takes the consumer's part.
    void SetDropFlag(bool drop) { m_drop.store(drop); }
    [[nodiscard]] bool dropFlag() const { return m_drop.load(); }

protected:
    // The base takes and leaves the lock in pairs (ListLock); not visible to the analysis.
    void lockList() const override TAVERO_NO_TSA { const_cast<CABuffer2*>(this)->Enter(); }
    void unlockList() const override TAVERO_NO_TSA { const_cast<CABuffer2*>(this)->Leave(); }

private:
    std::atomic<bool> m_drop{false};
};

} // namespace tavero::engine
