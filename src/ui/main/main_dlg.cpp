// CMainDlg, part one: building the window, its layout, the keyboard, drops and closing.
#include "ui/main/main_dlg.h"

#include "app/main_window_rules.h"
#include "app/recorder_clock.h"
#include "recorderconfig/config_sector.h"
#include "ui/controls/bitmap_slider.h"
#include "ui/controls/panel_dlg.h"
#include "ui/controls/vx_skin_button.h"
#include "ui/controls/vx_skin_sld_button.h"
#include "ui/main/day_view.h"
#include "ui/main/gauges.h"
#include "ui/main/map_cell_panel.h"
#include "ui/map/map_dlg.h"
#include "ui/main/window_look.h"
#include "ui/skin/skin_set.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QScreen>
#include <QUrl>

namespace tavero::ui {

namespace {

constexpr int kTimerPeriodMs = 1000;
constexpr int kRecordingListTab = 1671;
constexpr int kSettingListTab = 1690;
constexpr int kMapTab = 1673;

QRect toQRect(const app::Rect& r) {
    return {r.left, r.top, r.width(), r.height()};
}

app::WindowKey windowKeyOf(int key) {
    switch (key) {
    case Qt::Key_F3:
        return app::WindowKey::F3;
    case Qt::Key_Space:
        return app::WindowKey::Space;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return app::WindowKey::Enter;
    case Qt::Key_Escape:
        return app::WindowKey::Escape;
    default:
        return app::WindowKey::Other;
    }
}

} // namespace

CMainDlg::CMainDlg(app::AppSettings& settings, std::unique_ptr<PlayerController> controller,
                   MainDlgOptions options)
    : CVxSkinDialog(nullptr, Qt::Window | Qt::FramelessWindowHint), m_settings(settings),
      m_controller(std::move(controller)), m_options(std::move(options)),
      m_scanner(m_options.roots) {
    hide();
    setPalette(windowPalette());
    setAcceptDrops(true);
    if (m_options.messages != nullptr) {
        m_messages = m_options.messages;
    } else {
        m_ownMessages = std::make_unique<MessageBoxes>(this);
        m_messages = m_ownMessages.get();
    }
    const Translator translate = [this](std::string_view text) {
        return m_settings.Translate(text);
    };
    m_prompts = std::make_unique<DialogPrompts>(this, translate, *m_messages);

    // The UI mode for this screen; the configured one is what is saved at exit.
    QSize screen = m_options.screenSize;
    if (screen.isEmpty()) {
        const QScreen* primary = QGuiApplication::primaryScreen();
        screen = primary != nullptr ? primary->size() : QSize(1920, 1080);
    }
    m_window.uiMode = app::NormalUiMode(m_settings.ResolveUiMode(screen.width(), screen.height()));
    SkinSet::current().setMode(m_window.uiMode);

    if (!m_controller || !m_controller->isValid()) {
        return;
    }
    m_startedOk = true;

    if (m_settings.ReadConfigInt("ShowOSDTime", 0) != 0) {
        m_controller->showInfo(true);
    }
    m_window.speedUnit = static_cast<std::uint32_t>(m_settings.ReadConfigInt("SetEDR_Speed", 0));
    // No card yet: the image is all zero, so times are shown in this computer's zone.
    m_window.timeOffset =
        app::ComputeTimeOffset(recorderconfig::ConfigSector{}, app::StandardOffsetSeconds());
    setWindowTitle(translated("TAVERO PLAYER"));
    m_noMark = m_settings.ReadConfigInt("isNoMark", 0) == 1;
    m_cameraTables = {m_settings.ReadCameraTable(1), m_settings.ReadCameraTable(2)};

    // The rules, in the order they refer to each other.
    app::CardBridgeHooks hooks;
    hooks.apply = [this](const app::Outcome& o) { apply(o); };
    hooks.volumeLabel = [](const std::string&) { return std::string(); };
    hooks.otherListText = [this] {
        return m_diskDlg != nullptr ? m_diskDlg->otherList()->currentText().toStdString()
                                    : std::string();
    };
    hooks.launchOldPlayer = [this] { launchOldPlayer(); };
    hooks.cardsHeld = [this] { return m_formatOpen; };
    m_bridge = std::make_unique<app::CardBridge>(m_settings, m_window, m_list, std::move(hooks));
    app::PlayerCommands& player = m_controller->commands();
    app::ChooserOptions chooserOptions;
    chooserOptions.translate = translate;
    m_chooser =
        std::make_unique<app::SourceChooser>(player, m_list, m_window, *m_bridge, chooserOptions);
    app::PlaybackOptions playbackOptions;
    playbackOptions.translate = translate;
    m_playback =
        std::make_unique<app::PlaybackControls>(player, *this, m_list, m_window, playbackOptions);
    if (app::BackupCommands* exports = m_controller->backupCommands()) {
        app::BackupChooserOptions backupOptions;
        backupOptions.stopPlayback = [this] { apply(m_playback->Stop()); };
        m_backup = std::make_unique<app::BackupChooser>(*exports, m_list, m_window, backupOptions);
    }
    m_detection = std::make_unique<cardtools::CCardDetection>(m_scanner, *m_bridge, *m_prompts);
    m_bridge->attach(m_chooser.get(), m_playback.get(), m_detection.get());

    createChannelWindows();
    createControls();
    wireControls();
    placeWindow();

    const app::LayoutChange start =
        app::StartupLayout(m_window.layout, m_settings.ReadConfigInt("only4channel", 0),
                           m_settings.ReadConfigInt("channel84", app::kLayout8));
    for (const char* name : {"change to 4CH", "change to 8CH"}) {
        if (QWidget* b = m_controls.widget(name)) {
            b->setVisible(!start.hideLayoutButtons);
        }
    }
    if (start.applied) {
        m_window.layout = start.layout;
        if (start.storeChannel84) {
            m_settings.WriteConfigInt("channel84", *start.storeChannel84);
        }
    }
    placeGrid();

    m_timer.setInterval(kTimerPeriodMs);
    connect(&m_timer, &QTimer::timeout, this, &CMainDlg::runTimer);
    m_timer.start();
    m_stepTimer.setInterval(app::StepRepeat::kPollMs);
    connect(&m_stepTimer, &QTimer::timeout, this, &CMainDlg::onStepRepeatPoll);
    m_refreshTimer.setSingleShot(true);
    connect(&m_refreshTimer, &QTimer::timeout, this, &CMainDlg::runChannelRefresh);

    connect(m_controller.get(), &PlayerController::unitTrailerArrived, this,
            &CMainDlg::onUnitTrailer);
    connect(m_controller.get(), &PlayerController::videoSizeChanged, this, &CMainDlg::onVideoSize);
    connect(m_controller.get(), &PlayerController::endOfStream, this, &CMainDlg::onEndOfStream);

    qApp->installEventFilter(this);
    if (m_options.watchDevices) {
        startDeviceWatch();
    }
}

CMainDlg::~CMainDlg() {
    qApp->removeEventFilter(this);
    m_timer.stop();
    m_stepTimer.stop();
    m_refreshTimer.stop();
    if (m_playback && m_playback->sourceOpen()) {
        (void)m_playback->Stop();
    }
    // The engine stops presenting before the channel windows go away with their parent.
    if (m_controller) {
        for (int ch = 0; ch < app::kChannelCount; ++ch) {
            m_controller->setVideoWindow(ch, nullptr);
        }
        m_controller.reset();
    }
}

QString CMainDlg::translated(std::string_view english) const {
    return toQString(m_settings.Translate(english));
}

void CMainDlg::say(const QString& text, bool warning) {
    m_messages->show(text, warning);
}

CPanelDlg* CMainDlg::panel(int channel) const {
    return channel >= 0 && channel < app::kChannelCount
               ? m_panels[static_cast<std::size_t>(channel)]
               : nullptr;
}

void CMainDlg::createChannelWindows() {
    const auto defaults = app::DefaultChannelRects(m_window.uiMode);
    const bool keepRatio = m_settings.ReadConfigInt("KeepRatio", 1) != 0;
    for (int i = 0; i < app::kChannelCount; ++i) {
        auto* p = new CPanelDlg(i, this);
        p->setDockedRect(toQRect(defaults[static_cast<std::size_t>(i)]));
        p->setKeepRatio([keepRatio] { return keepRatio; });
        PlayerController* controller = m_controller.get();
        p->setRepaintRequest([controller] { controller->repaint(); });
        p->hide();
        connect(p, &CPanelDlg::visibilityRequested, this, [this](int channel, bool visible) {
            CPanelDlg* panel = this->panel(channel);
            if (panel == nullptr) {
                return;
            }
            const bool inLayout =
                app::ComputeGrid(m_window.uiMode, m_window.layout, m_window.mapMode)
                    .inLayout[static_cast<std::size_t>(channel)];
            panel->setVisible(visible && inLayout && m_playback->sourceOpen());
        });
        m_panels[static_cast<std::size_t>(i)] = p;
        m_controller->setVideoWindow(i, &p->videoWindow());
        m_controller->configureChannel(i, m_settings.ReadChannelSettings(i + 1));
    }
}

void CMainDlg::createControls() {
    m_controls.build(this, m_window.uiMode,
                     [this](std::string_view name) { return translated(name); });
    m_controls.graph->setHistory(&m_history);
    m_mapCell = new MapCellPanel(this, m_window.uiMode,
                                 [this](std::string_view t) { return m_settings.Translate(t); });
    createMapView();
    m_diskDlg = new CDiskDlg(
        this, *m_chooser, *this, [this](std::string_view t) { return m_settings.Translate(t); },
        m_window.uiMode);
    m_diskDlg->setBackup(m_backup.get(), &m_settings);
    const Translator translate = [this](std::string_view t) { return m_settings.Translate(t); };
    m_filePad = new CFilePad(this, m_settings, m_window, *this, translate);
    m_fileManager = new CFileManager(this, m_settings, *this, translate, m_filePad);
    m_controls.position->setToolTip(translated("Position"));
    m_controls.markBar->hide(); // until a mark is set
    updateUnitBadge();          // the display keeps its "000" until the first position
    updateStrips();
    updateTabs();
}

void CMainDlg::placeWindow() {
    const app::PixelSize size = app::WindowSize(m_window.uiMode);
    setBackground(app::BackgroundBitmapId(m_window.uiMode, m_window.layout, m_noMark));
    setFixedSize(size.width, size.height);
    enableDragging(true);
    const int corner = app::windowCornerEllipse(m_window.uiMode);
    enableRoundedRegion(corner, corner);
    QSize screen = m_options.screenSize;
    QPoint screenOrigin;
    if (const QScreen* primary = QGuiApplication::primaryScreen(); primary != nullptr) {
        if (screen.isEmpty()) {
            screen = primary->size();
        }
        screenOrigin = primary->geometry().topLeft();
    }
    const app::PixelSize at =
        app::CentredOrigin(size, app::PixelSize{screen.width(), screen.height()});
    move(screenOrigin + QPoint(at.width, at.height));
}

// ---- layout ---------------------------------------------------------------------------------

void CMainDlg::applyLayout(int argument) {
    const app::LayoutChange change = app::NextLayout(m_window.layout, argument);
    if (!change.applied) {
        return;
    }
    m_window.layout = change.layout;
    if (change.storeChannel84) {
        m_settings.WriteConfigInt("channel84", *change.storeChannel84);
    }
    placeGrid();
}

void CMainDlg::placeGrid() {
    for (CPanelDlg* p : m_panels) {
        p->dock();
    }
    const app::ChannelPlacement placement =
        app::ComputeGrid(m_window.uiMode, m_window.layout, m_window.mapMode);
    setBackground(app::BackgroundBitmapId(m_window.uiMode, m_window.layout, m_noMark));
    for (int i = 0; i < app::kChannelCount; ++i) {
        CPanelDlg* p = m_panels[static_cast<std::size_t>(i)];
        const bool wasVisible = !p->isHidden();
        p->hide();
        p->setDockedRect(toQRect(placement.channels[static_cast<std::size_t>(i)]));
        p->setVisible(wasVisible && placement.inLayout[static_cast<std::size_t>(i)]);
    }
    if (placement.recordingList) {
        m_mapCellOverlay = false;
        m_mapCell->setGeometry(toQRect(*placement.recordingList));
        m_mapCell->show();
    } else {
        // No cell of its own: the lists are shown over the bottom-right cell when a tab asks.
        m_mapCell->setGeometry(toQRect(placement.channels[3]));
        m_mapCell->setVisible(m_mapCellOverlay);
    }
    m_mapCell->raise();
    placeMapView(toQRect(placement.mapDock));
    updateTabs();
    m_refresh.CancelFirstWait();
    if (m_playback->sourceOpen()) {
        runChannelRefresh();
    }
    m_controls.position->update();
}

void CMainDlg::showMapCellPage(int tabCommand) {
    const bool overlayLayout =
        !app::ComputeGrid(m_window.uiMode, m_window.layout, false).recordingList.has_value();
    if (overlayLayout) {
        // A second press on the tab shown puts the channel back in view.
        m_mapCellOverlay = !(m_mapCellOverlay && m_mapCellTab == tabCommand);
        m_mapCell->setVisible(m_mapCellOverlay);
        m_mapCell->raise();
    }
    m_mapCellTab = tabCommand;
    m_mapCell->showPage(tabCommand == kSettingListTab ? MapCellPanel::Page::Settings
                        : tabCommand == kMapTab       ? MapCellPanel::Page::Map
                                                      : MapCellPanel::Page::Recordings);
    // The map tab shows the map view docked over the cell (its text page stays under it for
    // when there is no map); the list tabs put it away, unless map mode gave it the channels.
    if (!m_window.mapMode && !m_mapView->isFloating()) {
        const bool show = tabCommand == kMapTab && m_mapCell->isVisibleTo(this) &&
                          !m_mapView->mapUnavailable();
        if (show) {
            m_mapView->Dock();
            m_mapView->show();
            m_mapView->raise();
        } else {
            m_mapView->hide();
        }
    }
    updateTabs();
}

void CMainDlg::updateTabs() {
    const bool shown = m_mapCell != nullptr && m_mapCell->isVisibleTo(this);
    for (auto [name, id] :
         {std::pair{"Recording list", kRecordingListTab},
          std::pair{"Setting list", kSettingListTab}, std::pair{"Map view", kMapTab}}) {
        if (CVxSkinButton* b = m_controls.button(name)) {
            // Radio buttons refuse to uncheck the last checked one; with the lists hidden
            // (layout 4) none is checked.
            b->setAutoExclusive(false);
            b->setChecked(shown && m_mapCellTab == id);
            b->setAutoExclusive(true);
        }
    }
}

// ---- keyboard, drops, closing ---------------------------------------------------------------

bool CMainDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return CVxSkinDialog::eventFilter(watched, event);
    }
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != this) {
        return CVxSkinDialog::eventFilter(watched, event);
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    switch (app::KeyActionFor(windowKeyOf(key->key()))) {
    case app::KeyAction::LaunchOldPlayer:
        launchOldPlayer();
        return true;
    case app::KeyAction::Swallow:
        return true;
    case app::KeyAction::CloseWindow:
        closeWindow();
        return true;
    case app::KeyAction::None:
        break;
    }
    return CVxSkinDialog::eventFilter(watched, event);
}

void CMainDlg::showEvent(QShowEvent* event) {
    CVxSkinDialog::showEvent(event);
    if (!m_commandLineDone && m_startedOk) {
        m_commandLineDone = true;
        // After the window is on the screen, so that questions and messages have a parent.
        QTimer::singleShot(0, this, &CMainDlg::runCommandLine);
    }
}

void CMainDlg::reject() {
    closeWindow(); // Esc from a dialog's own handling: end like the keyboard's Esc
}

void CMainDlg::closeWindow() {
    m_timer.stop();
    done(QDialog::Accepted);
}

void CMainDlg::closeEvent(QCloseEvent* event) {
    // The window manager's close is the Close button; no dialog of this version can be open
    // that would refuse it.
    if (!app::MayClose(false, false)) {
        event->ignore();
        return;
    }
    CVxSkinDialog::closeEvent(event);
}

void CMainDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void CMainDlg::dropEvent(QDropEvent* event) {
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            paths.push_back(url.toLocalFile().toStdString());
        }
    }
    event->acceptProposedAction();
    // After the drop has finished, so that a message box does not hold the drag source.
    QTimer::singleShot(0, this, [this, paths] { openDroppedFiles(paths); });
}

} // namespace tavero::ui
