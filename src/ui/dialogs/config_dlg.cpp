#include "ui/dialogs/config_dlg.h"

#include "app/copy_player.h"
#include "recorderconfig/page_lists.h"
#include "ui/dialogs/dialog_units.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <algorithm>

namespace tavero::ui {
namespace {

namespace rc = recorderconfig;

// The edits' text as the recorder stores it: 8-bit bytes. Characters outside ASCII become bytes
// of 0x80 or more, which the page's rules cut away or refuse.
std::string Bytes(const QString& text) {
    return text.toUtf8().toStdString();
}

rc::ClockFields FieldsOf(const QDateTime& t) {
    return {t.date().year(), t.date().month(),  t.date().day(),
            t.time().hour(), t.time().minute(), t.time().second()};
}

} // namespace

void RefreshingComboBox::showPopup() {
    if (beforePopup) {
        beforePopup();
    }
    QComboBox::showPopup();
}

// The page's messages as message boxes, translated.
class CConfigDlg::Sink final : public rc::MessageSink {
public:
    Sink(UserMessages& messages, const Translator& translate)
        : m_messages(messages), m_translate(translate) {}
    void ShowMessage(std::string_view englishText) override {
        m_messages.show(toQString(m_translate(englishText)), englishText != rc::kMsgUiModeChanged);
    }

private:
    UserMessages& m_messages;
    const Translator& m_translate;
};

CConfigDlg::CConfigDlg(QWidget* parent, app::AppSettings& settings, Setup setup,
                       ConfigDlgHost& host, UserMessages& messages, Translator translate)
    : QDialog(parent), m_settings(settings), m_pageSettings(settings),
      m_openFolder(std::move(setup.openFolder)), m_host(host), m_messages(messages),
      m_translate(std::move(translate)), m_cardText(std::move(setup.cardText)),
      m_cardRoot(setup.context.cardRoot), m_drive(setup.context.drive) {
    m_sink = std::make_unique<Sink>(m_messages, m_translate);
    m_page = std::make_unique<rc::CConfigPage>(std::move(setup.context), m_pageSettings, *m_sink);
    setModal(true);
    UseDialogFont(this);
    setFixedSize(Du(0, 0, 560, 255).size());
    build();
    connectControls();
    m_page->Open();
    fillCardList();
    showPage();
}

CConfigDlg::~CConfigDlg() = default;

QString CConfigDlg::tr(std::string_view english) const {
    return toQString(m_translate(english));
}

QRadioButton* CConfigDlg::speedUnit(int unit) const {
    return unit == 0 ? m_kmh : unit == 1 ? m_mph : m_knot;
}

void CConfigDlg::build() {
    const auto label = [this](std::string_view text, int x, int y, int w) {
        return Place(new QLabel(tr(text), this), x, y, w, 10);
    };
    const auto combo = [this](int x, int y, int w) {
        auto* c = new QComboBox(this);
        Place(c, x, y, w, 14);
        return c;
    };

    m_card = new RefreshingComboBox(this);
    Place(m_card, 7, 7, 66, 14);
    auto* picture = Place(new QLabel(this), 7, 24, 66, 189);
    picture->setFrameShape(QFrame::StyledPanel);
    for (int x : {215, 385}) {
        auto* rule = Place(new QFrame(this), x, 7, 1, 240);
        rule->setFrameShape(QFrame::VLine);
    }

    label("Video Format", 80, 10, 120);
    m_format = combo(110, 22, 90);
    label("Video Quality", 80, 43, 120);
    m_quality = combo(110, 55, 90);
    label("Video Frame Rate", 80, 76, 120);
    m_frontRate = combo(110, 88, 90);

    label("Car Information", 80, 109, 120);
    m_plateTick = Place(new QCheckBox(this), 80, 123, 40, 10);
    m_plate = Place(new QLineEdit(this), 120, 121, 60, 14);
    m_plateCounter = Place(new QLabel(this), 186, 121, 28, 14);
    m_province = combo(120, 137, 60); // plates of the Chinese interface start with a province
    label("UIMode", 80, 171, 58);
    m_uiMode = combo(140, 169, 55);

    label("Password", 229, 7, 120);
    for (int user = 1; user <= 2; ++user) {
        const int top = user == 1 ? 18 : 62;
        Place(new QGroupBox(tr(user == 1 ? "User1" : "User2"), this), 222, top, 150, 42);
        label("UserName", 229, top + 13, 40);
        label("Password", 229, top + 29, 40);
        auto* name = Place(new QLineEdit(this), 269, top + 11, 90, 14);
        auto* password = Place(new QLineEdit(this), 269, top + 27, 90, 14);
        for (QLineEdit* e : {name, password}) {
            e->setMaxLength(static_cast<int>(rc::kUserTextMax));
        }
        password->setEchoMode(QLineEdit::Password);
        (user == 1 ? m_user1 : m_user2) = name;
        (user == 1 ? m_password1 : m_password2) = password;
    }

    label("Time Zone", 220, 118, 150);
    m_zone = combo(220, 130, 153);
    m_timeSetting = Place(new QCheckBox(tr("Time Setting"), this), 229, 145, 110, 10);
    m_picker = Place(new QDateTimeEdit(QDateTime::currentDateTime(), this), 229, 156, 110, 15);
    m_picker->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));

    label("Unit Of Speed", 390, 10, 150);
    m_kmh = Place(new QRadioButton(tr("Km/h"), this), 390, 22, 42, 10);
    m_mph = Place(new QRadioButton(tr("Mile/h"), this), 434, 22, 42, 10);
    m_knot = Place(new QRadioButton(tr("Knot"), this), 478, 22, 42, 10);
    label("G-sensor Sensitivity", 390, 43, 150);
    m_carType = combo(390, 55, 65);
    m_level = combo(460, 55, 60);
    label("Parking Mode", 391, 76, 150);
    m_parkMode = combo(391, 88, 70);
    label("Parking FrameRate", 390, 109, 150);
    m_parkRate = combo(390, 121, 90);
    label("Gsensor Reset", 390, 145, 150);
    m_reset = Place(new QPushButton(tr("Reset"), this), 390, 157, 60, 14);
    label("Copy Me To Storage Card", 390, 180, 160);
    m_copy = Place(new QPushButton(tr("Copy"), this), 390, 192, 60, 14);

    m_save = Place(new QPushButton(this), 229, 230, 60, 14);
    m_save->setDefault(true);
    m_cancel = Place(new QPushButton(tr("Cancel"), this), 322, 230, 60, 14);

    m_recorderControls = {m_format,      m_quality,   m_frontRate, m_plateTick, m_province,
                          m_user1,       m_password1, m_user2,     m_password2, m_zone,
                          m_timeSetting, m_carType,   m_level,     m_parkMode,  m_parkRate};
}

void CConfigDlg::connectControls() {
    const auto activated = [this](QComboBox* c, auto&& change) {
        connect(c, &QComboBox::currentIndexChanged, this, [this, change](int index) {
            if (!m_filling) {
                change(index);
            }
        });
    };
    m_card->beforePopup = [this] { fillCardList(); };
    connect(m_card, &QComboBox::activated, this, &CConfigDlg::onCardChosen);
    activated(m_format, [this](int i) {
        m_page->SelectVideoFormat(i);
        showRateLists();
    });
    activated(m_quality, [this](int i) { m_page->SelectVideoQuality(i); });
    activated(m_frontRate, [this](int i) { m_page->SelectFrontRate(i); });
    activated(m_province, [this](int i) { m_page->SelectProvince(i); });
    activated(m_uiMode, [this](int i) {
        m_settings.setUiMode(i);
        m_page->ChangeUiMode(i);
    });
    activated(m_zone, [this](int i) { m_page->SelectTimeZone(i); });
    activated(m_carType, [this](int) { onGsensor(); });
    activated(m_level, [this](int) { onGsensor(); });
    activated(m_parkMode, [this](int i) { m_page->SelectParkMode(i); });
    activated(m_parkRate, [this](int i) { m_page->SelectParkRate(i); });

    connect(m_plateTick, &QCheckBox::toggled, this, [this](bool on) {
        if (m_filling) {
            return;
        }
        m_page->SetPlateTicked(on);
        m_filling = true;
        m_plate->setText(toQString(m_page->options().plate));
        m_plateCounter->setText(toQString(m_page->PlateCounter()));
        m_filling = false;
        enableControls();
    });
    connect(m_plate, &QLineEdit::textChanged, this, &CConfigDlg::onPlateEdited);
    connect(m_plate, &QLineEdit::editingFinished, this, [this] {
        m_page->LeavePlate();
        m_filling = true;
        m_plate->setText(toQString(m_page->options().plate));
        m_filling = false;
    });
    for (QLineEdit* e : {m_user1, m_password1, m_user2, m_password2}) {
        connect(e, &QLineEdit::textChanged, this, &CConfigDlg::onUsersEdited);
    }
    connect(m_timeSetting, &QCheckBox::toggled, this, &CConfigDlg::onTimeSetting);
    connect(m_picker, &QDateTimeEdit::dateTimeChanged, this, &CConfigDlg::onTimeSetting);
    for (int unit = 0; unit < 3; ++unit) {
        connect(speedUnit(unit), &QRadioButton::toggled, this, [this, unit](bool on) {
            if (on && !m_filling) {
                m_page->SelectSpeedUnit(unit);
            }
        });
    }
    connect(m_reset, &QPushButton::clicked, this, [this] { (void)m_page->RequestGsensorReset(); });
    connect(m_copy, &QPushButton::clicked, this, &CConfigDlg::copyPlayer);
    connect(m_save, &QPushButton::clicked, this, &CConfigDlg::save);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CConfigDlg::fill(QComboBox* combo, const std::vector<std::string>& texts, int selected,
                      bool translate) {
    combo->clear();
    for (const std::string& t : texts) {
        combo->addItem(translate ? tr(t) : toQString(t));
    }
    combo->setCurrentIndex(selected >= 0 && selected < combo->count() ? selected : -1);
}

void CConfigDlg::fillCardList() {
    const std::vector<cardtools::DeviceEntry> cards = m_host.RefreshCardList();
    const bool was = m_filling;
    m_filling = true;
    m_card->clear();
    for (const cardtools::DeviceEntry& e : cards) {
        m_card->addItem(toQString(e.text));
    }
    if (!m_cardText.empty() && m_card->findText(toQString(m_cardText)) < 0) {
        m_card->addItem(toQString(m_cardText)); // the open card, though it is not removable
    }
    m_card->setCurrentIndex(m_cardText.empty() ? -1 : m_card->findText(toQString(m_cardText)));
    m_filling = was;
}

void CConfigDlg::onCardChosen(int index) {
    const std::string text = Bytes(m_card->itemText(index));
    if (text == m_cardText) {
        return;
    }
    const ConfigDlgHost::CardChoice choice = m_host.OpenCardForConfiguration(text);
    m_cardText = choice.drive == -1 ? std::string() : text;
    m_cardRoot = choice.drive == -1 ? std::string() : choice.cardRoot;
    m_drive = choice.drive;
    m_page->Reopen(choice.drive, m_cardRoot);
    fillCardList();
    showPage();
}

void CConfigDlg::showPage() {
    const rc::CConfigPage& page = *m_page;
    const rc::CConfigPage::Options& o = page.options();
    m_filling = true;
    setWindowTitle(toQString(page.Title(m_translate)));
    m_save->setText(tr(page.ButtonCaption()));

    fill(m_format, page.lists().videoFormats, o.videoFormat);
    fill(m_quality, rc::VideoQualityNames(), o.videoQuality);
    m_plateTick->setChecked(o.plateTicked);
    m_plate->setText(toQString(o.plate));
    m_plateCounter->setText(toQString(page.PlateCounter()));
    fill(m_province, page.provinces(), o.province, false);
    m_province->setVisible(!page.provinces().empty());
    fill(m_uiMode, rc::UiModeNames(), page.uiMode(), false);
    m_user1->setText(toQString(o.user1Name));
    m_password1->setText(toQString(o.user1Password));
    m_user2->setText(toQString(o.user2Name));
    m_password2->setText(toQString(o.user2Password));

    std::vector<std::string> zones;
    for (const rc::TimeZoneRow& row : page.timeZones()) {
        zones.emplace_back(row.text);
    }
    fill(m_zone, zones, o.timeZoneRow);
    // The drop-down is as wide as its widest row.
    const QFontMetrics metrics(m_zone->view()->font());
    int widest = 0;
    for (int i = 0; i < m_zone->count(); ++i) {
        widest = std::max(widest, metrics.horizontalAdvance(m_zone->itemText(i)));
    }
    const QStyle* style = m_zone->style();
    m_zone->view()->setMinimumWidth(widest + 2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth) +
                                    style->pixelMetric(QStyle::PM_ScrollBarExtent) + 3);

    m_timeSetting->setChecked(o.timeSetting);
    if (QRadioButton* unit = o.speedUnit >= 0 ? speedUnit(o.speedUnit) : nullptr) {
        unit->setChecked(true);
    }
    fill(m_carType, page.lists().carTypes, o.carType);
    fill(m_level, rc::GsensorLevelNames(), o.gsensorLevel);
    fill(m_parkMode, rc::ParkingModeNames(), o.parkMode);
    m_filling = false;
    showRateLists();
    enableControls();
}

void CConfigDlg::showRateLists() {
    const bool was = m_filling;
    m_filling = true;
    fill(m_frontRate, m_page->frontRateEntries(), m_page->options().frontRate);
    fill(m_parkRate, m_page->parkRateEntries(), m_page->options().parkRate);
    m_filling = was;
}

void CConfigDlg::enableControls() {
    const bool card = m_page->cardMode();
    for (QWidget* w : m_recorderControls) {
        w->setEnabled(card);
    }
    m_plate->setEnabled(card && m_plateTick->isChecked());
    m_picker->setEnabled(card && m_timeSetting->isChecked());
    const bool files = card && !rc::IsRawOnlyRoot(m_cardRoot);
    m_reset->setEnabled(files);
    m_copy->setEnabled(files && !app::ProgramRunsFromCard(m_settings.programFolder(), m_cardRoot));
}

void CConfigDlg::onPlateEdited(const QString& text) {
    if (m_filling) {
        return;
    }
    m_page->EditPlate(Bytes(text));
    const QString kept = toQString(m_page->options().plate);
    if (kept != text) {
        m_filling = true;
        m_plate->setText(kept);
        m_filling = false;
    }
    m_plateCounter->setText(toQString(m_page->PlateCounter()));
}

void CConfigDlg::onUsersEdited() {
    if (m_filling) {
        return;
    }
    m_page->SetUser(1, Bytes(m_user1->text()), Bytes(m_password1->text()));
    m_page->SetUser(2, Bytes(m_user2->text()), Bytes(m_password2->text()));
}

void CConfigDlg::onTimeSetting() {
    if (m_filling) {
        return;
    }
    m_page->SetTimeSetting(m_timeSetting->isChecked(), FieldsOf(m_picker->dateTime()));
    enableControls();
}

void CConfigDlg::onGsensor() {
    m_page->SelectGsensor(m_carType->currentIndex(), m_level->currentIndex());
}

void CConfigDlg::save() {
    m_outcome = {};
    if (m_page->Save(&m_outcome) == rc::SaveResult::Closed) {
        accept();
        return;
    }
    // A refused save may have moved the parking rate.
    showRateLists();
}

void CConfigDlg::copyPlayer() {
    const app::CopyPlayerResult r =
        app::CopyPlayerToCard(m_settings.programFolder(), m_settings.languageFolder(), m_cardRoot);
    if (!r.cannotCreate.empty()) {
        m_messages.show(tr(app::kCannotCreateDirectoryText) + toQString(r.cannotCreate), true);
    }
    if (r.openTarget && m_openFolder) {
        m_openFolder(toQString(r.target));
    }
}

} // namespace tavero::ui
