// The configuration page as a person fills it in, on a card image with its files in a folder:
// what a save writes, byte for byte against the sector built from the format's table, and that a
// refused save leaves the card as it was.

#include "cardtools_fixture.h"
#include "expected_bytes.h"
#include "platform/drive_table.h"
#include "platform/program_paths.h"
#include "temp_folder.h"
#include "ui/dialogs/config_dlg.h"
#include "window_test_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace tavero::test {
namespace {

namespace rc = recorderconfig;
using tavero::testing::ByteVec;
using tavero::testing::FileBytes;
using tavero::testing::FileBytesAt;
using tavero::testing::SectorBytes;
using tavero::testing::SectorFields;

constexpr int kDrive = 5;
constexpr std::uint32_t kDiskId = 31337;

SectorFields BaseSector() {
    SectorFields f;
    f.videoFormat = 1;
    f.frameRate = 30;
    f.parkFrameRate = 10;
    f.fixedOne = 1;
    f.diskId = kDiskId;
    f.layoutMark = "1000";
    f.zoneSeconds = 43200 + 3600; // +01:00
    f.zoneCode = 14;
    f.blockZoneCode = 14;
    return f;
}

class NoCards final : public ui::ConfigDlgHost {
public:
    std::vector<cardtools::DeviceEntry> RefreshCardList() override {
        ++refreshes;
        return cards;
    }
    CardChoice OpenCardForConfiguration(const std::string& deviceText) override {
        opened.push_back(deviceText);
        return choice;
    }
    std::vector<cardtools::DeviceEntry> cards;
    std::vector<std::string> opened;
    CardChoice choice;
    int refreshes = 0;
};

class ConfigDialog : public ::testing::Test {
protected:
    ConfigDialog()
        : settings(platform::programPathsInFolder(folder.path() + "program/"), "en_US"),
          card(std::filesystem::path(folder.path()) / "card.img", 1, kDiskId) {
        std::filesystem::create_directories(root);
        platform::SetDrivePath(kDrive, card.path().string());
    }
    ~ConfigDialog() override { platform::ClearDrivePaths(); }

    void putSector(const SectorFields& f) {
        const auto b = SectorBytes(f);
        card.writeAt(0xA000000, b.data(), b.size());
    }
    [[nodiscard]] ByteVec sectorOnCard() const { return FileBytesAt(card.path(), 0xA000000, 512); }
    [[nodiscard]] std::uint64_t cardHash() const {
        return tavero::testing::HashRange(card.path(), 0, -1);
    }

    std::unique_ptr<ui::CConfigDlg> open(int drive = kDrive) {
        ui::CConfigDlg::Setup setup;
        setup.context.drive = drive;
        setup.context.cardRoot = drive == -1 ? "" : root;
        setup.context.sector = &image;
        setup.context.timeOffset = &offset;
        setup.context.localOffsetSeconds = 3600;
        setup.cardText = setup.context.cardRoot;
        setup.openFolder = [this](const QString& f) { opened.push_back(f.toStdString()); };
        host.cards = {{root, 0}};
        return std::make_unique<ui::CConfigDlg>(nullptr, settings, std::move(setup), host, messages,
                                                [](std::string_view t) { return std::string(t); });
    }

    TempFolder folder;
    std::string root = folder.path() + "card/";
    app::AppSettings settings;
    tavero::testing::TestCard card;
    rc::ConfigSector image;
    std::int32_t offset = 0;
    NoCards host;
    RecordedMessages messages;
    std::vector<std::string> opened;
};

TEST_F(ConfigDialog, ShowsTheCardAndSavesWhatThePersonChose) {
    putSector(BaseSector());
    auto dlg = open();
    EXPECT_EQ(dlg->windowTitle().toStdString(), "Configuration - [" + root + "]");
    EXPECT_EQ(dlg->saveButton()->text(), "Save");
    EXPECT_EQ(dlg->cardList()->currentText().toStdString(), root);
    EXPECT_EQ(dlg->videoFormat()->currentText(), "CIF");
    EXPECT_EQ(dlg->videoQuality()->currentText(), "High");
    EXPECT_EQ(dlg->frontRate()->currentText(), "30");
    EXPECT_EQ(dlg->parkRate()->currentText(), "10");
    EXPECT_EQ(dlg->timeZone()->currentIndex(), 2);
    EXPECT_EQ(dlg->timeZone()->count(), 41);
    EXPECT_EQ(dlg->parkMode()->count(), 50);
    EXPECT_TRUE(dlg->speedUnit(0)->isChecked());
    EXPECT_FALSE(dlg->picker()->isEnabled());
    EXPECT_FALSE(dlg->plateEdit()->isEnabled()) << "no plate: its edit waits for the tick";
    EXPECT_TRUE(dlg->videoQuality()->isEnabled());

    dlg->videoQuality()->setCurrentIndex(2); // "Low"
    dlg->timeZone()->setCurrentIndex(10);    // +05:45
    dlg->plateTick()->click(); // the box has no caption: only its square takes the click
    ASSERT_TRUE(dlg->plateEdit()->isEnabled());
    QTest::keyClicks(dlg->plateEdit(), "abc");
    QTest::keyClicks(dlg->userName(1), "anna");
    QTest::keyClicks(dlg->userPassword(1), "secret");
    QTest::mouseClick(dlg->speedUnit(2), Qt::LeftButton);
    QTest::mouseClick(dlg->saveButton(), Qt::LeftButton);

    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(offset, 20700);
    EXPECT_EQ(image.speedUnit, 2u);
    SectorFields f = BaseSector();
    f.videoQuality = 2;
    f.zoneSeconds = 63900;
    f.zoneCode = 18;
    f.blockZoneCode = 18;
    f.plate = "\x8A"
              "BC";
    f.user1Name = "anna";
    f.user1Password = "secret";
    f.speedUnit = 2;
    const auto expected = SectorBytes(f);
    EXPECT_EQ(sectorOnCard(), ByteVec(expected.begin(), expected.end()));
    const ByteVec carData = FileBytes(root + "car_set/cardata.cdf");
    ASSERT_EQ(carData.size(), 80u);
    EXPECT_EQ(ByteVec(carData.begin() + 12, carData.begin() + 16),
              tavero::testing::TextBytes(std::string("ABC\0", 4)));
    EXPECT_EQ(settings.ReadConfigInt("TimeZone", -1), 10);
}

TEST_F(ConfigDialog, RefusedSavesLeaveTheCardAsItWas) {
    putSector(BaseSector());
    const std::uint64_t before = cardHash();
    auto dlg = open();

    // A user name with a character beyond half-size ASCII.
    dlg->userName(2)->setText(QString::fromUtf8("bj\xC3\xB6rn"));
    dlg->save();
    EXPECT_NE(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(messages.shown,
              std::vector<std::string>{
                  "Please enter Half-size characters for setting user name and password."});
    EXPECT_EQ(cardHash(), before);
    EXPECT_FALSE(std::filesystem::exists(root + "car_set"));

    // Parking faster than the front camera: the parking entry moves on, nothing is written.
    dlg->userName(2)->clear();
    messages.shown.clear();
    dlg->frontRate()->setCurrentIndex(1); // "10" of "5, 10, 15, 20, 25, 30"
    dlg->parkRate()->setCurrentIndex(3);  // "15"
    QTest::mouseClick(dlg->timeSetting(), Qt::LeftButton);
    EXPECT_TRUE(dlg->picker()->isEnabled());
    dlg->gsensorLevel()->setCurrentIndex(2);
    dlg->save();
    EXPECT_NE(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(messages.shown,
              std::vector<std::string>{"Parking video frame rate than video frame rate"});
    EXPECT_EQ(dlg->parkRate()->currentIndex(), 2);
    EXPECT_EQ(cardHash(), before);
    EXPECT_FALSE(std::filesystem::exists(root + "car_set"));

    // As corrected by the page, the save goes through.
    messages.shown.clear();
    dlg->save();
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(std::filesystem::exists(root + "car_set/cartime.cts"));
    EXPECT_EQ(sectorOnCard()[23], 10) << "parking frame rate, big-endian at 20";
}

TEST_F(ConfigDialog, WithoutACardOnlyTheUnitsChange) {
    putSector(BaseSector());
    const std::uint64_t before = cardHash();
    settings.WriteConfigInt("SetEDR_Speed", 1);
    auto dlg = open(-1);
    EXPECT_EQ(dlg->windowTitle(), "Configuration");
    EXPECT_EQ(dlg->saveButton()->text(), "OK");
    EXPECT_TRUE(dlg->speedUnit(1)->isChecked());
    for (QWidget* w : std::initializer_list<QWidget*>{
             dlg->videoFormat(), dlg->videoQuality(), dlg->userName(1), dlg->timeZone(),
             dlg->parkRate(), dlg->copyButton(), dlg->resetButton()}) {
        EXPECT_FALSE(w->isEnabled());
    }
    EXPECT_TRUE(dlg->speedUnit(2)->isEnabled());
    QTest::mouseClick(dlg->speedUnit(2), Qt::LeftButton);
    QTest::mouseClick(dlg->saveButton(), Qt::LeftButton);
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(image.speedUnit, 2u);
    EXPECT_EQ(cardHash(), before);
    EXPECT_FALSE(std::filesystem::exists(root + "car_set"));
}

TEST_F(ConfigDialog, PlateRulesAndTheUiMode) {
    putSector(BaseSector());
    auto dlg = open();
    dlg->plateTick()->click(); // the box has no caption: only its square takes the click
    QTest::keyClicks(dlg->plateEdit(), "abc");
    EXPECT_EQ(dlg->plateCounter()->text(), "3/10");
    QTest::keyClick(dlg->plateEdit(), Qt::Key_Return); // leaving the edit
    EXPECT_EQ(dlg->plateEdit()->text(), "ABC");
    QTest::keyClicks(dlg->plateEdit(), "DEFGHIJK");
    EXPECT_EQ(dlg->plateEdit()->text(), "ABCDEFGHIJ");
    EXPECT_EQ(dlg->plateCounter()->text(), "10/10");
    dlg->plateTick()->click(); // the box has no caption: only its square takes the click
    EXPECT_EQ(dlg->plateEdit()->text(), "");
    EXPECT_FALSE(dlg->plateEdit()->isEnabled());

    EXPECT_EQ(dlg->uiMode()->count(), 3);
    dlg->uiMode()->setCurrentIndex(2);
    EXPECT_EQ(settings.uiMode(), 2);
    EXPECT_EQ(messages.shown,
              std::vector<std::string>{"UI has been modified, please restart the program."});
    // Changed now, not by "Save": the dialog may still be cancelled.
    dlg->reject();
    EXPECT_EQ(settings.uiMode(), 2);
}

TEST_F(ConfigDialog, AnotherVideoFormatRefillsTheRateLists) {
    SectorFields f = BaseSector();
    f.parkFrameRate = 30;
    putSector(f);
    auto dlg = open();
    EXPECT_EQ(dlg->parkRate()->count(), 7);
    EXPECT_EQ(dlg->parkRate()->currentText(), "30");
    dlg->videoFormat()->setCurrentIndex(0);
    EXPECT_EQ(dlg->frontRate()->count(), 2); // "15", "30"
    EXPECT_EQ(dlg->frontRate()->currentIndex(), 1);
    ASSERT_EQ(dlg->parkRate()->count(), 4);
    EXPECT_EQ(dlg->parkRate()->currentText(), "15");
    dlg->save();
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    const ByteVec sector = sectorOnCard();
    EXPECT_EQ(sector[11], 0) << "videoFormat";
    EXPECT_EQ(sector[15], 30) << "frameRate";
    EXPECT_EQ(sector[23], 15) << "parkFrameRate";
}

TEST_F(ConfigDialog, ProvincesComeFromTheChineseLanguageFile) {
    const std::string languages = folder.path() + "program/Language/";
    std::filesystem::create_directories(languages);
    std::ofstream(languages + "zh_CN.ini") << "[Language String]\n[Provinces]\n1=Jing\n2=Hu\n";
    settings.WriteConfigString("Language File", "zh_CN");
    settings.LoadLanguage();
    ASSERT_EQ(settings.currentLanguage(), 1);
    SectorFields f = BaseSector();
    f.plate = "\x81"
              "12345";
    putSector(f);
    auto dlg = open();
    ASSERT_EQ(dlg->province()->count(), 2);
    EXPECT_EQ(dlg->province()->itemText(0), "1=Jing");
    EXPECT_EQ(dlg->province()->currentIndex(), 1);
    EXPECT_EQ(dlg->plateEdit()->text(), "12345");
    dlg->province()->setCurrentIndex(0);
    dlg->save();
    EXPECT_EQ(sectorOnCard()[84], 0x80);
    EXPECT_EQ(sectorOnCard()[85], '1');
}

TEST_F(ConfigDialog, ResetCopyAndAnotherCard) {
    putSector(BaseSector());
    std::filesystem::create_directories(folder.path() + "program/Language");
    std::ofstream(folder.path() + "program/tavero") << "program";
    std::ofstream(folder.path() + "program/Language/de_DE.ini") << "[Language String]\n";
    std::filesystem::create_directories(root + "car_set"); // as the recorder leaves its card
    auto dlg = open();
    ASSERT_TRUE(dlg->resetButton()->isEnabled());
    QTest::mouseClick(dlg->resetButton(), Qt::LeftButton);
    EXPECT_TRUE(std::filesystem::exists(root + "car_set/correct_g.cfg"));

    ASSERT_TRUE(dlg->copyButton()->isEnabled());
    QTest::mouseClick(dlg->copyButton(), Qt::LeftButton);
    EXPECT_EQ(FileBytes(root + "CarPlayer/tavero"), tavero::testing::TextBytes("program"));
    EXPECT_TRUE(std::filesystem::exists(root + "CarPlayer/Language/de_DE.ini"));
    EXPECT_EQ(opened, std::vector<std::string>{root + "CarPlayer/"});

    // Another card whose user was refused: the page opens on no card, the card is not written.
    const std::uint64_t before = cardHash();
    host.cards.push_back({"/media/other/", 0});
    dlg->cardList()->showPopup();
    dlg->cardList()->hidePopup();
    ASSERT_EQ(dlg->cardList()->count(), 2);
    host.choice = {};
    const int other = dlg->cardList()->findText("/media/other/");
    dlg->cardList()->setCurrentIndex(other);
    Q_EMIT dlg->cardList()->activated(other);
    EXPECT_EQ(host.opened, std::vector<std::string>{"/media/other/"});
    EXPECT_FALSE(dlg->page().cardMode());
    EXPECT_EQ(dlg->saveButton()->text(), "OK");
    EXPECT_FALSE(dlg->videoQuality()->isEnabled());
    dlg->save();
    EXPECT_EQ(cardHash(), before);
}

} // namespace
} // namespace tavero::test
