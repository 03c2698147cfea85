// BackupChooser: the backup dialog in its "Backup" mode, below the widgets. It keeps the ticked
// and selected rows of the recording list, the time range pickers, the format (raw backup file
// or AVI), the channels, the destination folder and the running backup; pressing Backup turns
// them into one engine export, or one AVI export per selected row in turn. The engine copies on
// its own threads; the window hands over every unit trailer (progress) and the end of each
// export, and the chooser says what to show.
//
// Thread: UI thread.
#pragma once

#include "app/backup_plan.h"
#include "app/recording_list.h"
#include "app/window_state.h"

#include <array>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavero::app {

// The engine side of a backup: the player control's export commands.
class BackupCommands {
public:
    virtual ~BackupCommands() = default;
    // The record after `record` in play order; null at the end.
    [[nodiscard]] virtual store::IndexRecord* NextRecord(store::IndexRecord* record) = 0;
    // Whether the channel is part of an export, and whether it is ticked for it.
    virtual void SelectChannel(int channel, bool included, bool ticked) = 0;
    // A raw backup of the records into `path` (".sd"); false when it could not start.
    [[nodiscard]] virtual bool ExportList(const std::string& path,
                                          const std::vector<store::IndexRecord*>& records) = 0;
    // The ticked channels of the range [start, end] (recorder time) from `entry` on, copied
    // into AVI files named from `path` (".avi"); false when it could not start.
    [[nodiscard]] virtual bool ExportRange(const std::string& path, store::IndexRecord* entry,
                                           std::int64_t start, std::int64_t end) = 0;
    // Why the last export did not start; empty when it did.
    [[nodiscard]] virtual std::string ExportError() = 0;
    // After the end of an export: empty when it wrote everything, else why it did not (in
    // words for people: the records or files that were finished are named).
    [[nodiscard]] virtual std::string ExportProblem() = 0;
    // Stops the export (or playback) in progress; the source stays open.
    virtual void StopExport() = 0;
};

enum class BackupFormat { Raw = 0, Avi = 1 };

inline constexpr std::string_view kRawFormatText = "RAW Backup File(*.sd)";
inline constexpr std::string_view kAviFormatText = "AVI Backup File(*.avi)";
inline constexpr int kBackupChannelBoxes = 4; // "CH1".."CH4"

// What pressing Backup (or an export's end) asks the window to show.
struct BackupStep {
    std::string message;  // English text for a message box; empty: none
    bool started = false; // an export runs now
    bool finished = false; // the backup ended (the window says so, with `problem` when any)
    std::string problem;  // why the ended backup is incomplete; empty when it is complete
    std::optional<int> progress; // the bar's new value
    int skipped = 0; // the per-recording backup: recordings whose file was there already
};

inline constexpr std::string_view kExistsText = " already exists; choose another folder";

struct BackupChooserOptions {
    std::function<std::time_t()> now;     // the local clock names the files written
    std::function<void()> stopPlayback;   // the window stops playing before an export starts
    std::function<bool(const std::string&)> exists; // a file of that name is there already
};

class BackupChooser {
public:
    BackupChooser(BackupCommands& engine, const RecordingList& list, const WindowState& window,
                  BackupChooserOptions options = {});

    // ---- rows (check boxes and selection) --------------------------------------------------
    // The list was filled afresh: nothing ticked or selected.
    void ResetRows();
    // A click on row `row`: its box toggles; clearing it deselects the row, ticking it selects
    // the row and every other ticked row again. A click beside the rows (-1) clears every box.
    void ClickRow(int row);
    // Only this row, ticked and selected (the window's current recording; 1790).
    void SelectOnly(int row);
    [[nodiscard]] bool ticked(int row) const;
    [[nodiscard]] bool selected(int row) const;
    [[nodiscard]] std::vector<int> selectedRows() const;

    // ---- the time range pickers (display times) --------------------------------------------
    // Enabled while fewer than two rows are selected.
    [[nodiscard]] bool pickersEnabled() const;
    [[nodiscard]] std::int64_t pickerStart() const { return m_pickerStart; }
    [[nodiscard]] std::int64_t pickerEnd() const { return m_pickerEnd; }
    void SetPickers(std::int64_t start, std::int64_t end);
    // Seconds the window adds to recorder times before it shows them.
    [[nodiscard]] std::int64_t displayOffset() const { return m_window.timeOffset; }

    // ---- format, channels, destination -----------------------------------------------------
    void SetFormat(BackupFormat format) { m_format = format; }
    [[nodiscard]] BackupFormat format() const { return m_format; }
    // The channel boxes are enabled in AVI mode only.
    [[nodiscard]] bool channelBoxesEnabled() const { return m_format == BackupFormat::Avi; }
    void SetChannel(int box, bool on);
    [[nodiscard]] bool channel(int box) const;
    void SetDestination(std::string folder) { m_destination = std::move(folder); }
    [[nodiscard]] const std::string& destination() const { return m_destination; }

    // ---- running a backup ------------------------------------------------------------------
    // The Backup button. Nothing happens without a destination or while a backup runs.
    BackupStep PressBackup();
    // The file manager's per-recording backup: every listed recording into a file of its own,
    // `prefix` + "_YYYY-MM-DD_HH-MM-SS.sd" of its start as the list shows it, one after the
    // other. A recording whose file is there already was backed up before and is passed over.
    BackupStep StartEachEntry(const std::string& prefix);
    // "N / COUNT" while the per-recording backup copies recording N; empty otherwise.
    [[nodiscard]] std::string eachEntryLabel() const;
    [[nodiscard]] bool eachEntryRunning() const { return m_writing && m_eachEntry; }
    // Every unit trailer while the backup writes: the unit's number and time (recorder time).
    [[nodiscard]] std::optional<int> OnUnitTrailer(std::uint32_t unitNo, std::int64_t unitTime);
    // The engine said its export ended. Starts the next AVI row, or finishes.
    BackupStep OnExportEnded();
    [[nodiscard]] bool writing() const { return m_writing; }
    // The Backup button is enabled while no backup runs and the last one did not fail to
    // start (a failed start keeps it disabled until the dialog is used again).
    [[nodiscard]] bool backupButtonEnabled() const { return !m_writing && !m_startFailed; }
    // Any change in the dialog after a failed start enables Backup again.
    void DialogUsed() { m_startFailed = false; }
    // The files the running or last backup writes (raw: one file; AVI: one base per row).
    [[nodiscard]] const std::vector<std::string>& outputs() const { return m_outputs; }

private:
    [[nodiscard]] std::int64_t rowShift(int row) const;
    [[nodiscard]] std::vector<store::RecordingEntry> selectedEntries() const;
    void syncPickersToSelection();
    void selectChannels(bool avi);
    BackupStep startRaw(BackupSelection selection);
    BackupStep startAviRow();
    BackupStep startEachEntryRow();
    [[nodiscard]] std::string outputPath(const std::string& name) const;

    BackupCommands& m_engine;
    const RecordingList& m_list;
    const WindowState& m_window;
    BackupChooserOptions m_options;

    std::vector<bool> m_ticked;
    std::vector<bool> m_selected;
    std::int64_t m_pickerStart = 0;
    std::int64_t m_pickerEnd = 0;
    BackupFormat m_format = BackupFormat::Raw;
    std::array<bool, kBackupChannelBoxes> m_channels{true, true, true, true};
    std::string m_destination;

    bool m_writing = false;
    bool m_startFailed = false;
    BackupSelection m_selection;             // raw: what is being copied
    std::vector<int> m_aviRows;              // AVI: rows still to export, in order
    std::int64_t m_aviFrom = 0;              // AVI: the range of the row being exported
    std::int64_t m_aviTo = 0;
    std::int64_t m_aviShift = 0;             // AVI: recorder time to display time of that row
    bool m_aviMany = false;                  // AVI: several rows, each with its own span
    bool m_eachEntry = false;                // the per-recording backup runs
    std::string m_eachPrefix;
    std::vector<int> m_eachRows;             // rows still to back up
    int m_eachCount = 0;
    int m_eachSkipped = 0;
    int m_eachCurrent = 0;                   // the row being copied
    std::vector<std::string> m_outputs;
    std::vector<std::string> m_problems;     // of the exports of this backup
};

} // namespace tavero::app
