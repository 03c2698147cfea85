// What the main window does after one of its rules ran: an ordered list of view operations.
// Values to show (slider ranges, positions, tooltips, the backup range) are read from the rule
// object's state when the matching Update... action comes; the window applies the actions in
// the order given.
//
// Thread: UI thread.
#pragma once

#include <algorithm>
#include <initializer_list>
#include <vector>

namespace tavero::app {

enum class UiAction {
    Refresh,                   // give the keyboard focus back to the recording list
    UpdateSpeedSlider,         // range and position from speedSlider()
    UpdatePositionSlider,      // range, position and tooltip from positionSlider()
    UpdateMarkBar,             // range, marks and visibility from markBar()
    UpdateVolumeSliders,       // volumeLevel() on the bitmap slider, skinnedVolume() on the other
    UpdateBackupRange,         // backupRange() to the backup dialog (display times)
    SelectListItem,            // select currentIndex() in the recording list
    SelectCurrentInBackupList, // select the current recording in the backup dialog's list
    MoveDayView,               // month calendar and strips to dayShown()
    ClearGSensorHistory,
    ResetBackupProgress, // the backup dialog's progress bar to 0
    ResetRoute,          // the map's route starts afresh
    ClearMap,
    DockAndHideChannels, // every channel window docked in the grid again, then hidden
    ShowPlayChannels,    // dock the map (hidden again in layout 4); show the layout's channels
    StartChannelRefresh, // the channel-visibility refresh, waiting 3 s first
    ReplayLastTrailer,   // handle the last unit trailer again (gauges at the new place)
    BackupMarkedRange,   // backup dialog in backup mode, current row selected, backup now
    LeaveMapMode,        // switch map mode off as the DIT/MAP button does
    HideSourceChooser,
};

// The result of one call: actions in order, and whether the operation did what was asked.
struct Outcome {
    std::vector<UiAction> actions;
    bool ok = true;

    void add(UiAction a) {
        if (actions.empty() || actions.back() != a) {
            actions.push_back(a);
        }
    }
    [[nodiscard]] bool has(UiAction a) const {
        return std::find(actions.begin(), actions.end(), a) != actions.end();
    }
    // True when `a` comes before `b` (both present).
    [[nodiscard]] bool before(UiAction a, UiAction b) const {
        const auto ia = std::find(actions.begin(), actions.end(), a);
        const auto ib = std::find(actions.begin(), actions.end(), b);
        return ia != actions.end() && ib != actions.end() && ia < ib;
    }
};

} // namespace tavero::app
