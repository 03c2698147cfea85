#pragma once
// Synchronisation primitives of the engine: the critical section every queue and reader locks,
// and the auto-reset event on which producers and pacers wait.

#include <condition_variable>
#include <mutex>

// Clang's thread-safety analysis; empty under other compilers. Guard annotations name a
// CCritSecs: libstdc++'s std::mutex carries no capability, so fields guarded by one say so in a
// comment instead.
#if defined(__clang__)
#define TAVERO_TSA(x) __attribute__((x))
#else
#define TAVERO_TSA(x)
#endif
#define TAVERO_CAPABILITY(x) TAVERO_TSA(capability(x))
#define TAVERO_GUARDED_BY(x) TAVERO_TSA(guarded_by(x))
#define TAVERO_ACQUIRE(...) TAVERO_TSA(acquire_capability(__VA_ARGS__))
#define TAVERO_RELEASE(...) TAVERO_TSA(release_capability(__VA_ARGS__))
#define TAVERO_TRY_ACQUIRE(...) TAVERO_TSA(try_acquire_capability(__VA_ARGS__))
#define TAVERO_NO_TSA TAVERO_TSA(no_thread_safety_analysis)

namespace tavero::engine {

// One non-recursive lock. Any thread. Also a BasicLockable, so std::lock_guard and
// std::unique_lock work on it. Locks of two queues are never held together.
class TAVERO_CAPABILITY("mutex") CCritSecs {
public:
    CCritSecs() = default;
    CCritSecs(const CCritSecs&) = delete;
    CCritSecs& operator=(const CCritSecs&) = delete;
    virtual ~CCritSecs();

    void Enter() TAVERO_ACQUIRE() { m_mutex.lock(); }
    void Leave() TAVERO_RELEASE() { m_mutex.unlock(); }

    void lock() TAVERO_ACQUIRE() { m_mutex.lock(); }
    void unlock() TAVERO_RELEASE() { m_mutex.unlock(); }
    [[nodiscard]] bool try_lock() TAVERO_TRY_ACQUIRE(true) { return m_mutex.try_lock(); }

private:
    std::mutex m_mutex;
};

// An event that stays set until one waiter consumes it, so a Set that comes before the Wait is
// not lost. Any thread may Set; one thread at a time is expected to wait.
class AutoResetEvent {
public:
    AutoResetEvent() = default;
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    void Set();
    void Reset();
    // Waits until set, then clears the event.
    void Wait();
    // Waits at most timeoutMs; true when the event was set (and is now cleared), false on timeout.
    [[nodiscard]] bool WaitFor(int timeoutMs);
    [[nodiscard]] bool isSet() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_signalled = false; // guarded by m_mutex
};

} // namespace tavero::engine
