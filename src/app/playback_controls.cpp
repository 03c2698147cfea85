#include "app/playback_controls.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

namespace tavero::app {
namespace {

constexpr std::string_view kPositionTooltip = "Position";
// Waits the engine needs: after a seek before pausing again, and before a snapshot.
constexpr int kRepauseWaitMs = 10;
constexpr int kSnapshotWaitMs = 93;
// A seek keeps the timer's hands off the position slider for this long beyond kSeekQuietMs.
constexpr std::int64_t kSeekSettleMs = 300;

PlaybackOptions WithDefaults(PlaybackOptions o) {
    if (!o.nowMs) {
        o.nowMs = [] {
            return std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now().time_since_epoch())
                .count();
        };
    }
    if (!o.sleepMs) {
        o.sleepMs = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    }
    if (!o.translate) {
        o.translate = [](std::string_view text) { return std::string(text); };
    }
    return o;
}

} // namespace

PlaybackControls::PlaybackControls(PlayerCommands& player, PlaybackHost& host, RecordingList& list,
                                   const WindowState& window, PlaybackOptions options)
    : m_player(player), m_host(host), m_list(list), m_window(window),
      m_options(WithDefaults(std::move(options))), m_listGeneration(list.generation()) {
    m_position.tooltip = m_options.translate(kPositionTooltip);
}

int PlaybackControls::currentIndex() const {
    return m_list.generation() == m_listGeneration ? m_currentIndex : -1;
}

// A new source replaced the list: indices and spans into the old one mean nothing now.
void PlaybackControls::forgetStaleList() {
    if (m_list.generation() == m_listGeneration) {
        return;
    }
    m_listGeneration = m_list.generation();
    m_currentIndex = -1;
    m_listSelection = -1;
    m_position = PositionSliderView{};
    m_position.tooltip = m_options.translate(kPositionTooltip);
    m_marks = MarkBarView{};
}

std::string PlaybackControls::timeText(std::int64_t seconds) const {
    return FormatRecorderTime(seconds + m_window.timeOffset);
}

void PlaybackControls::refresh(Outcome& out) {
    out.add(UiAction::Refresh);
}

void PlaybackControls::sendSpeed(double speed) {
    m_engineSpeed = speed;
    m_player.SetSpeed(speed);
}

void PlaybackControls::applyVolume(int volume) {
    for (int ch = 0; ch < kChannelCount; ++ch) {
        m_player.SetVolume(volume, ch);
    }
}

store::IndexRecord* PlaybackControls::entryToPlay() {
    // The listed recording from its start; the reader's own record only when nothing is
    // listed (a stopped reader has none, and playing then starts at the first recording).
    if (m_list.contains(m_currentIndex)) {
        return m_list.at(m_currentIndex).firstRecord;
    }
    return m_player.CurrentEntry();
}

// ---- play, stop, pause ----------------------------------------------------------------------

void PlaybackControls::playEntry(store::IndexRecord* entry, int parameter, Outcome& out) {
    if (entry == nullptr) {
        entry = m_player.LoadIndex();
    }
    if (entry == nullptr || !m_host.TakeEntry(entry)) {
        out.ok = false;
        return;
    }
    out.add(UiAction::ClearGSensorHistory);
    out.add(UiAction::ResetBackupProgress);
    out.add(UiAction::ResetRoute);
    if (!m_unlocked) {
        if (!m_host.CheckPassword()) {
            refresh(out);
            out.ok = false;
            return;
        }
        m_unlocked = true;
    }
    refresh(out);
    if (!m_player.Play(entry, parameter)) {
        out.ok = false;
        return;
    }
    out.add(UiAction::ShowPlayChannels);
    out.add(UiAction::StartChannelRefresh);
    m_sourceOpen = true;
    // Playing again ends a stop: a later Play after pausing only resumes, never restarts.
    m_stopped = false;
    out.ok = true;
}

void PlaybackControls::stop(Outcome& out) {
    m_stopped = true;
    if (m_window.mapMode) {
        return; // the map's route replay would stop; it has no route to replay
    }
    m_sourceOpen = false;
    m_paused = false;
    m_player.Close();
    out.add(UiAction::ClearMap);
    setSpeedIndex(kNormalSpeedIndex, out);
    m_position.tooltip = m_options.translate(kPositionTooltip);
    out.add(UiAction::UpdatePositionSlider);
    out.add(UiAction::DockAndHideChannels);
    refresh(out);
}

void PlaybackControls::togglePause(Outcome& out) {
    m_paused = !m_paused;
    m_player.Pause(m_paused ? 1 : 0);
    if (!m_paused) {
        // After a single frame step the engine would step once more and stop again: resume at
        // the speed that ran before the step.
        if (IsSingleStep(m_engineSpeed)) {
            sendSpeed(SpeedForIndex(m_speedIndex));
        }
        // The slider shows the ladder speed in force; backward play has no ladder place.
        m_speedSlider = m_speedIndex == kBackwardSpeedIndex ? kNormalSpeedIndex : m_speedIndex;
        out.add(UiAction::UpdateSpeedSlider);
    }
    refresh(out);
}

void PlaybackControls::play(Outcome& out) {
    if (m_window.mapMode) {
        // The map's route replay would resume; with no route it is never paused.
        m_paused = false;
        m_stopped = false;
        refresh(out);
        return;
    }
    sendSpeed(1.0);
    setSpeedIndex(kNormalSpeedIndex, out);
    if (m_paused && !m_stopped) {
        togglePause(out);
    } else {
        const bool pausedAndStopped = m_paused && m_stopped;
        selectEntry(m_currentIndex, true, out);
        Outcome played;
        playEntry(entryToPlay(), 0, played);
        for (UiAction a : played.actions) {
            out.add(a);
        }
        if (!played.ok) {
            stop(out);
            out.ok = false;
        } else {
            if (!m_list.empty()) {
                out.add(UiAction::SelectListItem);
            }
            if (pausedAndStopped) {
                m_stopped = false;
                play(out);
            }
        }
    }
    m_stopped = false;
    refresh(out);
}

Outcome PlaybackControls::Play() {
    forgetStaleList();
    Outcome out;
    play(out);
    return out;
}

Outcome PlaybackControls::Stop() {
    forgetStaleList();
    Outcome out;
    stop(out);
    return out;
}

Outcome PlaybackControls::TogglePause() {
    forgetStaleList();
    Outcome out;
    togglePause(out);
    return out;
}

Outcome PlaybackControls::BackwardPlay() {
    forgetStaleList();
    Outcome out;
    m_paused = false;
    m_player.Pause(0);
    m_speedIndex = kBackwardSpeedIndex;
    sendSpeed(kBackwardSpeed);
    m_speedSlider = kNormalSpeedIndex;
    out.add(UiAction::UpdateSpeedSlider);
    refresh(out);
    return out;
}

void PlaybackControls::stepFrame(double speed, Outcome& out) {
    sendSpeed(speed);
    m_paused = true;
    m_player.Pause(0); // the engine shows one frame, then pauses by itself
    refresh(out);
}

Outcome PlaybackControls::PrevFrame() {
    forgetStaleList();
    Outcome out;
    stepFrame(kStepBackwardSpeed, out);
    return out;
}

Outcome PlaybackControls::NextFrame() {
    forgetStaleList();
    Outcome out;
    if (m_window.mapMode) {
        refresh(out); // one step of the map's route replay, which has no route
        return out;
    }
    stepFrame(kStepForwardSpeed, out);
    return out;
}

void PlaybackControls::changeFile(int delta, Outcome& out) {
    if (m_currentIndex == -1) {
        stop(out);
        play(out);
    } else {
        const int target = m_currentIndex + delta;
        // A remembered index may lie outside the list; only listed entries are played.
        if (m_list.contains(target)) {
            playIndex(target, out);
        }
    }
    refresh(out);
}

Outcome PlaybackControls::PrevFile() {
    forgetStaleList();
    Outcome out;
    changeFile(-1, out);
    return out;
}

Outcome PlaybackControls::NextFile() {
    forgetStaleList();
    Outcome out;
    changeFile(+1, out);
    return out;
}

// ---- speed and volume -----------------------------------------------------------------------

void PlaybackControls::setSpeedIndex(int index, Outcome& out) {
    m_speedIndex = ClampSpeedIndex(index);
    m_speedSlider = m_speedIndex;
    out.add(UiAction::UpdateSpeedSlider);
    sendSpeed(kSpeedLadder[static_cast<std::size_t>(m_speedIndex)]);
    refresh(out);
}

Outcome PlaybackControls::SetSpeedIndex(int index) {
    forgetStaleList();
    Outcome out;
    setSpeedIndex(index, out);
    return out;
}

Outcome PlaybackControls::Slower() {
    Outcome out;
    if (m_speedSlider > kSpeedIndexMin) {
        setSpeedIndex(m_speedSlider - 1, out);
    }
    return out;
}

Outcome PlaybackControls::Faster() {
    Outcome out;
    if (m_speedSlider < kSpeedIndexMax) {
        setSpeedIndex(m_speedSlider + 1, out);
    }
    return out;
}

Outcome PlaybackControls::VolumeDown() {
    Outcome out;
    m_volumeLevel = ClampVolumeLevel(m_volumeLevel - 1);
    applyVolume(VolumeForLevel(m_volumeLevel));
    out.add(UiAction::UpdateVolumeSliders);
    refresh(out);
    return out;
}

Outcome PlaybackControls::VolumeUp() {
    Outcome out;
    m_volumeLevel = ClampVolumeLevel(m_volumeLevel + 1);
    applyVolume(VolumeForLevel(m_volumeLevel));
    out.add(UiAction::UpdateVolumeSliders);
    refresh(out);
    return out;
}

Outcome PlaybackControls::OnVolumeBitmapSlider(int position) {
    Outcome out;
    // The bitmap slider shows the same 0..27 levels as Min and Max, so it follows their rule:
    // its top is full volume, as after pressing Max.
    m_volumeLevel = ClampVolumeLevel(position);
    applyVolume(VolumeForLevel(m_volumeLevel));
    return out;
}

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
