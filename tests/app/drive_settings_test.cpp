#include "app/drive_settings.h"
#include "platform/drive_table.h"
#include "temp_folder.h"

#include <cstdlib>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tavero::app {
namespace {

TEST(DriveSettings, DigitsMapToPathsAndBadLinesAreNamed) {
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome != nullptr ? oldHome : "";
    setenv("HOME", "/home/me", 1);
    const DriveSettingsResult r = ParseDriveSettings({{"3", "/dev/sdc"},
                                                      {"0", "cards/a.img"},
                                                      {"7", "~/card.img"},
                                                      {"3", "/dev/other"},
                                                      {"10", "/dev/sdz"},
                                                      {"x", "/dev/sdy"},
                                                      {"5", ""}},
                                                     "/opt/tavero/");
    EXPECT_THAT(r.entries, testing::ElementsAre(DriveSetting{3, "/dev/sdc"},
                                                DriveSetting{0, "/opt/tavero/cards/a.img"},
                                                DriveSetting{7, "/home/me/card.img"}));
    EXPECT_THAT(r.problems,
                testing::ElementsAre("Drives: drive 3 is named twice; the first line counts",
                                     "Drives: key '10' is not a drive number 0 to 9",
                                     "Drives: key 'x' is not a drive number 0 to 9",
                                     "Drives: drive 5 has no path"));
    if (oldHome != nullptr) {
        setenv("HOME", savedHome.c_str(), 1);
    } else {
        unsetenv("HOME");
    }
}

TEST(DriveSettings, LoadingSetsTheDriveTableAndLeavesOtherDrivesAlone) {
    test::TempFolder folder;
    folder.write("Config.ini", "[Config]\nUIMode=2\n[drives]\n2 = card.img\n4=/dev/sdq\n");
    platform::ClearDrivePaths();
    platform::SetDrivePath(6, "/from/the/command/line.img");
    const AppSettings settings(platform::programPathsInFolder(folder.path()), "en_US");
    const DriveSettingsResult r = LoadDriveSettings(settings);
    EXPECT_TRUE(r.problems.empty());
    EXPECT_EQ(platform::ResolveDrivePath(2), folder.path() + "card.img");
    EXPECT_EQ(platform::ResolveDrivePath(4), "/dev/sdq");
    EXPECT_EQ(platform::ResolveDrivePath(6), "/from/the/command/line.img");
    platform::ClearDrivePaths();
}

TEST(DriveSettings, MissingFileSetsNothing) {
    test::TempFolder folder;
    platform::ClearDrivePaths();
    const AppSettings settings(platform::programPathsInFolder(folder.path()), "en_US");
    const DriveSettingsResult r = LoadDriveSettings(settings);
    EXPECT_TRUE(r.entries.empty());
    EXPECT_TRUE(r.problems.empty());
}

} // namespace
} // namespace tavero::app
