// The command-line contract of tavero-cli format, restore and scan on card images.

#include "cardtools_fixture.h"
#include "command_run.h"
#include "platform/raw_file.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>

namespace tavero::testing {
namespace {

using CliRun = CommandRun;

// Every drive number is given, so no scan falls back to the machine's own disks.
std::string AllDrives(const std::filesystem::path& dir) {
    std::string args;
    for (int n = 0; n <= 9; ++n) {
        args += " --drive " + std::to_string(n) + "=" +
                Quote((dir / ("none" + std::to_string(n))).string());
    }
    return args;
}

CliRun RunCli(const std::string& args) {
    return RunCommand(std::string("TZ=UTC ") + TAVERO_CLI + " " + args);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

class CliCardToolsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_card = m_dir / "card.img";
        MakeSimCard(m_card, 4, 10000);
    }
    TempDir m_dir;
    std::filesystem::path m_card;
};

TEST_F(CliCardToolsTest, FormatWithYesFormatsAndReportsProgress) {
    const CliRun run = RunCli("format --drive 1=" + Quote(m_card.string()) + " --yes");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              m_card.string() + " (544 MB): Format Finished, Please re-Insert This Disk\n");
    EXPECT_NE(run.err.find("progress 100%"), std::string::npos) << run.err;
    const auto info = ReadBytes(m_card, 0x5000000 + 504, 4);
    EXPECT_EQ(info, (std::vector<std::uint8_t>{0x00, 0x00, 0x27, 0x15})); // 10005
}

TEST_F(CliCardToolsTest, RefusalsAreOneLineNamingTheDeviceAndLeaveTheCardAlone) {
    WriteBytes(m_card, 0xA000000, [] {
        const Bytes512 b = ConfigSectorBytes(10000, {"anna", "secret", "", ""});
        return std::vector<std::uint8_t>(b.begin(), b.end());
    }());
    const std::uint64_t before = HashRange(m_card, 0, -1);
    const std::string card = Quote(m_card.string());
    struct Case {
        std::string args;
        std::string reason;
    };
    const Case cases[] = {
        {"format --drive 1=" + card, "not confirmed"},
        {"restore --drive 1=" + card + " --yes --user anna --password Secret",
         "Password Protected! Please input right password..."},
        {"format --drive 1=" + card + " --yes", "not confirmed"}, // no login possible
        {"format " + Quote((m_dir / "other.img").string()) + " --yes", "Cannot open this disk"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const CliRun run = RunCli(c.args);
        EXPECT_EQ(run.status, 1);
        const auto lines = Lines(run.err);
        ASSERT_EQ(lines.size(), 1u) << run.err;
        EXPECT_EQ(lines[0].rfind("tavero-cli: ", 0), 0u);
        EXPECT_NE(lines[0].find(c.reason), std::string::npos) << lines[0];
        EXPECT_EQ(HashRange(m_card, 0, -1), before);
    }
}

TEST_F(CliCardToolsTest, CardOpenElsewhereIsRefusedBeforeAnyWrite) {
    // Another program of ours (this test) has the card open: the format used to write its disk
    // information before the exclusive open failed, and restore wiped the card all the same.
    const std::uint64_t before = HashRange(m_card, 0, -1);
    platform::RawFile player;
    ASSERT_TRUE(player.open(m_card.string(), platform::OpenMode::ReadOnly));
    for (const char* command : {"format", "restore"}) {
        SCOPED_TRACE(command);
        const CliRun run =
            RunCli(std::string(command) + " --drive 1=" + Quote(m_card.string()) + " --yes");
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(Lines(run.err),
                  std::vector<std::string>{"tavero-cli: " + m_card.string() +
                                           ": Please close all file in this disk, and retry (the "
                                           "drive is in use: in use by another program)"});
        EXPECT_EQ(HashRange(m_card, 0, -1), before);
    }
}

TEST_F(CliCardToolsTest, FormatLabelsTheConfigurationPartition) {
    const CliRun run = RunCli("format --drive 1=" + Quote(m_card.string()) + " --yes");
    ASSERT_EQ(run.status, 0) << run.err;
    const auto part = m_dir / "part.img";
    ASSERT_EQ(RunTool("dd if=" + Quote(m_card.string()) + " of=" + Quote(part.string()) +
                      " bs=512 skip=32 count=98272 status=none")
                  .status,
              0);
    const ToolRun label = RunTool("fatlabel " + Quote(part.string()));
    EXPECT_NE(label.out.find("tavero-SD"), std::string::npos) << label.out;
}

TEST_F(CliCardToolsTest, CardSmallerThanTheLayoutIsRefusedBeforeTheBootImage) {
    std::filesystem::resize_file(m_card, 0x10000000); // its disk information is valid
    WriteBytes(m_card, 0, std::vector<std::uint8_t>(100, 0xEE));
    const std::uint64_t before = HashRange(m_card, 0, -1);
    const CliRun run = RunCli("format --drive 1=" + Quote(m_card.string()) + " --yes");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "tavero-cli: " + m_card.string() +
                           ": Sorry, this disk is too low space (the drive is smaller than the "
                           "recorder's layout)\n");
    EXPECT_EQ(HashRange(m_card, 0, -1), before);
}

TEST_F(CliCardToolsTest, SmallCardWithoutDiskInformationIsTooLowSpace) {
    const auto small = m_dir / "small.img";
    { std::ofstream(small).flush(); }
    std::filesystem::resize_file(small, 0x18000000);
    const CliRun run = RunCli("format --drive 2=" + Quote(small.string()) + " --yes");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "tavero-cli: " + small.string() +
                           ": Sorry, this disk is too low space (not a recorder card and too "
                           "small for one)\n");
}

TEST_F(CliCardToolsTest, UsageErrorsAndHelp) {
    EXPECT_EQ(RunCli("format").status, 2);
    EXPECT_EQ(RunCli("restore --drive 1=a --drive 2=b").status, 2);
    EXPECT_EQ(RunCli("format --local-disk x").status, 2);
    EXPECT_EQ(RunCli("scan extra").status, 2);
    for (const char* command : {"format", "restore", "scan"}) {
        const CliRun help = RunCli(std::string(command) + " --help");
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.out.rfind(std::string("usage: tavero-cli ") + command, 0), 0u);
    }
}

TEST_F(CliCardToolsTest, ScanListsACardWithoutPartitionTableByItsPath) {
    WriteBytes(m_card, 0, std::vector<std::uint8_t>(512, 0));
    const CliRun run =
        RunCli("scan" + AllDrives(m_dir.path()) + " --drive 4=" + Quote(m_card.string()));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("other 4 " + m_card.string() + "\n"), std::string::npos) << run.out;
    const CliRun json =
        RunCli("scan --json" + AllDrives(m_dir.path()) + " --drive 4=" + Quote(m_card.string()));
    EXPECT_NE(json.out.find("{\"device\":\"" + m_card.string() + "\",\"drive\":4,\"cdrom\":false}"),
              std::string::npos)
        << json.out;
}

TEST_F(CliCardToolsTest, RestoreWithLocalDiskGivesAMountableCard) {
    const CliRun run =
        RunCli("restore --drive 1=" + Quote(m_card.string()) + " --yes --local-disk");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              m_card.string() + " (544 MB): Restore Disk Completed, Please re-Insert This Disk\n");
    const ToolRun dir =
        RunTool("MTOOLS_SKIP_CHECK=1 mdir -i " + Quote(m_card.string() + "@@32256") + " ::/");
    EXPECT_EQ(dir.status, 0) << dir.out;
}

} // namespace
} // namespace tavero::testing
