// SourceChooser: the backup dialog in its "Playback" mode, the main window's source chooser. The
// user picks the source kind (a removable card, another drive, or a raw backup file), a device or
// a ".sd" file, and a recording to play from the list. The chooser opens the source in the
// player, lists its recordings with their event type, filters them by event type, and fills the
// main window's recording list with the same rows.
//
// Thread: UI thread. Opening a card goes through the window's card detection (SourceChooserHost),
// which calls back OpenCardSource and CardOpened.
#pragma once

#include "app/player_commands.h"
#include "app/recording_list.h"
#include "app/window_state.h"
#include "cardtools/card_detection.h"
#include "cardtools/drive_scan.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tavero::app {

using cardtools::BackupSourceKind;

// Which controls a source kind enables.
struct SourceKindControls {
    bool removableList = false;
    bool otherList = false;
    bool fileEdit = false; // the path edit and "Browse..."
    friend bool operator==(const SourceKindControls&, const SourceKindControls&) = default;
};
[[nodiscard]] SourceKindControls ControlsForKind(BackupSourceKind kind);

// The recording list's columns (English keys) and widths: the running number, "RECORD TIME",
// "EVENT TYPE", "TIME END", "Total Times".
inline constexpr ListColumn kChooserColumns[] = {
    {"", 45}, {"RECORD TIME", 120}, {"EVENT TYPE", 120}, {"TIME END", 120}, {"Total Times", 70}};
inline constexpr int kEventTypeColumn = 2;
inline constexpr int kEventFilterCount = 7; // 0 all, 1..6 one event code
inline constexpr std::string_view kBackupFileFilter = "RAW Backup File(*.sd)";
inline constexpr std::string_view kBackupFileSuffix = ".sd";

struct ChooserRow {
    std::string number; // from 1
    std::string start;  // display time "YYYY-MM-DD HH:MM:SS"
    std::string event;  // translated event name
    std::string end;
    std::string duration; // "HH:MM:SS"
    store::IndexRecord* firstRecord = nullptr;
};

// What the chooser needs from the window.
class SourceChooserHost {
public:
    virtual ~SourceChooserHost() = default;
    // The card detection's OpenCard: select the device, read its configuration sector, check its
    // users and open it (calling OpenCardSource and CardOpened). False when the device text names
    // no drive.
    [[nodiscard]] virtual bool OpenCard(const std::string& deviceText) = 0;
    // The card detection's current drive (-1: no card in use).
    virtual void SetCurrentDrive(int drive) = 0;
    // Another source is about to open: playback stops first.
    virtual void StopPlayback() = 0;
};

struct ChooserOptions {
    std::function<std::string(std::string_view)> translate;
    std::function<void(int)> sleepMs;
};

// A drop of files on the main window.
struct DropResult {
    bool opened = false;      // the first path opened as a backup file
    bool showChooser = false; // its "Backup File" kind selected; the chooser is shown
    std::string message;      // for a message box when nothing opened; empty otherwise
};

class SourceChooser {
public:
    // Attempts, 100 ms apart, to open a removable device whose card may still be mounting.
    static constexpr int kOpenAttempts = 30;
    static constexpr int kOpenRetryMs = 100;

    SourceChooser(PlayerCommands& player, RecordingList& list, const WindowState& window,
                  SourceChooserHost& host, ChooserOptions options = {});

    // The source kind radios; choosing one also resets the progress bar.
    SourceKindControls ChooseKind(BackupSourceKind kind);
    [[nodiscard]] BackupSourceKind kind() const { return m_kind; }

    // Lists the opened source's recordings with the current event filter, and the same entries
    // into the main window's recording list. Returns the number of rows.
    int FillList();
    // A click on a column header: the "EVENT TYPE" header steps the event filter on until the
    // list has a row (at most eight steps). True when the list was refilled.
    bool OnHeaderClicked(int column);
    // Title of the "EVENT TYPE" column: the filtered event's name, translated.
    [[nodiscard]] std::string eventColumnTitle() const;

    // A raw backup file: the path must end in exactly ".sd"; anything else changes nothing and
    // answers false. Opening it frees the card in use, lists the file's recordings and shows the
    // path. True when the file was opened (lastProblem() says when it holds no recordings).
    bool OpenBackupFile(const std::string& path);
    // "-f PATH": a raw backup file, or a card by its URL "car2://N".
    bool OpenSourcePath(const std::string& path);
    // Files dropped on the window: only the first one counts.
    DropResult OnFilesDropped(const std::vector<std::string>& paths);
    // The removable list: OpenCard up to kOpenAttempts times until the device can be opened
    // (a refused user check counts as opened). False with lastProblem() after the last attempt.
    bool ChooseRemovableDevice(const std::string& deviceText);
    // The other list: a CD-ROM drive's first ".sd" file opens as a backup file (the kind switches
    // to "Backup File"); any other entry opens as a card.
    bool ChooseOtherDevice(const cardtools::DeviceEntry& entry);
    // The brakes-mode command: the remembered backup file or device again, index read afresh.
    bool ReopenSource();
    // The empty path the window hands over at start when nothing plays: no row, no file.
    void ResetSelection();

    // Called back by the card detection: opens "car2://N" in the player; true when its index has
    // a recording.
    bool OpenCardSource(int drive);
    // Called back by the card detection once the card is open: lists it and names the device.
    void CardOpened(const std::string& deviceText, const std::string& volumeLabel);

    // The list index to play for a double-clicked row; -1 for a row outside the list.
    [[nodiscard]] int OnRowDoubleClicked(int row) const;

    [[nodiscard]] const std::vector<ChooserRow>& rows() const { return m_rows; }
    [[nodiscard]] int eventFilter() const { return m_eventFilter; }
    // The path edit's text: the backup file last opened.
    [[nodiscard]] const std::string& filePath() const { return m_filePath; }
    // Folder the "Browse..." dialog starts in.
    [[nodiscard]] std::string browseFolder() const;
    [[nodiscard]] const std::string& deviceText() const { return m_deviceText; }
    [[nodiscard]] const std::string& volumeText() const { return m_volumeText; }
    [[nodiscard]] int progress() const { return m_progress; }
    // What the player opened: a ".sd" path or "car2://N".
    [[nodiscard]] const std::string& sourcePath() const { return m_sourcePath; }
    // The file or device the source reads, for telling whether it went away; empty when none.
    [[nodiscard]] const std::string& sourceLocation() const { return m_sourceLocation; }
    // Why the last open gave no recordings or failed, translated, for a message box; empty
    // when it worked.
    [[nodiscard]] const std::string& lastProblem() const { return m_lastProblem; }

private:
    void openInPlayer(const std::string& path, const std::string& location);
    [[nodiscard]] std::string translate(std::string_view text) const;

    PlayerCommands& m_player;
    RecordingList& m_list;
    const WindowState& m_window;
    SourceChooserHost& m_host;
    ChooserOptions m_options;

    BackupSourceKind m_kind = BackupSourceKind::LocalDisk;
    int m_eventFilter = 0;
    std::vector<ChooserRow> m_rows;
    std::string m_filePath;
    std::string m_deviceText;
    std::string m_volumeText;
    std::string m_sourcePath;
    std::string m_sourceLocation;
    std::string m_lastProblem;
    int m_progress = 0;
};

// The first regular file ending in ".sd" in a folder, by name; empty when none.
[[nodiscard]] std::string FirstBackupFileIn(const std::string& folder);
[[nodiscard]] bool HasBackupFileSuffix(std::string_view path);

} // namespace tavero::app
