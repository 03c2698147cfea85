// tavero-cli backup as the backup dialog decides: at most 4096 records, the first 4096 of a
// larger choice with "Backup more data.", a time range whose start is not before its end
// refused with "Please select valid time"; one file per recording as the file manager's
// automatic backup names them; the recording table of "Load Path Length".

#include "cardtools_fixture.h"
#include "command_run.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <tuple>

namespace tavero::testing {
namespace {

// 2024-05-01 08:00:00 UTC, the first record's start.
constexpr std::int64_t kT0Seconds = 1714550400;
constexpr std::uint32_t kRecords = 4100;

CommandRun RunCli(const std::string& args) {
    return RunCommand(std::string("TZ=UTC ") + TAVERO_CLI + " " + args);
}

class CliBackupTest : public ::testing::Test {
protected:
    void SetUp() override {
        // One record of one unit per block, two seconds apart, each its own recording.
        TestCard card(m_dir / "card.img", kRecords, 10005);
        card.initialiseIndex();
        const Packed t0{2024, 5, 1, 8, 0, 0};
        for (std::uint32_t slot = 0; slot < kRecords; ++slot) {
            TestRecord r;
            r.seq = slot + 1;
            r.startUnit = slot * 1024 + 1;
            r.endUnit = r.startUnit;
            r.startTime = AddSeconds(t0, static_cast<int>(slot) * 2);
            r.endTime = AddSeconds(r.startTime, 1);
            r.recStart = 1;
            r.diskId = 10005;
            card.writeRecord(slot, r);
            TestTrailer t;
            t.unitNo = r.startUnit;
            t.time = r.startTime;
            t.recStart = 1;
            t.diskId = 10005;
            card.writeUnitTrailer(slot, 0, t);
        }
        m_source = "car2://3 --drive 3=" + Quote((m_dir / "card.img").string());
        m_name = "car2://3 (" + (m_dir / "card.img").string() + ")";
    }

    TempDir m_dir;
    std::string m_source;
    std::string m_name; // how failures name the card
};

TEST_F(CliBackupTest, MoreThan4096RecordsBacksUpTheFirst4096) {
    const auto out = m_dir / "copy.sd";
    const CommandRun run =
        RunCli("backup " + m_source + " -o " + Quote(out.string()) + " --from " +
               std::to_string(kT0Seconds) + " --to " + std::to_string(kT0Seconds + 3 * 3600));
    ASSERT_EQ(run.status, 0) << run.err;
    // 4100 records and the index's record of the block after the newest.
    EXPECT_NE(run.err.find("tavero-cli: " + m_name +
                           ": Backup more data. (the first 4096 of 4101 records are backed up)\n"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.out, out.string() + ": 4096 records, 4096 units\n");
    const CommandRun info = RunCli("info " + Quote(out.string()) + " --json");
    ASSERT_EQ(info.status, 0) << info.err;
    const auto json = nlohmann::json::parse(info.out);
    EXPECT_EQ(json["validRecords"], 4096);
    // The last of them started 4095 x 2 s after the first.
    const std::int64_t last = json["last"].get<std::int64_t>();
    EXPECT_TRUE(last == kT0Seconds + 8190 || last == kT0Seconds + 8191) << last - kT0Seconds;
}

TEST_F(CliBackupTest, RangeWhoseStartIsNotBeforeItsEndIsRefused) {
    const auto out = m_dir / "copy.sd";
    for (const std::int64_t to : {kT0Seconds, kT0Seconds - 10}) {
        SCOPED_TRACE(to);
        const CommandRun run =
            RunCli("backup " + m_source + " -o " + Quote(out.string()) + " --from " +
                   std::to_string(kT0Seconds) + " --to " + std::to_string(to));
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "tavero-cli: " + m_name + ": Please select valid time\n");
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

// Three recordings: the first of two records, the second of which never got a unit written
// (the recorder stopped as it opened the block); then one plain and one event recording.
class CliEachEntryTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestCard card(m_dir / "card.img", 8, 10005);
        card.initialiseIndex();
        const Packed t0{2024, 5, 1, 8, 0, 0};
        auto record = [&](std::uint32_t slot, std::uint32_t units, int startSecond,
                          std::uint8_t recStart, std::uint8_t protect, bool withUnits) {
            TestRecord r;
            r.seq = slot + 1;
            r.startUnit = slot * 1024 + 1;
            r.endUnit = r.startUnit + units - 1;
            r.startTime = AddSeconds(t0, startSecond);
            r.endTime = AddSeconds(r.startTime, static_cast<int>(units) - 1);
            r.recStart = recStart;
            r.protect = protect;
            if (protect != 0) {
                r.events = {{r.startUnit, r.startTime, 2}};
            }
            r.diskId = 10005;
            card.writeRecord(slot, r);
            for (std::uint32_t u = 0; withUnits && u < units; ++u) {
                TestTrailer t;
                t.unitNo = r.startUnit + u;
                t.time = AddSeconds(r.startTime, static_cast<int>(u));
                t.recStart = u == 0 ? recStart : 0;
                t.protect = protect != 0 ? 1 : 0;
                t.eventType = protect != 0 && u == 0 ? 2 : 0;
                t.diskId = 10005;
                card.writeUnitTrailer(slot, u, t);
            }
        };
        record(0, 3, 0, 1, 0, true);
        record(1, 3, 3, 0, 0, false);
        record(2, 2, 600, 1, 0, true);
        record(3, 1, 1200, 1, 2, true);
        m_source = "car2://3 --drive 3=" + Quote((m_dir / "card.img").string());
    }
    static std::size_t FilesIn(const std::filesystem::path& folder) {
        std::size_t n = 0;
        for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
            n += e.is_regular_file() ? 1 : 0;
        }
        return n;
    }

    TempDir m_dir;
    std::string m_source;
};

TEST_F(CliEachEntryTest, EachRecordingGetsAFileNamedByItsStartAndNothingIsOverwritten) {
    const std::string prefix = (m_dir / "backups" / "ABC123" / "car").string();
    const CommandRun run = RunCli("backup " + m_source + " --each-entry " + Quote(prefix));
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string first = prefix + "_2024-05-01_08-00-00.sd";
    const std::string second = prefix + "_2024-05-01_08-10-00.sd";
    const std::string third = prefix + "_2024-05-01_08-20-00.sd";
    // The last recording also holds the index's record of the block after the newest, where
    // the recorder would go on.
    EXPECT_EQ(run.out, first + ": 2 records, 3 units\n" + second + ": 1 records, 2 units\n" +
                           third + ": 2 records, 1 units\n");
    EXPECT_NE(run.err.find("1 / 3\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("3 / 3\n"), std::string::npos) << run.err;
    // Each file holds its recording and nothing else, with the times the card's list shows.
    for (const auto& [file, start, end] :
         {std::tuple{first, kT0Seconds, kT0Seconds + 5},
          std::tuple{second, kT0Seconds + 600, kT0Seconds + 601},
          std::tuple{third, kT0Seconds + 1200, kT0Seconds + 1200}}) {
        SCOPED_TRACE(file);
        const CommandRun list = RunCli("list " + Quote(file) + " --json");
        ASSERT_EQ(list.status, 0) << list.err;
        const auto json = nlohmann::json::parse(list.out);
        ASSERT_EQ(json.size(), 1u);
        EXPECT_EQ(json[0]["start"], start);
        EXPECT_EQ(json[0]["end"], end);
    }

    // A backup of a backup: the record whose block was never written is in the first file's
    // index but not in its data; copying the file again copies what there is.
    const std::string again = (m_dir / "again" / "car").string();
    const CommandRun copy = RunCli("backup " + Quote(first) + " --each-entry " + Quote(again));
    ASSERT_EQ(copy.status, 0) << copy.err;
    EXPECT_EQ(copy.out, again + "_2024-05-01_08-00-00.sd: 2 records, 3 units\n");

    // Backing up again refuses before writing anything: the files made first stay as they are.
    const auto sizeBefore = std::filesystem::file_size(second);
    const CommandRun repeat = RunCli("backup " + m_source + " --each-entry " + Quote(prefix));
    EXPECT_EQ(repeat.status, 1);
    EXPECT_EQ(repeat.err, "tavero-cli: " + first + ": already exists; remove it or choose another name\n");
    EXPECT_EQ(FilesIn(m_dir / "backups"), 3u);
    EXPECT_EQ(std::filesystem::file_size(second), sizeBefore);
}

TEST_F(CliEachEntryTest, EachEntryTakesNoOtherChoiceAndNeedsAFolderItCanMake) {
    const std::string prefix = (m_dir / "x" / "car").string();
    for (const std::string& extra : {std::string(" -o out.sd"), std::string(" --entries 1"),
                                     std::string(" --from 1 --to 2")}) {
        SCOPED_TRACE(extra);
        const CommandRun run =
            RunCli("backup " + m_source + " --each-entry " + Quote(prefix) + extra);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find("takes no -o, --entries, --from or --to"), std::string::npos);
    }
    // A file where a folder must go.
    std::ofstream(m_dir / "plain") << "not a folder";
    const CommandRun blocked = RunCli("backup " + m_source + " --each-entry " +
                                      Quote((m_dir / "plain" / "car").string()));
    EXPECT_EQ(blocked.status, 1);
    EXPECT_NE(blocked.err.find("plain"), std::string::npos) << blocked.err;
    EXPECT_EQ(blocked.err.find('\n'), blocked.err.size() - 1) << blocked.err;
    EXPECT_FALSE(std::filesystem::exists(m_dir / "x"));
}

TEST_F(CliEachEntryTest, LengthsWritesTheDialogsTableOfTheListedRows) {
    const auto table = m_dir / "lengthpath.csv";
    std::ofstream(table) << "an older table that is replaced";
    const CommandRun run = RunCli("lengths " + m_source + " -o " + Quote(table.string()));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, table.string() + " building is finished. (3 recordings)\n");
    const CommandRun list = RunCli("list " + m_source + " --json");
    ASSERT_EQ(list.status, 0) << list.err;
    const auto json = nlohmann::json::parse(list.out);
    ASSERT_EQ(json.size(), 3u);
    const std::string expected =
        " id,RECORD TIME,EVENT TYPE,TIME END,Total Times,distance,AVG Speed, \n"
        "1,2024-05-01 08:00:00," + json[0]["eventName"].get<std::string>() +
        ",2024-05-01 08:00:05,00:00:05,,, \n"
        "2,2024-05-01 08:10:00," + json[1]["eventName"].get<std::string>() +
        ",2024-05-01 08:10:01,00:00:01,,, \n"
        "3,2024-05-01 08:20:00," + json[2]["eventName"].get<std::string>() +
        ",2024-05-01 08:20:00,00:00:00,,, \n";
    std::ifstream in(table, std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(written, expected);
    EXPECT_NE(json[2]["eventName"], json[0]["eventName"]);

    const CommandRun missing = RunCli("lengths " + m_source + " -o " +
                                      Quote((m_dir / "nowhere" / "t.csv").string()));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("does not exist"), std::string::npos) << missing.err;
}

} // namespace
} // namespace tavero::testing
