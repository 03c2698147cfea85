#include "app/source_chooser.h"
#include "fake_player.h"
#include "platform/drive_table.h"
#include "playback_test_fixture.h"
#include "temp_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tavero::app {
namespace {

using test::kMay1At8;
using testing::ElementsAre;

class FakeChooserHost final : public SourceChooserHost {
public:
    bool OpenCard(const std::string& deviceText) override {
        opened.push_back(deviceText);
        return static_cast<int>(opened.size()) >= openSucceedsAt && openSucceedsAt > 0;
    }
    void SetCurrentDrive(int drive) override { currentDrive = drive; }
    void StopPlayback() override { ++stops; }

    std::vector<std::string> opened;
    int openSucceedsAt = 1; // the attempt that works; 0: never
    int currentDrive = 5;
    int stops = 0;
};

class Chooser : public testing::Test {
protected:
    Chooser() {
        setenv("TZ", "UTC", 1);
        tzset();
        player.setRecordings({{kMay1At8, kMay1At8 + 3725},
                              {kMay1At8 + 3725, kMay1At8 + 3800},
                              {kMay1At8 + 7200, kMay1At8 + 7230, store::kEventCodeGSensorEvent}});
    }
    ChooserOptions options() {
        ChooserOptions o;
        o.sleepMs = [this](int ms) { sleeps.push_back(ms); };
        o.translate = [](std::string_view text) { return "<" + std::string(text) + ">"; };
        return o;
    }

    test::FakePlayer player;
    RecordingList list;
    WindowState window;
    FakeChooserHost host;
    std::vector<int> sleeps;
    SourceChooser chooser{player, list, window, host, options()};
};

TEST(SourceKinds, EachKindEnablesItsOwnControlsOnly) {
    EXPECT_EQ(ControlsForKind(BackupSourceKind::LocalDisk),
              (SourceKindControls{false, true, false}));
    EXPECT_EQ(ControlsForKind(BackupSourceKind::RemovableStorage),
              (SourceKindControls{true, false, false}));
    EXPECT_EQ(ControlsForKind(BackupSourceKind::BackupFile),
              (SourceKindControls{false, false, true}));
}

TEST_F(Chooser, ListsRecordingsWithTheirColumnsAndMirrorsTheMainList) {
    window.timeOffset = 3600;
    ASSERT_TRUE(chooser.OpenBackupFile("/data/car.sd"));
    EXPECT_EQ(host.currentDrive, -1);
    EXPECT_EQ(host.stops, 1);
    EXPECT_THAT(player.log, ElementsAre("Open /data/car.sd"));
    ASSERT_EQ(chooser.rows().size(), 3u);
    const ChooserRow& first = chooser.rows()[0];
    EXPECT_EQ(first.number, "1");
    EXPECT_EQ(first.start, "2024-05-01 09:00:00");
    EXPECT_EQ(first.end, "2024-05-01 10:02:05");
    EXPECT_EQ(first.duration, "01:02:05");
    EXPECT_EQ(first.event, "<Record Start>");
    EXPECT_EQ(chooser.rows()[2].event, "<G Sensor By Event>");
    EXPECT_EQ(chooser.rows()[2].firstRecord, player.record(2));
    EXPECT_EQ(list.size(), 3);
    EXPECT_EQ(list.at(1).start, kMay1At8 + 3725);
    EXPECT_EQ(chooser.progress(), 100);
    EXPECT_EQ(chooser.filePath(), "/data/car.sd");
    EXPECT_EQ(chooser.browseFolder(), "/data");
    EXPECT_TRUE(chooser.lastProblem().empty());
    EXPECT_EQ(chooser.OnRowDoubleClicked(2), 2);
    EXPECT_EQ(chooser.OnRowDoubleClicked(3), -1);
    EXPECT_EQ(chooser.OnRowDoubleClicked(-1), -1);
}

TEST_F(Chooser, OnlyPathsEndingInExactlyDotSdOpen) {
    EXPECT_FALSE(chooser.OpenBackupFile(""));
    EXPECT_FALSE(chooser.OpenBackupFile("/data/car.SD"));
    EXPECT_FALSE(chooser.OpenBackupFile("/data/car.sd.bak"));
    EXPECT_TRUE(player.log.empty());
    EXPECT_EQ(host.currentDrive, 5);
    EXPECT_EQ(host.stops, 0);
}

TEST_F(Chooser, EventHeaderStepsTheFilterToTheNextTypeWithRows) {
    chooser.OpenBackupFile("/data/car.sd");
    EXPECT_FALSE(chooser.OnHeaderClicked(1));
    EXPECT_EQ(chooser.eventColumnTitle(), "<EVENT TYPE>");
    EXPECT_TRUE(chooser.OnHeaderClicked(kEventTypeColumn));
    EXPECT_EQ(chooser.eventFilter(), 1);
    EXPECT_EQ(chooser.rows().size(), 2u);
    EXPECT_EQ(chooser.eventColumnTitle(), "<Record Start>");
    chooser.OnHeaderClicked(kEventTypeColumn); // 2 and 3 have no rows: on to 4
    EXPECT_EQ(chooser.eventFilter(), 4);
    ASSERT_EQ(chooser.rows().size(), 1u);
    EXPECT_EQ(chooser.rows()[0].number, "1");
    EXPECT_EQ(list.size(), 1); // row 0 plays list entry 0, the G-sensor event
    EXPECT_EQ(list.at(0).firstRecord, player.record(2));
    chooser.OnHeaderClicked(kEventTypeColumn); // 5, 6 none; 0 lists everything again
    EXPECT_EQ(chooser.eventFilter(), 0);
    EXPECT_EQ(chooser.rows().size(), 3u);
}

TEST_F(Chooser, ReopeningKeepsTheFilterAndANewSourceResetsIt) {
    chooser.OpenBackupFile("/data/car.sd");
    chooser.ChooseKind(BackupSourceKind::BackupFile);
    chooser.OnHeaderClicked(kEventTypeColumn);
    ASSERT_TRUE(chooser.ReopenSource());
    EXPECT_EQ(chooser.eventFilter(), 1);
    EXPECT_EQ(player.log.back(), "Open /data/car.sd");
    chooser.OpenBackupFile("/data/other.sd");
    EXPECT_EQ(chooser.eventFilter(), 0);
}

TEST_F(Chooser, EventHeaderOnAnEmptySourceStopsAfterEightSteps) {
    player.setRecordings({});
    chooser.OpenBackupFile("/data/empty.sd");
    const int loadsBefore = player.loadCount;
    chooser.OnHeaderClicked(kEventTypeColumn);
    EXPECT_EQ(player.loadCount - loadsBefore, 8);
    EXPECT_TRUE(chooser.rows().empty());
}

TEST_F(Chooser, DamagedFileOpensWithAnExplanationAndAnEmptyList) {
    chooser.OpenBackupFile("/data/car.sd");
    player.loadFails = true;
    EXPECT_TRUE(chooser.OpenBackupFile("/data/broken.sd"));
    EXPECT_TRUE(chooser.rows().empty());
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(chooser.lastProblem(),
              "/data/broken.sd< holds no recordings that can be played>: damaged index");
}

TEST_F(Chooser, DroppedFilesOpenOnlyTheFirstBackupFile) {
    DropResult r = chooser.OnFilesDropped({"/data/a.sd", "/data/b.sd"});
    EXPECT_TRUE(r.opened);
    EXPECT_TRUE(r.showChooser);
    EXPECT_EQ(chooser.kind(), BackupSourceKind::BackupFile);
    EXPECT_THAT(player.log, ElementsAre("Open /data/a.sd"));

    r = chooser.OnFilesDropped({"/data/notes.txt", "/data/c.sd"});
    EXPECT_FALSE(r.opened);
    EXPECT_EQ(r.message, "/data/notes.txt< is not a raw backup file (*.sd)>");
    EXPECT_EQ(player.log.size(), 1u);
    EXPECT_FALSE(chooser.OnFilesDropped({}).opened);
}

TEST_F(Chooser, RemovableDeviceIsTriedThirtyTimesThenReported) {
    host.openSucceedsAt = 0;
    EXPECT_FALSE(chooser.ChooseRemovableDevice("/media/me/CARD/"));
    EXPECT_EQ(host.opened.size(), 30u);
    EXPECT_EQ(sleeps.size(), 29u);
    EXPECT_EQ(chooser.lastProblem(), "<open  >/media/me/CARD/< failed>");

    host.opened.clear();
    sleeps.clear();
    host.openSucceedsAt = 3;
    EXPECT_TRUE(chooser.ChooseRemovableDevice("/media/me/CARD/"));
    EXPECT_EQ(host.opened.size(), 3u);
    EXPECT_THAT(sleeps, ElementsAre(100, 100));
    EXPECT_TRUE(chooser.lastProblem().empty());
}

TEST_F(Chooser, CdRomEntryOpensItsFirstBackupFile) {
    test::TempFolder disc;
    disc.write("b.sd", "x");
    disc.write("a.sd", "x");
    disc.write("readme.txt", "x");
    disc.write("z.sd/inner", "x"); // a folder named like a file
    EXPECT_TRUE(chooser.ChooseOtherDevice({disc.path(), cardtools::kCdRomItemData}));
    EXPECT_EQ(chooser.kind(), BackupSourceKind::BackupFile);
    EXPECT_EQ(chooser.filePath(), disc.path() + "a.sd");
    EXPECT_TRUE(host.opened.empty());

    EXPECT_TRUE(chooser.ChooseOtherDevice({"/dev/sdz", 0}));
    EXPECT_THAT(host.opened, ElementsAre("/dev/sdz"));
    EXPECT_EQ(chooser.deviceText(), "/dev/sdz");
}

TEST_F(Chooser, CardSourceOpensByDriveNumberAndRemembersItsDevice) {
    platform::SetDrivePath(3, "/tmp/tavero-card.img");
    EXPECT_TRUE(chooser.OpenCardSource(3));
    EXPECT_THAT(player.log, ElementsAre("Open car2://3"));
    EXPECT_EQ(chooser.sourceLocation(), "/tmp/tavero-card.img");
    chooser.CardOpened("/tmp/tavero-card.img", "tavero-SD");
    EXPECT_EQ(chooser.volumeText(), "tavero-SD (/tmp/tavero-card.img)");
    EXPECT_EQ(chooser.rows().size(), 3u);
    platform::ClearDrivePaths();
    EXPECT_FALSE(chooser.OpenCardSource(-1));
}

TEST_F(Chooser, CommandLinePathOpensAFileOrACardUrl) {
    EXPECT_TRUE(chooser.OpenSourcePath("/data/car.sd"));
    EXPECT_EQ(chooser.kind(), BackupSourceKind::BackupFile);
    EXPECT_FALSE(chooser.OpenSourcePath("/data/car.avi"));
    EXPECT_EQ(chooser.lastProblem(), "/data/car.avi< is not a raw backup file (*.sd)>");
    platform::SetDrivePath(4, "/tmp/tavero-card.img");
    chooser.OpenSourcePath("car2://4");
    EXPECT_THAT(host.opened, ElementsAre("/tmp/tavero-card.img"));
    platform::ClearDrivePaths();
}

} // namespace
} // namespace tavero::app
