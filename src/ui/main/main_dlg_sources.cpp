// CMainDlg, part three: sources and cards - the command line, the source chooser's host, device
// events from the device manager and the mount table, a played source that went away, drops,
// the password check before a card plays, and the older recorders' player.
#include "app/main_window_rules.h"
#include "app/recorder_clock.h"
#include "platform/udev_monitor.h"
#include "recorderconfig/card_users.h"
#include "ui/main/day_view.h"
#include "ui/main/main_dlg.h"
#include "ui/main/map_cell_panel.h"

#include <QFileInfo>
#include <QProcess>
#include <QSocketNotifier>

namespace tavero::ui {

void CMainDlg::startDeviceWatch() {
    m_udev = std::make_unique<platform::UdevMonitor>();
    if (m_udev->open() && m_udev->fd() >= 0) {
        m_udevNotifier = new QSocketNotifier(m_udev->fd(), QSocketNotifier::Read, this);
        connect(m_udevNotifier, &QSocketNotifier::activated, this,
                [this] { onDeviceEvents(*m_udev); });
    } else {
        m_udev.reset(); // no device manager here (a container): the mount table still tells
    }
    // A card's partition is mounted by the desktop after it arrived; the mount table says when.
    m_mounts = std::make_unique<platform::MountTableWatcher>();
    if (m_mounts->open(m_options.roots.mountInfo) && m_mounts->fd() >= 0) {
        m_mountNotifier = new QSocketNotifier(m_mounts->fd(), QSocketNotifier::Exception, this);
        connect(m_mountNotifier, &QSocketNotifier::activated, this,
                [this] { onDeviceEvents(*m_mounts); });
    } else {
        m_mounts.reset();
    }
}

void CMainDlg::onDeviceEvents(platform::DeviceEventSource& source) {
    cardtools::PumpDeviceEvents(source, *m_detection);
    if (m_diskDlg != nullptr) {
        m_diskDlg->setDeviceLists(m_detection->RemovableList(), m_detection->OtherList());
    }
    syncList();
    checkPlayedSource();
    cardDialogsOnDeviceEvents();
}

void CMainDlg::runCommandLine() {
    for (const app::StartupCommand& command : app::ParseCommandLine(m_options.arguments)) {
        if (command.kind == app::StartupCommand::Kind::OpenSource) {
            // What went wrong, when something did, is the chooser's problem text; a card
            // whose user was refused stays closed without more words.
            (void)m_chooser->OpenSourcePath(command.path);
            SourceChanged();
        } else {
            (void)m_detection->OnDeviceChange(cardtools::kDeviceArrival, true);
            m_diskDlg->setDeviceLists(m_detection->RemovableList(), m_detection->OtherList());
            syncList();
        }
    }
    if (!m_playback->sourceOpen()) {
        // No recording plays: nothing is selected in the chooser. The file a "-f" opened stays
        // its source (and the folder "Browse..." starts in).
        if (m_chooser->sourcePath().empty()) {
            m_chooser->ResetSelection();
        }
        m_diskDlg->reloadFromChooser();
        m_diskDlg->selectListIndex(-1);
    }
}

void CMainDlg::syncList() {
    if (m_list.generation() == m_listGeneration) {
        return;
    }
    m_listGeneration = m_list.generation();
    std::vector<app::MainListRow> rows;
    rows.reserve(static_cast<std::size_t>(m_list.size()));
    for (const store::RecordingEntry& e : m_list.entries()) {
        rows.push_back(app::MainListRowTexts(e, m_window.timeOffset));
    }
    m_mapCell->setRows(rows);
    m_mapCell->selectRow(m_playback->currentIndex());
    const app::CalendarDate shown = DayCalendar::fromQDate(m_controls.calendar->selectedDate());
    app::CalendarDate day = shown;
    const bool newSource = !m_list.empty() && !m_playback->sourceOpen();
    if (newSource) {
        // A new source: the calendar turns to the day of its first recording.
        day = app::DateOf(m_list.at(0).start + m_window.timeOffset);
    }
    m_dayView.RefreshMarks(m_list, m_window.timeOffset, day);
    m_controls.calendar->setBoldDays(m_dayView.boldDays());
    m_dayView.ShowDay(day, m_list, m_window.timeOffset);
    if (newSource) {
        // ... and the minute strips to the hour it starts in.
        const int hour = app::ToWallClock(m_list.at(0).start + m_window.timeOffset).hour;
        (void)m_dayView.OnHourClicked(hour < 12 ? app::Strip::A : app::Strip::B, hour % 12);
        m_followPlayedHour = true;
    }
    m_controls.calendar->showDate(day);
    updateStrips();
    m_diskDlg->reloadFromChooser();
    // The speed unit may have come from the opened card's configuration.
    updateUnitBadge();
}

void CMainDlg::SourceChanged() {
    syncList();
    if (!m_chooser->lastProblem().empty()) {
        say(toQString(m_chooser->lastProblem()));
    }
}

void CMainDlg::RescanDrives() {
    (void)m_detection->ScanDrives();
    m_diskDlg->setDeviceLists(m_detection->RemovableList(), m_detection->OtherList());
}

void CMainDlg::ShowProblem(const QString& text) {
    say(text);
}

bool CMainDlg::PlayListIndex(int index) {
    apply(m_playback->PlayIndex(index));
    return m_playback->sourceOpen();
}

bool CMainDlg::TakeEntry(store::IndexRecord* entry) {
    // Nothing plays while the backup dialog copies: the engine's control is the backup's.
    return entry != nullptr && !backupWriting();
}

bool CMainDlg::CheckPassword() {
    return recorderconfig::CheckCardPassword(m_detection->Sector(), *m_prompts);
}

void CMainDlg::checkPlayedSource() {
    const app::RemovalDecision d = m_bridge->CheckPlayedSource();
    if (d.stopPlayback) {
        syncList();
        say(toQString(d.message));
    }
}

void CMainDlg::openDroppedFiles(const std::vector<std::string>& paths) {
    const app::DropResult r = m_chooser->OnFilesDropped(paths);
    syncList();
    if (r.showChooser) {
        m_diskDlg->reloadFromChooser();
        if (!m_diskDlg->isVisible()) {
            m_diskDlg->showMode(DiskDlgMode::Playback);
        }
    }
    if (!r.message.empty()) {
        say(toQString(r.message));
    }
}

void CMainDlg::launchOldPlayer() {
    // The older recorder generation's player, when it was installed beside this one.
    const QString program =
        QString::fromStdString(m_settings.programFolder()) + QStringLiteral("oldQ7N/Tavero1");
    const QFileInfo info(program);
    if (!info.isFile() || !info.isExecutable()) {
        return;
    }
    if (QProcess::startDetached(program, {})) {
        closeWindow();
    }
}

} // namespace tavero::ui
