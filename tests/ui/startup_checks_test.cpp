// What the program says at start about its own files: an unreadable settings file, a missing
// language file, left-out drive lines, and whether the offset grid is wanted.

#include "app/startup_checks.h"
#include "platform/program_paths.h"
#include "temp_folder.h"

#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tavero::test {
namespace {

using ::testing::HasSubstr;

class StartupChecks : public ::testing::Test {
protected:
    app::AppSettings settings() const {
        return app::AppSettings(platform::programPathsInFolder(folder.path()), "en_US");
    }
    TempFolder folder;
};

TEST_F(StartupChecks, AMissingSettingsFileIsNoProblemAnUnreadableOneIs) {
    EXPECT_TRUE(app::SettingsFileProblem(settings()).none());
    folder.write("Config.ini", "[Config]\nUIMode=1\n");
    EXPECT_TRUE(app::SettingsFileProblem(settings()).none());
    std::filesystem::remove(folder.path() + "Config.ini");
    // A folder where the file should be cannot be read (permissions would not stop root).
    std::filesystem::create_directory(folder.path() + "Config.ini");
    const app::StartupProblem p = app::SettingsFileProblem(settings());
    ASSERT_FALSE(p.none());
    EXPECT_EQ(p.englishText, app::kSettingsUnreadableText);
    EXPECT_THAT(p.detail, HasSubstr("Config.ini"));
    // And the settings written at exit do not replace it.
    app::AppSettings s = settings();
    s.SaveOnExit();
    EXPECT_TRUE(std::filesystem::is_directory(folder.path() + "Config.ini"));
}

TEST_F(StartupChecks, AConfiguredLanguageWithoutItsFileIsSaidOnce) {
    folder.write("Config.ini", "[Config]\nLanguage File=de_DE\n");
    app::AppSettings s = settings();
    s.LoadLanguage();
    const app::StartupProblem p = app::LanguageFileProblem(s);
    ASSERT_FALSE(p.none());
    EXPECT_THAT(p.detail, HasSubstr("Language/de_DE.ini"));
    // English is saved at exit, so the next start has nothing to say.
    s.SaveOnExit();
    app::AppSettings next = settings();
    next.LoadLanguage();
    EXPECT_TRUE(app::LanguageFileProblem(next).none());

    folder.write("Language/de_DE.ini", "[Language String]\nPlay=Abspielen\n");
    folder.write("Config.ini", "[Config]\nLanguage File=de_DE\n");
    app::AppSettings german = settings();
    german.LoadLanguage();
    EXPECT_TRUE(app::LanguageFileProblem(german).none());
    EXPECT_EQ(german.Translate("Play"), "Abspielen");
}

TEST_F(StartupChecks, EnglishAndUnknownCodesNeedNoFile) {
    for (const char* value : {"", "en_US", "xx_YY"}) {
        folder.write("Config.ini", std::string("[Config]\nLanguage File=") + value + "\n");
        app::AppSettings s = settings();
        s.LoadLanguage();
        EXPECT_TRUE(app::LanguageFileProblem(s).none()) << value;
    }
}

TEST_F(StartupChecks, LeftOutDriveLinesAreListed) {
    EXPECT_TRUE(app::DriveSettingsProblem({}).none());
    const app::StartupProblem p = app::DriveSettingsProblem({"Drives: a", "Drives: b"});
    EXPECT_EQ(p.detail, "\nDrives: a\nDrives: b");
}

TEST_F(StartupChecks, TheOffsetGridIsWantedUnlessFixedOffsetsAreConfigured) {
    const auto grid = app::OffsetGridToLoad(settings());
    ASSERT_TRUE(grid.has_value());
    EXPECT_THAT(*grid, ::testing::EndsWith("offset_min.bin"));
    folder.write("Config.ini", "[Config]\nGPS_Offset_Auto=0\n");
    EXPECT_FALSE(app::OffsetGridToLoad(settings()).has_value());
}

} // namespace
} // namespace tavero::test
