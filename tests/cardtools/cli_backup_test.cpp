// tavero-cli backup as the backup dialog decides: at most 4096 records, the first 4096 of a
// larger choice with "Backup more data.", and a time range whose start is not before its end
// refused with "Please select valid time".

#include "cardtools_fixture.h"
#include "command_run.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

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

} // namespace
} // namespace tavero::testing
