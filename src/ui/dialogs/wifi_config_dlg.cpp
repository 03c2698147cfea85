#include "ui/dialogs/wifi_config_dlg.h"

#include "ui/dialogs/dialog_units.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace tavero::ui {
namespace {

namespace rc = recorderconfig;

// The file is 8-bit text in the system's code page.
std::string Local8(const QLineEdit* edit) {
    return edit->text().toLocal8Bit().toStdString();
}

QString FromLocal8(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

class CWiFiConfigDlg::Sink final : public rc::MessageSink {
public:
    Sink(UserMessages& messages, const Translator& translate)
        : m_messages(messages), m_translate(translate) {}
    void ShowMessage(std::string_view englishText) override {
        m_messages.show(toQString(m_translate(englishText)), true);
    }

private:
    UserMessages& m_messages;
    const Translator& m_translate;
};

CWiFiConfigDlg::CWiFiConfigDlg(QWidget* parent, WifiDlgHost host, UserMessages& messages,
                               Translator translate)
    : QDialog(parent), m_host(std::move(host)), m_messages(messages),
      m_translate(std::move(translate)) {
    m_sink = std::make_unique<Sink>(m_messages, m_translate);
    setModal(true);
    UseDialogFont(this);
    setWindowTitle(tr("Wi-Fi-Config"));
    setFixedSize(Du(0, 0, 235, 291).size());
    build();
    fillDrives();
    m_open->setChecked(true);
    m_tkip->setChecked(true);
    enableControls();
}

CWiFiConfigDlg::~CWiFiConfigDlg() = default;

QString CWiFiConfigDlg::tr(std::string_view english) const {
    return toQString(m_translate(english));
}

QRadioButton* CWiFiConfigDlg::authButton(rc::WifiAuth auth) const {
    switch (auth) {
    case rc::WifiAuth::Open:
        return m_open;
    case rc::WifiAuth::WpaPsk:
        return m_wpa;
    case rc::WifiAuth::Wpa2Psk:
        return m_wpa2;
    case rc::WifiAuth::None:
        break;
    }
    return nullptr;
}

QRadioButton* CWiFiConfigDlg::encryptButton(rc::WifiEncrypt encrypt) const {
    switch (encrypt) {
    case rc::WifiEncrypt::Tkip:
        return m_tkip;
    case rc::WifiEncrypt::Aes:
        return m_aes;
    case rc::WifiEncrypt::None:
        break;
    }
    return nullptr;
}

void CWiFiConfigDlg::build() {
    const auto label = [this](std::string_view text, int x, int y, int w) {
        return Place(new QLabel(tr(text), this), x, y, w, 10);
    };
    const auto edit = [this](int y) { return Place(new QLineEdit(this), 80, y, 140, 14); };

    Place(new QGroupBox(tr("Removeable Storage"), this), 7, 4, 221, 40);
    label("Select Disk", 14, 22, 56);
    m_drives = Place(new RefreshingComboBox(this), 70, 20, 150, 14);
    m_drives->beforePopup = [this] { fillDrives(); };
    connect(m_drives, &QComboBox::activated, this, &CWiFiConfigDlg::chooseDrive);

    Place(new QGroupBox(tr("Wi-Fi Config"), this), 7, 48, 221, 212);
    label("Server Address", 14, 62, 64);
    m_server = edit(60);
    label("SSID", 14, 80, 64);
    m_ssid = edit(78);
    label("Password", 14, 98, 64);
    m_password = edit(96);
    label("(Min. 8 Digits)", 80, 112, 140);

    Place(new QGroupBox(tr("AuthMode"), this), 14, 124, 100, 50);
    m_open = Place(new QRadioButton(tr("OPEN"), this), 20, 136, 90, 10);
    m_wpa = Place(new QRadioButton(tr("WPAPSK"), this), 20, 148, 90, 10);
    m_wpa2 = Place(new QRadioButton(tr("WPA2PSK"), this), 20, 160, 90, 10);
    Place(new QGroupBox(tr("Encrypt"), this), 120, 124, 100, 50);
    m_tkip = Place(new QRadioButton(tr("TKIP"), this), 126, 136, 90, 10);
    m_aes = Place(new QRadioButton(tr("AES"), this), 126, 148, 90, 10);
    auto* auth = new QButtonGroup(this);
    for (QRadioButton* b : {m_open, m_wpa, m_wpa2}) {
        auth->addButton(b);
    }
    auto* cipher = new QButtonGroup(this);
    for (QRadioButton* b : {m_tkip, m_aes}) {
        cipher->addButton(b);
    }

    m_staticIp = Place(new QCheckBox(tr("Static IP"), this), 14, 180, 100, 10);
    connect(m_staticIp, &QCheckBox::clicked, this, [this] {
        m_staticIpOn = !m_staticIpOn;
        enableControls();
    });
    label("IP", 14, 194, 64);
    m_ip = edit(192);
    label("Subnet Mask", 14, 210, 64);
    m_mask = edit(208);
    label("Gateway", 14, 226, 64);
    m_gateway = edit(224);
    label("DNS", 14, 242, 64);
    m_dns = edit(240);

    m_apply = Place(new QPushButton(tr("Apply"), this), 20, 268, 60, 14);
    m_ok = Place(new QPushButton(tr("OK"), this), 88, 268, 60, 14);
    m_cancel = Place(new QPushButton(tr("cancel"), this), 156, 268, 60, 14);
    connect(m_apply, &QPushButton::clicked, this, [this] { (void)apply(); });
    connect(m_ok, &QPushButton::clicked, this, &CWiFiConfigDlg::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CWiFiConfigDlg::fillDrives() {
    const QString chosen = m_drives->currentText();
    m_drives->clear();
    for (const cardtools::DeviceEntry& e : m_host.listDrives()) {
        m_drives->addItem(toQString(e.text));
    }
    m_drives->setCurrentIndex(m_root.empty() ? -1 : m_drives->findText(chosen));
}

void CWiFiConfigDlg::enableControls() {
    const bool chosen = !m_root.empty();
    m_ok->setEnabled(chosen);
    m_apply->setEnabled(chosen);
    for (QLineEdit* e : {m_ip, m_mask, m_gateway, m_dns}) {
        e->setEnabled(m_staticIpOn);
    }
}

void CWiFiConfigDlg::chooseDrive(int index) {
    const std::string text = m_drives->itemText(index).toStdString();
    m_root.clear();
    if (!text.empty() && m_host.mayUseCard && !m_host.mayUseCard(text)) {
        m_drives->setCurrentIndex(-1); // a card whose user was refused is not touched
        enableControls();
        return;
    }
    m_root = text;
    if (!m_root.empty()) {
        rc::WifiSettings settings = fields();
        (void)rc::ReadWifiConfig(m_root, settings);
        showFields(settings);
    }
    enableControls();
}

rc::WifiSettings CWiFiConfigDlg::fields() const {
    rc::WifiSettings s;
    s.server = Local8(m_server);
    s.ssid = Local8(m_ssid);
    s.password = Local8(m_password);
    s.auth = m_open->isChecked()   ? rc::WifiAuth::Open
             : m_wpa->isChecked()  ? rc::WifiAuth::WpaPsk
             : m_wpa2->isChecked() ? rc::WifiAuth::Wpa2Psk
                                   : rc::WifiAuth::None;
    s.encrypt = m_tkip->isChecked()  ? rc::WifiEncrypt::Tkip
                : m_aes->isChecked() ? rc::WifiEncrypt::Aes
                                     : rc::WifiEncrypt::None;
    s.staticIp = m_staticIpOn;
    s.ip = Local8(m_ip);
    s.subnetMask = Local8(m_mask);
    s.gateway = Local8(m_gateway);
    s.dns = Local8(m_dns);
    return s;
}

void CWiFiConfigDlg::showFields(const rc::WifiSettings& s) {
    m_server->setText(FromLocal8(s.server));
    m_ssid->setText(FromLocal8(s.ssid));
    m_password->setText(FromLocal8(s.password));
    if (QRadioButton* b = authButton(s.auth)) {
        b->setChecked(true);
    }
    if (QRadioButton* b = encryptButton(s.encrypt)) {
        b->setChecked(true);
    }
}

bool CWiFiConfigDlg::apply() {
    if (m_root.empty()) {
        return false;
    }
    return rc::WriteWifiConfig(m_root, fields(), *m_sink);
}

void CWiFiConfigDlg::accept() {
    if (apply()) {
        QDialog::accept();
    }
}

} // namespace tavero::ui
