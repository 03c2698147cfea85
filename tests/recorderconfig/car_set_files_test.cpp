// The "car_set/" files: exact bytes of every record against bytes built from the recorder's
// tables, the read-back rules for damaged files, the save order and the factory defaults.

#include "card_fixture.h"
#include "expected_bytes.h"
#include "page_fakes.h"
#include "platform/drive_table.h"
#include "recorderconfig/car_set_files.h"
#include "recorderconfig/card_save.h"
#include "recorderconfig/wifi_config.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace tavero::testing {
namespace {

namespace rc = recorderconfig;

class CarSetTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = m_dir.path().string() + "/";
        std::filesystem::create_directories(m_dir / "car_set");
    }
    [[nodiscard]] std::string Path(const std::string& name) const {
        return m_root + "car_set/" + name;
    }
    [[nodiscard]] ByteVec Bytes(const std::string& name) const { return FileBytes(Path(name)); }

    TempDir m_dir;
    std::string m_root;
};

TEST_F(CarSetTest, SwitchRecords) {
    // magic 0x115533AA with value 1 has the checksum 0x115533AB.
    ASSERT_TRUE(rc::WriteSwitchRecord(Path("recaudio.acf"), 0x115533AA, 1, true));
    const ByteVec audio = Bytes("recaudio.acf");
    EXPECT_EQ(audio, (ByteVec{0xAA, 0x33, 0x55, 0x11, 1, 0, 0, 0, 0xAB, 0x33, 0x55, 0x11}));
    // Only the low byte of the audio and norm values is written.
    ASSERT_TRUE(rc::WriteSwitchRecord(Path("videonorm.vfg"), 0x21BA54AB, 0x101, true));
    EXPECT_EQ(Bytes("videonorm.vfg"), SwitchRecord(0x21BA54AB, 1));
    ASSERT_TRUE(rc::WriteSwitchRecord(Path("rec_mode.cfg"), 0x08130922, 0));
    EXPECT_EQ(Bytes("rec_mode.cfg"), SwitchRecord(0x08130922, 0));
}

TEST_F(CarSetTest, SwitchRecordReadRules) {
    struct Case {
        const char* what;
        ByteVec bytes;
        bool lowByte;
        int defaultValue;
        int expected;
    };
    ByteVec withTail = SwitchRecord(0x08130922, 0);
    withTail.push_back(0x55); // bytes beyond the record are ignored
    ByteVec badSum = SwitchRecord(0x08130922, 0);
    badSum[8] ^= 1;
    const Case cases[] = {
        {"value 0", SwitchRecord(0x08130922, 0), false, 1, 0},
        {"value 7", SwitchRecord(0x08130922, 7), false, 0, 1},
        {"high bytes ignored for low-byte records", SwitchRecord(0x08130922, 0x100), true, 1, 0},
        {"high bytes count otherwise", SwitchRecord(0x08130922, 0x100), false, 0, 1},
        {"trailing bytes", withTail, false, 1, 0},
        {"bad checksum", badSum, false, 1, 1},
        {"other magic", SwitchRecord(0x08130923, 0), false, 1, 1},
        {"short", ByteVec(11, 0), false, 1, 1},
    };
    for (const Case& c : cases) {
        WriteFileBytes(Path("rec_mode.cfg"), c.bytes);
        EXPECT_EQ(rc::ReadSwitchRecord(Path("rec_mode.cfg"), 0x08130922, c.defaultValue, c.lowByte),
                  c.expected)
            << c.what;
    }
    EXPECT_EQ(rc::ReadSwitchRecord(Path("missing"), 0x08130922, 1), 1);
}

ByteVec SettingRecordBytes(std::uint32_t format, std::uint32_t rate, std::uint32_t quality,
                           std::uint32_t park, std::uint32_t parkMode, std::uint32_t zone,
                           const std::string& plate) {
    ByteVec r(104, 0);
    PutLe32(r.data(), 0xABCDAA55);
    PutLe32(r.data() + 4, format);
    PutLe32(r.data() + 8, rate);
    PutLe32(r.data() + 12, quality);
    PutLe32(r.data() + 16, park);
    for (int i = 0; i < 12; ++i) {
        PutLe32(r.data() + 20 + 4 * i, 10);
    }
    PutLe32(r.data() + 68, parkMode);
    PutLe32(r.data() + 72, 1);
    PutLe32(r.data() + 76, zone);
    for (std::size_t i = 0; i < 20; ++i) {
        r[80 + i] = i < plate.size() ? static_cast<std::uint8_t>(plate[i]) : 0x20;
    }
    SealRecord(r);
    return r;
}

TEST_F(CarSetTest, SettingRecordPadsThePlateWithSpaces) {
    rc::ConfigSector s;
    rc::MakeDefaultConfigSector(s, 1);
    s.videoFormat = 1;
    s.frameRate = 25;
    s.videoQuality = 1;
    s.parkFrameRate = 10;
    s.parkMode = 49;
    s.fixedOne = 1;
    s.zoneCode = 18;
    rc::SetFieldText(s.plate,
                     "\x8A"
                     "BC",
                     false);
    ASSERT_TRUE(rc::WriteSettingRecord(Path("taverosetting.cbs"), s));
    const ByteVec expected = SettingRecordBytes(1, 25, 1, 10, 49, 18,
                                                "\x8A"
                                                "BC");
    EXPECT_EQ(Bytes("taverosetting.cbs"), expected);

    rc::SettingRecord back;
    ASSERT_TRUE(rc::ReadSettingRecord(Path("taverosetting.cbs"), back));
    EXPECT_EQ(back.frameRate, 25u);
    EXPECT_EQ(back.zoneCode, 18u);
    EXPECT_EQ(back.plate[0], 0x8A);
    EXPECT_EQ(back.plate[19], 0x20);

    ByteVec damaged = expected;
    damaged[30] ^= 4;
    WriteFileBytes(Path("taverosetting.cbs"), damaged);
    EXPECT_FALSE(rc::ReadSettingRecord(Path("taverosetting.cbs"), back));
}

TEST_F(CarSetTest, GsensorFilesFollowTheParameterTables) {
    struct Case {
        int set, car, level;
        int x, y, z;
        bool enabled;
    };
    const Case cases[] = {
        {1, 0, 1, 230, 230, 307, true},  {1, 3, 5, 154, 154, 154, true},
        {1, 1, 0, 128, 128, 179, false}, // Off writes level 3's row, disabled
        {2, 2, 4, 230, 179, 1023, true}, {2, 3, 0, 1024, 1024, 1022, false},
        {9, 0, 2, 256, 256, 358, true}, // an unknown set uses set 1
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rc::WriteGsensorFiles(m_root, {c.car, c.level}, c.set), 0);
        const ByteVec thresholds = ThresholdRecord(c.x, c.y, c.z, c.enabled);
        const ByteVec choice = ChoiceRecord(c.level, c.car);
        EXPECT_EQ(Bytes("sensor.gse"), thresholds) << c.set << c.car << c.level;
        EXPECT_EQ(Bytes("sensor.gse2"), thresholds);
        EXPECT_EQ(Bytes("sensor2.gse"), choice);
        EXPECT_EQ(Bytes("sensor2.gse2"), choice);
        const rc::GsensorChoice back = rc::ReadGsensorChoice(m_root, c.set, {2, 2});
        EXPECT_EQ(back.carType, c.car);
        EXPECT_EQ(back.level, c.level);
    }
}

TEST_F(CarSetTest, GsensorChoiceReadRules) {
    const rc::GsensorChoice defaults{1, 4};
    // Car type 7 is clamped to 3.
    WriteFileBytes(Path("sensor2.gse"), ChoiceRecord(2, 7));
    WriteFileBytes(Path("sensor.gse"), ThresholdRecord(51, 51, 51, true));
    rc::GsensorChoice c = rc::ReadGsensorChoice(m_root, 1, defaults);
    EXPECT_EQ(c.carType, 3);
    EXPECT_EQ(c.level, 2);

    // A disabled sensor reads as level 0 whatever its thresholds.
    WriteFileBytes(Path("sensor.gse"), ThresholdRecord(1, 2, 3, false));
    c = rc::ReadGsensorChoice(m_root, 1, defaults);
    EXPECT_EQ(c.level, 0);

    // Thresholds in no row leave the level at 0.
    WriteFileBytes(Path("sensor.gse"), ThresholdRecord(1, 2, 3, true));
    EXPECT_EQ(rc::ReadGsensorChoice(m_root, 1, defaults).level, 0);

    // A damaged thresholds record gives the defaults outright.
    ByteVec damaged = ThresholdRecord(51, 51, 51, true);
    damaged[16] ^= 1;
    WriteFileBytes(Path("sensor.gse"), damaged);
    c = rc::ReadGsensorChoice(m_root, 1, defaults);
    EXPECT_EQ(c.carType, 1);
    EXPECT_EQ(c.level, 4);

    // A choice record with a bad checksum gives car type 0; its thresholds are then looked up
    // in car type 0's rows.
    ByteVec badChoice = ChoiceRecord(2, 3);
    badChoice[8] ^= 1;
    WriteFileBytes(Path("sensor2.gse"), badChoice);
    WriteFileBytes(Path("sensor.gse"), ThresholdRecord(358, 358, 461, true));
    c = rc::ReadGsensorChoice(m_root, 1, defaults);
    EXPECT_EQ(c.carType, 0);
    EXPECT_EQ(c.level, 4);

    // Missing files: car 0, level 0.
    std::filesystem::remove(Path("sensor.gse"));
    std::filesystem::remove(Path("sensor2.gse"));
    c = rc::ReadGsensorChoice(m_root, 1, defaults);
    EXPECT_EQ(c.carType, 0);
    EXPECT_EQ(c.level, 0);
}

TEST_F(CarSetTest, CameraScripts) {
    ASSERT_TRUE(rc::WriteCameraScript(Path("camera1.cfg"), rc::kDefaultCameraTable, 2));
    EXPECT_EQ(Bytes("camera1.cfg"), TextBytes("carcam01\nw 0x14 0x21\n"));
    EXPECT_EQ(Bytes("camera1.cfg").size(), 21u);
    EXPECT_EQ(rc::ReadCameraScript(Path("camera1.cfg"), rc::kDefaultCameraTable), 2);

    const rc::CameraTable custom = {5, 6, 7, 8, 123};
    ASSERT_TRUE(rc::WriteCameraScript(Path("camera2.cfg"), custom, 4));
    EXPECT_EQ(Bytes("camera2.cfg"), TextBytes("carcam01\nw 0x14 0x123\n"));
    EXPECT_EQ(rc::ReadCameraScript(Path("camera2.cfg"), custom), 4);

    const std::pair<const char*, int> reads[] = {
        {"carcam01\nw 0x14 0x25\n", 2}, // not a table entry
        {"carcam01\nw 0x14 0x41", 4},   // no final line break needed
        {"carcam01 w 0x14 0x 1\n", 0},  // white space matches white space
        {"carcam02\nw 0x14 0x41\n", 2}, // another tag
        {"carcam01\nw 0x14 0xzz\n", 2}, // no number
        {"", 2},
    };
    for (const auto& [text, index] : reads) {
        WriteFileBytes(Path("camera1.cfg2"), TextBytes(text));
        EXPECT_EQ(rc::ReadCameraScript(Path("camera1.cfg2"), rc::kDefaultCameraTable), index)
            << text;
    }
    EXPECT_EQ(rc::ReadCameraScript(Path("absent.cfg2"), rc::kDefaultCameraTable), 2);
}

ByteVec VideoRecordBytes(std::uint32_t format, std::uint32_t rate, std::uint32_t quality) {
    ByteVec r(56, 0);
    PutLe32(r.data(), 0x115533AB);
    for (int i = 0; i < 4; ++i) {
        PutLe32(r.data() + 4 + 4 * i, format);
        PutLe32(r.data() + 20 + 4 * i, rate);
        PutLe32(r.data() + 36 + 4 * i, quality);
    }
    SealRecord(r);
    return r;
}

ByteVec CarDataBytes(bool plate, const std::string& plateText, bool info,
                     const std::string& infoText) {
    ByteVec r(80, 0);
    PutLe32(r.data(), 0x45789436);
    PutLe32(r.data() + 4, plate ? 1 : 0);
    PutLe32(r.data() + 8, info ? 1 : 0);
    if (plate) {
        std::copy(plateText.begin(), plateText.end(), r.begin() + 12);
    }
    if (info) {
        std::copy(infoText.begin(), infoText.end(), r.begin() + 28);
    }
    SealRecord(r);
    return r;
}

ByteVec ClockBytes(int year, int month, int day, int hour, int minute, int second) {
    ByteVec r(20, 0);
    const std::string tag = "TAVEROTIME";
    std::copy(tag.begin(), tag.end(), r.begin());
    r[10] = static_cast<std::uint8_t>(year - 1900);
    r[11] = static_cast<std::uint8_t>(month - 1);
    r[12] = static_cast<std::uint8_t>(day);
    r[13] = static_cast<std::uint8_t>(hour);
    r[14] = static_cast<std::uint8_t>(minute);
    r[15] = static_cast<std::uint8_t>(second);
    SealRecord(r);
    return r;
}

TEST_F(CarSetTest, VideoCarDataAndClockRecords) {
    ASSERT_TRUE(rc::WriteVideoRecord(Path("video.vcf"), 1, 30, 2));
    EXPECT_EQ(Bytes("video.vcf"), VideoRecordBytes(1, 30, 2));

    ASSERT_TRUE(rc::WriteCarData(Path("cardata.cdf"), {true, "ABC", true, "blue van"}));
    EXPECT_EQ(Bytes("cardata.cdf"), CarDataBytes(true, "ABC", true, "blue van"));
    // Texts of unticked options are not stored; overlong texts keep their terminator.
    ASSERT_TRUE(rc::WriteCarData(Path("cardata.cdf"), {false, "ABC", true, std::string(60, 'x')}));
    EXPECT_EQ(Bytes("cardata.cdf"), CarDataBytes(false, "", true, std::string(47, 'x')));

    // 2024-03-01 02:10:00 at +05:45 is 2024-02-29 20:25:00 UTC.
    const rc::ClockFields utc = rc::ClockInUtc({2024, 3, 1, 2, 10, 0}, 5 * 3600 + 45 * 60);
    ASSERT_TRUE(rc::WriteClockSetting(Path("cartime.cts"), utc));
    EXPECT_EQ(Bytes("cartime.cts"), ClockBytes(2024, 2, 29, 20, 25, 0));
    // West of UTC the day moves forward across the year's end.
    const rc::ClockFields west = rc::ClockInUtc({2023, 12, 31, 22, 0, 0}, -3 * 3600 - 1800);
    EXPECT_EQ(west.year, 2024);
    EXPECT_EQ(west.month, 1);
    EXPECT_EQ(west.day, 1);
    EXPECT_EQ(west.hour, 1);
    EXPECT_EQ(west.minute, 30);
    // A year the record cannot hold leaves the file alone.
    EXPECT_FALSE(rc::WriteClockSetting(Path("cartime.cts"), {2200, 1, 1, 0, 0, 0}));
    EXPECT_EQ(Bytes("cartime.cts"), ClockBytes(2024, 2, 29, 20, 25, 0));
}

class CardSaveTest : public CarSetTest {
protected:
    void SetUp() override {
        CarSetTest::SetUp();
        std::filesystem::remove_all(m_dir / "car_set"); // the save creates it
        m_card = std::make_unique<TestCard>(m_dir / "card.img", 1, 777);
        platform::SetDrivePath(kDrive, m_card->path().string());
    }
    void TearDown() override { platform::SetDrivePath(kDrive, ""); }

    [[nodiscard]] std::vector<std::string> CarSetNames() const {
        std::vector<std::string> names;
        if (std::filesystem::exists(m_dir / "car_set")) {
            for (const auto& e : std::filesystem::directory_iterator(m_dir / "car_set")) {
                names.push_back(e.path().filename().string());
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    static constexpr int kDrive = 6;
    std::unique_ptr<TestCard> m_card;
};

TEST_F(CardSaveTest, SaveWritesEveryFileAndTheSector) {
    rc::ConfigSector s;
    rc::MakeDefaultConfigSector(s, 777);
    s.videoFormat = 0;
    s.frameRate = 25;
    s.fixedOne = 1;
    rc::CardSaveChoices choices;
    choices.clockUtc = rc::ClockFields{2024, 5, 6, 7, 8, 9};
    choices.pal = false;
    choices.continuousRecording = true;
    choices.gsensor = rc::GsensorChoice{1, 2};
    choices.frontSensitivity = 3;
    choices.rearSensitivity = 0;
    choices.rearTable = {2, 12, 22, 32, 42};
    choices.rearCameraDisabled = true;
    choices.carData = {true, "ABC", false, ""};
    choices.audioOn = false;
    choices.dstOn = true;
    const rc::CardSaveOutcome outcome = rc::SaveCardConfiguration(m_root, kDrive, s, choices);
    EXPECT_TRUE(outcome.sectorWritten) << outcome.sectorError;
    EXPECT_TRUE(outcome.skippedFiles.empty());

    const std::vector<std::string> expectedNames = {
        "User_DST.dst",       "camera1.cfg",  "camera1.cfg2", "camera1A.cfg", "camera1A.cfg2",
        "camera2.cfg",        "camera2.cfg2", "cardata.cdf",  "cartime.cts",  "cartime.cts2",
        "rearcam.rcf",        "rearcam.rcf2", "rec_mode.cfg", "recaudio.acf", "recaudio.acf2",
        "sensor.gse",         "sensor.gse2",  "sensor2.gse",  "sensor2.gse2", "taverosetting.cbs",
        "taverosetting.cbs2", "video.vcf",    "video.vcf2",   "videonorm.vfg"};
    EXPECT_EQ(CarSetNames(), expectedNames);

    // 25 stays in the setting record and becomes 30 in the video record and the sector.
    EXPECT_EQ(Bytes("taverosetting.cbs"), SettingRecordBytes(0, 25, 0, 0, 0, 0, ""));
    EXPECT_EQ(Bytes("taverosetting.cbs2"), Bytes("taverosetting.cbs"));
    EXPECT_EQ(Bytes("video.vcf"), VideoRecordBytes(0, 30, 0));
    EXPECT_EQ(s.frameRate, 30u);
    EXPECT_EQ(Bytes("cartime.cts2"), ClockBytes(2024, 5, 6, 7, 8, 9));
    EXPECT_EQ(Bytes("videonorm.vfg"), SwitchRecord(0x21BA54AB, 0));
    EXPECT_EQ(Bytes("rec_mode.cfg"), SwitchRecord(0x08130922, 0));
    EXPECT_EQ(Bytes("camera1A.cfg2"), TextBytes("carcam01\nw 0x14 0x31\n"));
    EXPECT_EQ(Bytes("camera2.cfg"), TextBytes("carcam01\nw 0x14 0x2\n"));
    EXPECT_EQ(Bytes("rearcam.rcf2"), SwitchRecord(0x77BB88CC, 1));
    EXPECT_EQ(Bytes("cardata.cdf"), CarDataBytes(true, "ABC", false, ""));
    EXPECT_EQ(Bytes("recaudio.acf"), SwitchRecord(0x115533AA, 0));
    EXPECT_EQ(Bytes("User_DST.dst"), SwitchRecord(0xDD4455DD, 1));

    SectorFields f;
    f.frameRate = 30;
    f.fixedOne = 1;
    f.diskId = 777;
    const Bytes512 sector = SectorBytes(f);
    EXPECT_EQ(FileBytesAt(m_card->path(), 0xA000000, 512), ByteVec(sector.begin(), sector.end()));
}

TEST_F(CardSaveTest, OptionalFilesAreLeftOutWhenNotChosen) {
    rc::ConfigSector s;
    rc::MakeDefaultConfigSector(s, 777);
    const rc::CardSaveOutcome outcome = rc::SaveCardConfiguration(m_root, kDrive, s, {});
    EXPECT_TRUE(outcome.sectorWritten);
    const std::vector<std::string> expectedNames = {
        "User_DST.dst",       "cardata.cdf",  "rearcam.rcf",   "rearcam.rcf2",
        "rec_mode.cfg",       "recaudio.acf", "recaudio.acf2", "taverosetting.cbs",
        "taverosetting.cbs2", "video.vcf",    "video.vcf2",    "videonorm.vfg"};
    EXPECT_EQ(CarSetNames(), expectedNames);
}

TEST_F(CardSaveTest, RawOnlyCardGetsOnlyTheSector) {
    rc::ConfigSector s;
    rc::MakeDefaultConfigSector(s, 777);
    rc::CardSaveChoices choices;
    choices.gsensor = rc::GsensorChoice{0, 3};
    const rc::CardSaveOutcome outcome = rc::SaveCardConfiguration("/dev/sdz", kDrive, s, choices);
    EXPECT_TRUE(outcome.sectorWritten);
    EXPECT_TRUE(CarSetNames().empty());
    rc::ConfigSector back;
    EXPECT_TRUE(rc::ReadConfigSector(kDrive, back));
}

TEST_F(CardSaveTest, ACardImageAsRootIsReachedOnlyRaw) {
    // One rule for every tool: a root that is no folder (an image file, a device, a path that
    // does not exist) gets only the configuration sector; a folder text is written to.
    struct Case {
        std::string root;
        bool rawOnly;
    };
    std::filesystem::create_directories(m_dir / "mnt");
    const Case cases[] = {{"", true},
                          {"/dev/sdz", true},
                          {"/dev/disk/by-id/usb-card", true},
                          {m_card->path().string(), true},
                          {(m_dir / "missing").string(), true},
                          {(m_dir / "mnt").string(), false},
                          {(m_dir / "mnt").string() + "/", false},
                          {(m_dir / "gone").string() + "/", false}};
    for (const Case& c : cases) {
        EXPECT_EQ(rc::IsRawOnlyRoot(c.root), c.rawOnly) << c.root;
    }
    rc::ConfigSector s;
    rc::MakeDefaultConfigSector(s, 777);
    const rc::CardSaveOutcome outcome =
        rc::SaveCardConfiguration(m_card->path().string(), kDrive, s, {});
    EXPECT_TRUE(outcome.sectorWritten);
    EXPECT_TRUE(outcome.skippedFiles.empty()) << outcome.skippedFiles.front();
    rc::WifiSettings wifi;
    wifi.password = "12345678";
    RecordingSink sink;
    EXPECT_FALSE(rc::WriteWifiConfig(m_card->path().string(), wifi, sink));
    EXPECT_EQ(sink.messages, std::vector<std::string>{"Save Fail"});
}

TEST_F(CardSaveTest, UnwritableFilesAreSkippedAndReported) {
    // A plain file where the folder should be: no file can be created, the sector still is.
    WriteFileBytes(m_dir / "car_set", ByteVec{1});
    rc::ConfigSector s;
    rc::MakeDefaultConfigSector(s, 777);
    const rc::CardSaveOutcome outcome = rc::SaveCardConfiguration(m_root, kDrive, s, {});
    EXPECT_TRUE(outcome.sectorWritten);
    EXPECT_GE(outcome.skippedFiles.size(), 12u);
}

TEST_F(CardSaveTest, FactoryConfiguration) {
    SectorFields old;
    old.user1Name = "anna";
    old.user1Password = "pw";
    old.diskId = 777;
    const Bytes512 oldSector = SectorBytes(old);
    m_card->writeAt(0xA000000, oldSector.data(), oldSector.size());

    rc::ConfigSector image;
    const rc::CameraTable front = {3, 13, 23, 33, 43};
    const rc::CardSaveOutcome outcome =
        rc::WriteFactoryConfiguration(m_root, kDrive, front, rc::kDefaultCameraTable, image);
    EXPECT_TRUE(outcome.sectorWritten);

    const std::vector<std::string> expectedNames = {
        "User_DST.dst", "camera1.cfg",   "camera1.cfg2", "camera1A.cfg", "camera1A.cfg2",
        "camera2.cfg",  "camera2.cfg2",  "cardata.cdf",  "rearcam.rcf",  "rearcam.rcf2",
        "recaudio.acf", "recaudio.acf2", "sensor.gse",   "sensor.gse2",  "sensor2.gse",
        "sensor2.gse2", "video.vcf",     "video.vcf2",   "videonorm.vfg"};
    EXPECT_EQ(CarSetNames(), expectedNames);
    EXPECT_EQ(Bytes("sensor.gse"), ThresholdRecord(307, 307, 410, false));
    EXPECT_EQ(Bytes("sensor2.gse2"), ChoiceRecord(0, 0));
    EXPECT_EQ(Bytes("camera1A.cfg"), TextBytes("carcam01\nw 0x14 0x3\n"));
    EXPECT_EQ(Bytes("camera2.cfg2"), TextBytes("carcam01\nw 0x14 0x1\n"));
    EXPECT_EQ(Bytes("video.vcf2"), VideoRecordBytes(0, 0, 0));
    EXPECT_EQ(Bytes("rearcam.rcf"), SwitchRecord(0x77BB88CC, 0));
    EXPECT_EQ(Bytes("cardata.cdf"), CarDataBytes(false, "", false, ""));
    EXPECT_EQ(Bytes("recaudio.acf2"), SwitchRecord(0x115533AA, 0));
    EXPECT_EQ(Bytes("videonorm.vfg"), SwitchRecord(0x21BA54AB, 0));
    EXPECT_EQ(Bytes("User_DST.dst"), SwitchRecord(0xDD4455DD, 0));

    // The card holds the default sector with identifier 0; the image read back carries the
    // card's identifier.
    SectorFields fresh;
    fresh.diskId = 0;
    const Bytes512 expected = SectorBytes(fresh);
    EXPECT_EQ(FileBytesAt(m_card->path(), 0xA000000, 512),
              ByteVec(expected.begin(), expected.end()));
    rc::ConfigSector defaults;
    rc::MakeDefaultConfigSector(defaults, 777);
    EXPECT_EQ(image, defaults);
}

} // namespace
} // namespace tavero::testing
