#include "app/backup_plan.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>

namespace tavero::app {
namespace {

constexpr std::int64_t kMay1At8 = 1714550400; // 2024-05-01 08:00:00 UTC

// Records one after the other in play order, each a minute of 1024 units.
class Records {
public:
    Records() {
        setenv("TZ", "UTC", 1);
        tzset();
    }
    store::IndexRecord* add(std::int64_t start, std::int64_t end, std::uint32_t firstUnit,
                            std::uint32_t lastUnit, std::uint8_t zone = 0) {
        store::IndexRecord& r = m_records.emplace_back();
        r.startTime = store::SecondsToPackedTime(start);
        r.endTime = store::SecondsToPackedTime(end);
        r.startUnit = firstUnit;
        r.endUnit = lastUnit;
        r.zoneHours = zone;
        r.slot = static_cast<std::uint32_t>(m_records.size() - 1);
        return &r;
    }
    store::IndexRecord* at(std::size_t i) { return &m_records.at(i); }
    std::size_t size() const { return m_records.size(); }
    NextRecordFn next() {
        return [this](store::IndexRecord* r) {
            return r->slot + 1 < m_records.size() ? &m_records[r->slot + 1] : nullptr;
        };
    }
    std::vector<store::IndexRecord*> all() {
        std::vector<store::IndexRecord*> list;
        for (auto& r : m_records) {
            list.push_back(&r);
        }
        return list;
    }
    store::RecordingEntry entry(std::size_t first, std::size_t pastLast) {
        store::RecordingEntry e;
        e.firstRecord = at(first);
        e.next = pastLast < size() ? at(pastLast) : nullptr;
        e.start = at(first)->startSeconds();
        e.end = at(pastLast - 1)->endSeconds();
        return e;
    }

private:
    std::deque<store::IndexRecord> m_records; // stable addresses
};

TEST(BackupCollection, EntriesAreWalkedToWhereTheirChainStoppedEachRecordOnce) {
    Records r;
    for (int i = 0; i < 6; ++i) {
        r.add(kMay1At8 + i * 60, kMay1At8 + i * 60 + 59, 5000 + i * 1024, 5000 + i * 1024 + 1023);
    }
    // Rows 1 (records 0-1) and 3 (records 4-5) chosen; row 2 in between is not copied. Row 1
    // chosen twice (a double selection) copies nothing twice.
    const store::RecordingEntry chosen[] = {r.entry(4, 6), r.entry(0, 2), r.entry(0, 2)};
    const BackupSelection s = CollectEntryRecords(chosen, r.next());
    ASSERT_EQ(s.records.size(), 4u);
    EXPECT_EQ(s.records[0], r.at(4));
    EXPECT_EQ(s.records[1], r.at(5));
    EXPECT_EQ(s.records[2], r.at(0));
    EXPECT_EQ(s.records[3], r.at(1));
    EXPECT_EQ(s.lowestStart, 5000u);
    EXPECT_EQ(s.highestEnd, 5000u + 6 * 1024 - 1);
    EXPECT_FALSE(s.truncated);
}

TEST(BackupCollection, FiveThousandRecordsStopAtTheLimitWithTheFirstOnesKept) {
    Records r;
    for (int i = 0; i < 5000; ++i) {
        r.add(kMay1At8 + i * 60, kMay1At8 + i * 60 + 59, 100 + i * 1024, 100 + i * 1024 + 1023);
    }
    // 50 rows of 100 records each.
    std::vector<store::RecordingEntry> rows;
    for (std::size_t i = 0; i < 5000; i += 100) {
        rows.push_back(r.entry(i, i + 100));
    }
    const BackupSelection byEntry = CollectEntryRecords(rows, r.next());
    ASSERT_EQ(byEntry.records.size(), kMaxBackupRecords);
    EXPECT_TRUE(byEntry.truncated);
    EXPECT_EQ(byEntry.requested, 5000u);
    EXPECT_EQ(byEntry.records.back(), r.at(kMaxBackupRecords - 1));
    // The unit span is that of what is copied, not of what was asked for.
    EXPECT_EQ(byEntry.highestEnd, 100u + kMaxBackupRecords * 1024 - 1);

    const auto all = r.all();
    const BackupSelection byRange =
        CollectRangeRecords(all, kMay1At8, kMay1At8 + 5000 * 60, 0);
    EXPECT_EQ(byRange.records.size(), kMaxBackupRecords);
    EXPECT_TRUE(byRange.truncated);
}

TEST(BackupCollection, ARangeTakesEveryRecordItTouchesInTheRecordersZone) {
    Records r;
    r.add(kMay1At8, kMay1At8 + 59, 0, 1023);               // ends before the range
    r.add(kMay1At8 + 60, kMay1At8 + 119, 1024, 2047);      // ends on its first second
    r.add(kMay1At8 + 120, kMay1At8 + 179, 2048, 3071);     // inside
    r.add(kMay1At8 + 180, kMay1At8 + 239, 3072, 4095);     // starts on its last second
    r.add(kMay1At8 + 240, kMay1At8 + 299, 4096, 5119);     // starts after it
    const auto all = r.all();
    BackupSelection s = CollectRangeRecords(all, kMay1At8 + 119, kMay1At8 + 180, 0);
    ASSERT_EQ(s.records.size(), 3u);
    EXPECT_EQ(s.records.front(), r.at(1));
    EXPECT_EQ(s.records.back(), r.at(3));
    EXPECT_EQ(s.lowestStart, 1024u);
    EXPECT_EQ(s.highestEnd, 4095u);

    // A recorder two hours ahead, and a display offset of one more: the same range in the
    // times people see lies three hours later.
    Records zoned;
    zoned.add(kMay1At8, kMay1At8 + 59, 0, 1023, 2);
    const auto one = zoned.all();
    EXPECT_TRUE(CollectRangeRecords(one, kMay1At8, kMay1At8 + 59, 3600).empty());
    EXPECT_EQ(CollectRangeRecords(one, kMay1At8 + 3 * 3600, kMay1At8 + 3 * 3600 + 10, 3600)
                  .records.size(),
              1u);
}

TEST(BackupRange, OnlyARangeInsideTheListedRecordingsWithStartBeforeEndIsValid) {
    Records r;
    r.add(kMay1At8, kMay1At8 + 599, 0, 1023, 1);
    r.add(kMay1At8 + 3600, kMay1At8 + 4199, 1024, 2047, 1);
    const store::RecordingEntry rows[] = {r.entry(0, 1), r.entry(1, 2)};
    const std::int64_t shift = 3600 + 60; // the zone's hour and a display offset of a minute
    const std::int64_t first = kMay1At8 + shift;
    const std::int64_t last = kMay1At8 + 4199 + shift;

    EXPECT_TRUE(IsValidBackupRange(first, last, rows, 60));
    EXPECT_TRUE(IsValidBackupRange(first + 10, first + 11, rows, 60));
    EXPECT_FALSE(IsValidBackupRange(first + 10, first + 10, rows, 60)); // start equals end
    EXPECT_FALSE(IsValidBackupRange(first + 11, first + 10, rows, 60));
    EXPECT_FALSE(IsValidBackupRange(first - 1, last, rows, 60));
    EXPECT_FALSE(IsValidBackupRange(first, last + 1, rows, 60));
    // Unshifted times lie before the listed start.
    EXPECT_FALSE(IsValidBackupRange(kMay1At8, kMay1At8 + 100, rows, 60));
    EXPECT_FALSE(IsValidBackupRange(first, last, {}, 60));
}

TEST(BackupNames, PressingBackupNamesByTheClockAndEachEntryByItsStart) {
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1); // summer time in May: two hours ahead
    tzset();
    const std::time_t pressed = kMay1At8 + 3 * 86400 + 3723;
    EXPECT_EQ(RawBackupFileName(pressed), "2024-05-04-11-02-03.sd");
    EXPECT_EQ(AviBackupFileName(pressed), "2024-05-04-11-02-03-Cam.avi");
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(RawBackupFileName(pressed), "2024-05-04-09-02-03.sd");
    // The entry's time is the recorder's wall clock as the list shows it, whatever the clock.
    EXPECT_EQ(EachEntryBackupPath("/backups/ABC123/ABC123", kMay1At8 + 59),
              "/backups/ABC123/ABC123_2024-05-01_08-00-59.sd");
    EXPECT_EQ(EachEntryBackupPath("", kMay1At8), "_2024-05-01_08-00-00.sd");
}

TEST(BackupProgress, RawAndAviBarsStayBelowNinetyOneWhileCopying) {
    EXPECT_EQ(RawBackupProgress(1000, 1000, 2000), 0);
    EXPECT_EQ(RawBackupProgress(1500, 1000, 2000), 45);
    EXPECT_EQ(RawBackupProgress(1999, 1000, 2000), 89);
    EXPECT_EQ(RawBackupProgress(2000, 1000, 2000), 90);
    EXPECT_EQ(RawBackupProgress(2600, 1000, 2000), 90);
    EXPECT_EQ(RawBackupProgress(10, 1000, 2000), 0);
    EXPECT_EQ(RawBackupProgress(7, 7, 7), std::nullopt);
    // Unit numbers of a large card: the product does not wrap.
    EXPECT_EQ(RawBackupProgress(0xF0000000u, 0, 0xFFFFFFF0u), 84);

    EXPECT_EQ(AviBackupProgress(kMay1At8 - 1, kMay1At8, kMay1At8 + 60), std::nullopt);
    EXPECT_EQ(AviBackupProgress(kMay1At8, kMay1At8, kMay1At8 + 60), 0);
    EXPECT_EQ(AviBackupProgress(kMay1At8 + 59, kMay1At8, kMay1At8 + 60), 88);
    EXPECT_EQ(AviBackupProgress(kMay1At8 + 60, kMay1At8, kMay1At8 + 60), 90);
    EXPECT_EQ(AviBackupProgress(kMay1At8 + 61, kMay1At8, kMay1At8 + 60), std::nullopt);
    EXPECT_EQ(AviBackupProgress(kMay1At8, kMay1At8, kMay1At8), std::nullopt);
}

TEST(BackupProgress, EachEntryCountsToAHundredAndASingleUnitIsDoneAtOnce) {
    EXPECT_EQ(EachEntryProgress(1000, 1000, 1100), 1);
    EXPECT_EQ(EachEntryProgress(1049, 1000, 1100), 50);
    EXPECT_EQ(EachEntryProgress(1099, 1000, 1100), 100);
    EXPECT_EQ(EachEntryProgress(1100, 1000, 1100), 100);
    EXPECT_EQ(EachEntryProgress(1000, 1000, 1000), 100);
    EXPECT_EQ(EachEntryLabel(3, 12), "3 / 12");
}

TEST(LengthTable, HeaderAndRowsAreCommaTerminatedWithTheTwoSpareColumnsEmpty) {
    const std::vector<std::string> titles = {"RECORD TIME", "EVENT TYPE", "TIME END",
                                             "Total Times"};
    const std::vector<std::vector<std::string>> rows = {
        {"1", "2024-05-01 08:00:00", "Record Start", "2024-05-01 08:00:59", "00:00:59"},
        {"2", "2024-05-01 08:05:00", "G Sensor By Event", "2024-05-01 08:05:59", "00:00:59"},
    };
    EXPECT_EQ(LengthTable(titles, rows),
              " id,RECORD TIME,EVENT TYPE,TIME END,Total Times,distance,AVG Speed, \n"
              "1,2024-05-01 08:00:00,Record Start,2024-05-01 08:00:59,00:00:59,,, \n"
              "2,2024-05-01 08:05:00,G Sensor By Event,2024-05-01 08:05:59,00:00:59,,, \n");
    EXPECT_EQ(LengthTable(titles, {}),
              " id,RECORD TIME,EVENT TYPE,TIME END,Total Times,distance,AVG Speed, \n");
}

} // namespace
} // namespace tavero::app
