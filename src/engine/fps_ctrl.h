#pragma once
// The per-channel frame pacer: turns the time stamps of shown frames into the wait before the
// next one, in whole milliseconds, carrying fractions forward so that truncation does not drift.

#include "engine/crit_secs.h"
#include "engine/tick_source.h"

#include <atomic>
#include <cstdint>
#include <mutex>

namespace tavero::engine {

// Owned by the player control, one per channel. Reset, Elapsed, Pace and Wait belong to the
// channel's video worker (the pacing state they keep is that thread's alone). Any thread may
// call SetRate, SetSpeed, AddCorrection, SetExtraWait, Wake and the clock base operations, and
// read the counters: those fields are atomic, the clock base pair is guarded by m_baseMutex.
class CFpsCtrl {
public:
    // Time stamp jump (µs) beyond which a frame counts as no advance, below speed 16.
    static constexpr std::int64_t kMaxStepUs = 1'111'111;
    // Wait bound (ms) when the speed class gives no frame rate.
    static constexpr int kDefaultBoundMs = 39;
    // Interval (ms) of frames without time stamps above normal speed.
    static constexpr double kFastIntervalMs = 250.0;

    // Clock base of the sound: the tick at which media time mediaUs plays; -1 when unset.
    struct ClockBase {
        std::int64_t tickMs = -1;
        std::int64_t mediaUs = -1;
        [[nodiscard]] bool set() const { return tickMs != -1; }
    };

    explicit CFpsCtrl(int channel, double fps = 30.0, const TickSource* ticks = nullptr);
    CFpsCtrl(const CFpsCtrl&) = delete;
    CFpsCtrl& operator=(const CFpsCtrl&) = delete;

    // Starts pacing afresh at a stream's first frame (start time stamp kept as its low 32 bits,
    // sign-extended like the stream's own stamps).
    void Reset(std::int64_t startPts);
    // Interval = 1000 / fps; ends a wait in progress and restarts the elapsed-time measure. A
    // rate of 0 (the stream gives none) keeps the previous interval.
    void SetRate(double fps);
    // Restarts the elapsed-time measure only (after a pause or an empty queue); the next wait
    // is a whole one.
    void RestartTiming();
    // Forgets a wake-up nobody waited for (from a stop before the worker's last start).
    void ClearWake();
    // Unsets the clock base.
    void ResetTimes();
    // Lengthens (ms > 0) or shortens the next wait; used by the cross-channel clock.
    void AddCorrection(int ms);
    // Milliseconds since the previous call minus the pending correction, which is cleared;
    // 0 on the first call after Reset or SetRate.
    int Elapsed();
    // Computes the wait before the next frame from this frame's time stamp (µs; 0 or -1 when it
    // has none) and the stream's frame rate. With a time stamp the wait is bounded by the speed
    // class and the result is the new frame count; without one the result is the wait.
    int Pace(std::int64_t pts, double fps);
    // Sleeps wait + extra ms when that is more than 1 ms; Wake, SetRate or a stop cuts it short.
    // True when it was cut short.
    bool Wait();
    // Ends the current Wait, or the next one if none is in progress (a stop: the worker looks
    // at its running flag after every wait).
    void Wake() { m_event.Set(); }

    void SetSpeed(double speed) { m_speed.store(speed); }
    [[nodiscard]] double speed() const { return m_speed.load(); }
    // An extra wait (ms) added to every Wait until changed; Reset clears it.
    void SetExtraWait(int ms) { m_extraWaitMs.store(ms); }
    [[nodiscard]] int extraWait() const { return m_extraWaitMs.load(); }

    void SetClockBase(std::int64_t tickMs, std::int64_t mediaUs);
    [[nodiscard]] ClockBase clockBase() const;
    // Moves a set base on by whole periods (periodMs of ticks and periodUs of media time at
    // once) while nowMs is at least a period past its tick; returns the base as it then is.
    ClockBase advanceClockBase(std::int64_t nowMs, std::int64_t periodMs, std::int64_t periodUs);

    // Lag behind the master clock (ms), kept for display.
    void setLag(int ms) { m_lagMs.store(ms); }
    [[nodiscard]] int lag() const { return m_lagMs.load(); }

    [[nodiscard]] int channel() const { return m_channel; }
    [[nodiscard]] double interval() const { return m_intervalMs.load(); }
    [[nodiscard]] int wait() const { return m_waitMs.load(); }
    [[nodiscard]] int frameCount() const { return m_frameCount.load(); }
    [[nodiscard]] int correction() const { return m_correctionMs.load(); }
    [[nodiscard]] std::int64_t startTick() const { return m_startTick.load(); }
    // Frame rate given with the last paced frame; the video worker's thread only.
    [[nodiscard]] double lastFps() const { return m_fps; }

private:
    const int m_channel;
    const TickSource& m_ticks;
    std::atomic<double> m_intervalMs;
    std::atomic<double> m_speed{1.0};
    std::atomic<int> m_waitMs{0};
    std::atomic<int> m_extraWaitMs{0};
    std::atomic<int> m_frameCount{0};
    std::atomic<int> m_correctionMs{0};
    std::atomic<int> m_lagMs{0};
    std::atomic<std::int64_t> m_startTick{-1};
    std::atomic<std::int64_t> m_lastTick{-1}; // -1: no previous Elapsed

    // The video worker's own pacing state.
    double m_fps = 0.0;
    std::int64_t m_lastPtsUs = 0;
    double m_fraction = 0.0; // fractional ms carried to later frames

    mutable std::mutex m_baseMutex;
    ClockBase m_base; // guarded by m_baseMutex

    AutoResetEvent m_event;
    std::atomic<bool> m_waiting{false}; // a Wait is in progress
};

} // namespace tavero::engine
