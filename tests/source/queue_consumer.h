#pragma once
// A stand-in for a channel's decoding workers: pops every record of the channel's video and
// audio queues on threads of its own and keeps what it saw.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/ozu_ctrl.h"

namespace tavero::testing {

struct Seen {
    std::uint32_t kind = 0;
    std::uint32_t size = 0;
    std::uint64_t hash = 0;
    std::int64_t ptsUs = 0;
    std::int64_t timeSeconds = 0;
    double speed = 0;
    std::int32_t value = 0; // the record's kind-dependent value
    std::uint32_t unitNo = 0;
    std::vector<std::uint8_t> bytes; // the payload as queued
};

class QueueConsumer {
public:
    QueueConsumer(engine::COzuCtrl& control, int channel);
    ~QueueConsumer();
    QueueConsumer(const QueueConsumer&) = delete;
    QueueConsumer& operator=(const QueueConsumer&) = delete;

    // Waits until an end marker arrived on the video queue (true) or timeoutMs passed.
    [[nodiscard]] bool WaitForEnd(int timeoutMs);
    // Waits until at least count video records of kind arrived.
    [[nodiscard]] bool WaitForVideo(std::uint32_t kind, std::size_t count, int timeoutMs);
    void Stop();
    [[nodiscard]] std::vector<Seen> video() const;
    [[nodiscard]] std::vector<Seen> audio() const;
    void Clear();

private:
    void run(engine::CBuffer& queue, std::vector<Seen>& into, bool isVideo);

    engine::COzuCtrl& m_control;
    int m_channel;
    std::atomic<bool> m_running{true};
    std::atomic<int> m_ends{0};
    mutable std::mutex m_lock;
    std::vector<Seen> m_video; // guarded by m_lock
    std::vector<Seen> m_audio; // guarded by m_lock
    std::thread m_videoThread;
    std::thread m_audioThread;
};

} // namespace tavero::testing
