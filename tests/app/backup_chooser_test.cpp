#include "app/backup_chooser.h"
#include "fake_backup_engine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <deque>

namespace tavero::app {
namespace {

using test::FakeBackupEngine;
using ::testing::ElementsAre;

constexpr std::int64_t kMay1At8 = 1714550400; // 2024-05-01 08:00:00 UTC

class Backup : public ::testing::Test {
protected:
    Backup() {
        setenv("TZ", "UTC", 1);
        tzset();
        // Three recordings: 0-1 (two records) from 08:00, 2 at 08:10, 3 at 08:20, the last
        // of a recorder one hour ahead.
        addRecord(0, 59, 1, 1024, 0);
        addRecord(60, 119, 1025, 2048, 0);
        addRecord(600, 659, 2049, 3072, 0);
        addRecord(1200, 1259, 3073, 4096, 1);
        addEntry(0, 2);
        addEntry(2, 3);
        addEntry(3, 4);
        chooser.SetDestination("/media/backups");
    }
    void addRecord(int from, int to, std::uint32_t firstUnit, std::uint32_t lastUnit,
                   std::uint8_t zone) {
        store::IndexRecord& r = records.emplace_back();
        r.slot = static_cast<std::uint32_t>(records.size() - 1);
        r.startTime = store::SecondsToPackedTime(kMay1At8 + from);
        r.endTime = store::SecondsToPackedTime(kMay1At8 + to);
        r.startUnit = firstUnit;
        r.endUnit = lastUnit;
        r.zoneHours = zone;
    }
    void addEntry(std::size_t first, std::size_t pastLast) {
        store::RecordingEntry e;
        e.firstRecord = &records[first];
        e.next = pastLast < records.size() ? &records[pastLast] : nullptr;
        e.start = records[first].startSeconds();
        e.end = records[pastLast - 1].endSeconds();
        list.Append(e);
    }
    BackupChooserOptions options() {
        BackupChooserOptions o;
        o.now = [this] { return clock; };
        o.stopPlayback = [this] { engine.log.push_back("stop playback"); };
        o.exists = [this](const std::string& path) { return existing.count(path) != 0; };
        return o;
    }

    std::deque<store::IndexRecord> records;
    FakeBackupEngine engine{[this](store::IndexRecord* r) {
        const auto i = static_cast<std::size_t>(r->slot) + 1;
        return i < records.size() ? &records[i] : nullptr;
    }};
    RecordingList list;
    WindowState window;
    std::time_t clock = kMay1At8 + 86400 + 3723; // pressed on May 2 at 09:02:03
    std::set<std::string> existing;
    BackupChooser chooser{engine, list, window, options()};
};

TEST_F(Backup, TickingRowsSelectsThemAllAndTheRangeFollowsASingleRow) {
    window.timeOffset = 60;
    chooser.ResetRows();
    // Nothing chosen yet: the pickers span every recording, each end in its own zone.
    EXPECT_EQ(chooser.pickerStart(), kMay1At8 + 60);
    EXPECT_EQ(chooser.pickerEnd(), kMay1At8 + 1259 + 3600 + 60);
    chooser.ClickRow(2);
    EXPECT_TRUE(chooser.ticked(2));
    EXPECT_TRUE(chooser.pickersEnabled());
    // Its recorder is an hour ahead and the window adds a minute.
    EXPECT_EQ(chooser.pickerStart(), kMay1At8 + 1200 + 3600 + 60);
    EXPECT_EQ(chooser.pickerEnd(), kMay1At8 + 1259 + 3600 + 60);

    chooser.ClickRow(0);
    EXPECT_THAT(chooser.selectedRows(), ElementsAre(0, 2));
    EXPECT_FALSE(chooser.pickersEnabled());
    chooser.ClickRow(2); // clearing a box deselects its row
    EXPECT_THAT(chooser.selectedRows(), ElementsAre(0));
    EXPECT_FALSE(chooser.ticked(2));
    EXPECT_TRUE(chooser.pickersEnabled());
    chooser.ClickRow(-1); // beside the rows
    EXPECT_TRUE(chooser.selectedRows().empty());
    EXPECT_FALSE(chooser.ticked(0));
}

TEST_F(Backup, TwoTickedRowsAreCopiedIntoAFileNamedByTheClockAndReportProgress) {
    chooser.ResetRows();
    chooser.ClickRow(0);
    chooser.ClickRow(2);
    const BackupStep step = chooser.PressBackup();
    EXPECT_TRUE(step.started);
    EXPECT_TRUE(step.message.empty());
    EXPECT_THAT(engine.log,
                ElementsAre("stop playback", "raw /media/backups/2024-05-02-09-02-03.sd 0,1,3,"));
    EXPECT_TRUE(chooser.writing());
    EXPECT_FALSE(chooser.backupButtonEnabled());
    // A second press while it writes does nothing.
    EXPECT_FALSE(chooser.PressBackup().started);
    EXPECT_EQ(engine.log.size(), 2u);

    // Units 1 to 4096 are copied: the bar runs to 90, the index takes the rest.
    EXPECT_EQ(chooser.OnUnitTrailer(1, 0), 0);
    EXPECT_EQ(chooser.OnUnitTrailer(2048, 0), 44);
    EXPECT_EQ(chooser.OnUnitTrailer(4096, 0), 90);
    const BackupStep end = chooser.OnExportEnded();
    EXPECT_TRUE(end.finished);
    EXPECT_TRUE(end.problem.empty());
    EXPECT_EQ(end.progress, 100);
    EXPECT_TRUE(chooser.backupButtonEnabled());
    EXPECT_THAT(chooser.outputs(), ElementsAre("/media/backups/2024-05-02-09-02-03.sd"));
    // The end of playing afterwards is not the dialog's.
    EXPECT_FALSE(chooser.OnExportEnded().finished);
    EXPECT_EQ(chooser.OnUnitTrailer(5, 0), std::nullopt);
}

TEST_F(Backup, OneRowBacksUpTheRecordsOfTheChosenRangeOnly) {
    chooser.ResetRows();
    chooser.ClickRow(0);
    // Start equal to end, and a range reaching before the listed recordings, are refused.
    chooser.SetPickers(kMay1At8 + 30, kMay1At8 + 30);
    EXPECT_EQ(chooser.PressBackup().message, "Please select valid time");
    chooser.SetPickers(kMay1At8 - 1, kMay1At8 + 30);
    EXPECT_EQ(chooser.PressBackup().message, "Please select valid time");
    EXPECT_TRUE(engine.log.empty());

    // 08:01:10 to 08:10:30 touches the second record of the first recording and the second
    // recording's record.
    chooser.SetPickers(kMay1At8 + 70, kMay1At8 + 630);
    EXPECT_TRUE(chooser.PressBackup().started);
    EXPECT_THAT(engine.log,
                ElementsAre("stop playback", "raw /media/backups/2024-05-02-09-02-03.sd 1,2,"));
    EXPECT_EQ(chooser.OnUnitTrailer(1025, 0), 0);
    EXPECT_EQ(chooser.OnUnitTrailer(3072, 0), 90);
}

TEST_F(Backup, NothingHappensWithoutADestinationOrAChoiceAndNothingIsOverwritten) {
    chooser.ResetRows();
    EXPECT_EQ(chooser.PressBackup().message, "Please select valid time, and check some items");
    chooser.ClickRow(0);
    chooser.ClickRow(1);
    existing.insert("/media/backups/2024-05-02-09-02-03.sd");
    const BackupStep taken = chooser.PressBackup();
    EXPECT_FALSE(taken.started);
    EXPECT_EQ(taken.message,
              "/media/backups/2024-05-02-09-02-03.sd already exists; choose another folder");
    chooser.SetDestination("");
    EXPECT_FALSE(chooser.PressBackup().started);
    EXPECT_TRUE(chooser.PressBackup().message.empty());
    EXPECT_TRUE(engine.log.empty());
}

TEST_F(Backup, AFailedStartKeepsBackupDisabledUntilTheDialogIsUsed) {
    chooser.ResetRows();
    chooser.ClickRow(0);
    chooser.ClickRow(1);
    engine.startSucceeds = false;
    const BackupStep step = chooser.PressBackup();
    EXPECT_FALSE(step.started);
    EXPECT_NE(step.message.find("disk not there"), std::string::npos);
    EXPECT_FALSE(chooser.writing());
    EXPECT_FALSE(chooser.backupButtonEnabled());
    chooser.ClickRow(1);
    EXPECT_TRUE(chooser.backupButtonEnabled());
}

TEST_F(Backup, AviExportsEachRowInTurnWithItsOwnSpanAndTheTickedChannels) {
    chooser.ResetRows();
    chooser.SetFormat(BackupFormat::Avi);
    EXPECT_TRUE(chooser.channelBoxesEnabled());
    chooser.SetChannel(1, false);
    chooser.ClickRow(1);
    chooser.ClickRow(2);
    EXPECT_TRUE(chooser.PressBackup().started);
    // The third row's recorder is an hour ahead: its span goes back to recorder time.
    EXPECT_THAT(engine.log, ElementsAre("stop playback", "avi /media/backups/2024-05-02-09-02-03-Cam.avi 2 600..659"));
    EXPECT_THAT(engine.channelsAtExport.back(), ElementsAre(0, 2, 3));
    // Progress over the row's span, in the row's shifted time.
    EXPECT_EQ(chooser.OnUnitTrailer(0, kMay1At8 + 630), 45);
    EXPECT_EQ(chooser.OnUnitTrailer(0, kMay1At8 + 700), std::nullopt);

    clock += 61;
    const BackupStep second = chooser.OnExportEnded();
    EXPECT_TRUE(second.started);
    EXPECT_FALSE(second.finished);
    EXPECT_EQ(engine.log.back(), "avi /media/backups/2024-05-02-09-03-04-Cam.avi 3 1200..1259");
    EXPECT_EQ(chooser.pickerStart(), kMay1At8 + 1200 + 3600);
    EXPECT_EQ(chooser.OnUnitTrailer(0, kMay1At8 + 1230), 45);

    const BackupStep done = chooser.OnExportEnded();
    EXPECT_TRUE(done.finished);
    EXPECT_EQ(done.progress, 100);
    EXPECT_EQ(chooser.outputs().size(), 2u);
}

TEST_F(Backup, AnIncompleteExportEndsTheBackupAndSaysWhy) {
    chooser.ResetRows();
    chooser.SetFormat(BackupFormat::Avi);
    chooser.ClickRow(0);
    chooser.ClickRow(1);
    ASSERT_TRUE(chooser.PressBackup().started);
    engine.problem = "export incomplete: No space left on device (1 files were finished)";
    const BackupStep end = chooser.OnExportEnded();
    // The second row is not started on a full disk.
    EXPECT_TRUE(end.finished);
    EXPECT_EQ(end.problem, engine.problem);
    EXPECT_EQ(std::count_if(engine.log.begin(), engine.log.end(),
                            [](const std::string& l) { return l.rfind("avi", 0) == 0; }),
              1);
    EXPECT_TRUE(chooser.backupButtonEnabled());
}

TEST_F(Backup, EachRecordingIntoAFileOfItsOwnPassingOverThoseBackedUpBefore) {
    window.timeOffset = 60;
    existing.insert("/b/CAR/CAR_2024-05-01_08-11-00.sd"); // the second one, from an earlier run
    BackupStep step = chooser.StartEachEntry("/b/CAR/CAR");
    ASSERT_TRUE(step.started);
    EXPECT_EQ(engine.log.back(), "raw /b/CAR/CAR_2024-05-01_08-01-00.sd 0,1,");
    EXPECT_EQ(chooser.eachEntryLabel(), "1 / 3");
    EXPECT_EQ(chooser.OnUnitTrailer(1, 0), 0);
    EXPECT_EQ(chooser.OnUnitTrailer(2048, 0), 100);
    // A press of Backup meanwhile does nothing.
    chooser.ResetRows();
    chooser.ClickRow(0);
    chooser.ClickRow(1);
    EXPECT_FALSE(chooser.PressBackup().started);

    step = chooser.OnExportEnded();
    ASSERT_TRUE(step.started);
    EXPECT_EQ(engine.log.back(), "raw /b/CAR/CAR_2024-05-01_08-21-00.sd 3,");
    EXPECT_EQ(chooser.eachEntryLabel(), "3 / 3");
    step = chooser.OnExportEnded();
    EXPECT_TRUE(step.finished);
    EXPECT_EQ(step.skipped, 1);
    EXPECT_TRUE(step.problem.empty());
    EXPECT_FALSE(chooser.writing());
    EXPECT_EQ(chooser.eachEntryLabel(), "");

    // Again: everything is there now, nothing is written.
    for (const std::string& out : chooser.outputs()) {
        existing.insert(out);
    }
    const std::size_t commands = engine.log.size();
    step = chooser.StartEachEntry("/b/CAR/CAR");
    EXPECT_FALSE(step.started);
    EXPECT_TRUE(step.finished);
    EXPECT_EQ(step.skipped, 3);
    EXPECT_EQ(engine.log.size(), commands);
}

TEST_F(Backup, AFullDiskEndsThePerRecordingBackup) {
    ASSERT_TRUE(chooser.StartEachEntry("/b/x").started);
    engine.problem = "backup incomplete: No space left on device (1 of 2 records are in the file and readable)";
    const BackupStep step = chooser.OnExportEnded();
    EXPECT_TRUE(step.finished);
    EXPECT_EQ(step.problem, engine.problem);
    EXPECT_EQ(std::count_if(engine.log.begin(), engine.log.end(),
                            [](const std::string& l) { return l.rfind("raw", 0) == 0; }),
              1);
}

} // namespace
} // namespace tavero::app
