// The source chooser dialog in its Playback mode and the login dialog, as a person fills them in.

#include "app/source_chooser.h"
#include "fake_player.h"
#include "recorderconfig/card_users.h"
#include "ui/dialogs/confirm_dlg.h"
#include "ui/dialogs/disk_dlg.h"
#include "widget_test_support.h"
#include "window_test_support.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tavero::test {
namespace {

using testing::ElementsAre;
using testing::HasSubstr;

class ChooserHost final : public app::SourceChooserHost {
public:
    bool OpenCard(const std::string& deviceText) override {
        opened.push_back(deviceText);
        return false;
    }
    void SetCurrentDrive(int) override {}
    void StopPlayback() override { ++stops; }
    std::vector<std::string> opened;
    int stops = 0;
};

class DialogHost final : public ui::DiskDlgHost {
public:
    bool PlayListIndex(int index) override {
        played.push_back(index);
        return playWorks;
    }
    void SourceChanged() override { ++changes; }
    void RescanDrives() override { ++rescans; }
    void ShowProblem(const QString& text) override { problems.push_back(text.toStdString()); }
    std::vector<int> played;
    std::vector<std::string> problems;
    bool playWorks = true;
    int changes = 0;
    int rescans = 0;
};

class SourceChooserDialog : public testing::Test {
protected:
    SourceChooserDialog() : chooser(player, list, window, chooserHost) {
        player.setRecordings({{1714550400, 1714550499, store::kEventCodeRecordStart},
                              {1714550500, 1714550599, 2},
                              {1714550600, 1714550699, store::kEventCodeRecordStart}});
        dialog = std::make_unique<ui::CDiskDlg>(nullptr, chooser, host, ui::Translator{}, 0);
    }

    FakePlayer player;
    app::RecordingList list;
    app::WindowState window;
    ChooserHost chooserHost;
    app::SourceChooser chooser;
    DialogHost host;
    std::unique_ptr<ui::CDiskDlg> dialog;
};

TEST_F(SourceChooserDialog, KindRadiosEnableTheirControls) {
    EXPECT_TRUE(dialog->kindRadio(app::BackupSourceKind::LocalDisk)->isChecked());
    EXPECT_TRUE(dialog->otherList()->isEnabled());
    EXPECT_FALSE(dialog->removableList()->isEnabled());
    EXPECT_FALSE(dialog->browseButton()->isEnabled());
    QTest::mouseClick(dialog->kindRadio(app::BackupSourceKind::BackupFile), Qt::LeftButton);
    EXPECT_EQ(chooser.kind(), app::BackupSourceKind::BackupFile);
    EXPECT_TRUE(dialog->browseButton()->isEnabled());
    EXPECT_FALSE(dialog->otherList()->isEnabled());
    QTest::mouseClick(dialog->kindRadio(app::BackupSourceKind::RemovableStorage), Qt::LeftButton);
    EXPECT_TRUE(dialog->removableList()->isEnabled());
    EXPECT_FALSE(dialog->browseButton()->isEnabled());
}

TEST_F(SourceChooserDialog, BrowseOpensABackupFileAndListsItsRecordings) {
    dialog->setFileAsker([](const QString&) { return QStringLiteral("/media/card/2024.sd"); });
    QTest::mouseClick(dialog->kindRadio(app::BackupSourceKind::BackupFile), Qt::LeftButton);
    QTest::mouseClick(dialog->browseButton(), Qt::LeftButton);
    EXPECT_EQ(dialog->pathEdit()->text(), QStringLiteral("/media/card/2024.sd"));
    EXPECT_EQ(host.changes, 1);
    QTreeWidget* rows = dialog->recordingList();
    ASSERT_EQ(rows->topLevelItemCount(), 3);
    EXPECT_EQ(rows->columnCount(), 5);
    EXPECT_EQ(rows->headerItem()->text(1), QStringLiteral("RECORD TIME"));
    EXPECT_EQ(rows->headerItem()->text(2), QStringLiteral("EVENT TYPE"));
    EXPECT_EQ(rows->topLevelItem(0)->text(0), QStringLiteral("1"));
    EXPECT_EQ(rows->topLevelItem(0)->text(4), QStringLiteral("00:01:39"));
    EXPECT_GE(rows->columnWidth(1), 120);
}

TEST_F(SourceChooserDialog, AFileThatIsNotABackupFileIsRefused) {
    dialog->setFileAsker([](const QString&) { return QStringLiteral("/media/card/notes.txt"); });
    QTest::mouseClick(dialog->kindRadio(app::BackupSourceKind::BackupFile), Qt::LeftButton);
    QTest::mouseClick(dialog->browseButton(), Qt::LeftButton);
    ASSERT_EQ(host.problems.size(), 1u);
    EXPECT_THAT(host.problems[0], HasSubstr("notes.txt is not a raw backup file"));
    EXPECT_EQ(host.changes, 0);
    EXPECT_TRUE(player.log.empty()) << "nothing was opened";
}

TEST_F(SourceChooserDialog, TheEventTypeHeaderFiltersTheRows) {
    ASSERT_TRUE(chooser.OpenBackupFile("/media/card/2024.sd"));
    dialog->reloadFromChooser();
    QHeaderView* header = dialog->recordingList()->header();
    const QPoint eventHeader(header->sectionViewportPosition(2) + 5, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, eventHeader);
    // Filter 1 (recordings started by the recorder) has two rows.
    EXPECT_EQ(chooser.eventFilter(), store::kEventCodeRecordStart);
    ASSERT_EQ(dialog->recordingList()->topLevelItemCount(), 2);
    EXPECT_EQ(dialog->recordingList()->headerItem()->text(2).toStdString(),
              std::string(store::EventTypeName(store::kEventCodeRecordStart)));
    EXPECT_EQ(host.changes, 1);
    // A click on another header does not filter.
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
    EXPECT_EQ(chooser.eventFilter(), store::kEventCodeRecordStart);
}

TEST_F(SourceChooserDialog, DoubleClickPlaysTheRowAndHidesTheDialog) {
    ASSERT_TRUE(chooser.OpenBackupFile("/media/card/2024.sd"));
    dialog->showMode(ui::DiskDlgMode::Playback);
    EXPECT_EQ(host.rescans, 1);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Playback"));
    EXPECT_FALSE(dialog->backupArea()->isVisible());
    QTreeWidget* rows = dialog->recordingList();
    const QRect r = rows->visualItemRect(rows->topLevelItem(2));
    doubleClick(*rows->viewport(), r.center());
    EXPECT_THAT(host.played, ElementsAre(2));
    EXPECT_FALSE(dialog->isVisible());

    // When playing does not start the dialog stays.
    host.playWorks = false;
    dialog->showMode(ui::DiskDlgMode::Playback);
    doubleClick(*rows->viewport(), r.center());
    EXPECT_TRUE(dialog->isVisible());
    // Asking for the mode shown hides it.
    dialog->showMode(ui::DiskDlgMode::Playback);
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(SourceChooserDialog, DriveListsComeFromTheScan) {
    dialog->setDeviceLists({{"/media/me/CARD/", 0}}, {{"/dev/sdc", 0}, {"/media/cd/", 3333}});
    EXPECT_EQ(dialog->removableList()->count(), 1);
    EXPECT_EQ(dialog->otherList()->count(), 2);
    EXPECT_EQ(dialog->otherList()->itemText(0), QStringLiteral("/dev/sdc"));
    // Choosing a device opens it as a card through the card detection.
    QTest::mouseClick(dialog->kindRadio(app::BackupSourceKind::LocalDisk), Qt::LeftButton);
    Q_EMIT dialog->otherList()->activated(0);
    EXPECT_THAT(chooserHost.opened, ElementsAre("/dev/sdc"));
    EXPECT_EQ(host.changes, 1);
}

// ---- the login dialog -----------------------------------------------------------------------

void SetField(recorderconfig::UserField& field, std::string_view text) {
    field.fill(0);
    std::copy(text.begin(), text.end(), field.begin());
}

recorderconfig::ConfigSector SectorWithUsers() {
    recorderconfig::ConfigSector s;
    SetField(s.user1Name, "owner");
    SetField(s.user1Password, "s3cret");
    SetField(s.user2Name, "guest");
    return s;
}

// Answers the login dialog as soon as it is open.
void AnswerLogin(ui::DialogPrompts& prompts, const QString& name, const QString& password,
                 bool ok) {
    QTimer::singleShot(0, [&prompts, name, password, ok] {
        ui::CConfirmDlg* dialog = prompts.openLogin();
        ASSERT_NE(dialog, nullptr);
        QTest::keyClicks(dialog->nameEdit(), name);
        QTest::keyClicks(dialog->passwordEdit(), password);
        QTest::mouseClick(ok ? dialog->okButton() : dialog->cancelButton(), Qt::LeftButton);
    });
}

TEST(LoginDialog, AsksForAMaskedPasswordOfAtMost15Characters) {
    ui::CConfirmDlg dialog(nullptr, {});
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Confirm Password"));
    EXPECT_TRUE(dialog.nameEdit()->text().isEmpty());
    EXPECT_TRUE(dialog.passwordEdit()->text().isEmpty());
    EXPECT_EQ(dialog.passwordEdit()->echoMode(), QLineEdit::Password);
    QTest::keyClicks(dialog.nameEdit(), QStringLiteral("a-very-long-user-name"));
    EXPECT_EQ(dialog.userName(), "a-very-long-use");
}

TEST(LoginDialog, ARightUserPassesAWrongOneIsToldAndCancelIsSilent) {
    RecordedMessages messages;
    ui::DialogPrompts prompts(nullptr, {}, messages);
    const recorderconfig::ConfigSector sector = SectorWithUsers();

    AnswerLogin(prompts, "owner", "s3cret", true);
    EXPECT_TRUE(recorderconfig::CheckCardPassword(sector, prompts));
    EXPECT_TRUE(messages.shown.empty());

    AnswerLogin(prompts, "Owner", "s3cret", true); // letter case counts
    EXPECT_FALSE(recorderconfig::CheckCardPassword(sector, prompts));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0], "Password Protected! Please input right password...");

    AnswerLogin(prompts, "guest", "", true); // a user without a password never passes
    EXPECT_FALSE(recorderconfig::CheckCardPassword(sector, prompts));
    EXPECT_EQ(messages.shown.size(), 2u);

    AnswerLogin(prompts, "owner", "s3cret", false);
    EXPECT_FALSE(recorderconfig::CheckCardPassword(sector, prompts));
    EXPECT_EQ(messages.shown.size(), 2u) << "cancel says nothing";
}

TEST(LoginDialog, ACardWithoutUsersPlaysWithoutAsking) {
    RecordedMessages messages;
    ui::DialogPrompts prompts(nullptr, {}, messages);
    EXPECT_TRUE(recorderconfig::CheckCardPassword(recorderconfig::ConfigSector{}, prompts));
    EXPECT_EQ(prompts.openLogin(), nullptr);
}

} // namespace
} // namespace tavero::test
