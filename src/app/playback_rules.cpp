#include "app/playback_rules.h"

#include "engine/presenter.h"

#include <algorithm>
#include <limits>

namespace tavero::app {

int ClampSpeedIndex(int index) {
    return std::clamp(index, kSpeedIndexMin, kSpeedIndexMax);
}

double SpeedForIndex(int speedIndex) {
    if (speedIndex == kBackwardSpeedIndex) {
        return kBackwardSpeed;
    }
    return kSpeedLadder[static_cast<std::size_t>(ClampSpeedIndex(speedIndex))];
}

bool IsSingleStep(double speed) {
    return speed == kStepForwardSpeed || speed == kStepBackwardSpeed;
}

std::string SpeedLabelText(int speedIndex) {
    const double speed = SpeedForIndex(speedIndex);
    // The pictures carry no label at normal speed; the window always names the speed.
    return speed == 1.0 ? std::string("1x") : engine::SpeedLabel(speed);
}

int ClampVolumeLevel(int level) {
    return std::clamp(level, 0, kVolumeLevelMax);
}

int VolumeForLevel(int level) {
    return ClampVolumeLevel(level) * 160 - 4320;
}

int VolumeForPercent(int percent) {
    const int v = std::clamp(percent, 0, kVolumePercentMax);
    return v == 0 ? kSilenceVolume : v * 25 - 2500;
}

int VolumeForSkinnedSlider(int value) {
    return ClampVolumeLevel(value) * -100;
}

void StepRepeat::Start(std::int64_t nowMs) {
    m_running = true;
    m_intervalMs = kFirstIntervalMs;
    m_lastStepMs = nowMs;
}

bool StepRepeat::Due(std::int64_t nowMs) {
    if (!m_running || nowMs - m_lastStepMs <= m_intervalMs) {
        return false;
    }
    m_lastStepMs = nowMs;
    m_intervalMs = NextIntervalMs(m_intervalMs);
    return true;
}

int StepRepeat::NextIntervalMs(int intervalMs) {
    return intervalMs > kShrinkAboveMs ? intervalMs * 4 / 5 : intervalMs;
}

std::int64_t TimeSpan::clamp(std::int64_t t) const {
    return maximum < minimum ? minimum : std::clamp(t, minimum, maximum);
}

int TimeSpan::maximumValue() const {
    const std::int64_t width = maximum - minimum;
    if (width <= 0) {
        return 0;
    }
    return static_cast<int>(std::min<std::int64_t>(width, std::numeric_limits<int>::max()));
}

std::int64_t TimeSpan::timeAt(int value) const {
    return minimum + std::clamp(value, 0, maximumValue());
}

int TimeSpan::valueOf(std::int64_t t) const {
    return static_cast<int>(std::clamp<std::int64_t>(t - minimum, 0, maximumValue()));
}

} // namespace tavero::app
