// Cards in the window through the real engine: a card image mapped as drive 2 and opened with
// "-f car2://2". A card whose configuration names users asks for a user name and password
// before anything of it is listed; a card without recordings says so; a card pulled while it
// plays stops playback and leaves the window usable; recordings ticked in the backup dialog are
// copied into a raw backup file that lists them; the file manager backs the whole card up one
// file per recording, the file finder finds and plays them, and old ones are deleted.

#include "card_fixture.h"
#include "platform/drive_table.h"
#include "recorderconfig/config_sector.h"
#include "store/boot_image.h"
#include "store/record_index.h"
#include "store/recording_entry.h"
#include "ui/dialogs/disk_dlg.h"
#include "ui/dialogs/file_pad.h"
#include "ui/controls/vx_skin_button.h"
#include "ui/dialogs/confirm_dlg.h"
#include "window_test_support.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTreeWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tavero::test {
namespace {

using tavero::testing::Packed;
using tavero::testing::TestCard;
using tavero::testing::TestRecord;
using ::testing::HasSubstr;

constexpr int kDrive = 2;

TestRecord Record(std::uint32_t seq, std::uint32_t startUnit, int minute) {
    TestRecord r;
    r.seq = seq;
    r.startUnit = startUnit;
    r.endUnit = startUnit + 9;
    r.startTime = Packed{2024, 5, 1, 8, minute, 0};
    r.endTime = Packed{2024, 5, 1, 8, minute + 5, 0};
    r.recStart = 1;
    return r;
}

void SetField(recorderconfig::UserField& field, std::string_view text) {
    field.fill(0);
    std::copy(text.begin(), text.end(), field.begin());
}

// Answers the login dialog once it is open (it opens inside the window's start-up).
void AnswerLoginWhenAsked(ui::DialogPrompts& prompts, QString name, QString password, int* asked) {
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, &prompts, name, password, asked] {
        ui::CConfirmDlg* dialog = prompts.openLogin();
        if (dialog == nullptr) {
            return;
        }
        ++*asked;
        poll->stop();
        poll->deleteLater();
        QTest::keyClicks(dialog->nameEdit(), name);
        QTest::keyClicks(dialog->passwordEdit(), password);
        QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
    });
    poll->start();
}

class CardInTheWindow : public ::testing::Test {
protected:
    CardInTheWindow() {
        card.initialiseIndex();
        const auto boot = store::BootImage();
        card.writeAt(0, boot.data(), 512); // the recorder's partition table: no repair offer
        platform::SetDrivePath(kDrive, card.path().string());
    }
    ~CardInTheWindow() override { platform::ClearDrivePaths(); }

    void writeRecordings() {
        card.writeRecord(0, Record(1, 1, 0));
        card.writeRecord(1, Record(2, 11, 10));
    }
    // Every unit of both recordings, so that a backup has something to copy.
    void writeUnits() {
        for (std::uint32_t slot = 0; slot < 2; ++slot) {
            for (std::uint32_t u = 0; u < 10; ++u) {
                tavero::testing::TestTrailer t;
                t.unitNo = (slot == 0 ? 1 : 11) + u;
                t.time = Packed{2024, 5, 1, 8, slot == 0 ? 0 : 10, static_cast<int>(u)};
                t.channel = static_cast<std::uint8_t>(u % 2);
                t.recStart = u == 0 ? 1 : 0;
                t.diskId = card.diskId();
                card.writeUnitTrailer(slot, u, t);
            }
        }
    }
    void writeUsers() {
        recorderconfig::ConfigSector sector;
        recorderconfig::MakeDefaultConfigSector(sector, card.diskId());
        SetField(sector.user1Name, "owner");
        SetField(sector.user1Password, "s3cret");
        ASSERT_TRUE(recorderconfig::WriteConfigSector(kDrive, sector));
    }
    void processEvents() {
        for (int i = 0; i < 10; ++i) {
            QCoreApplication::processEvents();
        }
    }

    tavero::testing::TempDir dir;
    TestCard card{dir / "card.img", 4};
};

TEST_F(CardInTheWindow, AskedForItsUserBeforeItIsListed) {
    writeRecordings();
    writeUsers();
    WindowFixture f(QSize(1920, 1080), {"-f", "car2://2"}, true);
    int asked = 0;
    AnswerLoginWhenAsked(f.window->prompts(), "owner", "wrong", &asked);
    f.show();
    processEvents();
    EXPECT_EQ(asked, 1);
    EXPECT_THAT(f.messages.shown, ::testing::Contains(HasSubstr("Password Protected!")));
    EXPECT_TRUE(f.window->recordingList().empty()) << "a refused card stays closed";

    // Asked again at the next attempt; the right user opens it.
    AnswerLoginWhenAsked(f.window->prompts(), "owner", "s3cret", &asked);
    (void)f.window->chooser().OpenSourcePath("car2://2");
    f.window->SourceChanged();
    processEvents();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(f.window->recordingList().size(), 2);
    // Once accepted, playing does not ask again.
    QTest::mouseClick(f.window->controls().button("Play"), Qt::LeftButton);
    processEvents();
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(f.window->playback().sourceOpen());
}

TEST_F(CardInTheWindow, WithoutRecordingsItIsSaidSo) {
    WindowFixture f(QSize(1920, 1080), {"-f", "car2://2"}, true);
    f.show();
    processEvents();
    ASSERT_EQ(f.messages.shown.size(), 1u);
    EXPECT_THAT(f.messages.shown[0], HasSubstr("holds no recordings that can be played"));
    EXPECT_TRUE(f.window->recordingList().empty());
}

TEST_F(CardInTheWindow, PulledWhilePlayingStopsAndTheWindowStaysUsable) {
    writeRecordings();
    WindowFixture f(QSize(1920, 1080), {"-f", "car2://2"}, true);
    f.show();
    processEvents();
    ASSERT_EQ(f.window->recordingList().size(), 2);
    QTest::mouseClick(f.window->controls().button("Play"), Qt::LeftButton);
    ASSERT_TRUE(f.window->playback().sourceOpen());
    std::filesystem::remove(card.path());
    f.window->runTimer();
    EXPECT_FALSE(f.window->playback().sourceOpen());
    ASSERT_FALSE(f.messages.shown.empty());
    EXPECT_THAT(f.messages.shown.back(), HasSubstr("was removed"));
    // Play again: the card is gone, nothing plays, nothing breaks.
    QTest::mouseClick(f.window->controls().button("Play"), Qt::LeftButton);
    f.window->runTimer();
    EXPECT_TRUE(f.window->isVisible());
}

TEST_F(CardInTheWindow, TickedRecordingsAreBackedUpIntoAFileThatListsThem) {
    writeRecordings();
    writeUnits();
    WindowFixture f(QSize(1920, 1080), {"-f", "car2://2"}, true);
    const std::string out = (dir / "backups").string();
    f.settings.WriteConfigString("BackupPath", out);
    f.show();
    processEvents();
    ASSERT_EQ(f.window->recordingList().size(), 2);

    QTest::mouseClick(f.window->controls().button("Backup"), Qt::LeftButton);
    ui::CDiskDlg* dialog = f.window->diskDialog();
    ASSERT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Backup"));
    EXPECT_EQ(dialog->backupFolder(), QString::fromStdString(out));
    QTreeWidget* rows = dialog->recordingList();
    ASSERT_EQ(rows->topLevelItemCount(), 2);
    for (int row : {0, 1}) {
        QTest::mouseClick(rows->viewport(), Qt::LeftButton, {},
                          rows->visualItemRect(rows->topLevelItem(row)).center());
    }
    EXPECT_EQ(rows->topLevelItem(1)->checkState(0), Qt::Checked);
    EXPECT_FALSE(dialog->startPicker()->isEnabled()) << "two rows: no time range";
    QTest::mouseClick(dialog->backupButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog->backupButton()->isEnabled());

    QElapsedTimer waited;
    waited.start();
    auto completed = [&] {
        return std::any_of(f.messages.shown.begin(), f.messages.shown.end(),
                           [](const std::string& m) { return m.find("Completed!") != std::string::npos; });
    };
    while (!completed() && waited.elapsed() < 20000) {
        QTest::qWait(20);
    }
    ASSERT_TRUE(completed()) << (f.messages.shown.empty() ? "" : f.messages.shown.back());
    EXPECT_THAT(f.messages.shown.back(),
                HasSubstr("Backup \"car2://2\" to \"" + out + "\" Completed!"));
    EXPECT_TRUE(dialog->backupButton()->isEnabled());

    // One new file, named by the clock, holding both recordings' records and units.
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(out)) {
        files.push_back(e.path());
    }
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].extension(), ".sd");
    store::RecordIndex index;
    index.SetBackupFileSource(files[0].string());
    store::IndexRecord* first = index.OpenIndex();
    ASSERT_NE(first, nullptr);
    const store::RecordingEntry one = store::BuildRecordingEntry(index, first, 0, 0, 1);
    ASSERT_NE(one.next, nullptr);
    const store::RecordingEntry two = store::BuildRecordingEntry(index, one.next, 0, 0, 2);
    EXPECT_EQ(one.displayStart, "2024-05-01 08:00:00");
    EXPECT_EQ(two.displayStart, "2024-05-01 08:10:00");
    // Each record in a block of its own: the second block ends after its ten units.
    EXPECT_EQ(std::filesystem::file_size(files[0]),
              std::uintmax_t{0x2000000} + 0x1000000 + 10 * 16384);

    // Playing works again afterwards.
    QTest::mouseClick(f.window->controls().button("Play"), Qt::LeftButton);
    EXPECT_TRUE(f.window->playback().sourceOpen());
}

TEST_F(CardInTheWindow, WholeCardBackupIsFoundPlayedAndDeletedByDate) {
    writeRecordings();
    writeUnits();
    WindowFixture f(QSize(1920, 1080), {"-f", "car2://2"}, true);
    f.show();
    processEvents();
    ASSERT_EQ(f.window->recordingList().size(), 2);
    const std::string folder = (dir / "box").string();
    const std::string prefix = app::WholeCardBackupPrefix(folder, "");
    std::filesystem::create_directories(std::filesystem::path(prefix).parent_path());
    std::string problem;
    ASSERT_TRUE(f.window->StartWholeCardBackup(prefix, problem)) << problem;
    ui::CFileManager* manager = f.window->fileManager();
    QElapsedTimer waited;
    waited.start();
    while (manager->message()->text() != QStringLiteral("finished") && waited.elapsed() < 20000) {
        QTest::qWait(20);
    }
    ASSERT_EQ(manager->message()->text(), QStringLiteral("finished"));
    const std::string first = folder + "/CarInfor/CarInfor_2024-05-01_08-00-00.sd";
    const std::string second = folder + "/CarInfor/CarInfor_2024-05-01_08-10-00.sd";
    EXPECT_TRUE(std::filesystem::exists(first));
    EXPECT_TRUE(std::filesystem::exists(second));

    // Found by the finder for that day, and played from there.
    ui::CFilePad* pad = f.window->filePad();
    manager->setFolder(folder); // the finder follows the manager's folder
    ASSERT_EQ(pad->folderList()->count(), 1);
    const app::CivilDay may1 = *app::MakeCivilDay(2024, 5, 1);
    pad->setDates(may1, may1);
    pad->search();
    EXPECT_EQ(pad->foundFiles().size(), 2u);
    ASSERT_EQ(pad->resultList()->topLevelItemCount(), 2);
    EXPECT_EQ(pad->resultList()->topLevelItem(1)->text(1), QStringLiteral("2024-05-01 08:10:00"));
    pad->setDates(app::NextDay(may1), app::NextDay(may1));
    pad->search();
    EXPECT_EQ(pad->resultList()->topLevelItemCount(), 0) << "nothing of the next day";
    pad->setDates(may1, may1);
    pad->search();
    pad->activateRow(1);
    EXPECT_TRUE(f.window->playback().sourceOpen());
    EXPECT_EQ(f.window->chooser().filePath(), second);

    // Deleting what is older than a day after: asked first, a "No" keeps everything.
    manager->deleteBefore()->setDate(QDate(2024, 5, 2));
    f.messages.answer = false;
    manager->deleteOld();
    ASSERT_FALSE(f.messages.asked.empty());
    EXPECT_EQ(f.messages.asked.back(), "Will delete the backup file that defore 2024-05-02");
    EXPECT_TRUE(std::filesystem::exists(first));
    QTest::mouseClick(f.window->controls().button("Stop"), Qt::LeftButton);
    std::ofstream(folder + "/CarInfor/notes_2024-01-01.txt") << "mine";
    f.messages.answer = true;
    manager->deleteOld();
    EXPECT_FALSE(std::filesystem::exists(first));
    EXPECT_FALSE(std::filesystem::exists(second));
    EXPECT_TRUE(std::filesystem::exists(folder + "/CarInfor/notes_2024-01-01.txt"));
}

} // namespace
} // namespace tavero::test
