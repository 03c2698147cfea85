// tavero-cli config, wifi and the card-user check on card images: exit status, messages and
// the bytes left on the card.

#include "card_fixture.h"
#include "command_run.h"
#include "expected_bytes.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>

namespace tavero::testing {
namespace {

using CliRun = CommandRun;

// Standard input is a file, never a terminal: the login can only come from the options.
CliRun RunCli(const std::string& args) {
    return RunCommand(std::string("TZ=UTC ") + TAVERO_CLI + " " + args);
}

class CliConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_card = std::make_unique<TestCard>(m_dir / "card.img", 1, 4321);
        std::filesystem::create_directories(m_dir / "root");
        SectorFields f;
        f.videoFormat = 1;
        f.frameRate = 30;
        f.parkFrameRate = 10;
        f.fixedOne = 1;
        f.diskId = 4321;
        Put(f);
    }
    void Put(const SectorFields& f) {
        const Bytes512 b = SectorBytes(f);
        m_card->writeAt(0xA000000, b.data(), b.size());
    }
    [[nodiscard]] ByteVec Sector() const { return FileBytesAt(m_card->path(), 0xA000000, 512); }
    [[nodiscard]] std::string Drive() const {
        return "--drive " + Quote("3=" + m_card->path().string());
    }
    [[nodiscard]] std::string Root() const { return "--root " + Quote((m_dir / "root").string()); }

    TempDir m_dir;
    std::unique_ptr<TestCard> m_card;
};

TEST_F(CliConfigTest, ShowSaveShow) {
    CliRun run = RunCli("config show " + Drive() + " " + Root() + " --json");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"diskId\": 4321"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"videoFormat\": \"CIF\""), std::string::npos) << run.out;

    run = RunCli("config save " + Drive() + " " + Root() +
                 " timeZoneRow=10 plate=abc speedUnit=Knot 'timeSetting=2024-03-01 02:10:00'");
    ASSERT_EQ(run.status, 0) << run.err;
    const ByteVec sector = Sector();
    EXPECT_EQ(sector[84], 0x8A);
    EXPECT_EQ(sector[179], 2); // speed unit, big-endian at 176
    EXPECT_EQ(LoadLe(sector, 184), 63900u);
    EXPECT_EQ(FileBytes(m_dir / "root" / "car_set" / "cartime.cts")[13], 20);

    run = RunCli("config show " + Drive() + " " + Root());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("plate: ABC\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("timeZone: +05:45 NPT Nepal Time\n"), std::string::npos) << run.out;
}

TEST_F(CliConfigTest, UsageErrorsNameTheAllowedValues) {
    const ByteVec before = Sector();
    CliRun run = RunCli("config save " + Drive() + " videoQuality=Best");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("videoQuality takes one of: High, Normal, Low"), std::string::npos)
        << run.err;
    run = RunCli("config save " + Drive() + " colour=red");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("unknown key colour"), std::string::npos) << run.err;
    run = RunCli("config show");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(Sector(), before);
}

TEST_F(CliConfigTest, RefusedSaveWritesNothing) {
    const ByteVec before = Sector();
    CliRun run = RunCli(
        "config save " + Drive() + " " + Root() +
        " frameRate=10 parkFrameRate=15 gsensorLevel=High 'timeSetting=2024-01-01 00:00:00'");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Parking video frame rate than video frame rate"), std::string::npos)
        << run.err;
    EXPECT_FALSE(std::filesystem::exists(m_dir / "root" / "car_set"));
    EXPECT_EQ(Sector(), before);

    run =
        RunCli("config save " + Drive() + " " + Root() + " user1Name=b\xC3\xB6rn user1Password=x");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Half-size"), std::string::npos) << run.err;
    EXPECT_EQ(Sector(), before);
}

TEST_F(CliConfigTest, CardUsersGuardEveryCommand) {
    SectorFields f;
    f.frameRate = 30;
    f.user1Name = "anna";
    f.user1Password = "pw";
    f.diskId = 4321;
    Put(f);
    CliRun run = RunCli("config show " + Drive());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Password Protected! Please input right password..."), std::string::npos)
        << run.err;
    run = RunCli("config show " + Drive() + " --user anna --password PW");
    EXPECT_EQ(run.status, 1);
    run = RunCli("config show " + Drive() + " --user anna --password pw");
    EXPECT_EQ(run.status, 0) << run.err;
    run = RunCli("info car2://3 " + Drive());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("car2://3"), std::string::npos) << run.err;
}

TEST_F(CliConfigTest, ForeignSectorOpensWithoutUsersAndWarns) {
    SectorFields f;
    f.user1Name = "anna";
    f.user1Password = "pw";
    f.diskId = 1; // another card's sector: read as the default one, which has no users
    Put(f);
    const CliRun run = RunCli("config show " + Drive());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("Warning: last config is damaged"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("sectorValid: no"), std::string::npos);
}

TEST_F(CliConfigTest, FactoryLeavesTheDefaultSectorWithTheCardsIdentifier) {
    const CliRun run = RunCli("config factory " + Drive() + " " + Root());
    ASSERT_EQ(run.status, 0) << run.err;
    SectorFields f;
    f.diskId = 4321;
    const Bytes512 expected = SectorBytes(f);
    EXPECT_EQ(Sector(), ByteVec(expected.begin(), expected.end()));
    EXPECT_TRUE(std::filesystem::exists(m_dir / "root" / "car_set" / "sensor.gse"));
    EXPECT_FALSE(std::filesystem::exists(m_dir / "root" / "car_set" / "taverosetting.cbs"));
}

TEST_F(CliConfigTest, MissingDriveIsAFailureNamingIt) {
    const CliRun run = RunCli("config show --drive 3=" + Quote((m_dir / "none.img").string()));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("none.img"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(m_dir / "none.img"));
}

TEST_F(CliConfigTest, WifiSaveAndShow) {
    CliRun run = RunCli("wifi save " + Root() + " --ssid car --password 1234567");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Please Enter Min. 8 Digits."), std::string::npos) << run.err;
    run = RunCli("wifi save " + Root() + " --ssid car --password 12345678 --encrypt AES");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(
        FileBytes(m_dir / "root" / "car_set" / "wifi_cfg.txt"),
        TextBytes("[]\r\nserver=0.0.0.0\r\nssid=car\r\npassword=12345678\r\nauthmode=OPEN\r\n"
                  "encrypt=AES\r\nUsesStaticIp=0\r\nIP=\r\nSubnetMask =\r\nGateway=\r\nDNS=\r\n"));
    run = RunCli("wifi show " + Root());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("ssid: car\n"), std::string::npos) << run.out;
    run = RunCli("wifi save " + Root() + " --auth wpa --password 12345678");
    EXPECT_EQ(run.status, 2);

    // A save that does not mention the static IP keeps the card's addresses; "off" turns it off.
    run = RunCli("wifi save " + Root() +
                 " --password 12345678 --static-ip 10.0.0.2,255.0.0.0,10.0.0.1,10.0.0.1");
    ASSERT_EQ(run.status, 0) << run.err;
    run = RunCli("wifi save " + Root() + " --ssid other --password 12345678");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string addresses =
        "IP=10.0.0.2\r\nSubnetMask =255.0.0.0\r\nGateway=10.0.0.1\r\nDNS=10.0.0.1\r\n";
    EXPECT_EQ(
        FileBytes(m_dir / "root" / "car_set" / "wifi_cfg.txt"),
        TextBytes("[]\r\nserver=0.0.0.0\r\nssid=other\r\npassword=12345678\r\nauthmode=OPEN\r\n"
                  "encrypt=AES\r\nUsesStaticIp=1\r\n" +
                  addresses));
    run = RunCli("wifi save " + Root() + " --password 12345678 --static-ip off");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(
        FileBytes(m_dir / "root" / "car_set" / "wifi_cfg.txt"),
        TextBytes("[]\r\nserver=0.0.0.0\r\nssid=other\r\npassword=12345678\r\nauthmode=OPEN\r\n"
                  "encrypt=AES\r\nUsesStaticIp=0\r\n" +
                  addresses));
}

TEST_F(CliConfigTest, TimeSettingRefusesDatesThatDoNotExist) {
    const ByteVec before = Sector();
    for (const char* date : {"2024-02-31 10:00:00", "2023-02-29 10:00:00", "2024-04-31 00:00:00",
                             "2024-00-10 00:00:00", "2024-13-01 00:00:00"}) {
        SCOPED_TRACE(date);
        const CliRun run =
            RunCli("config save " + Drive() + " " + Root() + " 'timeSetting=" + date + "'");
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find("timeSetting takes 'YYYY-MM-DD HH:MM:SS'"), std::string::npos)
            << run.err;
        EXPECT_EQ(Sector(), before);
        EXPECT_FALSE(std::filesystem::exists(m_dir / "root" / "car_set" / "cartime.cts"));
    }
    // 29 February of a leap year exists; the clock record holds it as written (zone +00:00).
    const CliRun run = RunCli("config save " + Drive() + " " + Root() +
                              " timeZoneRow=1 'timeSetting=2024-02-29 23:59:58'");
    ASSERT_EQ(run.status, 0) << run.err;
    const ByteVec clock = FileBytes(m_dir / "root" / "car_set" / "cartime.cts");
    ASSERT_EQ(clock.size(), 20u);
    EXPECT_EQ(clock[10], 124); // 2024 - 1900
    EXPECT_EQ(clock[11], 1);   // February
    EXPECT_EQ(clock[12], 29);
}

TEST_F(CliConfigTest, WifiSaveKeepsEveryValueItWasNotToldToChange) {
    struct Case {
        const char* name;
        std::string file;     // the card's file before the save (CR LF lines)
        std::string expected; // after "wifi save --ssid new --password 12345678"
    };
    const std::string tail = "UsesStaticIp=0\r\nIP=\r\nSubnetMask =\r\nGateway=\r\nDNS=\r\n";
    const Case cases[] = {
        {"empty server, authentication and cipher",
         "[]\r\nserver=\r\nssid=car\r\npassword=old-pass\r\nauthmode=\r\nencrypt=\r\n" + tail,
         "[]\r\nserver=\r\nssid=new\r\npassword=12345678\r\nauthmode=\r\nencrypt=\r\n" + tail},
        {"names the dialog does not offer",
         "[]\r\nserver=10.0.0.1\r\nssid=car\r\npassword=old-pass\r\nauthmode=wpa2psk\r\n"
         "encrypt=TKIPAES\r\n" +
             tail,
         "[]\r\nserver=10.0.0.1\r\nssid=new\r\npassword=12345678\r\nauthmode=wpa2psk\r\n"
         "encrypt=TKIPAES\r\n" +
             tail},
        {"WPA2 with AES",
         "[]\r\nserver=10.0.0.1\r\nssid=car\r\npassword=old-pass\r\nauthmode=WPA2PSK\r\n"
         "encrypt=AES\r\n" +
             tail,
         "[]\r\nserver=10.0.0.1\r\nssid=new\r\npassword=12345678\r\nauthmode=WPA2PSK\r\n"
         "encrypt=AES\r\n" +
             tail},
    };
    const auto file = m_dir / "root" / "car_set" / "wifi_cfg.txt";
    std::filesystem::create_directories(file.parent_path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(file, TextBytes(c.file));
        const CliRun run = RunCli("wifi save " + Root() + " --ssid new --password 12345678");
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(FileBytes(file), TextBytes(c.expected));
    }
    // What the command is told to change, it changes.
    WriteFileBytes(file, TextBytes(cases[1].file));
    const CliRun run = RunCli("wifi save " + Root() + " --auth WPAPSK --encrypt AES --server ''");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(FileBytes(file),
              TextBytes("[]\r\nserver=\r\nssid=car\r\npassword=old-pass\r\nauthmode=WPAPSK\r\n"
                        "encrypt=AES\r\n" +
                        tail));
}

} // namespace
} // namespace tavero::testing
