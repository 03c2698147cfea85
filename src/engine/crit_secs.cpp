#include "engine/crit_secs.h"

#include <chrono>

namespace tavero::engine {

CCritSecs::~CCritSecs() = default;

void AutoResetEvent::Set() {
    // Notified under the lock: a waiter that wakes may destroy its owner at once, and the
    // condition variable must not be touched after that.
    std::lock_guard<std::mutex> lock(m_mutex);
    m_signalled = true;
    m_cv.notify_one();
}

void AutoResetEvent::Reset() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_signalled = false;
}

void AutoResetEvent::Wait() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cv.wait(lock, [this] { return m_signalled; });
    m_signalled = false;
}

bool AutoResetEvent::WaitFor(int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs),
                       [this] { return m_signalled; })) {
        return false;
    }
    m_signalled = false;
    return true;
}

bool AutoResetEvent::isSet() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_signalled;
}

} // namespace tavero::engine
