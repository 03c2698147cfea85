#include "engine/notifications.h"

#include <algorithm>
#include <chrono>

namespace tavero::engine {

void RecordingSink::Post(std::uint32_t message, COzuCtrl* control, std::int64_t lParam) {
    {
        std::lock_guard guard(m_lock);
        m_seen.push_back(Notification{message, control, lParam});
    }
    m_posted.notify_all();
}

bool RecordingSink::WaitFor(std::uint32_t message, int timeoutMs, const std::int64_t* lParam) {
    std::unique_lock guard(m_lock);
    auto match = [&] {
        return std::find_if(m_seen.begin(), m_seen.end(), [&](const Notification& n) {
            return n.message == message && (lParam == nullptr || n.lParam == *lParam);
        });
    };
    const bool found = m_posted.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                         [&] { return match() != m_seen.end(); });
    if (found) {
        const auto it = match();
        m_taken.push_back(*it);
        m_seen.erase(it);
    }
    return found;
}

std::size_t RecordingSink::Count(std::uint32_t message) const {
    std::lock_guard guard(m_lock);
    auto count = [&](const std::deque<Notification>& list) {
        return static_cast<std::size_t>(std::count_if(
            list.begin(), list.end(), [&](const Notification& n) { return n.message == message; }));
    };
    return count(m_seen) + count(m_taken);
}

void RecordingSink::Clear() {
    std::lock_guard guard(m_lock);
    m_seen.clear();
    m_taken.clear();
}

} // namespace tavero::engine
