#include "engine/thread_base.h"

#include <chrono>
#include <system_error>
#include <utility>

namespace tavero::engine {

CMyThread::~CMyThread() {
    Stop(-1);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_thread.joinable()) {
        // Only reachable when the object is destroyed by its own thread, which cannot wait for
        // itself; detaching at least avoids std::terminate.
        m_thread.detach();
    }
}

bool CMyThread::Start() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_thread.joinable()) {
        if (!m_finished) {
            return false;
        }
        // The body has returned and released m_mutex for good; joining cannot block long.
        m_thread.join();
    }
    m_running.store(1);
    m_finished = false;
    try {
        m_thread = std::thread(&CMyThread::threadMain, this);
    } catch (const std::system_error&) {
        m_running.store(0);
        m_finished = true;
        return false;
    }
    return true;
}

void CMyThread::Stop(int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_running.store(0);
    m_cv.notify_all();
    if (!m_thread.joinable() || m_thread.get_id() == std::this_thread::get_id()) {
        return;
    }
    const auto finished = [this] { return m_finished; };
    if (timeoutMs < 0) {
        m_cv.wait(lock, finished);
    } else if (!m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), finished)) {
        return;
    }
    // Another Stop may have joined it while this one waited.
    if (!m_thread.joinable()) {
        return;
    }
    std::thread done = std::move(m_thread);
    lock.unlock();
    done.join();
}

void CMyThread::SleepWhileRunning(int ms) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cv.wait_for(lock, std::chrono::milliseconds(ms < 0 ? 0 : ms),
                  [this] { return m_running.load() == 0; });
}

bool CMyThread::hasThread() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_thread.joinable();
}

int CMyThread::exitCode() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_exitCode;
}

void CMyThread::threadMain() {
    const int code = Run();
    // Notified under the lock: once m_finished is seen the object may be destroyed.
    std::lock_guard<std::mutex> lock(m_mutex);
    m_exitCode = code;
    m_running.store(0);
    m_finished = true;
    m_cv.notify_all();
}

CSourceCtx::~CSourceCtx() = default;

bool CSourceCtx::Start() {
    return CMyThread::Start();
}

void CSourceCtx::Stop(int timeoutMs) {
    CMyThread::Stop(timeoutMs);
    if (!hasThread()) {
        m_runState.fill(0);
    }
}

} // namespace tavero::engine
