// CMainDlg: the program's one window. It owns the player (through its controller) for its whole
// life, the eight channel windows the engine presents into, every control of the skin layout, the
// gauges, the day view, the lists of the map cell and the source chooser dialog. Button presses,
// slider messages, key presses, drops, device events and the command line go to the window's
// rules in src/app (PlaybackControls, SourceChooser, CardBridge with the card detection); the
// window applies the view operations they return and draws the values they keep.
//
// The engine's notifications reach the window as the controller's signals on the UI thread.
// The once-a-second timer, the channel-visibility refresh and the frame-step repeat all run on
// the UI thread (timers), so nothing here is touched from another thread.
//
// Thread: UI thread only.
#pragma once

#include "app/app_settings.h"
#include "app/calendar_panel.h"
#include "app/card_bridge.h"
#include "app/channel_grid.h"
#include "app/gauge_geometry.h"
#include "app/gps_offset.h"
#include "app/playback_controls.h"
#include "app/recording_list.h"
#include "app/source_chooser.h"
#include "app/window_state.h"
#include "cardtools/card_detection.h"
#include "platform/block_devices.h"
#include "ui/controls/vx_skin_dialog.h"
#include "ui/dialogs/config_dlg.h"
#include "ui/dialogs/confirm_dlg.h"
#include "ui/dialogs/file_pad.h"
#include "ui/dialogs/disk_dlg.h"
#include "ui/dialogs/user_messages.h"
#include "ui/main/main_controls.h"
#include "ui/main/player_controller.h"

#include <QPointer>
#include <QSize>
#include <QTimer>
#include <QUrl>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;

namespace tavero::platform {
class UdevMonitor;
class MountTableWatcher;
} // namespace tavero::platform

namespace tavero::ui {

class CMapDlg;
class CPanelDlg;
class MapCellPanel;

struct MainDlgOptions {
    // The screen the UI mode is chosen for; empty: the primary screen's.
    QSize screenSize;
    // The command line after the program's name.
    std::vector<std::string> arguments;
    // Device arrival and removal from the device manager and the mount table.
    bool watchDevices = true;
    // Where the drive scan looks (tests point it at an empty folder).
    platform::SystemRoots roots;
    // Where messages go; null: message boxes over the window.
    UserMessages* messages = nullptr;
    // Opens a folder in the desktop's file browser; null: the desktop's default.
    std::function<void(const QString&)> openFolder;
    // The map view's page (CMapDlg::PageFor); empty: a map view without a browser.
    QUrl mapPage;
};

class CMainDlg : public CVxSkinDialog,
                 public app::PlaybackHost,
                 public DiskDlgHost,
                 public BrowserHost,
                 public ConfigDlgHost {
    Q_OBJECT

public:
    CMainDlg(app::AppSettings& settings, std::unique_ptr<PlayerController> controller,
             MainDlgOptions options = {});
    ~CMainDlg() override;
    CMainDlg(const CMainDlg&) = delete;
    CMainDlg& operator=(const CMainDlg&) = delete;

    // False when the player could not be created; the window is then not usable.
    [[nodiscard]] bool startedOk() const { return m_startedOk; }

    // One command of the window by its control id, as its button sends it.
    void onCommand(int commandId);
    // The once-a-second timer's work, run now.
    void runTimer();

    [[nodiscard]] const MainControls& controls() const { return m_controls; }
    [[nodiscard]] CPanelDlg* panel(int channel) const;
    [[nodiscard]] CDiskDlg* diskDialog() const { return m_diskDlg; }
    [[nodiscard]] MapCellPanel* mapCell() const { return m_mapCell; }
    [[nodiscard]] CMapDlg* mapView() const { return m_mapView; }
    [[nodiscard]] const app::WindowState& windowState() const { return m_window; }
    [[nodiscard]] const app::RecordingList& recordingList() const { return m_list; }
    [[nodiscard]] app::PlaybackControls& playback() { return *m_playback; }
    [[nodiscard]] app::SourceChooser& chooser() { return *m_chooser; }
    [[nodiscard]] DialogPrompts& prompts() { return *m_prompts; }
    [[nodiscard]] const app::CalendarPanel& dayView() const { return m_dayView; }
    [[nodiscard]] const app::GSensorHistory& gsensorHistory() const { return m_history; }

    // app::PlaybackHost
    [[nodiscard]] bool TakeEntry(store::IndexRecord* entry) override;
    [[nodiscard]] bool CheckPassword() override;

    // DiskDlgHost
    [[nodiscard]] bool PlayListIndex(int index) override;
    void SourceChanged() override;
    void RescanDrives() override;
    void ShowProblem(const QString& text) override;
    void ShowInformation(const QString& text) override;
    void BackupStarted() override;
    void ShowFilePad() override;
    void ShowFileManager() override;

    // BrowserHost
    [[nodiscard]] bool PlayBackupFileEntry(const std::string& path, std::int64_t start) override;
    [[nodiscard]] std::vector<cardtools::DeviceEntry> RemovableDevices() override;
    [[nodiscard]] std::vector<cardtools::DeviceEntry> OtherDevices() override;
    [[nodiscard]] bool OpenCardForBackup(const cardtools::DeviceEntry& device,
                                         bool removable) override;
    [[nodiscard]] std::vector<std::uint8_t> CardPlate() override;
    [[nodiscard]] bool StartWholeCardBackup(const std::string& prefix,
                                            std::string& problem) override;
    [[nodiscard]] bool AskOkCancel(const QString& question) override;

    // ConfigDlgHost
    [[nodiscard]] std::vector<cardtools::DeviceEntry> RefreshCardList() override;
    [[nodiscard]] CardChoice OpenCardForConfiguration(const std::string& deviceText) override;

    // The configuration page, the format tool or the Wi-Fi dialog while one is open (tests
    // answer it); null otherwise.
    [[nodiscard]] QDialog* cardDialog() const { return m_cardDialog; }

    [[nodiscard]] CFilePad* filePad() const { return m_filePad; }
    [[nodiscard]] CFileManager* fileManager() const { return m_fileManager; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void reject() override;

private:
    // Start-up, in the order the window is built.
    void createChannelWindows();
    void createControls();
    void wireControls();
    void placeWindow();
    void startDeviceWatch();
    void runCommandLine();

    // Layout of the channel grid and the map cell.
    void applyLayout(int argument);
    void placeGrid();
    void showMapCellPage(int tabCommand);
    void updateTabs();

    // The map view.
    void createMapView();
    void placeMapView(const QRect& dock);
    void onMapButton();
    void onDitMapButton();
    void showMapForPlayback();
    void onMapSeekRequested(qint64 seconds);
    [[nodiscard]] bool mapShown() const;

    // Playback.
    void apply(const app::Outcome& outcome);
    void applyAction(app::UiAction action);
    void onSliderMessage(int message, int messageId, int value);
    void onStepRepeatPoll();
    void runChannelRefresh();
    void showPlayChannels();
    void onUnitTrailer();
    void onEndOfStream(qint64 channel);
    void backupMarkedRange();
    [[nodiscard]] bool backupWriting() const { return m_backup && m_backup->writing(); }
    void onVideoSize(int channel);
    void updateSpeedDisplay();
    void updateUnitBadge();
    void updatePositionSlider();
    void updateMarkBar();
    void updateReadout();
    void takeSnapshot();
    [[nodiscard]] app::StepButton heldStepButton() const;

    // Day view.
    void moveDayView();
    void updateStrips();
    void onHourClicked(app::Strip strip, int cell);
    void onMinuteClicked(app::Strip strip, int cell);
    // While playing, the strips show the hour being played (until the user picks another) and
    // mark the minute being played.
    void followPlayedTime();

    // Sources and cards.
    void syncList();
    void onDeviceEvents(platform::DeviceEventSource& source);
    void checkPlayedSource();
    void openDroppedFiles(const std::vector<std::string>& paths);
    void launchOldPlayer();
    void closeWindow();

    // The card dialogs (Configuration, Format, Wi-Fi Setting), each modal.
    // The backup dialog and the map make way for the configuration page and the format tool.
    void hideForCardDialog();
    void openConfiguration();
    void openFormatTool();
    void openWifiSettings();
    // Devices came or went while a card dialog is open.
    void cardDialogsOnDeviceEvents();

    [[nodiscard]] QString translated(std::string_view english) const;
    void say(const QString& text, bool warning = true);

    app::AppSettings& m_settings;
    std::unique_ptr<PlayerController> m_controller;
    MainDlgOptions m_options;
    bool m_startedOk = false;

    app::WindowState m_window;
    app::RecordingList m_list;
    std::uint64_t m_listGeneration = ~std::uint64_t{0};
    app::GSensorHistory m_history;
    app::PaintThrottle m_throttle;
    app::ChannelRefresh m_refresh;
    app::CalendarPanel m_dayView;
    bool m_followPlayedHour = true;
    bool m_noMark = false;
    std::array<app::CameraTable, 2> m_cameraTables{};

    // Position from the last GPS sentence.
    double m_latitude = 0;
    double m_longitude = 0;
    double m_speedKmh = 0;
    double m_heading = 0;

    std::unique_ptr<MessageBoxes> m_ownMessages;
    UserMessages* m_messages = nullptr;
    std::unique_ptr<DialogPrompts> m_prompts;
    cardtools::CardDriveScanner m_scanner;
    std::unique_ptr<app::CardBridge> m_bridge;
    std::unique_ptr<app::SourceChooser> m_chooser;
    std::unique_ptr<app::PlaybackControls> m_playback;
    std::unique_ptr<app::BackupChooser> m_backup; // null when the player cannot export
    std::unique_ptr<cardtools::CCardDetection> m_detection;

    MainControls m_controls;
    std::array<CPanelDlg*, app::kChannelCount> m_panels{};
    MapCellPanel* m_mapCell = nullptr;
    CMapDlg* m_mapView = nullptr;
    app::GpsOffsetTable m_offsetGrid; // read at start; the map view's corrections
    int m_mapCellTab = 1671;       // the tab whose page the map cell shows
    bool m_mapCellOverlay = false; // layout 4: the lists are shown over the bottom-right cell
    CDiskDlg* m_diskDlg = nullptr;
    CFilePad* m_filePad = nullptr;
    CFileManager* m_fileManager = nullptr;

    QTimer m_timer;     // once a second
    QTimer m_stepTimer; // every 10 ms while a frame-step button is held
    QTimer m_refreshTimer;
    bool m_commandLineDone = false;
    QPointer<QDialog> m_cardDialog;
    bool m_configOpen = false;
    bool m_formatOpen = false;

    std::unique_ptr<platform::UdevMonitor> m_udev;
    std::unique_ptr<platform::MountTableWatcher> m_mounts;
    QSocketNotifier* m_udevNotifier = nullptr;
    QSocketNotifier* m_mountNotifier = nullptr;
};

} // namespace tavero::ui
