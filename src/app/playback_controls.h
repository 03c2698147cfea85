// PlaybackControls: the main window's transport, speed, volume, position and mark controls, with
// the window's play, select and timer rules that they lean on. Each control's handler calls one
// method; the method drives the player through PlayerCommands, keeps the playback state, and
// returns the view operations to apply (Outcome). The values to show are read back from the
// accessors below.
//
// Thread: UI thread only. The step auto-repeat is polled from a UI-thread timer (every 10 ms)
// rather than run on a thread of its own.
#pragma once

#include "app/playback_rules.h"
#include "app/player_commands.h"
#include "app/recorder_clock.h"
#include "app/recording_list.h"
#include "app/ui_actions.h"
#include "app/window_state.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tavero::app {

// What playing needs from the rest of the window.
class PlaybackHost {
public:
    virtual ~PlaybackHost() = default;
    // The backup dialog takes the record as its current recording; false refuses playback.
    [[nodiscard]] virtual bool TakeEntry(store::IndexRecord* entry) = 0;
    // The card users' check (the login dialog) against the open card's configuration sector.
    // Asked only until it has passed once in this run.
    [[nodiscard]] virtual bool CheckPassword() = 0;
};

// Message ids of the skinned sliders, as their messages carry them.
enum class SliderId : int {
    Position = 1,
    SkinnedVolume = 2,
    Speed = 3,
    VolumePercent = 4,
    MarkBar = 5,
};

enum class StepButton { None, PrevFrame, NextFrame };

struct TimerInput {
    StepButton heldStepButton = StepButton::None; // a frame-step button held down now
    bool backupWriting = false;                   // a backup or export is writing
};

// What a snapshot interrupted, to be restored after it.
struct SnapshotPause {
    bool wasPlaying = false;
    int speedIndex = kNormalSpeedIndex;
};

struct PlaybackOptions {
    // Milliseconds of a monotonic clock.
    std::function<std::int64_t()> nowMs;
    // Short waits the engine needs between commands (10 ms, 93 ms); tests skip them.
    std::function<void(int)> sleepMs;
    // English text to the language in use (tooltips).
    std::function<std::string(std::string_view)> translate;
};

class PlaybackControls {
public:
    // Events within this long after seekTick() do not move the position slider.
    static constexpr std::int64_t kSeekQuietMs = 300;

    PlaybackControls(PlayerCommands& player, PlaybackHost& host, RecordingList& list,
                     const WindowState& window, PlaybackOptions options = {});

    // Buttons (the window's control ids in brackets).
    Outcome PrevFile();          // 1020
    Outcome PrevFrame();         // 1021
    Outcome BackwardPlay();      // 1022
    Outcome TogglePause();       // 1023
    Outcome Stop();              // 1024
    Outcome Play();              // 1025
    Outcome NextFrame();         // 1026
    Outcome NextFile();          // 1027
    Outcome Slower();            // 1040 "<<"
    Outcome Faster();            // 1041 ">>"
    Outcome VolumeDown();        // 1225 "Min"
    Outcome VolumeUp();          // 1226 "Max"
    Outcome MarkIn();            // 1401
    Outcome MarkOut();           // 1412
    Outcome RestartRecording();  // 1564: the current recording again from its start
    Outcome BackupMarkedRange(); // 1790

    // Slider messages: 3072 pressed, 3074 moved, 3073 released. `value` is the slider's own
    // value (for time sliders the seconds from the start of their span); `thumb` says which
    // mark of the mark bar moves.
    Outcome OnSliderPressed(SliderId id, int thumb = 0);
    Outcome OnSliderMoved(SliderId id, int value, int thumb = 0);
    Outcome OnSliderReleased(SliderId id, int value, int thumb = 0);
    // The volume bitmap slider moved (message 10449) to `position` 0..27.
    Outcome OnVolumeBitmapSlider(int position);
    // The user selected a row of the recording list (or the selection was cleared: -1).
    void OnListSelectionChanged(int row) { m_listSelection = row; }

    // The speed ladder index in force after clamping to 0..12.
    Outcome SetSpeedIndex(int index);
    // Seek within the current recording to `seconds` (clamped into the position slider's span).
    Outcome Seek(std::int64_t seconds);
    // A green minute of the day view: `seconds` in recording time. When nothing plays, the
    // recording that holds that minute is played first.
    Outcome DayViewSeek(std::int64_t seconds);

    // The window's play rules.
    Outcome PlayEntry(store::IndexRecord* entry, int parameter);
    Outcome PlayIndex(int index);
    Outcome SelectEntry(int index, bool withCalendar);
    // Automatic playback of a card found on arrival: first recording selected and played.
    Outcome StartFirstRecording();

    // The once-a-second timer: PlayerTick, the current entry, the position slider, the day view.
    Outcome OnTimer(const TimerInput& input);
    // A repaint of the window moves the position slider like the timer, without ticking the
    // engine (its per-second counters must see exactly one tick a second).
    Outcome OnRepaint(bool backupWriting);
    // Every StepRepeat::kPollMs while stepRepeatRunning(): `held` is the button held now.
    Outcome OnStepRepeatPoll(StepButton held);
    [[nodiscard]] bool stepRepeatRunning() const { return m_stepRepeat.running(); }

    // Snapshot: pause a playing recording, then restore what ran before.
    SnapshotPause BeginSnapshot(Outcome& out);
    Outcome EndSnapshot(const SnapshotPause& pause);

    // The card's users were accepted elsewhere (when the card was opened).
    void SetUnlocked(bool unlocked) { m_unlocked = unlocked; }

    // State for the view.
    [[nodiscard]] bool paused() const { return m_paused; }
    [[nodiscard]] bool stopped() const { return m_stopped; }
    [[nodiscard]] bool sourceOpen() const { return m_sourceOpen; }
    [[nodiscard]] bool playing() const { return m_sourceOpen && !m_paused; }
    [[nodiscard]] int speedIndex() const { return m_speedIndex; }
    [[nodiscard]] int speedSlider() const { return m_speedSlider; }
    [[nodiscard]] std::string speedText() const { return SpeedLabelText(m_speedIndex); }
    [[nodiscard]] int volumeLevel() const { return m_volumeLevel; }
    [[nodiscard]] int skinnedVolume() const { return m_skinnedVolume; }
    [[nodiscard]] bool dragging() const { return m_dragging; }
    [[nodiscard]] std::int64_t seekTick() const { return m_seekTick; }
    [[nodiscard]] int currentIndex() const;
    [[nodiscard]] bool unlocked() const { return m_unlocked; }
    [[nodiscard]] const PositionSliderView& positionSlider() const { return m_position; }
    [[nodiscard]] const MarkBarView& markBar() const { return m_marks; }
    [[nodiscard]] const BackupRange& backupRange() const { return m_backupRange; }
    [[nodiscard]] std::optional<CalendarDate> dayShown() const { return m_dayShown; }
    // The engine speed last asked for.
    [[nodiscard]] double engineSpeed() const { return m_engineSpeed; }

private:
    void stop(Outcome& out);
    void play(Outcome& out);
    void togglePause(Outcome& out);
    void setSpeedIndex(int index, Outcome& out);
    void sendSpeed(double speed);
    void playEntry(store::IndexRecord* entry, int parameter, Outcome& out);
    void playIndex(int index, Outcome& out);
    void selectEntry(int index, bool withCalendar, Outcome& out);
    void seek(std::int64_t seconds, Outcome& out);
    void stepFrame(double speed, Outcome& out);
    void changeFile(int delta, Outcome& out);
    void setMark(int mark, Outcome& out);
    void moveMark(int mark, int value, Outcome& out);
    void applyVolume(int volume);
    void updatePosition(bool backupWriting, bool tick, Outcome& out);
    void refresh(Outcome& out);
    void forgetStaleList();
    [[nodiscard]] store::IndexRecord* entryToPlay();
    [[nodiscard]] std::string timeText(std::int64_t seconds) const;
    [[nodiscard]] std::int64_t now() const { return m_options.nowMs(); }
    [[nodiscard]] bool quiet() const { return now() - m_seekTick < kSeekQuietMs; }

    PlayerCommands& m_player;
    PlaybackHost& m_host;
    RecordingList& m_list;
    const WindowState& m_window;
    PlaybackOptions m_options;

    bool m_paused = false;
    bool m_stopped = false;
    bool m_sourceOpen = false;
    bool m_unlocked = false;
    bool m_dragging = false;
    int m_speedIndex = kNormalSpeedIndex;
    int m_speedSlider = kNormalSpeedIndex;
    double m_engineSpeed = 1.0;
    int m_volumeLevel = kVolumeLevelInitial;
    int m_skinnedVolume = 0;
    std::int64_t m_seekTick = 0;
    int m_currentIndex = -1;
    int m_listSelection = -1;
    std::uint64_t m_listGeneration = 0;
    bool m_dayViewRequested = false;
    std::optional<CalendarDate> m_dayShown;
    PositionSliderView m_position;
    MarkBarView m_marks;
    BackupRange m_backupRange;
    StepRepeat m_stepRepeat;
};

} // namespace tavero::app
