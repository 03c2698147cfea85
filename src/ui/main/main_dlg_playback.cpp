// CMainDlg, part two: the controls' commands, the view operations of the playback rules, the
// sliders, the timers, unit trailers, the gauges, the snapshot and the day view.
#include "app/main_window_rules.h"
#include "app/recorder_clock.h"
#include "ui/controls/bitmap_slider.h"
#include "ui/controls/digi_static.h"
#include "ui/controls/panel_dlg.h"
#include "ui/controls/vx_skin_button.h"
#include "ui/controls/vx_skin_sld_button.h"
#include "ui/main/day_view.h"
#include "ui/main/gauges.h"
#include "ui/main/main_dlg.h"
#include "ui/main/map_cell_panel.h"
#include "ui/map/map_dlg.h"
#include "ui/skin/skin_set.h"

#include <QCursor>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QToolTip>
#include <QTreeWidget>
#include <QUrl>
#include <chrono>
#include <ctime>

namespace tavero::ui {

namespace {

std::int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

void CMainDlg::wireControls() {
    for (const auto& [name, widget] : m_controls.byName) {
        const app::SkinControl* row = m_controls.rowOf(widget);
        if (row == nullptr || row->kind != app::SkinControlKind::Button) {
            continue;
        }
        auto* b = static_cast<CVxSkinButton*>(widget);
        const int id = row->commandId;
        if (id == 1021 || id == 1026) {
            // Frame steps act on the press; holding the button repeats them.
            connect(b, &CVxSkinButton::pressed, this, [this, id] { onCommand(id); });
        } else {
            connect(b, &CVxSkinButton::clicked, this, [this, id] { onCommand(id); });
        }
    }
    for (CVxSkinSldButton* s : {m_controls.position, m_controls.speed, m_controls.skinnedVolume}) {
        connect(s, &CVxSkinSldButton::sliderMessage, this, &CMainDlg::onSliderMessage);
    }
    connect(m_controls.markBar, &CVxSkinSldButton2::sliderMessage, this,
            &CMainDlg::onSliderMessage);
    connect(m_controls.volumeLevel, &CBitmapSlider::positionMessage, this,
            [this](int, int, int position) { apply(m_playback->OnVolumeBitmapSlider(position)); });
    for (int i = 0; i < 4; ++i) {
        const bool hours = i < 2;
        const app::Strip strip = i % 2 == 0 ? app::Strip::A : app::Strip::B;
        DayStrip* s = m_controls.strips[static_cast<std::size_t>(i)];
        if (hours) {
            s->setColours(
                [this, strip](int cell) { return m_dayView.hourCellColour(strip, cell); });
            connect(s, &DayStrip::cellClicked, this,
                    [this, strip](int cell) { onHourClicked(strip, cell); });
        } else {
            s->setColours(
                [this, strip](int cell) { return m_dayView.minuteCellColour(strip, cell); });
            connect(s, &DayStrip::cellClicked, this,
                    [this, strip](int cell) { onMinuteClicked(strip, cell); });
        }
    }
    connect(m_controls.calendar, &DayCalendar::dayChosen, this, [this](app::CalendarDate d) {
        (void)m_dayView.OnDateSelected(d, m_list, m_window.timeOffset);
        updateStrips();
    });
    connect(m_mapCell, &MapCellPanel::rowActivated, this, [this](int row) {
        (void)PlayListIndex(row);
        m_mapView->Refresh();
    });
    connect(m_mapCell, &MapCellPanel::rowSelected, this, [this](int row) {
        m_playback->OnListSelectionChanged(row);
        if (!m_playback->sourceOpen() && m_list.contains(row)) {
            // Chosen while nothing plays: Play plays this one.
            apply(m_playback->SelectEntry(row, true));
        }
    });
}

void CMainDlg::onCommand(int id) {
    app::PlaybackControls& c = *m_playback;
    switch (id) {
    case 1020:
        apply(c.PrevFile());
        break;
    case 1021:
        apply(c.PrevFrame());
        break;
    case 1022:
        apply(c.BackwardPlay());
        break;
    case 1023:
        apply(c.TogglePause());
        break;
    case 1024:
        apply(c.Stop());
        break;
    case 1025:
        if (!c.sourceOpen() && c.currentIndex() < 0 && !m_list.empty()) {
            // Nothing chosen yet: the first recording is the one that plays, so the sliders
            // and the day view show it from the start.
            apply(c.SelectEntry(0, true));
        }
        apply(c.Play());
        break;
    case 1026:
        apply(c.NextFrame());
        break;
    case 1027:
        apply(c.NextFile());
        break;
    case 1040:
        apply(c.Slower());
        break;
    case 1041:
        apply(c.Faster());
        break;
    case 1225:
        apply(c.VolumeDown());
        break;
    case 1226:
        apply(c.VolumeUp());
        break;
    case 1401:
        apply(c.MarkIn());
        break;
    case 1412:
        apply(c.MarkOut());
        break;
    case 1564:
        apply(c.RestartRecording());
        break;
    case 1790:
        apply(c.BackupMarkedRange());
        break;
    case 1028:
        showMinimized();
        break;
    case 1029:
        if (app::MayClose(m_formatOpen, m_configOpen)) {
            closeWindow();
        }
        break;
    case 1030:
        m_diskDlg->showMode(DiskDlgMode::Backup);
        apply(app::Outcome{{app::UiAction::Refresh}});
        break;
    case 1033:
    case 1050:
        m_diskDlg->showMode(DiskDlgMode::Playback);
        break;
    case 1099:
        takeSnapshot();
        break;
    case 1553:
    case 1554: {
        const app::LayoutChange change =
            app::LayoutButton(m_window, id == 1553 ? app::kLayout4 : app::kLayout8);
        if (change.applied) {
            applyLayout(change.layout);
        }
        break;
    }
    case 1671:
    case 1675:
        showMapCellPage(1671);
        break;
    case 1690:
    case 1693:
        showMapCellPage(1690);
        break;
    case 1673:
    case 1677:
        showMapCellPage(1673);
        break;
    case 1032:
        onMapButton();
        break;
    case 1048:
        onDitMapButton();
        break;
    case 1031:
        openConfiguration();
        break;
    case 1034:
        openFormatTool();
        break;
    case 1035:
        openWifiSettings();
        break;
    default:
        break;
    }
}

// ---- the rules' view operations -------------------------------------------------------------

void CMainDlg::apply(const app::Outcome& outcome) {
    for (app::UiAction a : outcome.actions) {
        applyAction(a);
    }
}

void CMainDlg::applyAction(app::UiAction action) {
    using A = app::UiAction;
    switch (action) {
    case A::Refresh:
        m_mapCell->recordingList()->setFocus();
        updateReadout();
        break;
    case A::UpdateSpeedSlider:
        m_controls.speed->setValue(m_playback->speedSlider());
        m_controls.speed->setToolTip(translated("Speed") + QStringLiteral(" ") +
                                     toQString(m_playback->speedText()));
        updateReadout();
        break;
    case A::UpdatePositionSlider:
        updatePositionSlider();
        break;
    case A::UpdateMarkBar:
        updateMarkBar();
        break;
    case A::UpdateVolumeSliders:
        m_controls.volumeLevel->setPos(m_playback->volumeLevel());
        m_controls.skinnedVolume->setValue(m_playback->skinnedVolume());
        break;
    case A::UpdateBackupRange:
        m_diskDlg->setBackupRange(m_playback->backupRange());
        break;
    case A::SelectListItem:
        m_mapCell->selectRow(m_playback->currentIndex());
        m_diskDlg->selectListIndex(m_playback->currentIndex());
        break;
    case A::SelectCurrentInBackupList:
        m_diskDlg->selectListIndex(m_playback->currentIndex());
        break;
    case A::MoveDayView:
        moveDayView();
        break;
    case A::ClearGSensorHistory:
        m_history.Clear();
        m_controls.graph->update();
        break;
    case A::ResetBackupProgress:
        m_diskDlg->setProgress(0);
        break;
    case A::ResetRoute:
        m_mapView->ResetRoute();
        break;
    case A::ClearMap:
        m_mapView->ClearMap();
        break;
    case A::DockAndHideChannels:
        for (CPanelDlg* p : m_panels) {
            p->dock();
            p->hide();
            p->clearPicture();
        }
        break;
    case A::ShowPlayChannels:
        m_followPlayedHour = true;
        showPlayChannels();
        showMapForPlayback();
        break;
    case A::StartChannelRefresh:
        m_refresh.ArmFirstWait();
        m_refreshTimer.start(m_refresh.delayMs());
        break;
    case A::ReplayLastTrailer:
        onUnitTrailer();
        break;
    case A::BackupMarkedRange:
        backupMarkedRange();
        break;
    case A::LeaveMapMode:
        m_window.mapMode = false;
        m_controls.graph->setMapMode(false);
        placeGrid();
        break;
    case A::HideSourceChooser:
        m_diskDlg->hide();
        break;
    }
}

void CMainDlg::updatePositionSlider() {
    const app::PositionSliderView& v = m_playback->positionSlider();
    CVxSkinSldButton* s = m_controls.position;
    const QString tip = toQString(v.tooltip);
    s->setToolTip(tip);
    if (s->isDragging()) {
        // The thumb follows the pointer; the time under it shows beside it.
        QToolTip::showText(s->mapToGlobal(s->thumbRect().topLeft()), tip, s);
        return;
    }
    s->setRange(0, v.span.maximumValue());
    s->setValue(v.value());
    updateReadout();
}

void CMainDlg::updateReadout() {
    const app::PlaybackControls& c = *m_playback;
    if (!c.sourceOpen() || c.positionSlider().time <= 0) {
        m_controls.readout->setTexts({}, {});
        return;
    }
    QString speed = toQString(c.speedText());
    if (c.paused()) {
        speed = translated("Pause");
    }
    m_controls.readout->setTexts(
        toQString(app::FormatRecorderTime(c.positionSlider().time + m_window.timeOffset)), speed);
}

void CMainDlg::updateMarkBar() {
    const app::MarkBarView& v = m_playback->markBar();
    CVxSkinSldButton2* bar = m_controls.markBar;
    bar->setRange(0, v.span.maximumValue());
    if (bar->draggedMark() < 0) {
        bar->setMarkValue(0, v.value(0));
        bar->setMarkValue(1, v.value(1));
    }
    bar->setVisible(v.visible);
}

void CMainDlg::onSliderMessage(int message, int messageId, int value) {
    const auto id = static_cast<app::SliderId>(messageId);
    const int thumb =
        id == app::SliderId::MarkBar ? std::max(0, m_controls.markBar->draggedMark()) : 0;
    switch (message) {
    case app::kMsgSliderPressed:
        apply(m_playback->OnSliderPressed(id, thumb));
        break;
    case app::kMsgSliderMoved:
        apply(m_playback->OnSliderMoved(id, value, thumb));
        break;
    case app::kMsgSliderReleased:
        apply(m_playback->OnSliderReleased(id, value, thumb));
        QToolTip::hideText();
        break;
    default:
        break;
    }
}

// ---- timers ---------------------------------------------------------------------------------

app::StepButton CMainDlg::heldStepButton() const {
    if (const CVxSkinButton* b = m_controls.button("PrevFrame"); b != nullptr && b->isDown()) {
        return app::StepButton::PrevFrame;
    }
    if (const CVxSkinButton* b = m_controls.button("NextFrame"); b != nullptr && b->isDown()) {
        return app::StepButton::NextFrame;
    }
    return app::StepButton::None;
}

void CMainDlg::runTimer() {
    if (m_refresh.rerunOnTimer() && m_playback->sourceOpen() && !m_refreshTimer.isActive()) {
        runChannelRefresh();
    }
    app::TimerInput input;
    input.heldStepButton = heldStepButton();
    input.backupWriting = backupWriting();
    apply(m_playback->OnTimer(input));
    if (m_playback->stepRepeatRunning() && !m_stepTimer.isActive()) {
        m_stepTimer.start();
    }
    followPlayedTime();
    checkPlayedSource();
}

void CMainDlg::onStepRepeatPoll() {
    apply(m_playback->OnStepRepeatPoll(heldStepButton()));
    if (!m_playback->stepRepeatRunning()) {
        m_stepTimer.stop();
    }
}

void CMainDlg::showPlayChannels() {
    const app::ChannelPlacement placement =
        app::ComputeGrid(m_window.uiMode, m_window.layout, m_window.mapMode);
    for (int i = 0; i < app::kChannelCount; ++i) {
        m_panels[static_cast<std::size_t>(i)]->setVisible(
            placement.inLayout[static_cast<std::size_t>(i)]);
    }
    if (m_mapCellOverlay) {
        m_mapCell->raise();
    }
}

void CMainDlg::runChannelRefresh() {
    const app::VisibilityRefresh r = m_refresh.Run(m_controller->commands(), m_window);
    for (int i = 0; i < app::kChannelCount; ++i) {
        CPanelDlg* p = m_panels[static_cast<std::size_t>(i)];
        switch (r.channels[static_cast<std::size_t>(i)]) {
        case app::ChannelVisibility::Show:
            p->show();
            break;
        case app::ChannelVisibility::Hide:
            if (p->state() == app::PanelState::Docked) {
                p->hide();
            }
            break;
        case app::ChannelVisibility::Keep:
            break;
        }
    }
    if (m_mapCellOverlay) {
        m_mapCell->raise();
    }
}

// ---- unit trailers and gauges ---------------------------------------------------------------

void CMainDlg::onUnitTrailer() {
    app::TrailerContext context;
    context.uiMode = m_window.uiMode;
    context.nowMs = nowMs();
    context.backupWriting = backupWriting();
    const app::TrailerOutcome t =
        app::HandleUnitTrailer(m_controller->commands(), m_history, m_throttle, context);
    if (!t.gotTrailer) {
        return;
    }
    if (t.reportTimeToBackup) {
        if (const std::optional<int> percent =
                m_backup->OnUnitTrailer(t.trailer.unitNo, t.unitTime)) {
            if (m_backup->eachEntryRunning()) {
                m_fileManager->BackupProgress(toQString(m_backup->eachEntryLabel()), *percent);
            } else {
                m_diskDlg->setProgress(*percent);
            }
        }
        return;
    }
    m_mapView->SetUnitTime(t.unitTime);
    if (t.gps) {
        m_mapView->UpdatePosition(t.trailer.gps());
        m_latitude = t.gps->latitude;
        m_longitude = t.gps->longitude;
        m_speedKmh = t.gps->speed;
        m_heading = t.gps->course;
    }
    if (t.repaintGauges) {
        m_controls.graph->update();
        if (t.gps) {
            m_controls.compass->setPosition(m_heading, m_latitude, m_longitude);
        }
        updateSpeedDisplay();
        m_controls.position->update();
        m_controls.markBar->update();
        if (t.gps) {
            m_mapCell->setPositionText(
                toQString(app::LatitudeText(m_latitude) + "\n" + app::LongitudeText(m_longitude) +
                          "\n" + app::SpeedDisplayText(m_speedKmh, m_window.speedUnit)));
        }
    }
}

// ---- backups --------------------------------------------------------------------------------

void CMainDlg::onEndOfStream(qint64 channel) {
    // Only the end of a backup is the window's to act on; playback ends are the engine's.
    if (channel != -1 || !backupWriting()) {
        return;
    }
    const bool wholeCard = m_backup->eachEntryRunning();
    const app::BackupStep step = m_backup->OnExportEnded();
    m_diskDlg->showBackupStep(step);
    if (wholeCard) {
        if (step.started) {
            m_fileManager->BackupProgress(toQString(m_backup->eachEntryLabel()), 0);
        } else if (step.finished) {
            m_fileManager->BackupFinished(step.problem);
        }
        return;
    }
    if (!step.finished) {
        return; // the next recording's AVI export runs
    }
    if (!step.problem.empty()) {
        say(toQString(step.problem));
    } else {
        std::string source = m_chooser->filePath();
        if (source.empty()) {
            source = m_controller->commands().GetPath();
        }
        say(translated("Backup") + QStringLiteral(" \"") + toQString(source) +
                QStringLiteral("\" to \"") + m_diskDlg->backupFolder() + QStringLiteral("\" ") +
                translated("Completed!"),
            false);
    }
    m_diskDlg->setProgress(0);
}

void CMainDlg::backupMarkedRange() {
    if (m_backup == nullptr || m_backup->writing()) {
        return;
    }
    if (!m_diskDlg->isVisible() || m_diskDlg->mode() != DiskDlgMode::Backup) {
        m_diskDlg->showMode(DiskDlgMode::Backup);
    }
    m_backup->SelectOnly(m_playback->currentIndex());
    const app::BackupRange& range = m_playback->backupRange();
    if (range.end > range.start) {
        m_backup->SetPickers(range.start, range.end);
    }
    m_diskDlg->reloadFromChooser();
    m_diskDlg->pressBackup();
}

void CMainDlg::ShowFilePad() {
    m_filePad->show();
    m_filePad->raise();
}

void CMainDlg::ShowFileManager() {
    m_fileManager->show();
    m_fileManager->raise();
}

bool CMainDlg::PlayBackupFileEntry(const std::string& path, std::int64_t start) {
    if (backupWriting()) {
        return false;
    }
    if (!m_chooser->OpenBackupFile(path)) {
        say(toQString(path) + translated(" is not a raw backup file (*.sd)"));
        return false;
    }
    SourceChanged();
    m_diskDlg->reloadFromChooser();
    for (int i = 0; i < m_list.size(); ++i) {
        if (m_list.at(i).start == start) {
            return PlayListIndex(i);
        }
    }
    if (!m_chooser->lastProblem().empty()) {
        say(toQString(m_chooser->lastProblem()));
    }
    return false;
}

std::vector<cardtools::DeviceEntry> CMainDlg::RemovableDevices() {
    RescanDrives();
    return m_detection->RemovableList();
}

std::vector<cardtools::DeviceEntry> CMainDlg::OtherDevices() {
    return m_detection->OtherList();
}

bool CMainDlg::OpenCardForBackup(const cardtools::DeviceEntry& device, bool removable) {
    if (backupWriting()) {
        return false;
    }
    if (removable) {
        (void)m_chooser->ChooseRemovableDevice(device.text);
    } else {
        (void)m_chooser->ChooseOtherDevice(device);
    }
    SourceChanged();
    m_diskDlg->reloadFromChooser();
    return !m_list.empty();
}

std::vector<std::uint8_t> CMainDlg::CardPlate() {
    const auto& plate = m_detection->Sector().plate;
    return {plate.begin(), plate.end()};
}

bool CMainDlg::StartWholeCardBackup(const std::string& prefix, std::string& problem) {
    if (m_backup == nullptr) {
        problem = "this player cannot back up";
        return false;
    }
    const app::BackupStep step = m_backup->StartEachEntry(prefix);
    if (step.started) {
        BackupStarted();
        m_fileManager->BackupProgress(toQString(m_backup->eachEntryLabel()), 0);
        return true;
    }
    problem = step.message;
    return false;
}

bool CMainDlg::AskOkCancel(const QString& question) {
    return m_messages->askYesNo(question);
}

void CMainDlg::BackupStarted() {
    apply(app::Outcome{{app::UiAction::Refresh}});
}

void CMainDlg::ShowInformation(const QString& text) {
    say(text, false);
}

void CMainDlg::updateSpeedDisplay() {
    m_controls.speedDisplay->setText(
        toQString(app::SpeedDisplayText(m_speedKmh, m_window.speedUnit)));
    updateUnitBadge();
}

void CMainDlg::updateUnitBadge() {
    m_controls.unitBadge->setPixmap(
        SkinSet::current().pixmap(app::UnitBadgeBitmap(m_window.speedUnit, m_window.uiMode)));
}

void CMainDlg::onVideoSize(int channel) {
    CPanelDlg* p = panel(channel);
    if (p == nullptr) {
        return;
    }
    app::PlayerCommands& player = m_controller->commands();
    p->setVideoSize(QSize(static_cast<int>(player.GetVideoWidth(channel)),
                          static_cast<int>(player.GetVideoHeight(channel))));
}

void CMainDlg::takeSnapshot() {
    app::Outcome paused;
    const app::SnapshotPause pause = m_playback->BeginSnapshot(paused);
    apply(paused);
    bool saved = false;
    QString folder;
    if (!m_panels[0]->isHidden()) {
        folder = QString::fromStdString(
            m_settings.ReadConfigString("SnapshotPath", m_settings.writableFolder() + "Snapshot/"));
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        const app::SnapshotTexts texts = app::MakeSnapshotTexts(
            folder.toStdString(), local, m_latitude, m_longitude, m_speedKmh);
        saved = m_controller->snapshot(texts);
        if (!saved) {
            say(translated("Cannot Create Directory: ") + folder);
        }
    }
    apply(m_playback->EndSnapshot(pause));
    if (saved) {
        if (m_options.openFolder) {
            m_options.openFolder(folder);
        } else {
            QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
        }
    }
}

// ---- day view -------------------------------------------------------------------------------

void CMainDlg::moveDayView() {
    const std::optional<app::CalendarDate> day = m_playback->dayShown();
    if (!day) {
        return;
    }
    m_dayView.ShowDay(*day, m_list, m_window.timeOffset);
    m_controls.calendar->showDate(*day);
    updateStrips();
}

void CMainDlg::followPlayedTime() {
    const std::int64_t t = m_playback->positionSlider().time;
    const bool playing = m_playback->sourceOpen() && t > 0;
    const app::WallClock at = app::ToWallClock(t + m_window.timeOffset);
    const bool sameDay = playing && m_dayView.viewedDate() == at.date;
    if (sameDay && m_followPlayedHour && at.hour != m_dayView.selectedHour()) {
        (void)m_dayView.OnHourClicked(at.hour < 12 ? app::Strip::A : app::Strip::B, at.hour % 12);
    }
    const bool hourShown = sameDay && at.hour == m_dayView.selectedHour();
    auto& s = m_controls.strips;
    s[0]->setPlayheadCell(sameDay && at.hour < 12 ? at.hour : -1);
    s[1]->setPlayheadCell(sameDay && at.hour >= 12 ? at.hour - 12 : -1);
    s[2]->setPlayheadCell(hourShown && at.minute < 30 ? at.minute : -1);
    s[3]->setPlayheadCell(hourShown && at.minute >= 30 ? at.minute - 30 : -1);
    updateStrips();
}

void CMainDlg::updateStrips() {
    const int hour = m_dayView.selectedHour();
    const int minute = hour >= 0 ? m_dayView.selectedMinute() : -1;
    auto& s = m_controls.strips;
    s[0]->setSelectedCell(hour >= 0 && hour < 12 ? hour : -1);
    s[1]->setSelectedCell(hour >= 12 ? hour - 12 : -1);
    s[2]->setSelectedCell(minute >= 0 && minute < 30 ? minute : -1);
    s[3]->setSelectedCell(minute >= 30 ? minute - 30 : -1);
    for (DayStrip* strip : s) {
        strip->update();
    }
}

void CMainDlg::onHourClicked(app::Strip strip, int cell) {
    m_followPlayedHour = false;
    (void)m_dayView.OnHourClicked(strip, cell);
    updateStrips();
}

void CMainDlg::onMinuteClicked(app::Strip strip, int cell) {
    const std::optional<std::int64_t> seconds =
        m_dayView.OnMinuteClicked(strip, cell, m_window.timeOffset);
    updateStrips();
    if (seconds) {
        apply(m_playback->DayViewSeek(*seconds));
    }
}

} // namespace tavero::ui
