// CMainDlg, part four: the card dialogs - the configuration page, the format tool and the Wi-Fi
// settings. Each refuses a card whose users' check was not passed: the check runs on the sector
// read from the card the dialog is about to act on, not on what the window remembers of it.
#include "app/main_window_rules.h"
#include "app/recorder_clock.h"
#include "recorderconfig/card_users.h"
#include "recorderconfig/config_sector.h"
#include "ui/dialogs/config_dlg.h"
#include "ui/dialogs/format_dlg.h"
#include "ui/dialogs/wifi_config_dlg.h"
#include "ui/main/main_dlg.h"
#include "ui/map/map_dlg.h"

#include <QDesktopServices>
#include <QTimer>
#include <QUrl>

namespace tavero::ui {
namespace {

namespace rc = recorderconfig;

// Sets a flag for the time of one modal run.
class FlagWhile {
public:
    explicit FlagWhile(bool& flag) : m_flag(flag) { m_flag = true; }
    ~FlagWhile() { m_flag = false; }
    FlagWhile(const FlagWhile&) = delete;
    FlagWhile& operator=(const FlagWhile&) = delete;

private:
    bool& m_flag;
};

} // namespace

std::vector<cardtools::DeviceEntry> CMainDlg::RefreshCardList() {
    RescanDrives();
    return m_detection->RemovableList();
}

ConfigDlgHost::CardChoice CMainDlg::OpenCardForConfiguration(const std::string& deviceText) {
    (void)m_chooser->ChooseRemovableDevice(deviceText);
    SourceChanged();
    CardChoice choice;
    const int drive = m_detection->CurrentDrive();
    if (drive == -1) {
        return choice;
    }
    // A card whose user was refused stays closed; the page does not open on it either.
    rc::ConfigSector fresh;
    if (rc::ReadConfigSector(drive, fresh) && !m_detection->IsUnlocked(fresh)) {
        return choice;
    }
    choice.drive = drive;
    choice.cardRoot = m_detection->SelectedDevice();
    return choice;
}

void CMainDlg::hideForCardDialog() {
    m_diskDlg->hide();
    m_mapView->hide();
    updateTabs();
}

void CMainDlg::openConfiguration() {
    if (m_configOpen || m_cardDialog) {
        return;
    }
    const int drive = m_detection->CurrentDrive();
    if (drive != -1) {
        rc::ConfigSector fresh;
        if (rc::ReadConfigSector(drive, fresh) && !m_detection->CheckUsers(fresh)) {
            return;
        }
    }
    const FlagWhile open(m_configOpen);
    hideForCardDialog();
    rc::ConfigSector image =
        app::SectorForConfiguration(m_detection->Sector(), m_window.timeOffset, drive != -1,
                                    m_chooser->kind() == cardtools::BackupSourceKind::BackupFile);
    std::int32_t offset = static_cast<std::int32_t>(m_window.timeOffset);

    CConfigDlg::Setup setup;
    setup.context.drive = drive;
    setup.context.cardRoot = drive == -1 ? std::string() : m_detection->SelectedDevice();
    setup.context.sector = &image;
    setup.context.timeOffset = &offset;
    setup.context.frontTable = m_cameraTables[0];
    setup.context.rearTable = m_cameraTables[1];
    setup.context.localOffsetSeconds = rc::LocalStandardOffsetSeconds();
    setup.cardText = setup.context.cardRoot;
    setup.openFolder = m_options.openFolder ? m_options.openFolder : [](const QString& folder) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    };
    CConfigDlg dialog(this, m_settings, std::move(setup), *this, *m_messages,
                      [this](std::string_view t) { return m_settings.Translate(t); });
    m_cardDialog = &dialog;
    const int result = dialog.exec();
    m_cardDialog = nullptr;
    if (result != QDialog::Accepted) {
        return;
    }
    // The units are this program's own setting.
    m_window.speedUnit = image.speedUnit;
    m_settings.WriteConfigInt("SetEDR_Speed", static_cast<std::int32_t>(image.speedUnit));
    updateUnitBadge();
    // Another card may have become the window's own while the page was open (one arriving
    // plays by itself); the saved sector is only the image of the card it was written to.
    if (!dialog.page().cardMode() || !dialog.saveOutcome().sectorWritten ||
        dialog.drive() != m_detection->CurrentDrive()) {
        return;
    }
    // The card now holds the saved sector; recording times follow its zone.
    m_detection->ConfigurationSaved(image);
    m_window.timeOffset = app::ComputeTimeOffset(image, app::StandardOffsetSeconds());
    if (!m_list.empty()) {
        (void)m_chooser->FillList();
        m_diskDlg->reloadFromChooser();
        m_listGeneration = ~std::uint64_t{0}; // the rows' times change with the offset
        syncList();
    }
}

void CMainDlg::openFormatTool() {
    if (m_formatOpen || m_cardDialog) {
        return;
    }
    const FlagWhile open(m_formatOpen);
    hideForCardDialog();
    CFormatDlg::Setup setup;
    setup.sourceKind = m_chooser->kind();
    // The tool checks the users of the card it is about to write itself, on the sector it reads
    // from that card.
    CFormatDlg dialog(
        this, m_settings, m_scanner, *m_prompts, *m_messages,
        [this](std::string_view t) { return m_settings.Translate(t); }, setup);
    m_cardDialog = &dialog;
    (void)dialog.exec();
    m_cardDialog = nullptr;
    RescanDrives();
}

void CMainDlg::openWifiSettings() {
    if (m_cardDialog) {
        return;
    }
    WifiDlgHost host;
    host.listDrives = [this] {
        std::vector<cardtools::DeviceEntry> drives;
        (void)m_scanner.ScanDrivesForSettings(drives);
        return drives;
    };
    host.mayUseCard = [this](const std::string& driveText) {
        const int drive = m_scanner.DriveNumberOfDeviceText(driveText);
        rc::ConfigSector fresh;
        // A card whose sector cannot be read names no users.
        return drive < 0 || !rc::ReadConfigSector(drive, fresh) || m_detection->CheckUsers(fresh);
    };
    CWiFiConfigDlg dialog(this, std::move(host), *m_messages,
                          [this](std::string_view t) { return m_settings.Translate(t); });
    m_cardDialog = &dialog;
    (void)dialog.exec();
    m_cardDialog = nullptr;
}

void CMainDlg::cardDialogsOnDeviceEvents() {
    // The Wi-Fi dialog's list follows arriving cards once they had a moment to settle.
    if (auto* wifi = qobject_cast<CWiFiConfigDlg*>(m_cardDialog.data())) {
        QTimer::singleShot(100, wifi, &CWiFiConfigDlg::refreshDrives);
    }
}

} // namespace tavero::ui
