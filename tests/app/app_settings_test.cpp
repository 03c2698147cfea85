#include "app/app_settings.h"
#include "temp_folder.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace tavero::app {
namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

AppSettings settingsIn(const test::TempFolder& folder, std::string locale = "zh_CN") {
    return AppSettings(platform::programPathsInFolder(folder.path()), std::move(locale));
}

struct IntCase {
    const char* stored;
    std::int32_t expected; // with default 7
};

class AppReadIntTest : public testing::TestWithParam<IntCase> {};

TEST_P(AppReadIntTest, ParsesLeadingNumber) {
    test::TempFolder folder;
    folder.write("Config.ini", std::string("[Config]\nValue=") + GetParam().stored + "\n");
    EXPECT_EQ(settingsIn(folder).ReadConfigInt("Value", 7), GetParam().expected)
        << "stored: " << GetParam().stored;
}

INSTANTIATE_TEST_SUITE_P(Values, AppReadIntTest,
                         testing::Values(IntCase{"12abc", 12}, IntCase{"abc", 7}, IntCase{"-7", -7},
                                         IntCase{"-", 7}, IntCase{"", 7}, IntCase{"  42  ", 42},
                                         IntCase{"\"5\"", 5}, IntCase{"+5", 7}, IntCase{"-0", 0},
                                         IntCase{"0x10", 0}, IntCase{"3.9", 3},
                                         IntCase{"2147483647", kMax}, IntCase{"-2147483648", kMin},
                                         IntCase{"2147483648", kMax},
                                         IntCase{"-99999999999999999999", kMin},
                                         IntCase{"00000000000000000000012", 12}));

TEST(AppSettingsTest, MissingFileSectionOrKeyGivesDefault) {
    test::TempFolder folder;
    auto settings = settingsIn(folder);
    EXPECT_EQ(settings.ReadConfigInt("UIMode", 3), 3);
    EXPECT_EQ(settings.ReadConfigString("BackFilePath", "dflt"), "dflt");

    folder.write("Config.ini", "[Config]\nShowOSDTime=1\n");
    EXPECT_EQ(settings.ReadInt("Channel-01", "EnableVideo", 1), 1);
    EXPECT_EQ(settings.ReadConfigInt("AutoPlay", 1), 1);
    EXPECT_EQ(settings.ReadConfigString("BackFilePath"), "");
}

std::string repeat(std::string_view text, int times) {
    std::string result;
    for (int i = 0; i < times; ++i) {
        result += text;
    }
    return result;
}

struct StringCase {
    const char* name;
    std::string stored; // the whole "Config" section body
    std::string locale;
    std::string expected; // with default "dflt"
};

class AppReadStringTest : public testing::TestWithParam<StringCase> {};

TEST_P(AppReadStringTest, ReadsValue) {
    const auto& c = GetParam();
    test::TempFolder folder;
    folder.write("Config.ini", "[config]\n" + c.stored);
    EXPECT_EQ(settingsIn(folder, c.locale).ReadString("CONFIG", "language file", "dflt"),
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, AppReadStringTest,
    testing::Values(StringCase{"Stored", "Language File=de_DE\n", "", "de_DE"},
                    StringCase{"Missing", "Other=1\n", "", "dflt"},
                    StringCase{"Empty", "Language File=\n", "", "dflt"},
                    StringCase{"NoneWithTableLocale", "Language File=None\n", "zh_CN", "zh_CN"},
                    StringCase{"NoneWithUnknownLocale", "Language File=None\n", "xx_XX", "en_US"},
                    StringCase{"NoneWithoutLocale", "Language File=None\n", "", "en_US"},
                    StringCase{"NoneIsCaseSensitive", "Language File=none\n", "zh_CN", "none"},
                    StringCase{"CutTo259", "Language File=" + std::string(300, 'a') + "\n", "",
                               std::string(259, 'a')},
                    StringCase{"CutNeverSplitsACharacter",
                               "Language File=" + std::string(258, 'a') + "中文\n", "",
                               std::string(258, 'a') + "中"},
                    StringCase{"CutCountsCharactersNotBytes",
                               "Language File=" + repeat("中", 300) + "\n", "", repeat("中", 259)}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(AppSettingsTest, WritesReadBackThroughEverySection) {
    test::TempFolder folder;
    auto settings = settingsIn(folder);
    settings.WriteConfigInt("SetEDR_Speed", -2);
    settings.WriteConfigString("BackupPath", "/home/me/Black Box");
    settings.WriteInt(AppSettings::channelSection(3), "Cut_Left", 16);
    settings.WriteString("Drives", "3", "/home/me/card.img");
    EXPECT_EQ(settings.lastWriteError().code, IniErrorCode::None);

    // A second instance reads the same file: nothing is cached.
    const auto other = settingsIn(folder);
    EXPECT_EQ(other.ReadConfigInt("SetEDR_Speed", 0), -2);
    EXPECT_EQ(other.ReadConfigString("BackupPath"), "/home/me/Black Box");
    EXPECT_EQ(other.ReadChannelSettings(3).cutLeft, 16);
    EXPECT_EQ(other.ReadString("drives", "3"), "/home/me/card.img");
    EXPECT_EQ(folder.read("Config.ini"),
              "[Config]\nSetEDR_Speed=-2\nBackupPath=/home/me/Black Box\n"
              "\n[Channel-03]\nCut_Left=16\n\n[Drives]\n3=/home/me/card.img\n");

    // Edits made by hand are seen at the next read.
    folder.write("Config.ini", "[Config]\nSetEDR_Speed=1\n");
    EXPECT_EQ(other.ReadConfigInt("SetEDR_Speed", 0), 1);
}

TEST(AppSettingsTest, ChannelAndCameraSectionsAndDefaults) {
    EXPECT_EQ(AppSettings::channelSection(1), "Channel-01");
    EXPECT_EQ(AppSettings::channelSection(8), "Channel-08");
    EXPECT_EQ(AppSettings::cameraSection(2), "Camera-2");

    test::TempFolder folder;
    folder.write("Config.ini", "[channel-02]\nEnableAudio=1\nEnableDXVA2=1\nCut_Bottom=8\n"
                               "[Camera-2]\n3=99\n[Default]\nCarMode_DfSet=3\n");
    const auto settings = settingsIn(folder);

    const auto first = settings.ReadChannelSettings(1);
    EXPECT_EQ(first.enableAudio, 1);
    EXPECT_EQ(first.enableVideo, 1);
    EXPECT_EQ(first.enableDxva2, 0);
    EXPECT_EQ(settings.ReadChannelSettings(8).enableAudio, 0);
    const auto second = settings.ReadChannelSettings(2);
    EXPECT_EQ(second.enableAudio, 1);
    EXPECT_EQ(second.enableDxva2, 1);
    EXPECT_EQ(second.cutBottom, 8);
    EXPECT_EQ(second.cutTop, 0);

    EXPECT_EQ(settings.ReadCameraTable(1), (CameraTable{1, 11, 21, 31, 41}));
    EXPECT_EQ(settings.ReadCameraTable(2), (CameraTable{1, 11, 99, 31, 41}));
    EXPECT_EQ(settings.ReadDefaultInt("CarMode_DfSet", 2), 3);
    EXPECT_EQ(settings.ReadDefaultInt("VideoFormat_DfSet", -1), -1);
}

TEST(AppSettingsTest, FirstWriteCreatesPerUserFolder) {
    test::TempFolder folder;
    platform::ProgramPaths paths;
    paths.programFolder = folder.path() + "bin/";
    paths.writableFolder = folder.path() + "config/tavero/";
    paths.dataFolders = {paths.programFolder};
    AppSettings settings(paths, "");

    settings.WriteConfigInt("UIMode", 2);
    EXPECT_EQ(settings.lastWriteError().code, IniErrorCode::None);
    EXPECT_EQ(folder.read("config/tavero/Config.ini"), "[Config]\nUIMode=2\n");
    EXPECT_EQ(settings.settingsFilePath(), folder.path() + "config/tavero/Config.ini");
}

TEST(AppSettingsTest, WriteIntoReadOnlyFolderKeepsOldFileSilently) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind root; the full-disk case covers the failure";
    }
    test::TempFolder folder;
    const std::string original = "; mine\n[Config]\nUIMode=1\n";
    folder.write("Config.ini", original);
    ASSERT_EQ(::chmod(folder.path().c_str(), 0555), 0);

    auto settings = settingsIn(folder);
    settings.WriteConfigInt("UIMode", 2);
    settings.setUiMode(2);
    settings.SaveOnExit();

    EXPECT_EQ(settings.lastWriteError().code, IniErrorCode::WriteFailed);
    EXPECT_EQ(folder.read("Config.ini"), original);
    EXPECT_EQ(settings.ReadConfigInt("UIMode", 0), 1);
}

TEST(AppSettingsTest, InjectedLinesAreNeverWritten) {
    test::TempFolder folder;
    auto settings = settingsIn(folder);
    settings.WriteConfigString("BackupPath", "/media/x\n[Drives]\n0=/dev/sda");
    EXPECT_EQ(settings.lastWriteError().code, IniErrorCode::InvalidEntry);
    EXPECT_EQ(settings.ReadString("Drives", "0"), "");
}

} // namespace
} // namespace tavero::app
