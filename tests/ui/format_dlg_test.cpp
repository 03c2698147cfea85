// The format tool's window on simulator card images: the options it offers, a format and a
// restore run to their end with the progress and texts the person sees, a refused card left
// byte-identical, and no closing while the worker writes.

#include "cardtools_fixture.h"
#include "platform/drive_table.h"
#include "platform/program_paths.h"
#include "temp_folder.h"
#include "ui/dialogs/format_dlg.h"
#include "window_test_support.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace tavero::test {
namespace {

using namespace std::chrono_literals;
using tavero::testing::HashRange;
using tavero::testing::ReadBytes;

constexpr int kDrive = 3;
constexpr std::int64_t kDiskInfoA = 0x4000000;
constexpr std::int64_t kConfigSector = 0xA000000;
constexpr std::int64_t kFillEnd = 0x17000000;

// A recorder that never asks: the unmount service is not reached for image files.
class NoUnmount final : public platform::UnmountService {
public:
    bool Unmount(const platform::MountedFileSystem&, std::string& error) override {
        error = "not in tests";
        return false;
    }
    std::string Name() const override { return "none"; }
};

std::uint32_t Be32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint32_t{b[at]} << 24 | std::uint32_t{b[at + 1]} << 16 |
           std::uint32_t{b[at + 2]} << 8 | std::uint32_t{b[at + 3]};
}

class FormatDialog : public ::testing::Test {
protected:
    FormatDialog() : settings(platform::programPathsInFolder(folder.path() + "program/"), "en_US") {
        for (const char* d : {"sys", "dev"}) {
            std::filesystem::create_directories(folder.path() + d);
        }
        std::ofstream(folder.path() + "mountinfo").flush();
        roots = {folder.path() + "sys", folder.path() + "dev", folder.path() + "mountinfo"};
        scanner = std::make_unique<cardtools::CardDriveScanner>(roots);
        platform::ClearDrivePaths();
    }
    ~FormatDialog() override { platform::ClearDrivePaths(); }

    std::string makeCard(const tavero::testing::SectorUsers& users = {}) {
        const std::string path = folder.path() + "card.img";
        tavero::testing::MakeSimCard(path, 4, 10000);
        const auto sector = tavero::testing::ConfigSectorBytes(10000, users);
        tavero::testing::WriteBytes(path, kConfigSector, {sector.begin(), sector.end()});
        platform::SetDrivePath(kDrive, path);
        return path;
    }

    std::unique_ptr<ui::CFormatDlg> open(std::chrono::milliseconds settle = 0ms) {
        ui::CFormatDlg::Setup setup;
        setup.unmount = &unmount;
        setup.settleDelay = settle;
        setup.fileSystemDelay = 0ms;
        return std::make_unique<ui::CFormatDlg>(
            nullptr, settings, *scanner, prompts, messages,
            [](std::string_view t) { return std::string(t); }, setup);
    }
    static void choose(ui::CFormatDlg& dlg, bool local, const std::string& device) {
        QTest::mouseClick(local ? dlg.localDiskRadio() : dlg.removableRadio(), Qt::LeftButton);
        QComboBox* list = local ? dlg.localList() : dlg.removableList();
        list->addItem(QString::fromStdString(device));
        list->setCurrentIndex(list->count() - 1);
    }

    TempFolder folder;
    app::AppSettings settings;
    platform::SystemRoots roots;
    std::unique_ptr<cardtools::CardDriveScanner> scanner;
    tavero::testing::FakePrompts prompts;
    RecordedMessages messages;
    NoUnmount unmount;
};

TEST_F(FormatDialog, OffersItsOptionsAsTheSettingsSay) {
    auto dlg = open();
    EXPECT_EQ(dlg->windowTitle(), "Format Tool Dialog");
    EXPECT_TRUE(dlg->localDiskRadio()->isChecked());
    EXPECT_TRUE(dlg->localList()->isEnabled());
    EXPECT_FALSE(dlg->removableList()->isEnabled());
    EXPECT_FALSE(dlg->formatButton()->isEnabled()) << "no device chosen";
    EXPECT_FALSE(dlg->restoreButton()->isEnabled());
    EXPECT_TRUE(dlg->fat32Tick()->isChecked());
    EXPECT_TRUE(dlg->fat32Tick()->isHidden());
    EXPECT_EQ(dlg->progressBar()->maximum(), 100);
    QTest::mouseClick(dlg->removableRadio(), Qt::LeftButton);
    EXPECT_TRUE(dlg->removableList()->isEnabled());
    EXPECT_FALSE(dlg->localList()->isEnabled());

    // The language combo: English is always offered; a choice asks for a restart.
    ASSERT_GE(dlg->languageList()->count(), 1);
    EXPECT_EQ(dlg->languageList()->itemText(0), "English");
    Q_EMIT dlg->languageList()->activated(0);
    EXPECT_EQ(messages.shown,
              std::vector<std::string>{"After change language settings please restart program"});

    settings.WriteConfigInt("ShowFormatFAT32", 1);
    auto shown = open();
    EXPECT_FALSE(shown->fat32Tick()->isHidden());
}

TEST_F(FormatDialog, FormatsTheChosenCardAndSaysSo) {
    const std::string card = makeCard();
    auto dlg = open();
    choose(*dlg, true, card);
    ASSERT_TRUE(dlg->formatButton()->isEnabled());
    dlg->fat32Tick()->setChecked(false);
    ASSERT_TRUE(dlg->format());
    EXPECT_EQ(prompts.questions,
              std::vector<std::string>{"Format this disk - " + card + " (544 MB)?"});
    EXPECT_EQ(dlg->windowTitle(), "Format this disk");
    dlg->waitForWork();
    EXPECT_EQ(dlg->progressBar()->value(), 100);
    EXPECT_EQ(dlg->windowTitle(), "Format Tool Dialog");
    EXPECT_EQ(messages.shown,
              std::vector<std::string>{"Format Finished, Please re-Insert This Disk"});
    EXPECT_EQ(dlg->localList()->count(), 0) << "the card is to be inserted again";
    // The new identifier, in both the disk information and the kept sector.
    EXPECT_EQ(Be32(ReadBytes(card, kDiskInfoA, 512), 504), 10005u);
    const auto expected = tavero::testing::ConfigSectorBytes(10005);
    EXPECT_EQ(ReadBytes(card, kConfigSector, 512),
              std::vector<std::uint8_t>(expected.begin(), expected.end()));
}

TEST_F(FormatDialog, CardWhoseUserIsRefusedIsLeftByteIdentical) {
    const std::string card = makeCard({"anna", "secret", "", ""});
    const std::uint64_t before = HashRange(card, 0, -1);
    prompts.loginGiven = true;
    prompts.loginName = "anna";
    prompts.loginPassword = "Secret";
    auto dlg = open();
    choose(*dlg, true, card);
    EXPECT_FALSE(dlg->format());
    EXPECT_EQ(prompts.logins, 1);
    EXPECT_FALSE(dlg->restore());
    EXPECT_EQ(prompts.logins, 2);
    EXPECT_EQ(HashRange(card, 0, -1), before);
    EXPECT_EQ(dlg->windowTitle(), "Format Tool Dialog");
    EXPECT_TRUE(dlg->formatButton()->isEnabled());

    // Not confirmed: nothing either.
    prompts.loginPassword = "secret";
    prompts.answerYes = false;
    EXPECT_FALSE(dlg->format());
    EXPECT_EQ(HashRange(card, 0, -1), before);
}

TEST_F(FormatDialog, RestoreOfRemovableStorageWipesOnlyTheRecorderArea) {
    const std::string card = makeCard();
    const std::uint64_t after = HashRange(card, kFillEnd, -1);
    auto dlg = open();
    choose(*dlg, false, card);
    ASSERT_TRUE(dlg->restore());
    EXPECT_EQ(dlg->windowTitle(), "Restore this disk");
    dlg->waitForWork();
    EXPECT_EQ(messages.shown,
              std::vector<std::string>{"Restore Disk Completed, Please re-Insert This Disk"});
    EXPECT_EQ(dlg->progressBar()->value(), 100);
    EXPECT_TRUE(tavero::testing::AllZero(card, kDiskInfoA, kFillEnd));
    EXPECT_TRUE(tavero::testing::AllZero(card, 0, 64 * 512)) << "the recorder's boot area";
    EXPECT_EQ(HashRange(card, kFillEnd, -1), after);
}

TEST_F(FormatDialog, CannotBeClosedWhileTheWorkerWrites) {
    const std::string card = makeCard();
    auto dlg = open(400ms);
    dlg->show();
    choose(*dlg, true, card);
    ASSERT_TRUE(dlg->format());
    EXPECT_TRUE(dlg->busy());
    EXPECT_FALSE(dlg->formatButton()->isEnabled());
    EXPECT_FALSE(dlg->restoreButton()->isEnabled());
    dlg->reject();
    EXPECT_FALSE(dlg->close());
    EXPECT_TRUE(dlg->isVisible());
    // The timer shows the worker's percentage meanwhile.
    QElapsedTimer waited;
    waited.start();
    while (dlg->progressBar()->value() < 5 && waited.elapsed() < 2000) {
        QTest::qWait(20);
    }
    EXPECT_GE(dlg->progressBar()->value(), 5);
    dlg->waitForWork();
    EXPECT_FALSE(dlg->busy());
    EXPECT_TRUE(dlg->close());
}

} // namespace
} // namespace tavero::test
