// Format and restore on card images from the recorder simulator: what is written where, byte for
// byte, and that nothing else changes.

#include "cardtools/boot_image_writer.h"
#include "cardtools_fixture.h"
#include "platform/drive_table.h"
#include "platform/raw_file.h"
#include "recorderconfig/messages.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/resource.h>

namespace tavero::testing {
namespace {

using cardtools::CFormatTool;
using cardtools::FormatState;

constexpr std::int64_t kDiskInfoA = 0x4000000;
constexpr std::int64_t kFillStart = 0x4100000;
constexpr std::int64_t kDiskInfoB = 0x5000000;
constexpr std::int64_t kConfigSector = 0xA000000;
constexpr std::int64_t kFillEnd = 0x17000000;
constexpr std::int64_t kBootImageEnd = 0x40000;
constexpr int kDrive = 3;

// Disk information as the format writes it, built from the table: the creation time is taken
// from the written block (it is "now").
Bytes512 ExpectedDiskInfo(const std::vector<std::uint8_t>& written, std::uint16_t blocks,
                          std::uint32_t diskId) {
    Bytes512 b{};
    b[0] = 0x24, b[1] = 0x41, b[2] = 0x96, b[3] = 0x78;
    PutBe32(b.data() + 4, 0x10000000);
    PutBe16(b.data() + 12, blocks);
    std::copy(written.begin() + 14, written.begin() + 20, b.begin() + 14);
    PutBe32(b.data() + 504, diskId);
    Seal(b);
    return b;
}

std::vector<std::uint8_t> Bytes(const Bytes512& b) {
    return {b.begin(), b.end()};
}

class FormatTest : public ::testing::Test {
protected:
    void SetUp() override {
        // An empty system: no disks, no mounts. Only the drive table names the image.
        std::filesystem::create_directories(m_dir / "sys");
        std::filesystem::create_directories(m_dir / "dev");
        std::ofstream(m_dir / "mountinfo").flush();
        m_roots.sys = (m_dir / "sys").string();
        m_roots.dev = (m_dir / "dev").string();
        m_roots.mountInfo = (m_dir / "mountinfo").string();
        m_scanner = std::make_unique<cardtools::CardDriveScanner>(m_roots);
        m_tool = std::make_unique<CFormatTool>(*m_scanner, m_prompts, m_progress);
        m_tool->SetDelays(std::chrono::milliseconds(0), std::chrono::milliseconds(0));
        platform::ClearDrivePaths();
    }
    void TearDown() override {
        m_tool.reset();
        platform::ClearDrivePaths();
    }

    // A simulator card with a known configuration sector and marker bytes in every region the
    // format must not touch.
    std::filesystem::path makeCard(std::uint32_t blocks, std::uint32_t diskId,
                                   const SectorUsers& users = {}) {
        const auto path = m_dir / "card.img";
        MakeSimCard(path, blocks, diskId);
        WriteBytes(path, kConfigSector, Bytes(ConfigSectorBytes(diskId, users)));
        for (const std::int64_t at :
             {std::int64_t{0x3000000}, std::int64_t{0x4080000}, kFillEnd, kFillEnd + 0x123400}) {
            WriteBytes(path, at, {0xC3, 0x3C, 0x5A, 0xA5});
        }
        platform::SetDrivePath(kDrive, path.string());
        return path;
    }

    TempDir m_dir;
    platform::SystemRoots m_roots;
    FakePrompts m_prompts;
    FakeProgress m_progress;
    std::unique_ptr<cardtools::CardDriveScanner> m_scanner;
    std::unique_ptr<CFormatTool> m_tool;
};

TEST_F(FormatTest, FormatWritesNewIdentifierZeroFillAndKeepsEverythingElse) {
    const auto card = makeCard(4, 10000);
    const std::uint64_t before[3] = {HashRange(card, kBootImageEnd, kDiskInfoA),
                                     HashRange(card, kDiskInfoA + 512, kFillStart),
                                     HashRange(card, kFillEnd, -1)};

    ASSERT_TRUE(m_tool->StartFormat(card.string()));
    m_tool->Wait();

    EXPECT_TRUE(m_progress.finishedOk);
    EXPECT_EQ(m_tool->State(), FormatState::Done);
    ASSERT_EQ(m_prompts.questions.size(), 1u);
    EXPECT_EQ(m_prompts.questions[0], "Format this disk - " + card.string() + " (544 MB)?");
    EXPECT_EQ(m_progress.messages,
              std::vector<std::string>{"Format Finished, Please re-Insert This Disk"});
    ASSERT_FALSE(m_progress.percents.empty());
    EXPECT_EQ(m_progress.percents.front(), 5);
    EXPECT_EQ(m_progress.percents.back(), 100);
    EXPECT_TRUE(std::is_sorted(m_progress.percents.begin(), m_progress.percents.end()));
    EXPECT_NE(std::find(m_progress.percents.begin(), m_progress.percents.end(), 18),
              m_progress.percents.end()); // 0.9 x 20 when the fill begins

    const auto infoA = ReadBytes(card, kDiskInfoA, 512);
    EXPECT_EQ(infoA, Bytes(ExpectedDiskInfo(infoA, 4, 10005)));
    EXPECT_EQ(ReadBytes(card, kDiskInfoB, 512), infoA);
    EXPECT_EQ(ReadBytes(card, kConfigSector, 512), Bytes(ConfigSectorBytes(10005)));
    EXPECT_TRUE(AllZero(card, kFillStart, kDiskInfoB));
    EXPECT_TRUE(AllZero(card, kDiskInfoB + 512, kConfigSector));
    EXPECT_TRUE(AllZero(card, kConfigSector + 512, kFillEnd));

    EXPECT_EQ(HashRange(card, kBootImageEnd, kDiskInfoA), before[0]);
    EXPECT_EQ(HashRange(card, kDiskInfoA + 512, kFillStart), before[1]);
    EXPECT_EQ(HashRange(card, kFillEnd, -1), before[2]);
}

TEST_F(FormatTest, BootImageOfAFormattedDevicePathIsAValidPartitionAndFileSystem) {
    const auto card = makeCard(4, 10000);
    WriteBytes(card, 446, std::vector<std::uint8_t>(66, 0)); // no partition table left
    ASSERT_TRUE(m_tool->StartFormat(card.string()));
    m_tool->Wait();
    ASSERT_TRUE(m_progress.finishedOk);

    const ToolRun table = RunTool("sfdisk -J " + Quote(card.string()));
    ASSERT_EQ(table.status, 0) << table.out;
    const auto parts = nlohmann::json::parse(table.out)["partitiontable"]["partitions"];
    ASSERT_EQ(parts.size(), 1u) << table.out;
    EXPECT_EQ(parts[0]["start"], 32);
    EXPECT_EQ(parts[0]["size"], 98272);
    EXPECT_EQ(parts[0]["type"], "6");
    EXPECT_FALSE(parts[0].contains("bootable"));
    const auto part = m_dir / "part.img";
    ASSERT_EQ(RunTool("dd if=" + Quote(card.string()) + " of=" + Quote(part.string()) +
                         " bs=512 skip=32 count=98272 status=none")
                  .status,
              0);
    const ToolRun fsck = RunTool("fsck.fat -n " + Quote(part.string()));
    EXPECT_EQ(fsck.status, 0) << fsck.out;
    const ToolRun dir =
        RunTool("MTOOLS_SKIP_CHECK=1 mdir -i " + Quote(card.string() + "@@16384") + " ::/");
    EXPECT_EQ(dir.status, 0) << dir.out;
}

TEST_F(FormatTest, FormatRecordingAreaWithoutDiskInformationUsesTheDefaultIdentifier) {
    // Large enough (more than 128 blocks by its size) to be taken for a card.
    const auto card = makeCard(200, 10000);
    WriteBytes(card, kDiskInfoA, std::vector<std::uint8_t>(512, 0));
    ASSERT_TRUE(m_tool->FormatRecordingArea(kDrive, 0.9));
    const auto infoB = ReadBytes(card, kDiskInfoB, 512);
    EXPECT_EQ(infoB, Bytes(ExpectedDiskInfo(infoB, 200, 10000)));
    // The old sector belonged to the old identifier: it comes back as the default sector.
    const auto sector = ReadBytes(card, kConfigSector, 512);
    EXPECT_EQ(sector[504], 0x00);
    EXPECT_EQ(sector[506], 0x27); // 10000 = 0x2710, big-endian
    EXPECT_EQ(sector[507], 0x10);
}

TEST_F(FormatTest, RefusedCardsAreLeftUntouched) {
    struct Case {
        const char* name;
        bool invalidInfo;
        SectorUsers users;
        bool loginGiven;
        std::string name_, password;
        std::string message;
        bool confirm;
    };
    const Case cases[] = {
        {"small card without disk information",
         true,
         {},
         false,
         "",
         "",
         "Sorry, this disk is too low space",
         true},
        {"wrong password",
         false,
         {"anna", "secret", "", ""},
         true,
         "anna",
         "Secret",
         std::string(recorderconfig::kMsgWrongPassword),
         true},
        {"user 2 has no password",
         false,
         {"anna", "secret", "bob", ""},
         true,
         "bob",
         "",
         std::string(recorderconfig::kMsgWrongPassword),
         true},
        {"login cancelled", false, {"anna", "secret", "", ""}, false, "", "", "", true},
        {"not confirmed", false, {}, false, "", "", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto card = makeCard(4, 10000, c.users);
        if (c.invalidInfo) {
            WriteBytes(card, kDiskInfoA, std::vector<std::uint8_t>(512, 0));
        }
        const std::uint64_t before = HashRange(card, 0, -1);
        m_prompts = FakePrompts{};
        m_prompts.answerYes = c.confirm;
        m_prompts.loginGiven = c.loginGiven;
        m_prompts.loginName = c.name_;
        m_prompts.loginPassword = c.password;
        EXPECT_FALSE(m_tool->StartFormat(card.string()));
        EXPECT_EQ(HashRange(card, 0, -1), before);
        if (c.message.empty()) {
            EXPECT_TRUE(m_prompts.messages.empty());
        } else {
            EXPECT_EQ(m_prompts.messages, std::vector<std::string>{c.message});
        }
    }
}

TEST_F(FormatTest, RightPasswordOfEitherUserFormats) {
    for (const auto& [name, password] : {std::pair{"anna", "secret"}, std::pair{"bob", "pw2"}}) {
        const auto card = makeCard(4, 10000, {"anna", "secret", "bob", "pw2"});
        m_prompts = FakePrompts{};
        m_prompts.loginGiven = true;
        m_prompts.loginName = name;
        m_prompts.loginPassword = password;
        ASSERT_TRUE(m_tool->StartFormat(card.string()));
        m_tool->Wait();
        EXPECT_EQ(m_tool->State(), FormatState::Done);
        EXPECT_EQ(m_prompts.logins, 1);
        // The users travel with the sector.
        EXPECT_EQ(ReadBytes(card, kConfigSector, 512),
                  Bytes(ConfigSectorBytes(10005, {"anna", "secret", "bob", "pw2"})));
    }
}

TEST_F(FormatTest, ExclusiveOpenFailsWhileAnotherHandleHasTheCard) {
    const auto card = makeCard(4, 10000);
    platform::RawFile player;
    ASSERT_TRUE(player.open(card.string(), platform::OpenMode::ReadOnly));
    EXPECT_FALSE(m_tool->FormatRecordingArea(kDrive, 0.9));
    EXPECT_EQ(m_tool->State(), FormatState::DriveBusy);
    EXPECT_EQ(m_progress.messages,
              std::vector<std::string>{"Please close all file in this disk, and retry"});
    m_progress.messages.clear();
    // Restore's share keeps quiet about it.
    EXPECT_FALSE(m_tool->FormatRecordingArea(kDrive, 0.8));
    EXPECT_TRUE(m_progress.messages.empty());
    // Nothing past copy A of the disk information was written.
    EXPECT_EQ(ReadBytes(card, kConfigSector, 512), Bytes(ConfigSectorBytes(10000)));
}

TEST_F(FormatTest, FailedZeroFillWriteIsReportedAsFailure) {
    const auto card = makeCard(4, 10000);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    // Writes at or beyond 0x8000000 fail (EFBIG): in the middle of the zero fill.
    rlimit limited = saved;
    limited.rlim_cur = 0x8000000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool ok = m_tool->FormatRecordingArea(kDrive, 0.9);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_FALSE(ok);
    EXPECT_EQ(m_tool->State(), FormatState::WriteFailed);
    ASSERT_EQ(m_progress.messages.size(), 1u);
    EXPECT_EQ(m_progress.messages[0], std::string(cardtools::kMsgWriteFailed));
    EXPECT_NE(m_tool->LastError().find("zero fill failed at byte"), std::string::npos);
    EXPECT_LT(m_progress.percents.back(), 90);
}

TEST_F(FormatTest, RestoreAsRemovableStorageWipesTheRecorderAreaOnly) {
    const auto card = makeCard(4, 10000);
    const std::uint64_t between = HashRange(card, 64 * 512, kDiskInfoA);
    const std::uint64_t after = HashRange(card, kFillEnd, -1);
    m_tool->SetMode(cardtools::DeviceListMode::RemovableStorage);
    ASSERT_TRUE(m_tool->StartRestore(card.string()));
    m_tool->Wait();
    EXPECT_TRUE(m_progress.finishedOk);
    EXPECT_EQ(m_prompts.questions[0], "Restore this disk - " + card.string() + " (544 MB)?");
    EXPECT_EQ(m_progress.messages.back(), "Restore Disk Completed, Please re-Insert This Disk");
    EXPECT_EQ(m_progress.percents.back(), 100);
    EXPECT_TRUE(AllZero(card, 0, 64 * 512));
    EXPECT_TRUE(AllZero(card, kDiskInfoA, kFillEnd));
    EXPECT_EQ(HashRange(card, 64 * 512, kDiskInfoA), between);
    EXPECT_EQ(HashRange(card, kFillEnd, -1), after);
}

TEST_F(FormatTest, RestoreAsLocalDiskMakesAnOrdinaryFat32Partition) {
    const auto card = makeCard(4, 10000);
    const auto sectors = std::filesystem::file_size(card) / 512;
    m_tool->SetMode(cardtools::DeviceListMode::LocalDisk);
    ASSERT_TRUE(m_tool->StartRestore(card.string()));
    m_tool->Wait();
    ASSERT_TRUE(m_progress.finishedOk) << m_tool->LastError();

    const auto mbr = ReadBytes(card, 0, 512);
    EXPECT_EQ(std::vector<std::uint8_t>(mbr.begin() + 440, mbr.begin() + 444),
              (std::vector<std::uint8_t>{0x9F, 0x86, 0x01, 0x00})); // 99999
    EXPECT_EQ(mbr[446], 0x80);                                      // boot indicator
    EXPECT_EQ(mbr[450], 0x0C); // FAT32 with LBA: a type every ordinary system mounts
    EXPECT_EQ(std::vector<std::uint8_t>(mbr.begin() + 454, mbr.begin() + 458),
              (std::vector<std::uint8_t>{63, 0, 0, 0}));
    const ToolRun table = RunTool("sfdisk -J " + Quote(card.string()));
    ASSERT_EQ(table.status, 0) << table.out;
    const auto parts = nlohmann::json::parse(table.out)["partitiontable"]["partitions"];
    ASSERT_EQ(parts.size(), 1u) << table.out;
    EXPECT_EQ(parts[0]["start"], 63);
    EXPECT_EQ(parts[0]["size"], sectors - 63);
    EXPECT_EQ(parts[0]["type"], "c");
    EXPECT_EQ(parts[0]["bootable"], true);
    const auto part = m_dir / "part.img";
    ASSERT_EQ(RunTool("dd if=" + Quote(card.string()) + " of=" + Quote(part.string()) +
                         " bs=512 skip=63 conv=sparse status=none")
                  .status,
              0);
    const ToolRun fsck = RunTool("fsck.fat -n " + Quote(part.string()));
    EXPECT_EQ(fsck.status, 0) << fsck.out;
    EXPECT_NE(fsck.out.find("fsck.fat"), std::string::npos);
    const ToolRun dir =
        RunTool("MTOOLS_SKIP_CHECK=1 mdir -i " + Quote(card.string() + "@@32256") + " ::/");
    EXPECT_EQ(dir.status, 0) << dir.out;
}

TEST_F(FormatTest, BootImageCheckWritesOnlyAForeignTableAndOnlyWhenAgreed) {
    const auto card = makeCard(4, 10000);
    // Boot code bytes are not compared.
    WriteBytes(card, 0, std::vector<std::uint8_t>(100, 0xEE));
    std::uint64_t before = HashRange(card, 0, kBootImageEnd);
    EXPECT_TRUE(cardtools::WriteBootImage(card.string(), kDrive, true, *m_scanner, m_prompts));
    EXPECT_TRUE(m_prompts.questions.empty());
    EXPECT_EQ(HashRange(card, 0, kBootImageEnd), before);

    WriteBytes(card, 450, {0x0B}); // another partition type
    before = HashRange(card, 0, kBootImageEnd);
    m_prompts.answerYes = false;
    EXPECT_FALSE(cardtools::WriteBootImage(card.string(), kDrive, true, *m_scanner, m_prompts));
    EXPECT_EQ(m_prompts.questions,
              std::vector<std::string>{"found Tavero2 data, but disk format error, force format"});
    EXPECT_EQ(HashRange(card, 0, kBootImageEnd), before);

    m_prompts.answerYes = true;
    EXPECT_TRUE(cardtools::WriteBootImage(card.string(), kDrive, true, *m_scanner, m_prompts));
    EXPECT_EQ(ReadBytes(card, 450, 1)[0], 0x06);
    EXPECT_EQ(ReadBytes(card, 0, 1)[0], 0x00); // no boot code in the image
}

TEST_F(FormatTest, OlderCardProbeLooksOneByteIntoItsSector) {
    const auto card = makeCard(4, 10000);
    EXPECT_FALSE(cardtools::ProbeOlderCard(kDrive));
    WriteBytes(card, 0x7D82000, {0xFF, 0x00, 0x41, 0x46, 0x53});
    EXPECT_TRUE(cardtools::ProbeOlderCard(kDrive));
    EXPECT_FALSE(cardtools::ProbeOlderCard(kDrive + 1)); // no such drive
}

} // namespace
} // namespace tavero::testing
