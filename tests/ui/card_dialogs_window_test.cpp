// The card dialogs from the main window's buttons, through the real engine on a card image
// mapped as drive 2 and opened with "-f car2://2": the configuration page saves to the open card
// and the window takes its speed unit; a card whose user is refused gets no dialog and stays
// byte-identical; Format and Wi-Fi Setting open their windows.

#include "card_fixture.h"
#include "cardtools_fixture.h"
#include "fake_system.h"
#include "platform/drive_table.h"
#include "recorderconfig/config_sector.h"
#include "store/boot_image.h"
#include "ui/dialogs/config_dlg.h"
#include "ui/dialogs/confirm_dlg.h"
#include "ui/dialogs/format_dlg.h"
#include "ui/dialogs/wifi_config_dlg.h"
#include "ui/map/map_dlg.h"
#include "window_test_support.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tavero::test {
namespace {

using tavero::testing::Packed;
using tavero::testing::TestCard;
using tavero::testing::TestRecord;
using ::testing::HasSubstr;

constexpr int kDrive = 2;
constexpr int kConfiguration = 1031;
constexpr int kFormat = 1034;
constexpr int kWifiSetting = 1035;

void SetField(recorderconfig::UserField& field, std::string_view text) {
    field.fill(0);
    std::copy(text.begin(), text.end(), field.begin());
}

// Runs `answer` on the window's card dialog once it is open (inside its modal loop).
void WhenDialogOpens(ui::CMainDlg& window, std::function<void(QDialog&)> answer) {
    auto* poll = new QTimer(&window); // goes with the window when it is never answered
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, &window, answer] {
        QDialog* dialog = window.cardDialog();
        if (dialog == nullptr || !dialog->isVisible()) {
            return;
        }
        poll->stop();
        poll->deleteLater();
        answer(*dialog);
    });
    poll->start();
}

// Answers the next login dialog of the window with a name and password.
void AnswerLogin(ui::CMainDlg& window, QString name, QString password, int* asked) {
    ui::DialogPrompts& prompts = window.prompts();
    auto* poll = new QTimer(&window);
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, &prompts, name, password, asked] {
        ui::CConfirmDlg* dialog = prompts.openLogin();
        if (dialog == nullptr) {
            return;
        }
        ++*asked;
        poll->stop();
        poll->deleteLater();
        QTest::keyClicks(dialog->nameEdit(), name);
        QTest::keyClicks(dialog->passwordEdit(), password);
        QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
    });
    poll->start();
}

class CardDialogsInTheWindow : public ::testing::Test {
protected:
    CardDialogsInTheWindow() {
        card.initialiseIndex();
        const auto boot = store::BootImage();
        card.writeAt(0, boot.data(), 512);
        TestRecord r;
        r.startUnit = 1;
        r.endUnit = 10;
        r.startTime = Packed{2024, 5, 1, 8, 0, 0};
        r.endTime = Packed{2024, 5, 1, 8, 5, 0};
        r.recStart = 1;
        card.writeRecord(0, r);
        platform::SetDrivePath(kDrive, card.path().string());
    }
    ~CardDialogsInTheWindow() override { platform::ClearDrivePaths(); }

    void writeSector(bool withUser) {
        recorderconfig::ConfigSector sector;
        recorderconfig::MakeDefaultConfigSector(sector, card.diskId());
        if (withUser) {
            SetField(sector.user1Name, "owner");
            SetField(sector.user1Password, "s3cret");
        }
        ASSERT_TRUE(recorderconfig::WriteConfigSector(kDrive, sector));
    }
    static void processEvents() {
        for (int i = 0; i < 10; ++i) {
            QCoreApplication::processEvents();
        }
    }
    [[nodiscard]] std::uint64_t cardHash() const {
        return tavero::testing::HashRange(card.path(), 0, -1);
    }

    tavero::testing::TempDir dir;
    TestCard card{dir / "card.img", 4};
};

TEST_F(CardDialogsInTheWindow, ConfigurationSavesTheQualityToTheOpenCard) {
    writeSector(false);
    WindowFixture f(QSize(1920, 1080), {"-f", "car2://2"}, true);
    f.show();
    processEvents();
    ASSERT_TRUE(f.window->controls().widget("Configuration")->isEnabled());
    std::string title;
    WhenDialogOpens(*f.window, [&title](QDialog& d) {
        auto& config = dynamic_cast<ui::CConfigDlg&>(d);
        title = config.windowTitle().toStdString();
        config.videoQuality()->setCurrentIndex(1); // "Normal"
        QTest::keyClicks(config.userName(1), "owner");
        QTest::keyClicks(config.userPassword(1), "s3cret");
        QTest::mouseClick(config.saveButton(), Qt::LeftButton);
    });
    f.window->onCommand(kConfiguration);
    EXPECT_EQ(f.window->cardDialog(), nullptr);
    EXPECT_EQ(title, "Configuration - [" + card.path().string() + "]");
    const auto sector = tavero::testing::ReadBytes(card.path(), 0xA000000, 512);
    EXPECT_EQ(sector[19], 1) << "videoQuality, big-endian at 16";
    recorderconfig::ConfigSector read;
    ASSERT_TRUE(recorderconfig::ReadConfigSector(kDrive, read)) << "a valid sector";
    EXPECT_EQ(read.videoQuality, 1u);
    EXPECT_EQ(f.settings.ReadConfigInt("SetEDR_Speed", -1), 0);
    EXPECT_TRUE(f.messages.shown.empty()) << f.messages.shown.front();
    EXPECT_EQ(recorderconfig::FieldText(read.user1Name), "owner");

    // Whoever just set the card's user is not asked for it when the page opens again.
    int asked = 0;
    AnswerLogin(*f.window, "owner", "s3cret", &asked);
    bool reopened = false;
    WhenDialogOpens(*f.window, [&reopened](QDialog& d) {
        reopened = true;
        d.reject();
    });
    f.window->onCommand(kConfiguration);
    EXPECT_TRUE(reopened);
    EXPECT_EQ(asked, 0);
}

TEST_F(CardDialogsInTheWindow, RefusedUserGetsNoDialogAndTheCardStaysAsItWas) {
    writeSector(true);
    WindowFixture f(QSize(1920, 1080), {"-f", "car2://2"}, true);
    int asked = 0;
    AnswerLogin(*f.window, "owner", "wrong", &asked);
    f.show();
    processEvents();
    ASSERT_EQ(asked, 1);
    const std::uint64_t before = cardHash();
    f.messages.shown.clear();

    int dialogs = 0;
    const auto count = [&dialogs](QDialog& d) {
        ++dialogs;
        d.reject();
    };
    AnswerLogin(*f.window, "owner", "still wrong", &asked);
    WhenDialogOpens(*f.window, count);
    f.window->onCommand(kConfiguration);
    processEvents();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(dialogs, 0);
    EXPECT_THAT(f.messages.shown, ::testing::Contains(HasSubstr("Password Protected!")));
    EXPECT_EQ(cardHash(), before);

    // The right user opens it, and is not asked again the next time.
    AnswerLogin(*f.window, "owner", "s3cret", &asked);
    f.window->onCommand(kConfiguration);
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(dialogs, 1);
    WhenDialogOpens(*f.window, count);
    f.window->onCommand(kConfiguration);
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(dialogs, 2);
    EXPECT_EQ(cardHash(), before) << "cancelled pages write nothing";
}

TEST_F(CardDialogsInTheWindow, FormatAndWifiSettingOpenTheirWindows) {
    writeSector(false);
    WindowFixture f;
    f.show();
    std::string seen;
    // The map makes way for the format tool.
    f.window->onCommand(1032);
    ASSERT_TRUE(f.window->mapView()->isVisible());
    bool mapShownMeanwhile = true;
    WhenDialogOpens(*f.window, [&](QDialog& d) {
        seen = dynamic_cast<ui::CFormatDlg*>(&d) != nullptr ? "format" : "other";
        seen += ":" + d.windowTitle().toStdString();
        mapShownMeanwhile = f.window->mapView()->isVisible();
        d.reject();
    });
    f.window->onCommand(kFormat);
    EXPECT_EQ(seen, "format:Format Tool Dialog");
    EXPECT_FALSE(mapShownMeanwhile);
    EXPECT_EQ(f.window->cardDialog(), nullptr);

    WhenDialogOpens(*f.window, [&seen](QDialog& d) {
        seen = dynamic_cast<ui::CWiFiConfigDlg*>(&d) != nullptr ? "wifi" : "other";
        seen += ":" + d.windowTitle().toStdString();
        d.reject();
    });
    f.window->onCommand(kWifiSetting);
    EXPECT_EQ(seen, "wifi:Wi-Fi-Config");

    // Without a card the page opens with the recorder's options disabled.
    WhenDialogOpens(*f.window, [&seen](QDialog& d) {
        auto& config = dynamic_cast<ui::CConfigDlg&>(d);
        seen = config.saveButton()->text().toStdString() + ":" +
               (config.videoQuality()->isEnabled() ? "enabled" : "disabled");
        config.speedUnit(2)->click();
        config.save();
    });
    f.window->onCommand(kConfiguration);
    EXPECT_EQ(seen, "OK:disabled");
    EXPECT_EQ(f.settings.ReadConfigInt("SetEDR_Speed", -1), 2);
    EXPECT_EQ(f.window->windowState().speedUnit, 2u);
}

// A USB card reader with a mounted card whose configuration names a user: the Wi-Fi dialog
// reads the card's file only for that user.
TEST(WifiSettingFromTheWindow, AsksForTheCardsUserBeforeReadingItsFile) {
    WindowFixture f;
    tavero::testing::FakeSystem machine{std::filesystem::path(f.folder.path())};
    machine.addDisk({"sdb", "8:16",
                     "pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/host1/target1:0:0/1:0:0:0", true,
                     1});
    const auto image = machine.addImage(1, "sdb", 0x16000000 + 4 * 0x1000000, true);
    const auto sector = tavero::testing::ConfigSectorBytes(10000, {"anna", "secret", "", ""});
    tavero::testing::WriteBytes(image, 0xA000000, {sector.begin(), sector.end()});
    // The sector belongs to the card whose disk information names the same identifier.
    const auto info = tavero::testing::DiskInfoBytes(4, 10000);
    for (const std::int64_t copy : {0x4000000, 0x5000000}) {
        tavero::testing::WriteBytes(image, copy, {info.begin(), info.end()});
    }
    recorderconfig::ConfigSector check;
    std::string why;
    ASSERT_TRUE(recorderconfig::ReadConfigSector(1, check, &why)) << why;
    const std::string mount = machine.mountDir("CARD");
    machine.setMounts({{"8:17", mount, "vfat", "/dev/sdb1"}});
    std::filesystem::create_directories(mount + "/car_set");
    std::ofstream(mount + "/car_set/wifi_cfg.txt") << "[]\r\nserver=10.0.0.1\r\nssid=car\r\n";
    f.show();

    int asked = 0;
    std::vector<std::string> servers;
    WhenDialogOpens(*f.window, [&](QDialog& d) {
        auto& wifi = dynamic_cast<ui::CWiFiConfigDlg&>(d);
        const int entry = wifi.driveList()->findText(QString::fromStdString(mount + "/"));
        ASSERT_GE(entry, 0) << "the card is listed";
        AnswerLogin(*f.window, "anna", "wrong", &asked);
        wifi.chooseDrive(entry);
        servers.push_back(wifi.serverEdit()->text().toStdString() +
                          (wifi.applyButton()->isEnabled() ? ":apply" : ":no apply"));
        AnswerLogin(*f.window, "anna", "secret", &asked);
        wifi.chooseDrive(entry);
        servers.push_back(wifi.serverEdit()->text().toStdString() +
                          (wifi.applyButton()->isEnabled() ? ":apply" : ":no apply"));
        d.reject();
    });
    f.window->onCommand(kWifiSetting);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(servers, (std::vector<std::string>{":no apply", "10.0.0.1:apply"}));
}

} // namespace
} // namespace tavero::test
