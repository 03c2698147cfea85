#include "app/playback_controls.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

namespace tavero::app {
namespace {

constexpr std::string_view kPositionTooltip = "Position";

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

} // namespace tavero::app
