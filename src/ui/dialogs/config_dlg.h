// CConfigDlg ("Configuration"): the recorder's configuration of the open card, and two settings
// of this program (the speed unit and the UI mode). The page's rules and its save are
// recorderconfig::CConfigPage's; the dialog shows its lists and selections and hands every change
// of the person to it. The options the page keeps without a control of its own (rear camera,
// car information text, norm, recording mode, playback password, camera sensitivities, audio,
// daylight saving) keep the card's values through a save.
//
// Without a card the recorder's options are disabled and the button reads "OK"; with one it
// reads "Save" and writes the card.
//
// Thread: UI thread only; the dialog is modal and edits the sector image it was given.
#pragma once

#include "app/app_settings.h"
#include "app/page_settings.h"
#include "cardtools/drive_scan.h"
#include "recorderconfig/config_page.h"
#include "ui/dialogs/user_messages.h"

#include <QComboBox>
#include <QDialog>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tavero::ui {

// What the configuration page needs from the main window.
class ConfigDlgHost {
public:
    virtual ~ConfigDlgHost() = default;
    // Scans the drives again (the window's lists follow) and returns the removable ones.
    [[nodiscard]] virtual std::vector<cardtools::DeviceEntry> RefreshCardList() = 0;
    struct CardChoice {
        int drive = -1;       // -1: no card to configure (not opened, or its user refused)
        std::string cardRoot; // mount point ending in "/", or a device path
    };
    // The person chose another card in the list: the window opens it as its current card (with
    // its users' check) and says what the page opens on.
    [[nodiscard]] virtual CardChoice OpenCardForConfiguration(const std::string& deviceText) = 0;
};

// A combo box that tells before its list drops down (the card list is scanned afresh then).
class RefreshingComboBox : public QComboBox {
    Q_OBJECT

public:
    using QComboBox::QComboBox;
    std::function<void()> beforePopup;
    void showPopup() override;
};

class CConfigDlg : public QDialog {
    Q_OBJECT

public:
    struct Setup {
        recorderconfig::PageContext context; // drive, card root, the sector image to edit
        std::string cardText;                // the current card's entry in the card list
        std::function<void(const QString&)> openFolder;
    };
    CConfigDlg(QWidget* parent, app::AppSettings& settings, Setup setup, ConfigDlgHost& host,
               UserMessages& messages, Translator translate);
    ~CConfigDlg() override;

    [[nodiscard]] const recorderconfig::CConfigPage& page() const { return *m_page; }
    // The drive the page shows (-1: none); another card chosen in the list changes it.
    [[nodiscard]] int drive() const { return m_drive; }
    // What the last save wrote (card mode).
    [[nodiscard]] const recorderconfig::CardSaveOutcome& saveOutcome() const { return m_outcome; }

    // "Save" / "OK" as the button does it.
    void save();

    // The controls, for tests.
    [[nodiscard]] RefreshingComboBox* cardList() const { return m_card; }
    [[nodiscard]] QComboBox* videoFormat() const { return m_format; }
    [[nodiscard]] QComboBox* videoQuality() const { return m_quality; }
    [[nodiscard]] QComboBox* frontRate() const { return m_frontRate; }
    [[nodiscard]] QCheckBox* plateTick() const { return m_plateTick; }
    [[nodiscard]] QLineEdit* plateEdit() const { return m_plate; }
    [[nodiscard]] QLabel* plateCounter() const { return m_plateCounter; }
    [[nodiscard]] QComboBox* province() const { return m_province; }
    [[nodiscard]] QComboBox* uiMode() const { return m_uiMode; }
    [[nodiscard]] QLineEdit* userName(int user) const { return user == 1 ? m_user1 : m_user2; }
    [[nodiscard]] QLineEdit* userPassword(int user) const {
        return user == 1 ? m_password1 : m_password2;
    }
    [[nodiscard]] QComboBox* timeZone() const { return m_zone; }
    [[nodiscard]] QCheckBox* timeSetting() const { return m_timeSetting; }
    [[nodiscard]] QDateTimeEdit* picker() const { return m_picker; }
    [[nodiscard]] QRadioButton* speedUnit(int unit) const;
    [[nodiscard]] QComboBox* carType() const { return m_carType; }
    [[nodiscard]] QComboBox* gsensorLevel() const { return m_level; }
    [[nodiscard]] QComboBox* parkMode() const { return m_parkMode; }
    [[nodiscard]] QComboBox* parkRate() const { return m_parkRate; }
    [[nodiscard]] QPushButton* copyButton() const { return m_copy; }
    [[nodiscard]] QPushButton* resetButton() const { return m_reset; }
    [[nodiscard]] QPushButton* saveButton() const { return m_save; }
    [[nodiscard]] QPushButton* cancelButton() const { return m_cancel; }

private:
    class Sink;

    void build();
    void connectControls();
    // Every control from the page, after opening or reopening.
    void showPage();
    void showRateLists();
    void enableControls();
    void fillCardList();
    void onCardChosen(int index);
    void onPlateEdited(const QString& text);
    void onUsersEdited();
    void onTimeSetting();
    void onGsensor();
    void copyPlayer();
    [[nodiscard]] QString tr(std::string_view english) const;
    void fill(QComboBox* combo, const std::vector<std::string>& texts, int selected,
              bool translate = true);

    app::AppSettings& m_settings;
    app::AppPageSettings m_pageSettings;
    std::function<void(const QString&)> m_openFolder;
    ConfigDlgHost& m_host;
    UserMessages& m_messages;
    Translator m_translate;
    std::unique_ptr<Sink> m_sink;
    std::unique_ptr<recorderconfig::CConfigPage> m_page;
    recorderconfig::CardSaveOutcome m_outcome;
    std::string m_cardText;
    std::string m_cardRoot;
    int m_drive = -1;
    bool m_filling = false; // controls are being set from the page: their signals are not changes

    RefreshingComboBox* m_card = nullptr;
    QComboBox* m_format = nullptr;
    QComboBox* m_quality = nullptr;
    QComboBox* m_frontRate = nullptr;
    QCheckBox* m_plateTick = nullptr;
    QLineEdit* m_plate = nullptr;
    QLabel* m_plateCounter = nullptr;
    QComboBox* m_province = nullptr;
    QComboBox* m_uiMode = nullptr;
    QLineEdit* m_user1 = nullptr;
    QLineEdit* m_password1 = nullptr;
    QLineEdit* m_user2 = nullptr;
    QLineEdit* m_password2 = nullptr;
    QComboBox* m_zone = nullptr;
    QCheckBox* m_timeSetting = nullptr;
    QDateTimeEdit* m_picker = nullptr;
    QRadioButton* m_kmh = nullptr;
    QRadioButton* m_mph = nullptr;
    QRadioButton* m_knot = nullptr;
    QComboBox* m_carType = nullptr;
    QComboBox* m_level = nullptr;
    QComboBox* m_parkMode = nullptr;
    QComboBox* m_parkRate = nullptr;
    QPushButton* m_copy = nullptr;
    QPushButton* m_reset = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_cancel = nullptr;
    std::vector<QWidget*> m_recorderControls; // enabled in card mode only
};

} // namespace tavero::ui
