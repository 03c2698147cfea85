// The disks under the running system are never formatted or restored, however the system is
// stacked on them: btrfs and ZFS pools, LVM over two disks, RAID1, an overlay root over a live
// medium, swap and /home on disks of their own. Fake machines; the disks are image files.

#include "cardtools_fixture.h"
#include "fake_system.h"
#include "platform/system_disks.h"

#include <gtest/gtest.h>

namespace tavero::testing {
namespace {

// sda and sdb: two SATA disks of two partitions each; sdd: a third SATA disk; sdc: a USB card
// reader with a card, the one disk that may be formatted.
class GuardTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_sys.addDisk(
            {"sda", "8:0", "pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0", false, 2});
        m_sys.addDisk(
            {"sdb", "8:16", "pci0000:00/0000:00:17.0/ata2/host1/target1:0:0/1:0:0:0", false, 2});
        m_sys.addDisk({"sdc", "8:32",
                       "pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/host2/target2:0:0/2:0:0:0", true,
                       1});
        m_sys.addDisk(
            {"sdd", "8:48", "pci0000:00/0000:00:17.0/ata3/host3/target3:0:0/3:0:0:0", false, 2});
        for (const char* node : {"sda1", "sda2", "sdb1", "sdb2", "sdc1", "sdd1", "sdd2"}) {
            m_sys.addNode(node);
        }
        int drive = 0;
        for (const char* disk : {"sda", "sdb", "sdc", "sdd"}) {
            m_images.push_back(m_sys.addImage(drive++, disk, 1 << 20, true));
            WriteBytes(m_images.back(), 4096, {0xC3, 0x3C, 0x5A, 0xA5});
        }
        m_tool.SetDelays(std::chrono::milliseconds(0), std::chrono::milliseconds(0));
    }

    // The drives whose format the tool refuses as the system's; the others reach the question.
    std::vector<std::string> refusedDisks() {
        std::vector<std::string> refused;
        const char* names[] = {"sda", "sdb", "sdc", "sdd"};
        for (int drive = 0; drive < 4; ++drive) {
            const std::uint64_t before = HashRange(m_images[drive], 0, -1);
            m_prompts = FakePrompts{};
            m_prompts.answerYes = false;
            for (const bool restore : {false, true}) {
                const std::string device = m_images[drive].string();
                EXPECT_FALSE(restore ? m_tool.StartRestore(device) : m_tool.StartFormat(device));
            }
            if (m_prompts.questions.empty()) {
                refused.push_back(names[drive]);
                EXPECT_EQ(m_prompts.messages,
                          std::vector<std::string>(2, std::string(cardtools::kMsgSystemDisk)));
            }
            EXPECT_EQ(HashRange(m_images[drive], 0, -1), before) << names[drive];
        }
        return refused;
    }

    TempDir m_dir;
    FakeSystem m_sys{m_dir.path()};
    std::vector<std::filesystem::path> m_images;
    FakePrompts m_prompts;
    FakeProgress m_progress;
    cardtools::CardDriveScanner m_scanner{m_sys.roots};
    cardtools::CFormatTool m_tool{m_scanner, m_prompts, m_progress};
};

using Disks = std::vector<std::string>;

TEST_F(GuardTest, BtrfsRootOverTwoDisksProtectsBoth) {
    // btrfs reports an anonymous device number; the source names one member only.
    m_sys.addBtrfs("4f6c0a52-1d3e-4b8e-9a51-0c1f2e3d4b5a", {"sda2", "sdb1"});
    m_sys.setMounts({{"0:31", "/", "btrfs", m_sys.dev("sda2"), "rw,subvol=/@"},
                     {"0:31", "/home", "btrfs", m_sys.dev("sda2"), "rw,subvol=/@home"},
                     {"8:33", m_sys.mountDir("CARD"), "vfat", m_sys.dev("sdc1")}});
    EXPECT_EQ(refusedDisks(), (Disks{"sda", "sdb"}));
}

TEST_F(GuardTest, LvmOverTwoDisksProtectsEveryPhysicalVolume) {
    m_sys.addMapper("dm-0", "253:0", {"sda2", "sdb1"}, "vg-root");
    m_sys.setMounts({{"253:0", "/", "ext4", m_sys.dev("mapper/vg-root")},
                     {"8:1", "/boot", "ext2", m_sys.dev("sda1")}});
    EXPECT_EQ(refusedDisks(), (Disks{"sda", "sdb"}));
}

TEST_F(GuardTest, Raid1ProtectsBothMembers) {
    m_sys.addMapper("md0", "9:0", {"sda1", "sdb1"});
    m_sys.setMounts({{"9:0", "/", "ext4", m_sys.dev("md0")}});
    EXPECT_EQ(refusedDisks(), (Disks{"sda", "sdb"}));
}

TEST_F(GuardTest, OverlayRootProtectsTheDisksOfItsLayers) {
    // A live system: the read-only layer is a squashfs image in a loop device, its file on the
    // USB medium (sdb1); the writable layer on a persistence partition (sda1).
    m_sys.addLoop("loop0", "7:0", "/run/live/medium/live/filesystem.squashfs");
    m_sys.setMounts(
        {{"0:40", "/", "overlay", "overlay",
          "rw,lowerdir=/run/live/rootfs/filesystem.squashfs/,upperdir=/run/live/rw/upper,"
          "workdir=/run/live/rw/work"},
         {"8:17", "/run/live/medium", "vfat", m_sys.dev("sdb1")},
         {"7:0", "/run/live/rootfs/filesystem.squashfs", "squashfs", m_sys.dev("loop0")},
         {"8:1", "/run/live/rw", "ext4", m_sys.dev("sda1")}});
    EXPECT_EQ(refusedDisks(), (Disks{"sda", "sdb"}));
}

TEST_F(GuardTest, ZfsPoolProtectsEveryMember) {
    m_sys.addUdevRecord("8:2", {"E:ID_FS_TYPE=zfs_member", "E:ID_FS_LABEL=rpool"});
    m_sys.addUdevRecord("8:17", {"E:ID_FS_TYPE=zfs_member", "E:ID_FS_LABEL=rpool"});
    m_sys.addUdevRecord("8:49", {"E:ID_FS_TYPE=zfs_member", "E:ID_FS_LABEL=tank"});
    m_sys.addUdevRecord("8:33", {"E:ID_FS_TYPE=vfat", "E:ID_FS_LABEL=rpool"});
    m_sys.setMounts(
        {{"0:50", "/", "zfs", "rpool/ROOT/debian"}, {"0:51", "/tank", "zfs", "tank/data"}});
    EXPECT_EQ(refusedDisks(), (Disks{"sda", "sdb"}));
}

TEST_F(GuardTest, HomeAndSwapOnDisksOfTheirOwnAreProtected) {
    m_sys.addMapper("dm-1", "253:1", {"sdb2"}, "home");
    m_sys.setMounts({{"8:1", "/", "ext4", m_sys.dev("sda1")},
                     {"253:1", "/home", "ext4", m_sys.dev("mapper/home")}});
    m_sys.setSwaps({{m_sys.dev("sdd2"), "partition"}});
    EXPECT_EQ(refusedDisks(), (Disks{"sda", "sdb", "sdd"}));
    // A swap file counts by the disk of its file system.
    m_sys.setMounts(
        {{"8:1", "/", "ext4", m_sys.dev("sda1")}, {"8:49", "/var", "ext4", m_sys.dev("sdd1")}});
    m_sys.setSwaps({{"/var/swap\\040file", "file"}});
    cardtools::CardDriveScanner fresh(m_sys.roots);
    cardtools::CFormatTool tool(fresh, m_prompts, m_progress);
    m_prompts = FakePrompts{};
    EXPECT_EQ(tool.ChooseDevice(cardtools::kQuestionFormat, m_images[3].string()), -1);
    EXPECT_EQ(m_prompts.messages, std::vector<std::string>{std::string(cardtools::kMsgSystemDisk)});
}

TEST_F(GuardTest, SystemThatCannotBeTracedLeavesOnlyRemovableAndUsbDrives) {
    // "/dev/root" names no device and btrfs gives no number: nobody can say which disk holds
    // the system, so no fixed disk is formatted; the card in the USB reader still is.
    m_sys.setMounts({{"0:31", "/", "btrfs", "/dev/root"}});
    EXPECT_EQ(refusedDisks(), (Disks{"sda", "sdb", "sdd"}));
    const platform::DiskSet set = [&] {
        platform::StorageResolver resolver(m_sys.roots);
        EXPECT_TRUE(resolver.load());
        return resolver.SystemDisks();
    }();
    EXPECT_FALSE(set.complete);
    EXPECT_NE(set.unresolved.find("btrfs on /dev/root"), std::string::npos) << set.unresolved;
}

TEST_F(GuardTest, ScansLeaveOutEveryDiskOfTheSystem) {
    // sdb is a USB disk in this machine, half of the LVM volume holding "/".
    FakeSystem usb(m_dir / "usb");
    usb.addDisk({"sda", "8:0", "pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0", false, 2});
    usb.addDisk({"sdb", "8:16",
                 "pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host1/target1:0:0/1:0:0:0", false, 2});
    usb.addMapper("dm-0", "253:0", {"sda2", "sdb1"}, "vg-root");
    usb.addImage(0, "sda", 1 << 20, false);
    usb.addImage(1, "sdb", 1 << 20, false);
    const std::string data = usb.mountDir("data");
    usb.setMounts({{"253:0", "/", "ext4", usb.dev("mapper/vg-root")},
                   {"8:18", data, "ext4", usb.dev("sdb2")}});
    cardtools::CardDriveScanner scanner(usb.roots);
    std::vector<cardtools::DeviceEntry> removable, other, settings;
    ASSERT_TRUE(scanner.ScanDrives(removable, other));
    EXPECT_TRUE(removable.empty());
    EXPECT_TRUE(other.empty()) << other.front().text;
    ASSERT_TRUE(scanner.ScanDrivesForSettings(settings));
    EXPECT_TRUE(settings.empty());
    EXPECT_TRUE(scanner.SystemDisks().contains("sda"));
    EXPECT_TRUE(scanner.SystemDisks().contains("sdb"));
}

} // namespace
} // namespace tavero::testing
