// The Wi-Fi dialog as a person fills it in, on a card folder: the file it writes byte for byte,
// the password rule that leaves an existing file alone, and a card whose user was refused.

#include "expected_bytes.h"
#include "temp_folder.h"
#include "ui/dialogs/wifi_config_dlg.h"
#include "window_test_support.h"

#include <QCheckBox>
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
using tavero::testing::FileBytes;
using tavero::testing::TextBytes;

class WifiDialog : public ::testing::Test {
protected:
    WifiDialog() { std::filesystem::create_directories(root); }

    std::unique_ptr<ui::CWiFiConfigDlg> open() {
        ui::WifiDlgHost host;
        host.listDrives = [this] {
            ++scans;
            return drives;
        };
        host.mayUseCard = [this](const std::string& text) {
            checked.push_back(text);
            return userPassed;
        };
        return std::make_unique<ui::CWiFiConfigDlg>(
            nullptr, std::move(host), messages, [](std::string_view t) { return std::string(t); });
    }
    [[nodiscard]] std::string file() const { return root + "car_set/wifi_cfg.txt"; }
    void putFile(const std::string& text) {
        std::filesystem::create_directories(root + "car_set");
        std::ofstream(file(), std::ios::binary) << text;
    }

    TempFolder folder;
    std::string root = folder.path() + "card/";
    std::vector<cardtools::DeviceEntry> drives{{root, 0}};
    RecordedMessages messages;
    std::vector<std::string> checked;
    bool userPassed = true;
    int scans = 0;
};

TEST_F(WifiDialog, ReadsTheCardsFileAndWritesEveryLine) {
    putFile("[]\r\nserver=10.0.0.1\r\nssid=car\r\npassword=abcdefgh\r\nauthmode=wpapsk\r\n"
            "encrypt=AES\r\n");
    auto dlg = open();
    EXPECT_EQ(dlg->windowTitle(), "Wi-Fi-Config");
    EXPECT_TRUE(dlg->authButton(rc::WifiAuth::Open)->isChecked());
    EXPECT_TRUE(dlg->encryptButton(rc::WifiEncrypt::Tkip)->isChecked());
    EXPECT_FALSE(dlg->okButton()->isEnabled());
    EXPECT_FALSE(dlg->applyButton()->isEnabled());
    EXPECT_FALSE(dlg->ipEdit()->isEnabled());

    dlg->chooseDrive(0);
    EXPECT_EQ(checked, std::vector<std::string>{root});
    EXPECT_TRUE(dlg->applyButton()->isEnabled());
    EXPECT_EQ(dlg->serverEdit()->text(), "10.0.0.1");
    EXPECT_EQ(dlg->ssidEdit()->text(), "car");
    EXPECT_EQ(dlg->passwordEdit()->text(), "abcdefgh");
    // A lower-case name is none of the three: the radio buttons stay as they were.
    EXPECT_TRUE(dlg->authButton(rc::WifiAuth::Open)->isChecked());
    EXPECT_TRUE(dlg->encryptButton(rc::WifiEncrypt::Aes)->isChecked());

    QTest::mouseClick(dlg->authButton(rc::WifiAuth::Wpa2Psk), Qt::LeftButton);
    dlg->staticIpTick()->click();
    ASSERT_TRUE(dlg->ipEdit()->isEnabled());
    QTest::keyClicks(dlg->ipEdit(), "192.168.1.9");
    QTest::keyClicks(dlg->maskEdit(), "255.255.255.0");
    QTest::keyClicks(dlg->gatewayEdit(), "192.168.1.1");
    QTest::keyClicks(dlg->dnsEdit(), "8.8.8.8");
    QTest::mouseClick(dlg->applyButton(), Qt::LeftButton);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(dlg->isVisible() || dlg->result() != QDialog::Accepted) << "Apply never closes";
    EXPECT_EQ(FileBytes(file()),
              TextBytes("[]\r\nserver=10.0.0.1\r\nssid=car\r\npassword=abcdefgh\r\n"
                        "authmode=WPA2PSK\r\nencrypt=AES\r\nUsesStaticIp=1\r\nIP=192.168.1.9\r\n"
                        "SubnetMask =255.255.255.0\r\nGateway=192.168.1.1\r\nDNS=8.8.8.8\r\n"));

    // Unticked, the address lines are still written, with what the edits hold.
    dlg->staticIpTick()->click();
    EXPECT_FALSE(dlg->ipEdit()->isEnabled());
    QTest::mouseClick(dlg->okButton(), Qt::LeftButton);
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(FileBytes(file()),
              TextBytes("[]\r\nserver=10.0.0.1\r\nssid=car\r\npassword=abcdefgh\r\n"
                        "authmode=WPA2PSK\r\nencrypt=AES\r\nUsesStaticIp=0\r\nIP=192.168.1.9\r\n"
                        "SubnetMask =255.255.255.0\r\nGateway=192.168.1.1\r\nDNS=8.8.8.8\r\n"));
}

TEST_F(WifiDialog, ShortPasswordIsRefusedWithoutTouchingTheFile) {
    putFile("[]\r\npassword=old-one-1\r\n");
    auto dlg = open();
    dlg->chooseDrive(0);
    EXPECT_EQ(dlg->serverEdit()->text(), "0.0.0.0") << "no server in the file";
    dlg->passwordEdit()->setText("1234567");
    QTest::mouseClick(dlg->okButton(), Qt::LeftButton);
    EXPECT_NE(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(messages.shown, std::vector<std::string>{"Please Enter Min. 8 Digits."});
    EXPECT_EQ(FileBytes(file()), TextBytes("[]\r\npassword=old-one-1\r\n"));

    dlg->passwordEdit()->setText("12345678");
    EXPECT_TRUE(dlg->apply());
    EXPECT_EQ(FileBytes(file()),
              TextBytes("[]\r\nserver=0.0.0.0\r\nssid=\r\npassword=12345678\r\nauthmode=OPEN\r\n"
                        "encrypt=TKIP\r\nUsesStaticIp=0\r\nIP=\r\nSubnetMask =\r\nGateway=\r\n"
                        "DNS=\r\n"));
}

TEST_F(WifiDialog, UnwritableCardSaysSaveFail) {
    // A "card" under a plain file: no folder can be made there, not even by root.
    std::ofstream(folder.path() + "plain") << "x";
    drives = {{folder.path() + "plain/", 0}};
    auto dlg = open();
    dlg->chooseDrive(0);
    dlg->passwordEdit()->setText("12345678");
    dlg->accept();
    EXPECT_NE(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(messages.shown, std::vector<std::string>{"Save Fail"});
}

TEST_F(WifiDialog, RefusedUserLeavesTheCardAlone) {
    putFile("[]\r\nserver=10.0.0.1\r\nssid=car\r\npassword=abcdefgh\r\n");
    userPassed = false;
    auto dlg = open();
    dlg->chooseDrive(0);
    EXPECT_EQ(checked, std::vector<std::string>{root});
    EXPECT_EQ(dlg->serverEdit()->text(), "") << "the file was not read";
    EXPECT_FALSE(dlg->okButton()->isEnabled());
    EXPECT_FALSE(dlg->applyButton()->isEnabled());
    dlg->passwordEdit()->setText("12345678");
    EXPECT_FALSE(dlg->apply());
    EXPECT_EQ(FileBytes(file()),
              TextBytes("[]\r\nserver=10.0.0.1\r\nssid=car\r\npassword=abcdefgh\r\n"));
}

TEST_F(WifiDialog, OpeningTheListFindsANewCard) {
    auto dlg = open();
    EXPECT_EQ(dlg->driveList()->count(), 1);
    drives.push_back({folder.path() + "second/", 0});
    dlg->driveList()->showPopup();
    dlg->driveList()->hidePopup();
    EXPECT_EQ(dlg->driveList()->count(), 2);
}

} // namespace
} // namespace tavero::test
