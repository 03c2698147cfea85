// Formatting and restoring a card the desktop has mounted: its file systems are unmounted after
// the person confirmed and before anything is written; a card that cannot be released is left
// byte for byte as it was. Fake machine, fake unmounting, the card an image file.

#include "cardtools_fixture.h"
#include "fake_system.h"
#include "platform/raw_file.h"
#include "platform/unmount_service.h"
#include "recorderconfig/messages.h"

#include <gtest/gtest.h>
#include <set>

namespace tavero::testing {
namespace {

constexpr std::int64_t kConfigPartition = 32 * 512;
constexpr std::int64_t kDiskInfoA = 0x4000000;
constexpr std::int64_t kFillEnd = 0x17000000;
constexpr std::int64_t kBootImageEnd = 0x40000;

// Unmounts in the fake mount table, or refuses the mount points it is told are busy. Notes how
// many questions had been asked at each call.
class FakeUnmounter : public platform::UnmountService {
public:
    FakeUnmounter(FakeSystem& sys, const FakePrompts& prompts) : m_sys(sys), m_prompts(prompts) {}

    bool Unmount(const platform::MountedFileSystem& fs, std::string& error) override {
        calls.push_back({fs.kernelName, fs.mountPoint, m_prompts.questions.size()});
        if (busy.count(fs.mountPoint) != 0) {
            error = "umount: " + fs.mountPoint + ": target is busy";
            return false;
        }
        m_sys.removeMount(fs.mountPoint);
        return true;
    }
    std::string Name() const override { return "fake"; }

    struct Call {
        std::string kernelName, mountPoint;
        std::size_t questionsBefore;
    };
    std::vector<Call> calls;
    std::set<std::string> busy;

private:
    FakeSystem& m_sys;
    const FakePrompts& m_prompts;
};

// The FAT label as a FAT tool reads it from a copy of the configuration partition.
std::string LabelOf(const std::filesystem::path& card, const std::filesystem::path& scratch) {
    const auto part = scratch / "part.img";
    if (RunTool("dd if=" + Quote(card.string()) + " of=" + Quote(part.string()) +
                " bs=512 skip=32 count=98272 status=none")
            .status != 0) {
        return "(cannot copy)";
    }
    ToolRun label = RunTool("fatlabel " + Quote(part.string()));
    while (!label.out.empty() && (label.out.back() == '\n' || label.out.back() == ' ')) {
        label.out.pop_back();
    }
    const std::size_t nl = label.out.rfind('\n');
    return nl == std::string::npos ? label.out : label.out.substr(nl + 1);
}

// sdb: a USB card reader whose card the desktop mounted at /media/me/NO NAME (and a bind mount
// of it elsewhere).
class MountedCardTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_sys.addDisk(
            {"sda", "8:0", "pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0", false, 1});
        m_sys.addDisk({"sdb", "8:16",
                       "pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/host1/target1:0:0/1:0:0:0", true,
                       1});
        m_sys.addNode("sda1");
        m_sys.addNode("sdb1");
        m_card = m_sys.addImage(1, "sdb", 0, false);
        MakeSimCard(m_card, 4, 10000);
        m_mount = m_sys.mountDir("NO NAME");
        m_bind = m_sys.mountDir("bind");
        m_sys.setMounts({{"8:1", "/", "ext4", m_sys.dev("sda1")},
                         {"8:17", m_mount, "vfat", m_sys.dev("sdb1")},
                         {"8:17", m_bind, "vfat", m_sys.dev("sdb1")}});
        m_tool.SetDelays(std::chrono::milliseconds(0), std::chrono::milliseconds(0));
        m_tool.SetUnmountService(&m_unmounter);
    }

    // What a refused operation must leave: every byte of the card, and the mounts.
    void expectUntouched(std::uint64_t before, std::size_t mounts = 3) {
        EXPECT_EQ(HashRange(m_card, 0, -1), before);
        EXPECT_EQ(m_sys.mounts().size(), mounts);
        EXPECT_FALSE(m_tool.Busy());
    }

    TempDir m_dir;
    FakeSystem m_sys{m_dir.path()};
    std::filesystem::path m_card;
    std::string m_mount, m_bind;
    FakePrompts m_prompts;
    FakeProgress m_progress;
    FakeUnmounter m_unmounter{m_sys, m_prompts};
    cardtools::CardDriveScanner m_scanner{m_sys.roots};
    cardtools::CFormatTool m_tool{m_scanner, m_prompts, m_progress};
};

TEST_F(MountedCardTest, FormatUnmountsAfterConfirmationThenFormatsAndLabels) {
    const std::uint64_t outside = HashRange(m_card, kFillEnd, -1);
    m_tool.SetWriteBootImage(false);
    ASSERT_TRUE(m_tool.StartFormat(m_mount + "/")) << m_tool.LastError();
    m_tool.Wait();
    ASSERT_EQ(m_tool.State(), cardtools::FormatState::Done) << m_tool.LastError();

    ASSERT_EQ(m_unmounter.calls.size(), 2u);
    for (const auto& call : m_unmounter.calls) {
        EXPECT_EQ(call.kernelName, "sdb1");
        EXPECT_EQ(call.questionsBefore, 1u) << "unmounted before the person confirmed";
    }
    EXPECT_TRUE(m_sys.mounts().size() == 1) << "the card is still mounted";
    EXPECT_EQ(LabelOf(m_card, m_dir.path()), "tavero-SD");
    EXPECT_EQ(HashRange(m_card, kFillEnd, -1), outside);
    EXPECT_EQ(m_progress.messages.back(), "Format Finished, Please re-Insert This Disk");
}

TEST_F(MountedCardTest, CardThatCannotBeUnmountedIsLeftAsItWas) {
    m_unmounter.busy = {m_mount}; // the bind mount goes, the desktop's mount is in use
    const std::uint64_t before = HashRange(m_card, 0, -1);
    for (const bool restore : {false, true}) {
        SCOPED_TRACE(restore ? "restore" : "format");
        m_prompts = FakePrompts{};
        m_sys.setMounts({{"8:1", "/", "ext4", m_sys.dev("sda1")},
                         {"8:17", m_mount, "vfat", m_sys.dev("sdb1")},
                         {"8:17", m_bind, "vfat", m_sys.dev("sdb1")}});
        EXPECT_FALSE(restore ? m_tool.StartRestore(m_mount) : m_tool.StartFormat(m_mount));
        EXPECT_EQ(m_prompts.messages,
                  std::vector<std::string>{"Please close all file in this disk, and retry"});
        EXPECT_NE(m_tool.LastError().find("target is busy"), std::string::npos)
            << m_tool.LastError();
        expectUntouched(before, 2);
    }
}

TEST_F(MountedCardTest, CardWithAVolumeBuiltOnItIsNotReleased) {
    // An encrypted partition opened on the card: its mapping is the person's to close.
    m_sys.addMapper("dm-3", "253:3", {"sdb1"}, "luks-card");
    const std::uint64_t before = HashRange(m_card, 0, -1);
    EXPECT_FALSE(m_tool.StartFormat(m_mount));
    EXPECT_EQ(m_prompts.messages,
              std::vector<std::string>{"Please close all file in this disk, and retry"});
    EXPECT_EQ(m_tool.LastError(), "dm-3 is built on this disk; close it first");
    EXPECT_TRUE(m_unmounter.calls.empty());
    expectUntouched(before);
}

TEST_F(MountedCardTest, NothingIsUnmountedOrWrittenBeforeEveryCheckPassed) {
    WriteBytes(m_card, 0xA000000, [] {
        const Bytes512 b = ConfigSectorBytes(10000, {"anna", "secret", "", ""});
        return std::vector<std::uint8_t>(b.begin(), b.end());
    }());
    const std::uint64_t before = HashRange(m_card, 0, -1);
    struct Case {
        const char* name;
        bool confirm;
        bool loginGiven;
        std::string password;
    };
    for (const Case& c :
         {Case{"not confirmed", false, true, "secret"}, Case{"login cancelled", true, false, ""},
          Case{"wrong password", true, true, "Secret"}}) {
        for (const bool restore : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (restore ? ", restore" : ", format"));
            m_prompts = FakePrompts{};
            m_prompts.answerYes = c.confirm;
            m_prompts.loginGiven = c.loginGiven;
            m_prompts.loginName = "anna";
            m_prompts.loginPassword = c.password;
            EXPECT_FALSE(restore ? m_tool.StartRestore(m_mount) : m_tool.StartFormat(m_mount));
            EXPECT_TRUE(m_unmounter.calls.empty());
            expectUntouched(before);
        }
    }
}

TEST_F(MountedCardTest, CardOpenInThePlayerIsRefusedBeforeAnyWrite) {
    // The boot image used to be written first and the exclusive open to fail after it; restore
    // wiped the card through a shared handle all the same.
    m_sys.setMounts({{"8:1", "/", "ext4", m_sys.dev("sda1")}});
    const std::uint64_t before = HashRange(m_card, 0, -1);
    platform::RawFile player;
    ASSERT_TRUE(player.open(m_card.string(), platform::OpenMode::ReadOnly));
    for (const bool restore : {false, true}) {
        SCOPED_TRACE(restore ? "restore" : "format");
        m_prompts = FakePrompts{};
        EXPECT_FALSE(restore ? m_tool.StartRestore(m_card.string())
                             : m_tool.StartFormat(m_card.string()));
        EXPECT_EQ(m_prompts.messages,
                  std::vector<std::string>{"Please close all file in this disk, and retry"});
        expectUntouched(before, 1);
    }
    player.close();
    ASSERT_TRUE(m_tool.StartFormat(m_card.string()));
    m_tool.Wait();
    EXPECT_EQ(m_tool.State(), cardtools::FormatState::Done) << m_tool.LastError();
}

TEST_F(MountedCardTest, CardTooSmallForTheLayoutGetsNoBootImage) {
    // Valid disk information, but the image ends before the recorder's area does.
    std::filesystem::resize_file(m_card, 0x10000000);
    WriteBytes(m_card, 0, std::vector<std::uint8_t>(100, 0xEE)); // boot code the image lacks
    const std::uint64_t before = HashRange(m_card, 0, -1);
    m_tool.SetWriteBootImage(true);
    EXPECT_FALSE(m_tool.StartFormat(m_mount));
    EXPECT_EQ(m_prompts.messages, std::vector<std::string>{"Sorry, this disk is too low space"});
    EXPECT_TRUE(m_unmounter.calls.empty());
    expectUntouched(before);
}

TEST_F(MountedCardTest, RestoreUnmountsThenWipesAndMakesTheFileSystem) {
    const std::uint64_t between = HashRange(m_card, 64 * 512, kDiskInfoA);
    m_tool.SetMode(cardtools::DeviceListMode::RemovableStorage);
    ASSERT_TRUE(m_tool.StartRestore(m_mount));
    m_tool.Wait();
    ASSERT_EQ(m_tool.State(), cardtools::FormatState::Done) << m_tool.LastError();
    EXPECT_EQ(m_unmounter.calls.size(), 2u);
    EXPECT_EQ(m_sys.mounts().size(), 1u);
    EXPECT_TRUE(AllZero(m_card, kDiskInfoA, kFillEnd));
    // A FAT file system over the whole card: only its first sectors differ from the wipe.
    const ToolRun fsck = RunTool("fsck.fat -n " + Quote(m_card.string()));
    EXPECT_EQ(fsck.status, 0) << fsck.out;
    (void)between;
}

TEST_F(MountedCardTest, FormatLabelsTheConfigurationPartitionOfADevicePathToo) {
    m_sys.setMounts({{"8:1", "/", "ext4", m_sys.dev("sda1")}});
    const std::uint64_t beforeFat = HashRange(m_card, kBootImageEnd, kDiskInfoA);
    ASSERT_TRUE(m_tool.StartFormat(m_card.string()));
    m_tool.Wait();
    ASSERT_EQ(m_tool.State(), cardtools::FormatState::Done) << m_tool.LastError();
    EXPECT_EQ(LabelOf(m_card, m_dir.path()), "tavero-SD");
    const ToolRun fsck = RunTool("fsck.fat -n " + Quote((m_dir / "part.img").string()));
    EXPECT_EQ(fsck.status, 0) << fsck.out;
    // Boot sector label and the root folder's label entry, nothing else of the boot image.
    const auto boot = ReadBytes(m_card, kConfigPartition, 512);
    EXPECT_EQ(std::string(boot.begin() + 43, boot.begin() + 54), "tavero-SD  ");
    const std::int64_t rootFolder = kConfigPartition + (8 + 2 * 192) * 512;
    const auto entry = ReadBytes(m_card, rootFolder, 32);
    EXPECT_EQ(std::string(entry.begin(), entry.begin() + 11), "tavero-SD  ");
    EXPECT_EQ(entry[11], 0x08);
    EXPECT_EQ(HashRange(m_card, kBootImageEnd, kDiskInfoA), beforeFat);
    EXPECT_TRUE(m_unmounter.calls.empty());
}

} // namespace
} // namespace tavero::testing
