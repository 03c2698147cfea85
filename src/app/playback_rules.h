// The arithmetic behind the playback controls: the speed ladder, the volume rules, the auto-repeat
// of a held frame-step button and the time sliders (position slider and mark bar).
//
// Thread: plain values and functions; UI thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tavero::app {

// Forward speed factors offered by the speed slider (index 0..12). The second is the decimal
// 0.04166666, not an exact 1/24, as the engine and the recorder's tools expect.
inline constexpr std::array<double, 13> kSpeedLadder = {
    1.0 / 32, 0.04166666, 1.0 / 16, 1.0 / 8, 1.0 / 4, 1.0 / 2, 1.0, 2, 4, 8, 16, 24, 32};
inline constexpr int kSpeedIndexMin = 0;
inline constexpr int kSpeedIndexMax = 12;
inline constexpr int kNormalSpeedIndex = 6;
inline constexpr int kBackwardSpeedIndex = -1; // backward play at speed -1
inline constexpr double kBackwardSpeed = -1.0;
inline constexpr double kStepForwardSpeed = 1.1; // show the next frame, then pause
inline constexpr double kStepBackwardSpeed = -1.1;

[[nodiscard]] int ClampSpeedIndex(int index);
// The engine speed of a ladder index, -1 for kBackwardSpeedIndex.
[[nodiscard]] double SpeedForIndex(int speedIndex);
[[nodiscard]] bool IsSingleStep(double speed);
// Text for the speed in force: "1x", "2x", "1/2x", "1/24x", "-1x" for backward play.
[[nodiscard]] std::string SpeedLabelText(int speedIndex);

// Volume levels of the Min/Max buttons and the volume bitmap slider.
inline constexpr int kVolumeLevelMax = 27;
inline constexpr int kVolumeLevelInitial = 27;
inline constexpr int kVolumePercentMax = 100;
// The engine silences anything at or below this (hundredths of a decibel).
inline constexpr int kSilenceVolume = -2700;

[[nodiscard]] int ClampVolumeLevel(int level);
// Level 0..27 to hundredths of a dB: 27 gives 0, 0 gives -4320 (silence).
[[nodiscard]] int VolumeForLevel(int level);
// Percentage 0..100 (clamped): 0 is silence (-2700), else v * 25 - 2500.
[[nodiscard]] int VolumeForPercent(int percent);
// The hidden skinned volume slider (0..27, a vertical slider whose top is 0): value * -100.
[[nodiscard]] int VolumeForSkinnedSlider(int value);

// The auto-repeat of a held PrevFrame or NextFrame button, polled every kPollMs. The first
// repeat comes more than 1200 ms after the start; each repeat shrinks the interval by a fifth
// (truncated to whole milliseconds) while it is above 60 ms, so the intervals run 1200, 960,
// 768, 614, ..., 64, 51 and then stay at 51.
class StepRepeat {
public:
    static constexpr int kFirstIntervalMs = 1200;
    static constexpr int kShrinkAboveMs = 60;
    static constexpr int kPollMs = 10;

    void Start(std::int64_t nowMs);
    void Stop() { m_running = false; }
    // True when the held button's command is due at `nowMs`; the interval then shrinks.
    [[nodiscard]] bool Due(std::int64_t nowMs);

    [[nodiscard]] bool running() const { return m_running; }
    [[nodiscard]] int intervalMs() const { return m_intervalMs; }
    [[nodiscard]] static int NextIntervalMs(int intervalMs);

private:
    bool m_running = false;
    int m_intervalMs = kFirstIntervalMs;
    std::int64_t m_lastStepMs = 0;
};

// A slider over a span of time in seconds. The widget works with values 0..maximumValue(), the
// seconds from the start of the span, so that 64-bit times never pass through an int.
struct TimeSpan {
    std::int64_t minimum = 0;
    std::int64_t maximum = 0;

    [[nodiscard]] std::int64_t clamp(std::int64_t t) const;
    [[nodiscard]] int maximumValue() const;
    [[nodiscard]] std::int64_t timeAt(int value) const;
    [[nodiscard]] int valueOf(std::int64_t t) const;
};

struct PositionSliderView {
    TimeSpan span;
    std::int64_t time = 0; // where the thumb stands
    std::string tooltip;   // the time under the thumb, or the control's name when idle
    [[nodiscard]] int value() const { return span.valueOf(time); }
};

struct MarkBarView {
    TimeSpan span;
    std::array<std::int64_t, 2> marks{}; // 0: backup start, 1: backup end (times, seconds)
    bool visible = false;                // hidden until a mark is set
    int draggedMark = -1;
    [[nodiscard]] int value(int mark) const {
        return span.valueOf(marks[static_cast<std::size_t>(mark & 1)]);
    }
};

// The backup dialog's default range, in display time (recording time + the display offset).
struct BackupRange {
    std::int64_t start = 0;
    std::int64_t end = 0;
};

} // namespace tavero::app
