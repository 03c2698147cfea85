// Copying the player with its language files onto a card: what is copied where, what is left out,
// older copies replaced, and the folders that cannot be made.

#include "app/copy_player.h"
#include "temp_folder.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace tavero::test {
namespace {

namespace fs = std::filesystem;

class CopyPlayer : public ::testing::Test {
protected:
    CopyPlayer() {
        folder.write("program/tavero", "player");
        folder.write("program/Config.ini", "[Config]\n");
        folder.write("program/unins000.exe", "uninstaller");
        folder.write("program/unins000", "uninstaller");
        folder.write("program/Snapshot/old.bmp", "picture");
        folder.write("program/Language/de_DE.ini", "[Language String]\n");
        fs::create_directories(root());
    }
    [[nodiscard]] std::string program() const { return folder.path() + "program/"; }
    [[nodiscard]] std::string root() const { return folder.path() + "card/"; }

    TempFolder folder;
};

TEST_F(CopyPlayer, CopiesTheProgramAndItsLanguagesButNotTheUninstaller) {
    folder.write("card/CarPlayer/tavero", "an older player");
    const app::CopyPlayerResult r =
        app::CopyPlayerToCard(program(), program() + "Language/", root());
    EXPECT_EQ(r.target, root() + "CarPlayer/");
    EXPECT_TRUE(r.openTarget);
    EXPECT_TRUE(r.cannotCreate.empty());
    EXPECT_EQ(folder.read("card/CarPlayer/tavero"), "player");
    EXPECT_EQ(folder.read("card/CarPlayer/Config.ini"), "[Config]\n");
    EXPECT_EQ(folder.read("card/CarPlayer/Language/de_DE.ini"), "[Language String]\n");
    EXPECT_FALSE(fs::exists(root() + "CarPlayer/unins000.exe"));
    EXPECT_FALSE(fs::exists(root() + "CarPlayer/unins000"));
    EXPECT_FALSE(fs::exists(root() + "CarPlayer/Snapshot")) << "sub-folders are not copied";
    EXPECT_EQ(r.filesCopied, 3);
    EXPECT_EQ(r.filesFailed, 0);
}

TEST_F(CopyPlayer, SaysWhichFolderCannotBeMade) {
    folder.write("card/CarPlayer", "a file where the folder should be");
    app::CopyPlayerResult r = app::CopyPlayerToCard(program(), program() + "Language/", root());
    EXPECT_EQ(r.cannotCreate, root() + "CarPlayer/");
    EXPECT_FALSE(r.openTarget);

    fs::remove(root() + "CarPlayer");
    folder.write("card/CarPlayer/Language", "a file again");
    r = app::CopyPlayerToCard(program(), program() + "Language/", root());
    EXPECT_EQ(r.cannotCreate, root() + "CarPlayer/Language/");
    EXPECT_TRUE(r.openTarget) << "the program itself was copied";
    EXPECT_EQ(folder.read("card/CarPlayer/tavero"), "player");
}

TEST_F(CopyPlayer, AProgramRunningFromTheCardIsNotCopiedOntoItself) {
    folder.write("card/CarPlayer/tavero", "the running player");
    const std::string running = root() + "CarPlayer/";
    EXPECT_TRUE(app::ProgramRunsFromCard(running, root()));
    EXPECT_FALSE(app::ProgramRunsFromCard(program(), root()));
    EXPECT_FALSE(app::ProgramRunsFromCard(folder.path() + "card2/", root()));
    EXPECT_FALSE(app::ProgramRunsFromCard(program(), ""));
    const app::CopyPlayerResult r = app::CopyPlayerToCard(running, running + "Language/", root());
    EXPECT_EQ(folder.read("card/CarPlayer/tavero"), "the running player");
    EXPECT_EQ(r.filesFailed, 0);
}

} // namespace
} // namespace tavero::test
