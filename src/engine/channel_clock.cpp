#include "engine/channel_clock.h"

#include <algorithm>
#include <cmath>

namespace tavero::engine {

ChannelClock::ChannelClock(const TickSource* ticks)
    : m_ticks(ticks != nullptr ? *ticks : SystemTicks()) {}

void ChannelClock::Attach(int channel, CFpsCtrl* pacer) {
    if (channel >= 0 && channel < kChannels) {
        m_pacers[static_cast<std::size_t>(channel)] = pacer;
    }
}

void ChannelClock::Restart() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_master = kMasterUnset;
    m_driftUs = 0;
}

void ChannelClock::SetAudioClockBase(std::int64_t tickMs, std::int64_t mediaUs) {
    for (CFpsCtrl* pacer : m_pacers) {
        if (pacer != nullptr) {
            pacer->SetClockBase(tickMs, mediaUs);
        }
    }
}

int ChannelClock::OnFrame(int channel, std::int64_t tsUs, double signedFps) {
    if (channel < 0 || channel >= kChannels) {
        return 0;
    }
    CFpsCtrl* const pacer = m_pacers[static_cast<std::size_t>(channel)];
    if (pacer == nullptr) {
        return 0;
    }
    const int paced = pacer->Pace(tsUs, signedFps);
    if (tsUs == kInvalidTs) {
        return paced;
    }
    const double intervalMs = signedFps != 0.0 ? std::fabs(1000.0 / signedFps) : 1.0;
    const double speed = pacer->speed();
    // Media µs per ms of play; at speed 0 (never offered) lags are taken as at normal speed.
    const double usPerMs = speed != 0.0 ? speed * 1000.0 : 1000.0;
    const std::int64_t now = m_ticks.nowMs();
    const CFpsCtrl::ClockBase base = pacer->advanceClockBase(now, kRebasePeriodMs, kRebasePeriodUs);

    int correction = 0;
    bool haveLag = false;
    double lag = 0.0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_master == kMasterUnset) {
            m_master = channel;
            m_settle = kSettleFrames;
        }
        if (base.set()) {
            m_clockUs = base.mediaUs +
                        static_cast<std::int64_t>(static_cast<double>(now - base.tickMs) * usPerMs);
            if (m_settle <= 0) {
                const double apartMs = std::fabs(static_cast<double>(tsUs - m_clockUs)) / usPerMs;
                m_master = apartMs < kFollowSoundMs ? kNoMaster : 0;
            }
        }
        if (channel == m_master) {
            m_driftUs += tsUs - m_clockUs;
            if (m_driftUs > kDriftStepUs) {
                m_driftUs -= kDriftStepUs;
                correction = -1;
            }
            m_clockUs = tsUs;
        } else if (m_settle > 0) {
            --m_settle;
        } else {
            lag = static_cast<double>(tsUs - m_clockUs) / usPerMs;
            haveLag = true;
            if (std::fabs(lag) < intervalMs / 6.0 && lag > 0.0 && m_master >= 0 && channel == 0) {
                m_master = 0;
                m_clockUs = tsUs;
            } else {
                // A channel ahead of the clock waits longer, one behind catches up; by at most
                // kMaxCorrectionMs per frame so that a jump is absorbed over a few frames.
                const double step = std::min(std::fabs(lag), double{kMaxCorrectionMs});
                correction = static_cast<int>(lag < 0.0 ? -step : step);
            }
        }
    }
    if (haveLag) {
        pacer->setLag(static_cast<int>(std::clamp(lag, -1e9, 1e9)));
    }
    if (correction != 0) {
        pacer->AddCorrection(correction);
    }
    return paced;
}

int ChannelClock::master() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_master;
}

std::int64_t ChannelClock::clockUs() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_clockUs;
}

std::int64_t ChannelClock::driftUs() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_driftUs;
}

int ChannelClock::settleCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_settle;
}

} // namespace tavero::engine
