// PlaybackControls, part two: selecting entries, seeking, the marks, the slider messages, the
// once-a-second timer and the snapshot pause.
#include "app/playback_controls.h"

#include <algorithm>

namespace tavero::app {
namespace {

// Waits the engine needs: after a seek before pausing again, and before a snapshot.
constexpr int kRepauseWaitMs = 10;
constexpr int kSnapshotWaitMs = 93;
// A seek keeps the timer's hands off the position slider for this long beyond kSeekQuietMs.
constexpr std::int64_t kSeekSettleMs = 300;

} // namespace

// ---- selection, seek, marks -----------------------------------------------------------------

void PlaybackControls::selectEntry(int index, bool withCalendar, Outcome& out) {
    if (!m_list.contains(index)) {
        m_currentIndex = index;
        return;
    }
    if (index == m_currentIndex && index == m_listSelection) {
        return;
    }
    m_currentIndex = index;
    m_listSelection = index;
    const store::RecordingEntry& e = m_list.at(index);
    m_position.span = TimeSpan{e.start, e.end};
    m_position.time = m_position.span.clamp(m_position.time);
    m_marks.span = m_position.span;
    m_marks.marks = {e.start, e.end};
    m_backupRange = BackupRange{e.start + m_window.timeOffset, e.end + m_window.timeOffset};
    out.add(UiAction::UpdatePositionSlider);
    out.add(UiAction::UpdateMarkBar);
    out.add(UiAction::UpdateBackupRange);
    m_seekTick = now();
    if (withCalendar) {
        m_dayShown = DateOf(e.start + m_window.timeOffset);
        out.add(UiAction::MoveDayView);
    }
    out.add(UiAction::SelectListItem);
    out.add(UiAction::ClearGSensorHistory);
}

Outcome PlaybackControls::SelectEntry(int index, bool withCalendar) {
    forgetStaleList();
    Outcome out;
    selectEntry(index, withCalendar, out);
    return out;
}

void PlaybackControls::playIndex(int index, Outcome& out) {
    if (!m_list.contains(index)) {
        out.ok = false;
        return;
    }
    stop(out);
    selectEntry(index, true, out);
    Outcome played;
    playEntry(m_list.at(index).firstRecord, 0, played);
    for (UiAction a : played.actions) {
        out.add(a);
    }
    if (!played.ok) {
        stop(out);
        out.ok = false;
    }
    if (m_window.mapMode) {
        out.add(UiAction::LeaveMapMode);
    }
}

Outcome PlaybackControls::PlayIndex(int index) {
    forgetStaleList();
    Outcome out;
    playIndex(index, out);
    return out;
}

Outcome PlaybackControls::PlayEntry(store::IndexRecord* entry, int parameter) {
    forgetStaleList();
    Outcome out;
    playEntry(entry, parameter, out);
    return out;
}

Outcome PlaybackControls::StartFirstRecording() {
    forgetStaleList();
    Outcome out;
    if (m_list.empty()) {
        out.ok = false;
        return out;
    }
    selectEntry(0, true, out);
    out.add(UiAction::HideSourceChooser);
    play(out);
    return out;
}

void PlaybackControls::seek(std::int64_t seconds, Outcome& out) {
    if (m_window.mapMode) {
        return; // the jump target of the map's route replay, which has no route
    }
    const std::int64_t target = m_position.span.clamp(seconds);
    const bool wasPaused = m_paused;
    if (wasPaused) {
        togglePause(out);
    }
    Outcome played;
    playEntry(entryToPlay(), 0, played);
    for (UiAction a : played.actions) {
        out.add(a);
    }
    if (!played.ok) {
        stop(out);
        out.ok = false;
        return;
    }
    m_seekTick = now() + kSeekSettleMs;
    out.add(UiAction::ResetRoute);
    m_player.Seek(static_cast<std::int32_t>(target));
    m_position.time = target;
    m_dayViewRequested = true;
    if (wasPaused) {
        m_options.sleepMs(kRepauseWaitMs);
        togglePause(out);
    }
    out.add(UiAction::ReplayLastTrailer);
}

Outcome PlaybackControls::Seek(std::int64_t seconds) {
    forgetStaleList();
    Outcome out;
    seek(seconds, out);
    return out;
}

Outcome PlaybackControls::DayViewSeek(std::int64_t seconds) {
    forgetStaleList();
    Outcome out;
    out.add(UiAction::ClearGSensorHistory);
    out.add(UiAction::ResetRoute);
    if (!m_sourceOpen) {
        // Nothing plays: a seek alone would show nothing. Play the recording of that minute.
        const int index = m_list.FindEntryAt(seconds);
        if (index < 0) {
            out.ok = false;
            return out;
        }
        playIndex(index, out);
        if (!out.ok) {
            return out;
        }
    }
    m_seekTick = now() + kSeekSettleMs;
    m_player.Seek(static_cast<std::int32_t>(seconds));
    m_position.time = m_position.span.clamp(seconds);
    out.add(UiAction::UpdatePositionSlider);
    return out;
}

void PlaybackControls::setMark(int mark, Outcome& out) {
    const std::int64_t t = m_player.GetTime(0);
    if (mark == 0) {
        m_backupRange.start = t + m_window.timeOffset;
    } else {
        m_backupRange.end = t + m_window.timeOffset;
    }
    out.add(UiAction::UpdateBackupRange);
    out.add(UiAction::SelectCurrentInBackupList);
    m_marks.marks[static_cast<std::size_t>(mark)] = m_marks.span.clamp(t);
    m_marks.visible = true;
    out.add(UiAction::UpdateMarkBar);
    refresh(out);
}

Outcome PlaybackControls::MarkIn() {
    forgetStaleList();
    Outcome out;
    setMark(0, out);
    return out;
}

Outcome PlaybackControls::MarkOut() {
    forgetStaleList();
    Outcome out;
    setMark(1, out);
    return out;
}

void PlaybackControls::moveMark(int mark, int value, Outcome& out) {
    mark &= 1;
    const std::int64_t t = m_marks.span.timeAt(value);
    m_marks.marks[static_cast<std::size_t>(mark)] = t;
    if (mark == 0) {
        m_backupRange.start = t + m_window.timeOffset;
    } else {
        m_backupRange.end = t + m_window.timeOffset;
    }
    out.add(UiAction::UpdateBackupRange);
}

Outcome PlaybackControls::RestartRecording() {
    forgetStaleList();
    Outcome out;
    m_dragging = false;
    if (m_paused) {
        togglePause(out);
    }
    Outcome played;
    playEntry(entryToPlay(), 0, played);
    for (UiAction a : played.actions) {
        out.add(a);
    }
    if (!played.ok) {
        stop(out);
        out.ok = false;
        return out;
    }
    m_player.Seek(static_cast<std::int32_t>(m_position.span.minimum));
    return out;
}

Outcome PlaybackControls::BackupMarkedRange() {
    Outcome out;
    out.add(UiAction::BackupMarkedRange);
    return out;
}

// ---- slider messages ------------------------------------------------------------------------

Outcome PlaybackControls::OnSliderPressed(SliderId id, int thumb) {
    forgetStaleList();
    Outcome out;
    m_dragging = true;
    if (id == SliderId::MarkBar) {
        m_marks.draggedMark = thumb & 1;
        out.add(UiAction::SelectCurrentInBackupList);
    }
    return out;
}

Outcome PlaybackControls::OnSliderMoved(SliderId id, int value, int thumb) {
    forgetStaleList();
    Outcome out;
    switch (id) {
    case SliderId::Position:
        if (m_list.contains(m_currentIndex)) {
            m_position.tooltip = timeText(m_position.span.timeAt(value));
            out.add(UiAction::UpdatePositionSlider);
        }
        break;
    case SliderId::SkinnedVolume:
        applyVolume(VolumeForSkinnedSlider(value));
        break;
    case SliderId::VolumePercent:
        m_skinnedVolume = std::clamp(value, 0, kVolumePercentMax);
        applyVolume(VolumeForPercent(value));
        break;
    case SliderId::MarkBar:
        moveMark(thumb, value, out);
        break;
    case SliderId::Speed:
        break;
    }
    return out;
}

Outcome PlaybackControls::OnSliderReleased(SliderId id, int value, int thumb) {
    forgetStaleList();
    Outcome out;
    switch (id) {
    case SliderId::Position:
        seek(m_position.span.timeAt(value), out);
        break;
    case SliderId::SkinnedVolume:
        applyVolume(VolumeForSkinnedSlider(value));
        break;
    case SliderId::Speed:
        setSpeedIndex(value, out);
        break;
    case SliderId::VolumePercent:
        m_skinnedVolume = std::clamp(value, 0, kVolumePercentMax);
        applyVolume(VolumeForPercent(value));
        out.add(UiAction::UpdateVolumeSliders);
        break;
    case SliderId::MarkBar:
        moveMark(thumb, value, out);
        m_marks.draggedMark = -1;
        break;
    }
    m_dragging = false;
    refresh(out);
    return out;
}

// ---- timer ----------------------------------------------------------------------------------

void PlaybackControls::updatePosition(bool backupWriting, bool tick, Outcome& out) {
    if (m_dragging) {
        return;
    }
    if (tick) {
        m_player.Tick(1);
    }
    const int index = m_list.FindCurrentIndex(m_player.GetLastTime(0));
    if (index < 0 || backupWriting) {
        return;
    }
    const std::int64_t t = m_player.GetTime(0);
    selectEntry(index, true, out);
    if (!quiet()) {
        if (t > m_position.span.maximum) {
            m_position.span.maximum = t; // playing on beyond the listed end
        }
        m_position.time = m_position.span.clamp(t);
        m_position.tooltip = timeText(t);
        out.add(UiAction::UpdatePositionSlider);
    }
    const CalendarDate day = DateOf(t + m_window.timeOffset);
    if (m_dayViewRequested || !m_dayShown || *m_dayShown != day) {
        m_dayViewRequested = false;
        m_dayShown = day;
        out.add(UiAction::MoveDayView);
    }
}

Outcome PlaybackControls::OnTimer(const TimerInput& input) {
    forgetStaleList();
    Outcome out;
    if (quiet()) {
        return out;
    }
    m_seekTick = 0;
    if (input.heldStepButton != StepButton::None && !m_stepRepeat.running()) {
        m_stepRepeat.Start(now());
    }
    updatePosition(input.backupWriting, true, out);
    return out;
}

Outcome PlaybackControls::OnRepaint(bool backupWriting) {
    forgetStaleList();
    Outcome out;
    if (quiet()) {
        return out;
    }
    updatePosition(backupWriting, false, out);
    return out;
}

Outcome PlaybackControls::OnStepRepeatPoll(StepButton held) {
    forgetStaleList();
    Outcome out;
    if (held == StepButton::None) {
        m_stepRepeat.Stop();
        return out;
    }
    if (m_stepRepeat.Due(now())) {
        stepFrame(held == StepButton::PrevFrame ? kStepBackwardSpeed : kStepForwardSpeed, out);
    }
    return out;
}

// ---- snapshot -------------------------------------------------------------------------------

SnapshotPause PlaybackControls::BeginSnapshot(Outcome& out) {
    SnapshotPause pause;
    if (!playing()) {
        return pause;
    }
    pause.wasPlaying = true;
    pause.speedIndex = m_speedIndex;
    sendSpeed(kBackwardSpeed);
    togglePause(out);
    m_options.sleepMs(kSnapshotWaitMs);
    return pause;
}

Outcome PlaybackControls::EndSnapshot(const SnapshotPause& pause) {
    Outcome out;
    if (!pause.wasPlaying) {
        return out;
    }
    togglePause(out);
    if (pause.speedIndex == kBackwardSpeedIndex) {
        Outcome backward = BackwardPlay();
        for (UiAction a : backward.actions) {
            out.add(a);
        }
    } else {
        setSpeedIndex(pause.speedIndex, out);
    }
    return out;
}

} // namespace tavero::app
