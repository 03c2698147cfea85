// The Wi-Fi settings file: exact text written, what a read takes from it, and the refusals.

#include "card_fixture.h"
#include "expected_bytes.h"
#include "page_fakes.h"
#include "recorderconfig/wifi_config.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace tavero::testing {
namespace {

namespace rc = recorderconfig;

class WifiTest : public ::testing::Test {
protected:
    void SetUp() override { m_root = m_dir.path().string() + "/"; }
    [[nodiscard]] std::filesystem::path File() const { return m_dir / "car_set" / "wifi_cfg.txt"; }
    void PutFile(const std::string& text) {
        std::filesystem::create_directories(m_dir / "car_set");
        WriteFileBytes(File(), TextBytes(text));
    }

    TempDir m_dir;
    std::string m_root;
    RecordingSink m_sink;
};

TEST_F(WifiTest, WritesEveryLineInOrder) {
    rc::WifiSettings s;
    s.server = "10.0.0.1";
    s.ssid = "car";
    s.password = "12345678"; // exactly 8 is enough
    s.auth = rc::WifiAuth::Wpa2Psk;
    s.encrypt = rc::WifiEncrypt::Aes;
    s.staticIp = true;
    s.ip = "192.168.1.9";
    s.subnetMask = "255.255.255.0";
    s.gateway = "192.168.1.1";
    s.dns = "8.8.8.8";
    ASSERT_TRUE(rc::WriteWifiConfig(m_root, s, m_sink));
    EXPECT_EQ(FileBytes(File()),
              TextBytes("[]\r\nserver=10.0.0.1\r\nssid=car\r\npassword=12345678\r\n"
                        "authmode=WPA2PSK\r\nencrypt=AES\r\nUsesStaticIp=1\r\nIP=192.168.1.9\r\n"
                        "SubnetMask =255.255.255.0\r\nGateway=192.168.1.1\r\nDNS=8.8.8.8\r\n"));
    EXPECT_TRUE(m_sink.messages.empty());
}

TEST_F(WifiTest, NoRadioAndNoStaticIpStillWriteTheirLines) {
    rc::WifiSettings s;
    s.password = "password";
    s.auth = rc::WifiAuth::None;
    s.encrypt = rc::WifiEncrypt::None;
    ASSERT_TRUE(rc::WriteWifiConfig(m_root, s, m_sink));
    EXPECT_EQ(FileBytes(File()),
              TextBytes("[]\r\nserver=\r\nssid=\r\npassword=password\r\nauthmode=\r\nencrypt=\r\n"
                        "UsesStaticIp=0\r\nIP=\r\nSubnetMask =\r\nGateway=\r\nDNS=\r\n"));
}

TEST_F(WifiTest, ShortPasswordLeavesTheFileAlone) {
    PutFile("[]\r\npassword=old-one-1\r\n");
    rc::WifiSettings s;
    s.password = "1234567";
    EXPECT_FALSE(rc::WriteWifiConfig(m_root, s, m_sink));
    EXPECT_EQ(m_sink.messages, std::vector<std::string>{"Please Enter Min. 8 Digits."});
    EXPECT_EQ(FileBytes(File()), TextBytes("[]\r\npassword=old-one-1\r\n"));
}

TEST_F(WifiTest, UnwritableDriveShowsSaveFail) {
    rc::WifiSettings s;
    s.password = "12345678";
    EXPECT_FALSE(rc::WriteWifiConfig("/dev/sdz", s, m_sink));
    WriteFileBytes(m_dir / "car_set", ByteVec{1}); // a file where the folder should be
    EXPECT_FALSE(rc::WriteWifiConfig(m_root, s, m_sink));
    EXPECT_EQ(m_sink.messages, (std::vector<std::string>{"Save Fail", "Save Fail"}));
}

TEST_F(WifiTest, ReadTakesExactNamesOnly) {
    PutFile(
        "; recorder settings\n[other]\nssid=wrong\n[]\r\n Server = 1.2.3.4 \r\nSSID=\"my car\"\r\n"
        "password=abcdefgh\r\nauthmode=wpapsk\r\nencrypt=AES\r\nUsesStaticIp=1\r\nIP=9.9.9.9\r\n");
    rc::WifiSettings s;
    s.auth = rc::WifiAuth::Wpa2Psk;
    s.ip = "kept";
    EXPECT_TRUE(rc::ReadWifiConfig(m_root, s));
    EXPECT_EQ(s.server, "1.2.3.4");
    EXPECT_EQ(s.ssid, "my car");
    EXPECT_EQ(s.password, "abcdefgh");
    EXPECT_EQ(s.auth, rc::WifiAuth::Wpa2Psk); // "wpapsk" is not a name: the radio stays
    EXPECT_EQ(s.encrypt, rc::WifiEncrypt::Aes);
    EXPECT_FALSE(s.staticIp); // address lines are not read back
    EXPECT_EQ(s.ip, "kept");
}

TEST_F(WifiTest, EmptyServerStaysEmptyOnlyAMissingOneIsTheDefault) {
    PutFile("[]\r\nserver=\r\nssid=car\r\n");
    rc::WifiSettings s;
    EXPECT_TRUE(rc::ReadWifiConfig(m_root, s));
    EXPECT_EQ(s.server, "");
    PutFile("[]\r\nssid=car\r\n");
    EXPECT_TRUE(rc::ReadWifiConfig(m_root, s));
    EXPECT_EQ(s.server, "0.0.0.0");
}

TEST_F(WifiTest, MissingFileGivesTheDefaults) {
    rc::WifiSettings s;
    s.ssid = "x";
    s.password = "y";
    s.encrypt = rc::WifiEncrypt::Aes;
    EXPECT_FALSE(rc::ReadWifiConfig(m_root, s));
    EXPECT_EQ(s.server, "0.0.0.0");
    EXPECT_EQ(s.ssid, "");
    EXPECT_EQ(s.password, "");
    EXPECT_EQ(s.encrypt, rc::WifiEncrypt::Aes);
}

} // namespace
} // namespace tavero::testing
