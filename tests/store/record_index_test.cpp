// The recording index: validation, merging of the two copies, recovery of the block being
// written, recording entries and walks. Cards are built byte by byte by the test fixture.

#include "card_fixture.h"
#include "platform/drive_table.h"
#include "store/record_index.h"
#include "store/recording_entry.h"

#include <fstream>
#include <gtest/gtest.h>

namespace tavero::store {
namespace {

using testing::AddSeconds;
using testing::Packed;
using testing::TempDir;
using testing::TestCard;
using testing::TestRecord;
using testing::TestTrailer;

constexpr int kDrive = 7;
const Packed kT0{2024, 5, 1, 8, 0, 0};

// A closed record of `units` units starting at minute `minute` after kT0.
TestRecord Closed(std::uint32_t seq, std::uint32_t startUnit, std::uint32_t units, int minute,
                  std::uint8_t recStart = 0, std::uint8_t protect = 0) {
    TestRecord r;
    r.seq = seq;
    r.startUnit = startUnit;
    r.endUnit = startUnit + units - 1;
    r.startTime = AddSeconds(kT0, minute * 60);
    r.endTime = AddSeconds(kT0, minute * 60 + 59);
    r.recStart = recStart;
    r.protect = protect;
    return r;
}

class RecordIndexTest : public ::testing::Test {
protected:
    void SetUp() override { platform::SetDrivePath(kDrive, (m_dir / "card.img").string()); }
    void TearDown() override { platform::ClearDrivePaths(); }

    TestCard& card(std::uint16_t blocks = 8) {
        m_card = std::make_unique<TestCard>(m_dir / "card.img", blocks);
        m_card->initialiseIndex();
        return *m_card;
    }
    IndexRecord* open() {
        m_index.SetCardSource(kDrive);
        return m_index.OpenIndex();
    }
    // The records of the full list without the follow-on record.
    std::vector<IndexRecord*> records() {
        auto list = m_index.fullList();
        if (m_index.stats().followOn) {
            list.pop_back();
        }
        return list;
    }
    // Units slot/index .. with consecutive numbers and one-second times.
    void writeUnits(std::uint32_t slot, std::uint32_t firstIndex, std::uint32_t firstUnitNo,
                    std::uint32_t count, int startSecond) {
        for (std::uint32_t i = 0; i < count; ++i) {
            TestTrailer t;
            t.unitNo = firstUnitNo + i;
            t.time = AddSeconds(kT0, startSecond + static_cast<int>(i));
            m_card->writeUnitTrailer(slot, firstIndex + i, t);
        }
    }

    TempDir m_dir;
    std::unique_ptr<TestCard> m_card;
    RecordIndex m_index;
};

TEST_F(RecordIndexTest, FreshlyFormattedCardCannotBeOpened) {
    TestCard zero(m_dir / "card.img", 8); // index areas all zero: no slot has the magic
    EXPECT_EQ(open(), nullptr);
    EXPECT_EQ(m_index.lastError().code, StoreErrorCode::IndexInvalid);
    EXPECT_EQ(m_index.lastError().offset, 0x6000000);
    EXPECT_FALSE(m_index.IsOpen());
}

TEST_F(RecordIndexTest, DamagedDiskInformationCopyBRefusesTheCard) {
    card().writeRecord(0, Closed(1, 1, 10, 0, 1));
    m_card->corruptDiskInfoB();
    EXPECT_EQ(open(), nullptr);
    EXPECT_EQ(m_index.lastError().code, StoreErrorCode::NoDiskInfo);
}

TEST_F(RecordIndexTest, OnlyOneCopyWithoutMagicRefusesTheCard) {
    card().writeRecord(0, Closed(1, 1, 10, 0, 1));
    const std::vector<std::uint8_t> zeros(8 * 512, 0);
    m_card->writeAt(0x8000000, zeros.data(), zeros.size());
    EXPECT_EQ(open(), nullptr);
    EXPECT_EQ(m_index.lastError().code, StoreErrorCode::IndexInvalid);
    EXPECT_EQ(m_index.lastError().offset, 0x8000000);
}

TEST_F(RecordIndexTest, ValidRecordsAreOrderedByTimeAndInvalidOnesSkipped) {
    card();
    m_card->writeRecord(0, Closed(3, 2049, 1024, 30));
    m_card->writeRecord(1, Closed(1, 1, 1024, 10, 1));
    m_card->writeRecord(2, Closed(2, 1025, 1024, 20));
    TestRecord foreign = Closed(4, 3073, 10, 40);
    foreign.diskId = 9999; // another card's record
    m_card->writeRecord(3, foreign);
    IndexRecord* first = open();
    ASSERT_NE(first, nullptr);
    const auto list = records();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0]->slot, 1u);
    EXPECT_EQ(list[1]->slot, 2u);
    EXPECT_EQ(list[2]->slot, 0u);
    EXPECT_EQ(list[2]->indexPosition, 0x6000000);
    EXPECT_EQ(list[2]->dataAddress, 0x16000000);
    EXPECT_EQ(list[0]->dataAddress, 0x17000000);
    EXPECT_EQ(m_index.stats().validA, 3u);
    EXPECT_EQ(list.back()->newest, 1) << "the newest record is marked";
}

TEST_F(RecordIndexTest, OpenRecordEndsWhereTheNextBegins) {
    card();
    TestRecord open1 = Closed(1, 1, 1, 0, 1);
    open1.endUnit = 0;
    m_card->writeRecord(0, open1);
    m_card->writeRecord(1, Closed(2, 5000, 100, 10));
    ASSERT_NE(open(), nullptr);
    const auto list = records();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]->endUnit, 4999u);
    EXPECT_EQ(list[0]->endTime, list[1]->startTime);
}

TEST_F(RecordIndexTest, NewerCopyBWinsEvenWithFewerRecords) {
    card();
    for (std::uint32_t s = 0; s < 4; ++s) {
        m_card->writeRecord(s, Closed(s + 1, 1 + s * 1024, 1024, static_cast<int>(s) * 10, s == 0),
                            true, false);
    }
    m_card->writeRecord(0, Closed(7, 9000, 20, 100, 1), false, true);
    ASSERT_NE(open(), nullptr);
    EXPECT_TRUE(m_index.stats().copyBWon);
    const auto list = records();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0]->seq, 7u);
    EXPECT_EQ(list[0]->indexPosition, 0x6000000) << "re-pointed at area A";
}

TEST_F(RecordIndexTest, WinningCopyBKeepsItsRecordsAtHigherSlots) {
    // B has two valid records, in slots 0 and 5. Only copying B's first two slots over A would
    // leave slot 5 showing A's stale record.
    card();
    m_card->writeRecord(0, Closed(1, 1, 1024, 0, 1));
    m_card->writeRecord(5, Closed(2, 100, 5, 1), true, false);    // stale, only in A
    m_card->writeRecord(5, Closed(6, 7000, 30, 50), false, true); // newer, only in B
    ASSERT_NE(open(), nullptr);
    EXPECT_TRUE(m_index.stats().copyBWon);
    const auto list = records();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1]->slot, 5u);
    EXPECT_EQ(list[1]->seq, 6u);
    EXPECT_EQ(list[1]->startUnit, 7000u);
}

TEST_F(RecordIndexTest, RebuildsTheRecordOfTheBlockBeingWritten) {
    card();
    m_card->writeRecord(0, Closed(1, 1, 1024, 0, 1));
    m_card->writeRecord(1, Closed(2, 1025, 1024, 10));
    // The recorder filled 40 units of block 2 and was cut off before writing its record.
    writeUnits(2, 0, 2049, 40, 1200);
    TestTrailer eventUnit;
    eventUnit.unitNo = 2049 + 10;
    eventUnit.time = AddSeconds(kT0, 1210);
    eventUnit.eventType = 2;
    eventUnit.protect = 1;
    m_card->writeUnitTrailer(2, 10, eventUnit);
    ASSERT_NE(open(), nullptr);
    EXPECT_TRUE(m_index.stats().recovered);
    const auto list = records();
    ASSERT_EQ(list.size(), 3u);
    const IndexRecord* rebuilt = list[2];
    EXPECT_EQ(rebuilt->slot, 2u);
    EXPECT_EQ(rebuilt->seq, 3u);
    EXPECT_EQ(rebuilt->startUnit, 2049u);
    EXPECT_EQ(rebuilt->endUnit, 2088u);
    EXPECT_EQ(rebuilt->startTime,
              PackedTime::FromBytes(std::array<std::uint8_t, 6>{224, 5, 1, 8, 20, 0}));
    EXPECT_EQ(rebuilt->eventCount, 1);
    EXPECT_EQ(rebuilt->events[0].unit, 2059u);
    EXPECT_EQ(rebuilt->events[0].type, 2);
    EXPECT_EQ(rebuilt->protect, 2) << "a protecting push-button event";
    EXPECT_EQ(rebuilt->newest, 1);
    EXPECT_EQ(rebuilt->dataAddress, 0x16000000 + 2 * 0x1000000);
}

TEST_F(RecordIndexTest, RecoveryStopsAtTheSecondMiss) {
    card();
    m_card->writeRecord(0, Closed(1, 1, 1024, 0, 1));
    writeUnits(1, 0, 1025, 5, 600);
    // unit 5 damaged, unit 6 out of sequence: two misses end the scan before units 7..9.
    TestTrailer bad;
    bad.unitNo = 1030;
    bad.diskId = 1;
    m_card->writeUnitTrailer(1, 5, bad);
    TestTrailer wrong;
    wrong.unitNo = 5;
    m_card->writeUnitTrailer(1, 6, wrong);
    writeUnits(1, 7, 1030, 3, 607);
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(records().back()->endUnit, 1029u);
}

TEST_F(RecordIndexTest, OpenLastRecordIsRescannedFromItsOwnBlock) {
    card();
    m_card->writeRecord(0, Closed(1, 1, 1024, 0, 1));
    TestRecord open1 = Closed(2, 1025, 1, 10);
    open1.endUnit = 0;
    m_card->writeRecord(1, open1);
    writeUnits(1, 0, 1025, 12, 600);
    ASSERT_NE(open(), nullptr);
    const auto list = records();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1]->slot, 1u);
    EXPECT_EQ(list[1]->endUnit, 1036u);
    EXPECT_EQ(list[1]->newest, 1);
}

TEST_F(RecordIndexTest, OpenLastRecordWithoutUnitsEndsAtItsStart) {
    card();
    TestRecord open1 = Closed(1, 1, 1, 0, 1);
    open1.endUnit = 0;
    m_card->writeRecord(0, open1);
    ASSERT_NE(open(), nullptr);
    const auto list = records();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0]->endUnit, list[0]->startUnit);
    EXPECT_EQ(list[0]->endTime, list[0]->startTime);
}

TEST_F(RecordIndexTest, PartlyOverwrittenOldestRecordKeepsItsRemainder) {
    // A full ring of three blocks; the recorder went on into block 0 (the oldest) and wrote
    // three new units there before it was cut off.
    card(3);
    TestRecord oldest = Closed(1, 1, 1024, 0, 1);
    oldest.events = {{2, AddSeconds(kT0, 2), 1}, {900, AddSeconds(kT0, 50), 2}};
    m_card->writeRecord(0, oldest);
    m_card->writeRecord(1, Closed(2, 1025, 1024, 10));
    m_card->writeRecord(2, Closed(3, 2049, 1024, 20));
    writeUnits(0, 0, 3073, 3, 1800);
    writeUnits(0, 3, 4, 20, 4); // what is left of the old recording
    ASSERT_NE(open(), nullptr);
    const auto list = records();
    ASSERT_EQ(list.size(), 4u);
    const IndexRecord* remainder = list[0];
    EXPECT_EQ(remainder->startUnit, 4u);
    EXPECT_EQ(remainder->dataAddress, 0x16000000 + 3 * 16384);
    EXPECT_EQ(remainder->endUnit, 1024u);
    // The event of an overwritten unit is cleared where it stood; the later one keeps its
    // place, so the recording's event type (from entry 0) does not become the later event's.
    EXPECT_EQ(remainder->events[0].type, 0);
    EXPECT_EQ(remainder->events[0].unit, 0u);
    EXPECT_EQ(remainder->events[1].unit, 900u);
    EXPECT_EQ(remainder->events[1].type, 2);
    EXPECT_NE(ClassifyEvent(remainder->protect, remainder->events[0].type).code,
              ClassifyEvent(remainder->protect, 2).code);
    const IndexRecord* rebuilt = list[3];
    EXPECT_EQ(rebuilt->slot, 0u);
    EXPECT_EQ(rebuilt->startUnit, 3073u);
    EXPECT_EQ(rebuilt->endUnit, 3075u);
}

TEST_F(RecordIndexTest, CardWithNoRecordPlaysWhatTheFirstBlockHolds) {
    card();
    writeUnits(0, 0, 1, 8, 0);
    ASSERT_NE(open(), nullptr);
    const auto list = records();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0]->seq, 1u);
    EXPECT_EQ(list[0]->endUnit, 8u);
}

TEST_F(RecordIndexTest, CardWithNothingAtAllFails) {
    card();
    EXPECT_EQ(open(), nullptr);
    EXPECT_EQ(m_index.lastError().code, StoreErrorCode::NoRecords);
}

TEST_F(RecordIndexTest, FollowOnRecordCoversTheNextBlock) {
    card();
    m_card->writeRecord(0, Closed(1, 1, 100, 0, 1));
    ASSERT_NE(open(), nullptr);
    ASSERT_TRUE(m_index.stats().followOn);
    const IndexRecord* next = m_index.fullList().back();
    EXPECT_EQ(next->seq, 2u);
    EXPECT_EQ(next->startUnit, 101u);
    EXPECT_EQ(next->endUnit, 100u + 1024u);
    EXPECT_EQ(next->dataAddress, 0x16000000 + 0x1000000);
    EXPECT_EQ(next->recStart, 0);
    EXPECT_EQ(next->startTime, m_index.fullList().front()->endTime);
}

TEST_F(RecordIndexTest, WalksFollowThePlayList) {
    card();
    for (std::uint32_t s = 0; s < 4; ++s) {
        m_card->writeRecord(s, Closed(s + 1, 1 + s * 1024, 1024, static_cast<int>(s) * 10));
    }
    IndexRecord* first = open();
    ASSERT_NE(first, nullptr);
    const auto list = records();
    EXPECT_EQ(m_index.NextRecord(first), list[1]);
    EXPECT_EQ(m_index.NextRecord(list[2]), list[3]); // jump: linear search moves the cursor
    EXPECT_EQ(m_index.NextRecord(m_index.fullList().back()), nullptr);
    EXPECT_EQ(m_index.NextRecord(nullptr), nullptr);
    IndexRecord stranger;
    EXPECT_EQ(m_index.NextRecord(&stranger), nullptr);
    EXPECT_EQ(m_index.PreviousRecord(first), nullptr);
    EXPECT_EQ(m_index.PreviousRecord(list[2]), list[1]);

    m_index.SetPlayList({list[1], list[3]});
    EXPECT_EQ(m_index.NextRecord(list[1]), list[3]);
    EXPECT_EQ(m_index.NextRecord(list[2]), nullptr);
    EXPECT_EQ(m_index.OpenIndex(), list[1]) << "an open index answers from the play list";
}

TEST_F(RecordIndexTest, TimeSearchMovesOneRecordAtATime) {
    card();
    for (std::uint32_t s = 0; s < 3; ++s) {
        m_card->writeRecord(s, Closed(s + 1, 1 + s * 1024, 1024, static_cast<int>(s) * 10));
    }
    IndexRecord* first = open();
    ASSERT_NE(first, nullptr);
    const auto list = records();
    const std::int64_t t0 = list[0]->startSeconds();
    EXPECT_EQ(m_index.StepTowards(list[0], t0 + 30), list[0]);
    EXPECT_EQ(m_index.StepTowards(list[0], t0 + 20 * 60 + 5), list[1]);
    EXPECT_EQ(m_index.StepTowards(list[1], t0 + 20 * 60 + 5), list[2]);
    EXPECT_EQ(m_index.StepTowards(list[2], t0 + 5 * 60), list[1]) << "in a gap: stays";
    EXPECT_EQ(m_index.StepTowards(list[2], t0 + 30), list[1]);
}

class EntryTest : public RecordIndexTest {
protected:
    std::vector<RecordingEntry> entries() {
        std::vector<RecordingEntry> out;
        for (IndexRecord* r = open(); r != nullptr; r = out.back().next) {
            out.push_back(BuildRecordingEntry(m_index, r, 0, 0, static_cast<int>(out.size()) + 1));
        }
        return out;
    }
};

TEST_F(EntryTest, AnHourGapDoesNotSplitAnOrdinaryRecording) {
    card();
    m_card->writeRecord(0, Closed(1, 1, 1024, 0));
    m_card->writeRecord(1, Closed(2, 1025, 1024, 60));
    const auto list = entries();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].eventCode, kEventCodeRecordStart);
    EXPECT_EQ(list[0].end - list[0].start, 60 * 60 + 59);
    EXPECT_EQ(list[0].firstUnit, 1u);
    EXPECT_EQ(list[0].displayStart, "2024-05-01 08:00:00");
}

TEST_F(EntryTest, AGapSplitsAProtectedRecording) {
    card();
    m_card->writeRecord(0, Closed(1, 1, 1024, 0, 0, 1));
    m_card->writeRecord(1, Closed(2, 1025, 1024, 60, 0, 1));
    const auto list = entries();
    ASSERT_EQ(list.size(), 2u) << "the follow-on block continues the second one";
    EXPECT_EQ(list[0].eventCode, kEventCodeGSensorProtected);
    EXPECT_EQ(list[1].eventCode, kEventCodeGSensorProtected);
}

TEST_F(EntryTest, RecordingStartsAndProtectionChangesSplit) {
    card();
    m_card->writeRecord(0, Closed(1, 1, 1024, 0, 1));
    m_card->writeRecord(1, Closed(2, 1025, 1024, 1));
    m_card->writeRecord(2, Closed(3, 2049, 1024, 2, 0, 2));
    m_card->writeRecord(3, Closed(4, 3073, 1024, 3, 1));
    const auto list = entries();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].firstRecord->slot, 0u);
    EXPECT_EQ(list[0].next->slot, 2u);
    EXPECT_EQ(list[1].eventCode, kEventCodeButtonProtected);
    EXPECT_EQ(list[2].firstUnit, 3073u);
    EXPECT_EQ(list[2].next, nullptr);
    const std::string shifted =
        BuildRecordingEntry(m_index, list[0].firstRecord, 30, 2, 1).displayStart;
    EXPECT_EQ(shifted, "2024-05-01 10:00:30");
}

TEST(ClassifyEvent, ProtectionComesFirst) {
    struct Case {
        std::uint8_t protect;
        std::uint16_t type;
        int code;
    };
    const Case cases[] = {{0, 0, 1}, {4, 3, 1}, {1, 0, 2}, {2, 1, 3}, {1, 8, 2},
                          {0, 1, 4}, {0, 2, 5}, {0, 8, 6}, {3, 2, 5}};
    for (const Case& c : cases) {
        EXPECT_EQ(ClassifyEvent(c.protect, c.type).code, c.code) << int(c.protect) << "/" << c.type;
    }
    EXPECT_EQ(ClassifyEvent(2, 1).name, "Push Button By Not Overwrite");
    EXPECT_EQ(EventTypeName(6), "Alarm Event");
    EXPECT_EQ(EventTypeName(0), "EVENT TYPE");
    EXPECT_EQ(EventTypeName(7), "EVENT TYPE");
}

TEST(BackupFileIndex, ReadsOneCopyWithoutDiskIdentifier) {
    TempDir dir;
    const auto path = dir / "x.sd";
    {
        std::ofstream out(path, std::ios::binary);
        TestRecord a = Closed(1, 1, 10, 0, 1);
        a.diskId = 123; // not compared in a backup file
        const auto bytes = testing::IndexRecordBytes(a);
        out.write(reinterpret_cast<const char*>(bytes.data()), 512);
    }
    std::filesystem::resize_file(path, 0x2000000); // index only, no data
    RecordIndex index;
    index.SetBackupFileSource(path.string());
    IndexRecord* first = index.OpenIndex();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->dataAddress, 0x2000000);
    EXPECT_FALSE(index.stats().followOn) << "nothing to read past the end of the file";
    EXPECT_EQ(index.fullList().size(), 1u);

    std::filesystem::resize_file(path, 0); // shorter than its index area
    RecordIndex truncated;
    truncated.SetBackupFileSource(path.string());
    EXPECT_EQ(truncated.OpenIndex(), nullptr);
    EXPECT_EQ(truncated.lastError().code, StoreErrorCode::ReadFailed);

    std::filesystem::resize_file(path, 0x2000000);
    RecordIndex empty;
    empty.SetBackupFileSource(path.string());
    EXPECT_EQ(empty.OpenIndex(), nullptr);
    EXPECT_EQ(empty.lastError().code, StoreErrorCode::NoRecords);
}

} // namespace
} // namespace tavero::store
