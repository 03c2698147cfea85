#include "engine/fps_ctrl.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tavero::engine {
namespace {

// Waits are kept far from the int range so that sums of a few of them cannot overflow.
constexpr double kWaitLimitMs = 1'000'000'000.0;

// Truncates towards zero, saturating (NaN gives 0).
int toInt(double v) {
    if (std::isnan(v)) {
        return 0;
    }
    return static_cast<int>(std::clamp(v, -kWaitLimitMs, kWaitLimitMs));
}

int toInt(std::int64_t v) {
    constexpr auto limit = static_cast<std::int64_t>(kWaitLimitMs);
    return static_cast<int>(std::clamp<std::int64_t>(v, -limit, limit));
}

// The divisor of the wait bound for a speed: the frame rate at normal speed, a fixed divisor for
// the fast speeds the user interface offers, the frame rate scaled by the speed otherwise.
double boundDivisor(double speed, double fps) {
    if (speed == 1.0 || speed == -1.0) {
        return std::fabs(fps);
    }
    if (speed == 2.0) {
        return 2.0;
    }
    if (speed == 4.0 || speed == 16.0 || speed == 32.0) {
        return 4.0;
    }
    if (speed == 8.0) {
        return 8.0;
    }
    return fps * speed;
}

} // namespace

CFpsCtrl::CFpsCtrl(int channel, double fps, const TickSource* ticks)
    : m_channel(channel), m_ticks(ticks != nullptr ? *ticks : SystemTicks()),
      m_intervalMs(fps != 0.0 ? 1000.0 / fps : 1000.0 / 30.0) {}

void CFpsCtrl::Reset(std::int64_t startPts) {
    m_lastPtsUs = static_cast<std::int32_t>(static_cast<std::uint32_t>(startPts & 0xFFFFFFFF));
    m_startTick.store(m_ticks.nowMs());
    m_lastTick.store(-1);
    m_waitMs.store(0);
    m_frameCount.store(0);
    m_extraWaitMs.store(0);
    m_fraction = 0.0;
}

void CFpsCtrl::SetRate(double fps) {
    if (fps != 0.0 && std::isfinite(fps)) {
        m_intervalMs.store(1000.0 / fps);
    }
    m_lastTick.store(-1);
    // Only a wait in progress is cut short: a wake-up left in the event would make the next
    // wait (the first after the rate change) return at once.
    if (m_waiting.load()) {
        m_event.Set();
    }
}

void CFpsCtrl::RestartTiming() {
    m_lastTick.store(-1);
}

void CFpsCtrl::ClearWake() {
    m_event.Reset();
}

void CFpsCtrl::ResetTimes() {
    std::lock_guard<std::mutex> lock(m_baseMutex);
    m_base = ClockBase{};
}

void CFpsCtrl::AddCorrection(int ms) {
    m_correctionMs.fetch_add(ms);
}

int CFpsCtrl::Elapsed() {
    const std::int64_t now = m_ticks.nowMs();
    const std::int64_t last = m_lastTick.exchange(now);
    if (last == -1) {
        return 0;
    }
    const int correction = m_correctionMs.exchange(0);
    return toInt(now - last - correction);
}

int CFpsCtrl::Pace(std::int64_t pts, double fps) {
    m_fps = fps;
    int elapsed = Elapsed();
    const double speed = m_speed.load();
    // Modular difference: stamps are 32-bit values in practice, but any int64 must be safe.
    auto step = static_cast<std::int64_t>(static_cast<std::uint64_t>(pts) -
                                          static_cast<std::uint64_t>(m_lastPtsUs));
    if ((step > kMaxStepUs || step < -kMaxStepUs) && speed < 16.0) {
        step = 0; // a cut in the recording, not a long frame
    }
    m_lastPtsUs = pts;
    int wait = m_waitMs.load();

    if (pts == 0 || pts == -1) {
        double e = kFastIntervalMs;
        if (speed < 0.0) {
            // A stream without a frame rate falls back to the pacer's interval.
            e = fps != 0.0 ? 1000.0 / std::fabs(fps) : std::fabs(m_intervalMs.load());
        } else if (speed <= 1.0) {
            e = m_intervalMs.load();
        }
        wait = toInt(static_cast<double>(wait) + e - static_cast<double>(elapsed));
        if (wait < -e) {
            wait = toInt(-0.8 * e);
        } else if (wait > e) {
            wait = toInt(0.8 * e);
        }
        m_waitMs.store(wait);
        return wait;
    }

    // Media time of this frame in ms at the current speed; no time passes at speed 0.
    const double t = speed != 0.0 ? std::fabs(static_cast<double>(step) / 1000.0 / speed) : 0.0;
    const double whole = std::trunc(std::min(t, kWaitLimitMs));
    int n = toInt(whole);
    m_fraction += t - whole;
    if (m_fraction > 1.0) {
        m_fraction -= 1.0;
        ++elapsed;
    } else if (m_fraction < -1.0) {
        m_fraction += 1.0;
        --elapsed;
    }
    n = toInt(static_cast<std::int64_t>(n) - elapsed);
    wait = toInt(static_cast<std::int64_t>(wait) + ((n > -3 && n < 3) ? n : n / 2));

    const double m = boundDivisor(speed, fps);
    const int bound =
        (m == 0.0 || speed == 0.0) ? kDefaultBoundMs : toInt(std::fabs(1400.0 / speed / m));
    wait = std::clamp(wait, -bound, bound);
    m_waitMs.store(wait);
    return m_frameCount.fetch_add(1) + 1;
}

bool CFpsCtrl::Wait() {
    const std::int64_t ms = static_cast<std::int64_t>(m_waitMs.load()) + m_extraWaitMs.load();
    if (ms <= 1) {
        return false;
    }
    m_waiting.store(true);
    const bool cut = m_event.WaitFor(toInt(ms));
    m_waiting.store(false);
    return cut;
}

void CFpsCtrl::SetClockBase(std::int64_t tickMs, std::int64_t mediaUs) {
    std::lock_guard<std::mutex> lock(m_baseMutex);
    m_base = ClockBase{tickMs, mediaUs};
}

CFpsCtrl::ClockBase CFpsCtrl::clockBase() const {
    std::lock_guard<std::mutex> lock(m_baseMutex);
    return m_base;
}

CFpsCtrl::ClockBase CFpsCtrl::advanceClockBase(std::int64_t nowMs, std::int64_t periodMs,
                                               std::int64_t periodUs) {
    std::lock_guard<std::mutex> lock(m_baseMutex);
    if (m_base.set() && periodMs > 0 && nowMs - m_base.tickMs >= periodMs) {
        const std::int64_t periods = (nowMs - m_base.tickMs) / periodMs;
        m_base.tickMs += periods * periodMs;
        m_base.mediaUs += periods * periodUs;
    }
    return m_base;
}

} // namespace tavero::engine
