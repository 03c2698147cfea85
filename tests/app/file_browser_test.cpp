#include "app/file_browser.h"
#include "card_fixture.h"
#include "temp_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace tavero::app {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

CivilDay Day(int y, int m, int d) {
    return *MakeCivilDay(y, m, d);
}

std::vector<std::string> Names(const std::vector<std::string>& paths) {
    std::vector<std::string> names;
    for (const std::string& p : paths) {
        names.push_back(fs::path(p).parent_path().filename().string() + "/" +
                        fs::path(p).filename().string());
    }
    return names;
}

TEST(BackupFileDate, TheSecondPieceOfTheTitleIsTheDate) {
    EXPECT_EQ(BackupFileDate("ABC123_2024-05-01_08-00-00.sd"), Day(2024, 5, 1));
    EXPECT_EQ(BackupFileDate("car_2024-5-1.sd"), Day(2024, 5, 1));
    EXPECT_EQ(BackupFileDate("a_2024-02-29_x.sd"), Day(2024, 2, 29));
    // The backup dialog's own names carry no "_": they have no date here.
    EXPECT_EQ(BackupFileDate("2024-05-01-08-00-00.sd"), std::nullopt);
    EXPECT_EQ(BackupFileDate("car_holiday.sd"), std::nullopt);
    EXPECT_EQ(BackupFileDate("car_2024-13-01.sd"), std::nullopt);
    EXPECT_EQ(BackupFileDate("car_2023-02-29.sd"), std::nullopt);
    EXPECT_EQ(BackupFileDate("car_2024-05.sd"), std::nullopt);
    EXPECT_EQ(CivilDayText(Day(2024, 3, 1)), "2024-03-01");
    EXPECT_EQ(NextDay(Day(2024, 2, 29)), Day(2024, 3, 1));
}

TEST(BackupFiles, ASearchOfOneDayFindsThatDaysFilesOnly) {
    test::TempFolder folder;
    folder.write("car_2024-05-01_08-00-00.sd", "x");
    folder.write("car_2024-05-01_23-59-59.sd", "x");
    folder.write("car_2024-05-02_00-00-00.sd", "x");
    folder.write("car_2024-04-30_23-00-00.sd", "x");
    folder.write("car_2024-05-01_notes.txt", "x");
    folder.write("2024-05-01-10-00-00.sd", "x");
    fs::create_directory(folder.path() + "dir_2024-05-01.sd");
    const CivilDay may1 = Day(2024, 5, 1);
    EXPECT_THAT(Names(FindBackupFiles(folder.path(), may1, NextDay(may1))),
                ElementsAre(::testing::EndsWith("car_2024-05-01_08-00-00.sd"),
                            ::testing::EndsWith("car_2024-05-01_23-59-59.sd")));
    EXPECT_TRUE(FindBackupFiles(folder.path() + "missing", may1, NextDay(may1)).empty());
}

TEST(BackupFiles, DeletingOldFilesTouchesOnlyDatedBackupsInTheFolderAndItsSubfolders) {
    test::TempFolder folder;
    test::TempFolder elsewhere;
    folder.write("car_2024-04-01_08-00-00.sd", "old");
    folder.write("car_2024-05-01_08-00-00.sd", "cutoff day stays");
    folder.write("ABC/ABC_2024-03-01_08-00-00.sd", "old");
    folder.write("ABC/notes_2024-03-01.txt", "not a backup");
    folder.write("ABC/2024-03-01-08-00-00.sd", "no date");
    folder.write("ABC/deeper/ABC_2024-03-01_08-00-00.sd", "two levels down");
    elsewhere.write("x_2020-01-01.sd", "someone else's");
    fs::create_directory_symlink(elsewhere.path(), folder.path() + "linked");
    fs::create_symlink(elsewhere.path() + "x_2020-01-01.sd", folder.path() + "l_2020-01-01.sd");

    const std::vector<std::string> old = OldBackupFiles(folder.path(), Day(2024, 5, 1));
    EXPECT_THAT(Names(old), ElementsAre(::testing::EndsWith("car_2024-04-01_08-00-00.sd"),
                                        "ABC/ABC_2024-03-01_08-00-00.sd"));
    EXPECT_EQ(RemoveFiles(old), 2);
    EXPECT_EQ(RemoveFiles(old), 0) << "gone already: nothing else is removed";
    EXPECT_TRUE(fs::exists(folder.path() + "car_2024-05-01_08-00-00.sd"));
    EXPECT_TRUE(fs::exists(folder.path() + "ABC/notes_2024-03-01.txt"));
    EXPECT_TRUE(fs::exists(folder.path() + "ABC/2024-03-01-08-00-00.sd"));
    EXPECT_TRUE(fs::exists(folder.path() + "ABC/deeper/ABC_2024-03-01_08-00-00.sd"));
    EXPECT_TRUE(fs::exists(folder.path() + "l_2020-01-01.sd"));
    EXPECT_EQ(elsewhere.read("x_2020-01-01.sd"), "someone else's");
}

// A raw backup file of one recording per record, each `minutes` long, from 08:00 of May 1.
void WriteBackupFile(const std::string& path, int firstMinute, int records) {
    using namespace ::tavero::testing;
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < records; ++i) {
        TestRecord r;
        r.seq = static_cast<std::uint32_t>(i + 1);
        r.startUnit = static_cast<std::uint32_t>(i * 1024 + 1);
        r.endUnit = r.startUnit;
        r.startTime = AddSeconds(Packed{2024, 5, 1, 8, 0, 0}, (firstMinute + i * 10) * 60);
        r.endTime = AddSeconds(r.startTime, 59);
        r.recStart = 1;
        const Bytes512 bytes = IndexRecordBytes(r);
        out.write(reinterpret_cast<const char*>(bytes.data()), 512);
    }
    // The data area begins at 32 MiB.
    out.seekp(0x2000000 + 16384 - 1);
    out.put('\0');
}

TEST(BackupFiles, SearchFindsTheFileWhoseRecordingsSpanTheTime) {
    setenv("TZ", "UTC", 1);
    tzset();
    test::TempFolder folder;
    WriteBackupFile(folder.path() + "a.sd", 0, 2);   // 08:00 - 08:10:59
    WriteBackupFile(folder.path() + "b.sd", 60, 3);  // 09:00 - 09:20:59
    folder.write("c.sd", "not a backup file");
    const std::int64_t may1At8 = 1714550400;
    EXPECT_THAT(FindBackupFileHolding(folder.path(), may1At8 + 300), ::testing::EndsWith("a.sd"));
    EXPECT_THAT(FindBackupFileHolding(folder.path(), may1At8 + 3600 + 1259),
                ::testing::EndsWith("b.sd"));
    EXPECT_EQ(FindBackupFileHolding(folder.path(), may1At8 + 1800), "");
    EXPECT_EQ(FindBackupFileHolding(folder.path() + "missing", may1At8), "");
}

TEST(BackupFiles, TheCutoffIsThePickedDayOrTodayLessTheDays) {
    setenv("TZ", "UTC", 1);
    tzset();
    const std::time_t may10noon = 1715342400; // 2024-05-10 12:00 UTC
    EXPECT_EQ(DeleteCutoff(false, Day(2024, 1, 2), 5, may10noon), Day(2024, 1, 2));
    EXPECT_EQ(DeleteCutoff(true, Day(2024, 1, 2), 5, may10noon), Day(2024, 5, 5));
    EXPECT_EQ(DeleteCutoff(true, Day(2024, 1, 2), -3, may10noon), Day(2024, 5, 10));
}

TEST(BackupManager, WholeCardBackupsGoIntoAFolderNamedByThePlate) {
    EXPECT_EQ(WholeCardBackupPrefix("/home/me/BlackBox", "B-XY 123"),
              "/home/me/BlackBox/B-XY 123/B-XY 123");
    EXPECT_EQ(WholeCardBackupPrefix("/b", std::string_view("\0\0", 2)), "/b/CarInfor/CarInfor");
    EXPECT_EQ(WholeCardBackupPrefix("/b", "  "), "/b/CarInfor/CarInfor");
    EXPECT_EQ(WholeCardBackupPrefix("/b", "../AB/1"), "/b/.._AB_1/.._AB_1");

    const std::uint8_t coded[] = {0x80 + 11, 'X', '1', 0, 0};
    EXPECT_EQ(PlateOfSector(coded), "BX1");
    const std::uint8_t unknownCode[] = {0xF0, 'X', '1', 0};
    EXPECT_EQ(PlateOfSector(unknownCode), "X1");

    BackupManagerState s;
    EXPECT_EQ(s.text(), "stop");
    EXPECT_TRUE(s.autoEnabled());
    EXPECT_FALSE(s.stopEnabled());
    s.Stop(); // only from automatic
    EXPECT_EQ(s.state(), BackupManagerState::Stopped);
    s.Auto();
    EXPECT_EQ(s.text(), "idle");
    EXPECT_FALSE(s.autoEnabled());
    EXPECT_TRUE(s.Backup());
    EXPECT_EQ(s.text(), "backuping");
    EXPECT_FALSE(s.Backup()) << "one backup at a time";
    s.Stop(); // not while backing up
    EXPECT_EQ(s.state(), BackupManagerState::BackingUp);
    s.Finished();
    EXPECT_EQ(s.text(), "idle");
    s.Stop();
    EXPECT_EQ(s.text(), "stop");
}

} // namespace
} // namespace tavero::app
