// tavero-cli format on a real block device the test makes itself: a card image attached as a
// loop device, a file system on it mounted, and the command given the mount point. The card is
// unmounted, formatted and labelled, and every byte outside what the format writes stays as it
// was. Needs root and loop devices; the partitioned form also needs partition nodes for loop
// devices and vfat in the kernel. Skipped with the reason where the machine lacks them. No
// device but the test's own loop device is touched; no kernel module is loaded.

#include "cardtools_fixture.h"
#include "command_run.h"
#include "store/boot_image.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace tavero::testing {
namespace {

constexpr std::int64_t kBootImageEnd = 0x40000;
constexpr std::int64_t kDiskInfoA = 0x4000000;
constexpr std::int64_t kDiskInfoB = 0x5000000;
constexpr std::int64_t kFillEnd = 0x17000000;
constexpr std::int64_t kPartitionStart = 32 * 512;

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

bool KernelHasFileSystem(const std::string& name) {
    std::ifstream in("/proc/filesystems");
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() >= name.size() &&
            line.compare(line.size() - name.size(), name.size(), name) == 0 &&
            (line.size() == name.size() || line[line.size() - name.size() - 1] == '\t')) {
            return true;
        }
    }
    return false;
}

bool Mounted(const std::string& point) {
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.find(" " + point + " ") != std::string::npos) {
            return true;
        }
    }
    return false;
}

// A loop device over an image, detached (and its mount undone) at the end.
class LoopDevice {
public:
    LoopDevice(const std::filesystem::path& image, bool partitions, std::string& why) {
        const ToolRun run = RunTool(std::string("losetup -f --show ") + (partitions ? "-P " : "") +
                                    Quote(image.string()));
        if (run.status != 0 || run.out.rfind("/dev/loop", 0) != 0) {
            why = "no loop device can be attached here: " + Trimmed(run.out);
            return;
        }
        m_device = Trimmed(run.out);
    }
    ~LoopDevice() {
        if (!m_mountPoint.empty() && Mounted(m_mountPoint)) {
            (void)RunTool("umount " + Quote(m_mountPoint));
        }
        if (!m_device.empty()) {
            (void)RunTool("losetup -d " + Quote(m_device));
        }
    }
    [[nodiscard]] const std::string& device() const { return m_device; }
    [[nodiscard]] bool attached() const { return !m_device.empty(); }
    // The first partition's node, waited for (udev may be slow, or absent: then the kernel's
    // own node never comes).
    [[nodiscard]] std::string firstPartition() const {
        const std::string node = m_device + "p1";
        const std::string sys =
            "/sys/block/" + m_device.substr(5) + "/" + m_device.substr(5) + "p1";
        for (int i = 0; i < 40; ++i) {
            if (std::filesystem::exists(sys) && std::filesystem::exists(node)) {
                return node;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return {};
    }
    bool mount(const std::string& node, const std::string& type, const std::string& point,
               std::string& why) {
        const ToolRun run = RunTool("mount -t " + type + " " + Quote(node) + " " + Quote(point));
        if (run.status != 0) {
            why = "cannot mount " + type + " here: " + Trimmed(run.out);
            return false;
        }
        m_mountPoint = point;
        return true;
    }

private:
    std::string m_device;
    std::string m_mountPoint;
};

class LoopDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "loop devices need root";
        }
        m_card = m_dir / "card.img";
        MakeSimCard(m_card, 4, 10000);
        m_mountPoint = (m_dir / "mnt").string();
        std::filesystem::create_directories(m_mountPoint);
    }

    CommandRun format(const std::string& device, const std::string& extra) {
        return RunCommand(std::string("TZ=UTC ") + TAVERO_CLI + " format " + Quote(m_mountPoint) +
                          " --drive 1=" + Quote(device) + " --yes " + extra);
    }

    // The label a FAT tool reads from a copy of the configuration partition.
    std::string label() {
        const auto part = m_dir / "part.img";
        (void)RunTool("dd if=" + Quote(m_card.string()) + " of=" + Quote(part.string()) +
                      " bs=512 skip=32 count=98272 status=none");
        const std::string out = Trimmed(RunTool("fatlabel " + Quote(part.string())).out);
        const std::size_t nl = out.rfind('\n');
        return nl == std::string::npos ? out : out.substr(nl + 1);
    }

    std::uint32_t diskIdOfCopyB() {
        const auto b = ReadBytes(m_card, kDiskInfoB + 504, 4);
        return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 |
               b[3];
    }

    TempDir m_dir;
    std::filesystem::path m_card;
    std::string m_mountPoint;
};

TEST_F(LoopDeviceTest, MountedPartitionIsUnmountedFormattedAndLabelled) {
    if (!KernelHasFileSystem("vfat")) {
        GTEST_SKIP() << "the kernel has no vfat (no module is loaded by tests)";
    }
    std::string why;
    LoopDevice loop(m_card, true, why);
    if (!loop.attached()) {
        GTEST_SKIP() << why;
    }
    const std::string part = loop.firstPartition();
    if (part.empty()) {
        GTEST_SKIP() << "loop devices get no partition nodes here";
    }
    ASSERT_EQ(RunTool("mkfs.fat -F 16 -n 'NO NAME' " + Quote(part)).status, 0);
    if (!loop.mount(part, "vfat", m_mountPoint, why)) {
        GTEST_SKIP() << why;
    }
    std::ofstream(m_mountPoint + "/notes.txt") << "the desktop's file";
    ASSERT_EQ(RunTool("sync").status, 0);
    ASSERT_EQ(RunTool("umount " + Quote(m_mountPoint)).status, 0);
    ASSERT_EQ(RunTool("mount -t vfat " + Quote(part) + " " + Quote(m_mountPoint)).status, 0);
    // Everything outside the partition's boot sector and root folder, the disk information,
    // the zero fill and the configuration sector.
    const auto boot = ReadBytes(m_card, kPartitionStart, 512);
    const std::int64_t rootFolder =
        kPartitionStart + (std::int64_t{boot[14] | boot[15] << 8} +
                           boot[16] * std::int64_t{boot[22] | boot[23] << 8}) *
                              512;
    const std::uint64_t before[4] = {
        HashRange(m_card, 0, kPartitionStart), HashRange(m_card, kPartitionStart + 512, rootFolder),
        HashRange(m_card, rootFolder + 512, kDiskInfoA), HashRange(m_card, kFillEnd, -1)};

    const CommandRun run = format(loop.device(), "");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(Mounted(m_mountPoint)) << "the card is still mounted";
    EXPECT_EQ(diskIdOfCopyB(), 10005u);
    EXPECT_EQ(label(), "tavero-SD");
    EXPECT_EQ(HashRange(m_card, 0, kPartitionStart), before[0]);
    EXPECT_EQ(HashRange(m_card, kPartitionStart + 512, rootFolder), before[1]);
    EXPECT_EQ(HashRange(m_card, rootFolder + 512, kDiskInfoA), before[2]);
    EXPECT_EQ(HashRange(m_card, kFillEnd, -1), before[3]);
}

TEST_F(LoopDeviceTest, MountedWholeDiskIsUnmountedFormattedAndLabelled) {
    // A card without a partition table, mounted whole (the desktop does this too). The file
    // system is ext4 because that is what these machines' kernels mount.
    if (!KernelHasFileSystem("ext4")) {
        GTEST_SKIP() << "the kernel has no ext4";
    }
    std::string why;
    LoopDevice loop(m_card, false, why);
    if (!loop.attached()) {
        GTEST_SKIP() << why;
    }
    ASSERT_EQ(RunTool("mkfs.ext4 -q -F -E nodiscard " + Quote(loop.device())).status, 0);
    if (!loop.mount(loop.device(), "ext4", m_mountPoint, why)) {
        GTEST_SKIP() << why;
    }
    std::ofstream(m_mountPoint + "/notes.txt") << "the desktop's file";
    ASSERT_EQ(RunTool("sync").status, 0);
    const std::uint64_t before[3] = {HashRange(m_card, kBootImageEnd, kDiskInfoA),
                                     HashRange(m_card, kDiskInfoA + 512, 0x4100000),
                                     HashRange(m_card, kFillEnd, -1)};

    const CommandRun run = format(loop.device(), "--boot-image");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, m_mountPoint + " (544 MB): Format Finished, Please re-Insert This Disk\n");
    EXPECT_FALSE(Mounted(m_mountPoint)) << "the card is still mounted";
    // Whether ext4 overwrote the old disk information decides between the two identifiers.
    EXPECT_TRUE(diskIdOfCopyB() == 10000u || diskIdOfCopyB() == 10005u) << diskIdOfCopyB();
    EXPECT_EQ(ReadBytes(m_card, kDiskInfoA, 512), ReadBytes(m_card, kDiskInfoB, 512));
    EXPECT_EQ(label(), "tavero-SD");
    // The boot image, apart from the label in the boot sector and the root folder.
    const auto image = store::BootImage();
    auto written = ReadBytes(m_card, 0, static_cast<std::size_t>(kBootImageEnd));
    std::copy(image.begin() + kPartitionStart + 43, image.begin() + kPartitionStart + 54,
              written.begin() + kPartitionStart + 43);
    const std::size_t root = kPartitionStart + (8 + 2 * 192) * 512;
    std::fill_n(written.begin() + static_cast<std::ptrdiff_t>(root), 32, std::uint8_t{0});
    EXPECT_TRUE(std::equal(written.begin(), written.end(), image.begin()));
    EXPECT_EQ(HashRange(m_card, kBootImageEnd, kDiskInfoA), before[0]);
    EXPECT_EQ(HashRange(m_card, kDiskInfoA + 512, 0x4100000), before[1]);
    EXPECT_EQ(HashRange(m_card, kFillEnd, -1), before[2]);
}

TEST_F(LoopDeviceTest, MountedWholeDiskIsUnmountedAndRestored) {
    if (!KernelHasFileSystem("ext4")) {
        GTEST_SKIP() << "the kernel has no ext4";
    }
    std::string why;
    LoopDevice loop(m_card, false, why);
    if (!loop.attached()) {
        GTEST_SKIP() << why;
    }
    ASSERT_EQ(RunTool("mkfs.ext4 -q -F -E nodiscard " + Quote(loop.device())).status, 0);
    if (!loop.mount(loop.device(), "ext4", m_mountPoint, why)) {
        GTEST_SKIP() << why;
    }
    const std::uint64_t after = HashRange(m_card, kFillEnd, -1);
    const CommandRun run =
        RunCommand(std::string("TZ=UTC ") + TAVERO_CLI + " restore " + Quote(m_mountPoint) +
                   " --drive 1=" + Quote(loop.device()) + " --yes");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              m_mountPoint + " (544 MB): Restore Disk Completed, Please re-Insert This Disk\n");
    EXPECT_FALSE(Mounted(m_mountPoint)) << "the card is still mounted";
    // A FAT file system over the whole card now; the recorder's area behind its first
    // sectors is zero and the rest of the card as it was.
    const ToolRun fsck = RunTool("fsck.fat -n " + Quote(loop.device()));
    EXPECT_EQ(fsck.status, 0) << fsck.out;
    EXPECT_TRUE(AllZero(m_card, kDiskInfoA, kFillEnd));
    EXPECT_EQ(HashRange(m_card, kFillEnd, -1), after);
}

} // namespace
} // namespace tavero::testing
