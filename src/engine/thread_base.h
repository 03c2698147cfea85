#pragma once
// Base classes of the engine's worker threads. A worker is an object whose thread runs Run();
// it is ended only by clearing the running flag and waiting, never killed.

#include "engine/crit_secs.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace tavero::engine {

class COzuCtrl;

// Owned by the thread that creates it (the user-interface thread, through the player control);
// Start and Stop may also come from other threads, and are serialised by m_mutex. The worker's
// own thread runs Run() and reads the running flag.
//
// A class whose Run() touches its own members must call Stop(-1) in its own destructor: the
// base destructor also stops the thread, but by then the derived part is already gone.
class CMyThread {
public:
    CMyThread() = default;
    CMyThread(const CMyThread&) = delete;
    CMyThread& operator=(const CMyThread&) = delete;
    // Stops the thread with an unbounded wait; never leaves it running.
    virtual ~CMyThread();

    // Sets the running flag and starts a thread whose body calls Run(). False when the thread
    // could not be created, or when an earlier thread of this object has not ended yet (it was
    // never stopped, or its Stop timed out): two threads must never run Run() on one object.
    [[nodiscard]] virtual bool Start();
    // Clears the running flag and waits at most timeoutMs for the thread to end (negative: no
    // limit). A thread that has not ended in time keeps running and is waited for by a later
    // Stop, Start or the destructor. Called from the worker's own thread it only clears the flag.
    virtual void Stop(int timeoutMs);
    // The thread body: loops while running() and returns when it drops.
    virtual int Run() = 0;
    // Sleeps until ms have passed or the running flag was cleared, whichever comes first.
    void SleepWhileRunning(int ms);

    [[nodiscard]] bool running() const { return m_running.load() != 0; }
    // True from Start until a Stop, Start or the destructor has seen the thread end.
    [[nodiscard]] bool hasThread() const;
    // What the last Run() returned; 0 before any thread ended.
    [[nodiscard]] int exitCode() const;

private:
    void threadMain();

    // 1 while the thread should run; cleared by Stop and when Run() returns. Written under
    // m_mutex so that sleepers on m_cv see the change; read anywhere.
    std::atomic<int> m_running{0};
    mutable std::mutex m_mutex;
    std::condition_variable m_cv; // signalled when m_running drops or the thread finishes
    // Guarded by m_mutex:
    std::thread m_thread;
    bool m_finished = true; // Run() has returned
    int m_exitCode = 0;
};

// Base of the source readers: a worker owned by a player control. Same threading as CMyThread.
class CSourceCtx : public CMyThread {
public:
    static constexpr std::size_t kRunStateWords = 8;

    explicit CSourceCtx(COzuCtrl* owner) : m_owner(owner) {}
    ~CSourceCtx() override;

    [[nodiscard]] bool Start() override;
    // Also zeroes the run state once the thread has ended (a thread still running keeps it).
    void Stop(int timeoutMs) override;

    [[nodiscard]] COzuCtrl* owner() const { return m_owner; }

    // Start and end of what is being read and the current read position, seconds since 1970.
    // Written by the source thread (and by the user-interface thread before Start); read by any.
    [[nodiscard]] std::int64_t startTime() const { return m_startTime.load(); }
    [[nodiscard]] std::int64_t endTime() const { return m_endTime.load(); }
    [[nodiscard]] std::int64_t currentTime() const { return m_currentTime.load(); }
    void setStartTime(std::int64_t s) { m_startTime.store(s); }
    void setEndTime(std::int64_t s) { m_endTime.store(s); }
    void setCurrentTime(std::int64_t s) { m_currentTime.store(s); }

protected:
    // Per-run state of the reader (an export worker keeps its 16-byte channel header in the first
    // four words). Belongs to the worker thread while it runs, to the caller of Start before.
    std::array<std::uint32_t, kRunStateWords> m_runState{};

private:
    COzuCtrl* const m_owner; // not owned; outlives the reader
    std::atomic<std::int64_t> m_startTime{0};
    std::atomic<std::int64_t> m_endTime{0};
    std::atomic<std::int64_t> m_currentTime{0};
};

static_assert(sizeof(std::array<std::uint32_t, CSourceCtx::kRunStateWords>) == 32);

} // namespace tavero::engine
