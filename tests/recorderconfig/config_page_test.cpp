// The configuration page model: what it shows when it opens on a card, its input rules, and what
// a save writes or refuses to write.

#include "card_fixture.h"
#include "expected_bytes.h"
#include "page_fakes.h"
#include "platform/drive_table.h"
#include "recorderconfig/config_page.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace tavero::testing {
namespace {

namespace rc = recorderconfig;

constexpr int kDrive = 5;
constexpr std::uint32_t kDiskId = 31337;

class ConfigPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = m_dir.path().string() + "/";
        m_card = std::make_unique<TestCard>(m_dir / "card.img", 1, kDiskId);
        platform::SetDrivePath(kDrive, m_card->path().string());
    }
    void TearDown() override { platform::SetDrivePath(kDrive, ""); }

    void PutSector(const SectorFields& f) {
        const Bytes512 b = SectorBytes(f);
        m_card->writeAt(0xA000000, b.data(), b.size());
    }
    [[nodiscard]] ByteVec SectorOnCard() const {
        return FileBytesAt(m_card->path(), 0xA000000, 512);
    }
    [[nodiscard]] std::string Path(const std::string& name) const {
        return m_root + "car_set/" + name;
    }

    std::unique_ptr<rc::CConfigPage> OpenPage(int drive = kDrive) {
        rc::PageContext context;
        context.drive = drive;
        context.cardRoot = drive == -1 ? "" : m_root;
        context.sector = &m_sector;
        context.timeOffset = &m_timeOffset;
        context.localOffsetSeconds = 3600;
        auto page = std::make_unique<rc::CConfigPage>(context, m_settings, m_sink);
        page->Open();
        return page;
    }

    TempDir m_dir;
    std::string m_root;
    std::unique_ptr<TestCard> m_card;
    FakeSettings m_settings;
    RecordingSink m_sink;
    rc::ConfigSector m_sector;
    std::int32_t m_timeOffset = 0;
};

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

TEST_F(ConfigPageTest, OpensOnTheCardsValues) {
    SectorFields f = BaseSector();
    f.zoneSeconds = 63900;
    f.user1Name = "anna";
    f.user1Password = "pw";
    f.playbackPassword = "0712";
    f.speedUnit = 1;
    f.parkMode = 49;
    f.plate = "\x8A"
              "BC";
    PutSector(f);
    auto page = OpenPage();
    const auto& o = page->options();
    EXPECT_TRUE(page->sectorValid());
    EXPECT_EQ(page->Title([](std::string_view s) { return std::string(s); }),
              "Configuration - [" + m_root + "]");
    EXPECT_EQ(page->ButtonCaption(), "Save");
    EXPECT_EQ(o.videoFormat, 1);
    EXPECT_EQ(page->frontRateEntries().at(static_cast<std::size_t>(o.frontRate)), "30");
    EXPECT_EQ(page->parkRateEntries().at(static_cast<std::size_t>(o.parkRate)), "10");
    EXPECT_EQ(o.timeZoneRow, 10); // +05:45
    EXPECT_EQ(o.user1Name, "anna");
    EXPECT_EQ(o.speedUnit, 1);
    EXPECT_EQ(o.parkMode, 49);
    EXPECT_EQ(o.plate, "ABC");
    EXPECT_TRUE(o.plateTicked);
    EXPECT_TRUE(o.playbackPasswordTicked);
    EXPECT_EQ(o.playbackDigits, (std::array<int, 4>{0, 7, 1, 2}));
    // No files on the card: the files' defaults.
    EXPECT_TRUE(o.pal);
    EXPECT_FALSE(o.continuousRecording);
    EXPECT_TRUE(o.audioOn);
    EXPECT_EQ(o.frontSensitivity, 2);
    EXPECT_EQ(o.carType, 0);
    EXPECT_EQ(o.gsensorLevel, 0); // a card without G-sensor files, not the settings' defaults
}

TEST_F(ConfigPageTest, EmptyZoneSecondsAndDamagedSector) {
    SectorFields f = BaseSector();
    f.zoneSeconds = 0;
    PutSector(f);
    m_settings.values["Config/TimeZone"] = 14;
    auto page = OpenPage();
    EXPECT_EQ(page->options().timeZoneRow, 14);

    f.diskId = kDiskId + 1;
    PutSector(f);
    page = OpenPage();
    EXPECT_FALSE(page->sectorValid());
    EXPECT_EQ(page->Title([](std::string_view s) { return "<" + std::string(s) + ">"; }),
              "<Configuration> <Warning: last config is damaged>");
    EXPECT_EQ(m_sector.diskId, kDiskId); // the default sector of this card
}

TEST_F(ConfigPageTest, PalFrameRateIsSavedAs25InTheSettingFileAnd30Elsewhere) {
    m_settings.values["Default/VideoFrameRateFront_DfSet"] = 4;
    SectorFields f = BaseSector();
    f.videoFormat = 0;
    f.frameRate = 25;
    PutSector(f);
    auto page = OpenPage();
    ASSERT_GE(page->options().frontRate, 0);
    EXPECT_EQ(page->frontRateEntries()[static_cast<std::size_t>(page->options().frontRate)],
              "25(PAL) / 30(NTSC)");
    ASSERT_EQ(page->Save(), rc::SaveResult::Closed);
    const ByteVec setting = FileBytes(Path("taverosetting.cbs"));
    ASSERT_EQ(setting.size(), 104u);
    EXPECT_EQ(setting[8], 25);
    const ByteVec video = FileBytes(Path("video.vcf"));
    ASSERT_EQ(video.size(), 56u);
    EXPECT_EQ(video[20], 30);
    EXPECT_EQ(SectorOnCard()[15], 30); // big-endian frameRate at 12
}

TEST_F(ConfigPageTest, PlateEditRules) {
    PutSector(BaseSector());
    auto page = OpenPage();
    page->SetPlateTicked(true);
    page->EditPlate("abc");
    page->LeavePlate();
    EXPECT_EQ(page->options().plate, "ABC");
    page->EditPlate("ABCDEFGHIJK");
    EXPECT_EQ(page->options().plate, "ABCDEFGHIJ");
    EXPECT_EQ(page->PlateCounter(), "10/10");
    page->EditPlate("AB\tCD");
    EXPECT_EQ(page->options().plate, "AB");
    page->EditPlate("AB\xC3\xA9"
                    "CD"); // non-ASCII cuts
    EXPECT_EQ(page->options().plate, "AB");
    page->SetPlateTicked(false);
    EXPECT_EQ(page->options().plate, "");
}

TEST_F(ConfigPageTest, SaveStoresZonePlateAndUsers) {
    PutSector(BaseSector());
    auto page = OpenPage();
    page->SelectTimeZone(10); // +05:45
    page->SetPlateTicked(true);
    page->EditPlate("abc");
    page->SetUser(1, "anna", "secret");
    page->SelectSpeedUnit(2);
    page->SetTimeSetting(true, {2024, 3, 1, 2, 10, 0});
    ASSERT_EQ(page->Save(), rc::SaveResult::Closed);
    EXPECT_EQ(m_settings.values["Config/TimeZone"], 10);
    EXPECT_EQ(m_timeOffset, 20700);

    SectorFields f = BaseSector();
    f.zoneSeconds = 63900;
    f.zoneCode = 18;
    f.blockZoneCode = 18;
    f.plate = "\x8A"
              "BC";
    f.user1Name = "anna";
    f.user1Password = "secret";
    f.speedUnit = 2;
    f.frameRate = 30;
    const Bytes512 expected = SectorBytes(f);
    EXPECT_EQ(SectorOnCard(), ByteVec(expected.begin(), expected.end()));

    const ByteVec setting = FileBytes(Path("taverosetting.cbs"));
    ASSERT_EQ(setting.size(), 104u);
    EXPECT_EQ(ByteVec(setting.begin() + 80, setting.begin() + 100),
              TextBytes("\x8A"
                        "BC                 "));
    const ByteVec carData = FileBytes(Path("cardata.cdf"));
    ASSERT_EQ(carData.size(), 80u);
    EXPECT_EQ(ByteVec(carData.begin() + 12, carData.begin() + 16),
              TextBytes(std::string("ABC\0", 4)));
    const ByteVec clock = FileBytes(Path("cartime.cts"));
    ASSERT_EQ(clock.size(), 20u);
    EXPECT_EQ(clock[12], 29); // 2024-02-29 20:25 UTC
    EXPECT_EQ(clock[13], 20);
    EXPECT_EQ(clock[14], 25);
}

TEST_F(ConfigPageTest, ChinesePlateCarriesTheProvinceCode) {
    m_settings.chinese = true;
    m_settings.provinces = {"1=A", "2=B", "3=C"};
    SectorFields f = BaseSector();
    f.plate = "\x81"
              "12345";
    PutSector(f);
    auto page = OpenPage();
    EXPECT_EQ(page->options().province, 1);
    EXPECT_EQ(page->options().plate, "12345");
    page->SelectProvince(2);
    ASSERT_EQ(page->Save(), rc::SaveResult::Closed);
    EXPECT_EQ(SectorOnCard()[84], 0x82);
    EXPECT_EQ(SectorOnCard()[85], '1');
}

TEST_F(ConfigPageTest, NonHalfSizeTextBlocksTheSaveAndWritesNothing) {
    PutSector(BaseSector());
    const ByteVec before = SectorOnCard();
    auto page = OpenPage();
    page->SetUser(2, "bj\xC3\xB6rn", "pw");
    EXPECT_EQ(page->Save(), rc::SaveResult::StayOpen);
    EXPECT_EQ(m_sink.messages,
              std::vector<std::string>{
                  "Please enter Half-size characters for setting user name and password."});
    EXPECT_FALSE(std::filesystem::exists(m_dir / "car_set"));
    EXPECT_EQ(SectorOnCard(), before);
}

TEST_F(ConfigPageTest, SwitchingToFormatZeroKeepsOrLimitsTheParkingRate) {
    SectorFields f = BaseSector();
    f.parkFrameRate = 30;
    PutSector(f);
    auto page = OpenPage();
    EXPECT_EQ(page->options().parkRate, 6);
    page->SelectVideoFormat(0);
    EXPECT_EQ(page->parkRateEntries().size(), 4u);
    EXPECT_EQ(page->options().parkRate, 3); // "15"
    EXPECT_EQ(page->options().frontRate, static_cast<int>(page->frontRateEntries().size()) - 1);
    page->SelectParkRate(1);
    page->SelectVideoFormat(1);
    EXPECT_EQ(page->options().parkRate, 1); // still inside the longer list
}

TEST_F(ConfigPageTest, ParkingRateAboveFrontRateStopsTheSaveBeforeAnyWrite) {
    PutSector(BaseSector());
    const ByteVec before = SectorOnCard();
    auto page = OpenPage();
    page->SelectFrontRate(1); // "10" of "5, 10, 15, 20, 25, 30"
    page->SelectParkRate(3);  // "15"
    page->SetTimeSetting(true, {2024, 1, 1, 0, 0, 0});
    page->SelectGsensor(1, 2);
    EXPECT_EQ(page->Save(), rc::SaveResult::StayOpen);
    EXPECT_EQ(m_sink.messages,
              std::vector<std::string>{"Parking video frame rate than video frame rate"});
    EXPECT_EQ(page->options().parkRate, 2); // the entry after the front list's position
    // Neither the clock, norm, recording-mode and G-sensor files nor anything else was written.
    EXPECT_FALSE(std::filesystem::exists(m_dir / "car_set"));
    EXPECT_EQ(SectorOnCard(), before);

    // Corrected, the save goes through.
    m_sink.messages.clear();
    EXPECT_EQ(page->Save(), rc::SaveResult::Closed);
    EXPECT_TRUE(m_sink.messages.empty());
    EXPECT_TRUE(std::filesystem::exists(Path("cartime.cts")));
    EXPECT_TRUE(std::filesystem::exists(Path("sensor2.gse")));
}

TEST_F(ConfigPageTest, WithoutACardOnlyTheUnitsChange) {
    m_settings.values["Config/SetEDR_Speed"] = 1;
    auto page = OpenPage(-1);
    EXPECT_EQ(page->ButtonCaption(), "OK");
    EXPECT_EQ(page->options().speedUnit, 1);
    EXPECT_EQ(page->Title([](std::string_view s) { return std::string(s); }), "Configuration");
    page->SelectSpeedUnit(2);
    page->SelectParkRate(6); // would fail the parking check on a card
    EXPECT_EQ(page->Save(), rc::SaveResult::Closed);
    EXPECT_EQ(m_sector.speedUnit, 2u);
    EXPECT_FALSE(std::filesystem::exists(m_dir / "car_set"));
    EXPECT_TRUE(m_sink.messages.empty());
}

TEST_F(ConfigPageTest, FailedSectorWriteIsReportedAndThePageCloses) {
    PutSector(BaseSector());
    auto page = OpenPage();
    platform::SetDrivePath(kDrive, (m_dir / "gone.img").string()); // the card went away
    rc::CardSaveOutcome outcome;
    EXPECT_EQ(page->Save(&outcome), rc::SaveResult::Closed);
    EXPECT_FALSE(outcome.sectorWritten);
    EXPECT_EQ(m_sink.messages, std::vector<std::string>{"Save Disck Configuration Failed"});
}

TEST_F(ConfigPageTest, ReopensWithTheCardsFiles) {
    PutSector(BaseSector());
    auto page = OpenPage();
    page->SetPal(false);
    page->SetContinuousRecording(true);
    page->SetRearCameraDisabled(true); // audio follows
    page->SelectSensitivity(4, 0);
    page->SelectGsensor(3, 5);
    ASSERT_EQ(page->Save(), rc::SaveResult::Closed);
    page = OpenPage();
    const auto& o = page->options();
    EXPECT_FALSE(o.pal);
    EXPECT_TRUE(o.continuousRecording);
    EXPECT_FALSE(o.audioOn);
    EXPECT_EQ(o.frontSensitivity, 4);
    EXPECT_EQ(o.rearSensitivity, 0);
    EXPECT_EQ(o.carType, 3);
    EXPECT_EQ(o.gsensorLevel, 5);
    EXPECT_FALSE(o.rearCameraDisabled); // not read back: always starts unticked
    EXPECT_TRUE(page->RequestGsensorReset());
    EXPECT_EQ(FileBytes(Path("correct_g.cfg")).size(), 0u);
    EXPECT_TRUE(std::filesystem::exists(Path("correct_g.cfg")));
}

TEST(TimeZoneTable, RowsOffsetsAndCodes) {
    const auto rows = rc::BuildTimeZoneTable(-(3 * 3600 + 1800));
    ASSERT_EQ(rows.size(), 41u);
    EXPECT_EQ(rows[0].hours, -3);
    EXPECT_EQ(rows[0].quarters, -2);
    EXPECT_EQ(rows[0].offsetSeconds, -12600);
    EXPECT_EQ(rows[0].code, 0u);
    EXPECT_EQ(rows[10].offsetSeconds + 43200, 63900);
    EXPECT_EQ(rows[10].code, 18u);
    EXPECT_EQ(rows[22].offsetSeconds, 12 * 3600 + 2700);
    EXPECT_EQ(rows[24].code, 25u); // +14:00
    EXPECT_EQ(rows[27].offsetSeconds, -9000);
    EXPECT_EQ(rows[27].code, 3u);
    EXPECT_EQ(rows[40].offsetSeconds, -43200);
    EXPECT_EQ(rows[40].code, 13u);
}

TEST(PageLists, ChosenBySectionDefault) {
    EXPECT_EQ(rc::BuildPageLists(3, 5, 1, 3).videoFormats,
              (std::vector<std::string>{"720P", "VGA"}));
    EXPECT_EQ(rc::BuildPageLists(7, 5, 1, 3).frontRates.back(), "25(PAL) / 30(NTSC)");
    EXPECT_EQ(rc::BuildPageLists(-1, -1, 1, 3).rearRates.size(), 3u);
    EXPECT_EQ(rc::BuildPageLists(-1, -1, -1, 3).carTypes,
              (std::vector<std::string>{"Truck", "Motorcycle", "Special"}));
    EXPECT_EQ(rc::ParkingModeNames().size(), 50u);
    EXPECT_EQ(rc::ParkingModeNames()[1], "00:30");
    EXPECT_EQ(rc::ParkingModeNames()[48], "24:00");
    EXPECT_EQ(rc::EntryNumber("25(PAL) / 30(NTSC)"), 25u);
}

} // namespace
} // namespace tavero::testing
