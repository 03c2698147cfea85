#include "queue_consumer.h"

#include "mkcard/card_writer.h"

#include <chrono>
#include <cstring>

namespace tavero::testing {

QueueConsumer::QueueConsumer(engine::COzuCtrl& control, int channel)
    : m_control(control), m_channel(channel) {
    engine::ChannelSlot* slot = control.slot(channel);
    m_videoThread = std::thread([this, slot] { run(slot->video, m_video, true); });
    m_audioThread = std::thread([this, slot] { run(slot->audio, m_audio, false); });
}

QueueConsumer::~QueueConsumer() {
    Stop();
}

void QueueConsumer::Stop() {
    m_running = false;
    if (m_videoThread.joinable()) {
        m_videoThread.join();
    }
    if (m_audioThread.joinable()) {
        m_audioThread.join();
    }
}

void QueueConsumer::run(engine::CBuffer& queue, std::vector<Seen>& into, bool isVideo) {
    while (m_running) {
        engine::FrameRecord r;
        if (!queue.Pop(r)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        Seen s;
        s.kind = r.kind;
        s.size = r.size;
        s.ptsUs = r.ptsUs;
        s.timeSeconds = r.timeSeconds;
        s.speed = r.speed;
        s.value = r.value;
        std::memcpy(&s.unitNo, r.producerData.data(), sizeof s.unitNo);
        if (r.payload != nullptr && r.size > 0) {
            s.hash = sim::payloadHash(std::span<const std::uint8_t>(r.payload, r.size));
            s.bytes.assign(r.payload, r.payload + r.size);
        }
        {
            std::lock_guard guard(m_lock);
            into.push_back(s);
        }
        if (isVideo && r.kind == engine::kKindEnd) {
            ++m_ends;
        }
    }
}

bool QueueConsumer::WaitForEnd(int timeoutMs) {
    const int before = m_ends.load();
    (void)before;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (m_ends.load() > 0) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

bool QueueConsumer::WaitForVideo(std::uint32_t kind, std::size_t count, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        {
            std::lock_guard guard(m_lock);
            std::size_t n = 0;
            for (const Seen& s : m_video) {
                n += s.kind == kind ? 1 : 0;
            }
            if (n >= count) {
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

std::vector<Seen> QueueConsumer::video() const {
    std::lock_guard guard(m_lock);
    return m_video;
}

std::vector<Seen> QueueConsumer::audio() const {
    std::lock_guard guard(m_lock);
    return m_audio;
}

void QueueConsumer::Clear() {
    std::lock_guard guard(m_lock);
    m_video.clear();
    m_audio.clear();
    m_ends = 0;
}

} // namespace tavero::testing
