// CWiFiConfigDlg ("Wi-Fi-Config"): the recorder's Wi-Fi settings file on a card the person picks
// from the list of removable drives ("car_set/wifi_cfg.txt" under the drive's mount point). The
// file's format and rules are recorderconfig::wifi_config's; the dialog holds the fields.
// Independent of the card the main window has open.
//
// Thread: UI thread only; the dialog is modal.
#pragma once

#include "cardtools/drive_scan.h"
#include "recorderconfig/wifi_config.h"
#include "ui/dialogs/config_dlg.h"
#include "ui/dialogs/user_messages.h"

#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tavero::ui {

struct WifiDlgHost {
    // The drives that may hold a recorder card (removable, or fixed ones attached by USB).
    std::function<std::vector<cardtools::DeviceEntry>()> listDrives;
    // The card users' check for the card in that drive; false when the person did not pass it.
    std::function<bool(const std::string& driveText)> mayUseCard;
};

class CWiFiConfigDlg : public QDialog {
    Q_OBJECT

public:
    CWiFiConfigDlg(QWidget* parent, WifiDlgHost host, UserMessages& messages, Translator translate);
    ~CWiFiConfigDlg() override;

    // The drive list afresh (a card arrived); the chosen drive stays chosen while it is there.
    void refreshDrives() { fillDrives(); }
    // The list entry `index` chosen: the card's file is read into the fields.
    void chooseDrive(int index);
    // "Apply": false when nothing was written (the person was told why).
    bool apply();
    // "OK": writes, and closes only when that worked.
    void accept() override;

    [[nodiscard]] std::string driveRoot() const { return m_root; }
    [[nodiscard]] RefreshingComboBox* driveList() const { return m_drives; }
    [[nodiscard]] QLineEdit* serverEdit() const { return m_server; }
    [[nodiscard]] QLineEdit* ssidEdit() const { return m_ssid; }
    [[nodiscard]] QLineEdit* passwordEdit() const { return m_password; }
    [[nodiscard]] QRadioButton* authButton(recorderconfig::WifiAuth auth) const;
    [[nodiscard]] QRadioButton* encryptButton(recorderconfig::WifiEncrypt encrypt) const;
    [[nodiscard]] QCheckBox* staticIpTick() const { return m_staticIp; }
    [[nodiscard]] QLineEdit* ipEdit() const { return m_ip; }
    [[nodiscard]] QLineEdit* maskEdit() const { return m_mask; }
    [[nodiscard]] QLineEdit* gatewayEdit() const { return m_gateway; }
    [[nodiscard]] QLineEdit* dnsEdit() const { return m_dns; }
    [[nodiscard]] QPushButton* applyButton() const { return m_apply; }
    [[nodiscard]] QPushButton* okButton() const { return m_ok; }
    [[nodiscard]] QPushButton* cancelButton() const { return m_cancel; }

private:
    class Sink;

    void build();
    void fillDrives();
    void enableControls();
    [[nodiscard]] recorderconfig::WifiSettings fields() const;
    void showFields(const recorderconfig::WifiSettings& settings);
    [[nodiscard]] QString tr(std::string_view english) const;

    WifiDlgHost m_host;
    UserMessages& m_messages;
    Translator m_translate;
    std::unique_ptr<Sink> m_sink;
    std::string m_root; // the chosen drive's mount point; empty until one is chosen
    bool m_staticIpOn = false;

    RefreshingComboBox* m_drives = nullptr;
    QLineEdit* m_server = nullptr;
    QLineEdit* m_ssid = nullptr;
    QLineEdit* m_password = nullptr;
    QRadioButton* m_open = nullptr;
    QRadioButton* m_wpa = nullptr;
    QRadioButton* m_wpa2 = nullptr;
    QRadioButton* m_tkip = nullptr;
    QRadioButton* m_aes = nullptr;
    QCheckBox* m_staticIp = nullptr;
    QLineEdit* m_ip = nullptr;
    QLineEdit* m_mask = nullptr;
    QLineEdit* m_gateway = nullptr;
    QLineEdit* m_dns = nullptr;
    QPushButton* m_apply = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

} // namespace tavero::ui
