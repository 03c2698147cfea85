// Drive scans and the reaction to device changes over a fake sysfs tree, a fake mount table and
// fake device events.

#include "cardtools/card_detection.h"
#include "cardtools_fixture.h"
#include "fake_system.h"
#include "platform/mount_table.h"
#include "recorderconfig/car_set_files.h"
#include "store/boot_image.h"

#include <deque>
#include <gtest/gtest.h>

namespace tavero::testing {
namespace {

using cardtools::DeviceEntry;

constexpr std::int64_t kCardBytes = 0x16000000LL + 12 * 0x1000000LL;

// sda: the system disk (SATA); sdb: a USB card reader with a mounted card; sdc: a USB hard disk;
// sdd: a USB card without a partition table; sr0: a CD-ROM; loop0: a snap.
class MachineTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_sys.addDisk(
            {"sda", "8:0", "pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0", false, 2});
        m_sys.addDisk({"sdb", "8:16",
                       "pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/host1/target1:0:0/1:0:0:0", true,
                       1});
        m_sys.addDisk({"sdc", "8:32",
                       "pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host2/target2:0:0/2:0:0:0", false,
                       1});
        m_sys.addDisk({"sdd", "8:48",
                       "pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0/host3/target3:0:0/3:0:0:0", true,
                       0});
        m_sys.addDisk(
            {"sr0", "11:0", "pci0000:00/0000:00:17.0/ata2/host4/target4:0:0/4:0:0:0", true, 0});
        m_sys.addDisk({"loop0", "7:0", "virtual", false, 0});
        m_sys.addImage(0, "sda", 1 << 20, true);
        m_card = m_sys.addImage(1, "sdb", kCardBytes, true);
        m_sys.addImage(2, "sdc", 1 << 20, true);
        m_raw = m_sys.addImage(3, "sdd", 1 << 20, false);
        m_cardMount = m_sys.mountDir("CARD");
        m_hddMount = m_sys.mountDir("USB HDD");
        m_cdMount = m_sys.mountDir("cdrom");
        mountAll();
    }

    void mountAll(bool card = true, bool hdd = true) {
        std::vector<FakeSystem::Mount> mounts = {{"8:1", "/", "ext4", "/dev/sda1"},
                                                 {"0:5", "/proc", "proc", "proc"}};
        if (card) {
            mounts.push_back({"8:17", m_cardMount, "vfat", "/dev/sdb1"});
            mounts.push_back({"8:17", "/mnt/bind", "vfat", "/dev/sdb1"});
        }
        if (hdd) {
            mounts.push_back({"8:33", m_hddMount, "ext4", "/dev/sdc1"});
        }
        mounts.push_back({"11:0", m_cdMount, "iso9660", "/dev/sr0"});
        mounts.push_back({"7:0", "/snap/core", "squashfs", "/dev/loop0"});
        m_sys.setMounts(mounts);
    }

    TempDir m_dir;
    FakeSystem m_sys{m_dir.path()};
    std::filesystem::path m_card, m_raw;
    std::string m_cardMount, m_hddMount, m_cdMount;
};

TEST(MountInfoTest, ParsesFieldsEscapesAndOptionalTags) {
    const auto table = platform::ParseMountInfo(
        "36 35 98:0 /mnt1 /mnt/my\\040card rw,noatime master:1 shared:2 - vfat /dev/sdb1 rw\n"
        "garbage line\n"
        "37 35 0:5 / /proc rw - proc proc rw");
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[0].devNumber, "98:0");
    EXPECT_EQ(table[0].mountPoint, "/mnt/my card");
    EXPECT_EQ(table[0].fsType, "vfat");
    EXPECT_EQ(table[0].source, "/dev/sdb1");
    EXPECT_EQ(table[1].mountPoint, "/proc");
    EXPECT_EQ(platform::FindMountPoint(table, "/mnt/my card/"), &table[0]);
}

TEST_F(MachineTest, ScanListsRemovableMountsUsbDisksCdRomsAndRawCards) {
    cardtools::CardDriveScanner scanner(m_sys.roots);
    std::vector<DeviceEntry> removable, other;
    ASSERT_TRUE(scanner.ScanDrives(removable, other));
    EXPECT_EQ(removable, (std::vector<DeviceEntry>{{m_cardMount + "/", 0}}));
    EXPECT_EQ(other, (std::vector<DeviceEntry>{{m_hddMount + "/", 0},
                                               {m_cdMount + "/", cardtools::kCdRomItemData},
                                               {m_raw.string(), 0}}));
    std::vector<DeviceEntry> settings;
    ASSERT_TRUE(scanner.ScanDrivesForSettings(settings));
    EXPECT_EQ(settings, (std::vector<DeviceEntry>{{m_cardMount + "/", 0}, {m_hddMount + "/", 0}}));

    int device = -1, partition = -1;
    ASSERT_TRUE(scanner.GetDeviceNumber(m_cardMount, device, partition));
    EXPECT_EQ(device, 1);
    EXPECT_EQ(partition, 1);
    EXPECT_FALSE(scanner.GetDeviceNumber(m_dir.path().string(), device, partition));
    EXPECT_EQ(scanner.SystemDiskNumber(), 0);
    EXPECT_FALSE(scanner.IsUsbDrive(0));
    EXPECT_TRUE(scanner.IsUsbDrive(1));
    EXPECT_TRUE(scanner.IsUsbDrive(2));
    EXPECT_FALSE(scanner.IsUsbDrive(7));
    EXPECT_EQ(scanner.DriveNumberOfDeviceText(m_raw.string()), 3);
    EXPECT_EQ(scanner.DriveNumberOfDeviceText(m_cardMount + "/"), 1);
    EXPECT_EQ(scanner.DriveNumberOfDeviceText("/nowhere/card.img"), -1);
    // The configuration files' rule: only a folder text is a card root.
    for (const std::string& text : {m_raw.string(), m_cardMount, m_cardMount + "/",
                                    std::string("/dev/sdz"), m_dir.path().string() + "/gone"}) {
        EXPECT_EQ(cardtools::IsDevicePathText(text), recorderconfig::IsRawOnlyRoot(text)) << text;
    }
}

TEST_F(MachineTest, SystemDiskIsNeverListedEvenOnUsbOrUnderAMapping) {
    struct Case {
        const char* name;
        std::string rootDev;
    };
    // The USB hard disk holds "/"; then "/" on dm-0 over sdc1.
    m_sys.addMapper("dm-0", "253:0", {"sdc1"});
    for (const Case& c : {Case{"usb system disk", "8:33"}, Case{"mapped system disk", "253:0"}}) {
        SCOPED_TRACE(c.name);
        m_sys.setMounts(
            {{c.rootDev, "/", "ext4", "/dev/root"}, {"8:17", m_cardMount, "vfat", "/dev/sdb1"}});
        m_sys.addImage(2, "sdc", 1 << 20, false); // not even its missing table lists it
        cardtools::CardDriveScanner scanner(m_sys.roots);
        std::vector<DeviceEntry> removable, other;
        ASSERT_TRUE(scanner.ScanDrives(removable, other));
        EXPECT_TRUE(scanner.SystemDisks().contains("sdc"));
        EXPECT_EQ(removable.size(), 1u);
        EXPECT_EQ(other, (std::vector<DeviceEntry>{{m_raw.string(), 0}}));
    }
}

TEST_F(MachineTest, CardInABuiltInSdSlotIsRemovable) {
    // A laptop's SD slot: sysfs says "removable" 0 and it is not on USB. The eMMC boot areas
    // beside it are never cards.
    m_sys.addDisk({"mmcblk0", "179:0", "platform/fe320000.mmc/mmc_host/mmc0/mmc0:aaaa", false, 1});
    m_sys.addDisk(
        {"mmcblk1boot0", "179:256", "platform/fe330000.mmc/mmc_host/mmc1/mmc1:0001", false, 0});
    const std::string slot = m_sys.mountDir("SD SLOT");
    const std::string boot = m_sys.mountDir("boot0");
    m_sys.setMounts({{"8:1", "/", "ext4", "/dev/sda1"},
                     {"179:1", slot, "vfat", "/dev/mmcblk0p1"},
                     {"179:256", boot, "vfat", "/dev/mmcblk1boot0"}});
    cardtools::CardDriveScanner scanner(m_sys.roots);
    std::vector<DeviceEntry> removable, other, settings;
    ASSERT_TRUE(scanner.ScanDrives(removable, other));
    EXPECT_EQ(removable, (std::vector<DeviceEntry>{{slot + "/", 0}}));
    ASSERT_TRUE(scanner.ScanDrivesForSettings(settings));
    EXPECT_EQ(settings, (std::vector<DeviceEntry>{{slot + "/", 0}}));
    EXPECT_EQ(platform::DiskKind(m_sys.roots, "mmcblk0"), platform::DriveKind::Removable);
    EXPECT_EQ(platform::DiskKind(m_sys.roots, "mmcblk1boot0"), platform::DriveKind::Fixed);
}

TEST_F(MachineTest, UnreadableMountTableFailsTheScan) {
    m_sys.roots.mountInfo = (m_dir / "missing").string();
    cardtools::CardDriveScanner scanner(m_sys.roots);
    std::vector<DeviceEntry> removable{{"stale", 0}}, other{{"stale", 0}};
    EXPECT_FALSE(scanner.ScanDrives(removable, other));
    EXPECT_TRUE(removable.empty());
    EXPECT_TRUE(other.empty());
}

class FakeHost : public cardtools::CardDetectionHost {
public:
    int autoPlay = 1;
    int autoPlayDvd = 0;
    cardtools::BackupSourceKind kind = cardtools::BackupSourceKind::RemovableStorage;
    std::string otherText;
    std::vector<int> cardsWithRecordings;
    std::vector<std::string> backupFilesWithRecordings;

    std::vector<int> opened;
    std::vector<std::string> openedDevices, backupFiles;
    bool listFilled = false;
    int playbacks = 0, oldPlayers = 0;
    std::vector<int> formatToolDrives;

    int AutoPlaySetting() override { return autoPlay; }
    int AutoPlayDvdSetting() override { return autoPlayDvd; }
    std::uint32_t SpeedUnitSetting() override { return 2; }
    cardtools::BackupSourceKind SourceKind() override { return kind; }
    std::string CurrentOtherListText() override { return otherText; }
    bool OpenCardSource(int drive) override {
        opened.push_back(drive);
        listFilled = std::count(cardsWithRecordings.begin(), cardsWithRecordings.end(), drive) > 0;
        return listFilled;
    }
    void CardOpened(const std::string& text) override { openedDevices.push_back(text); }
    void OpenBackupFile(const std::string& path) override {
        backupFiles.push_back(path);
        listFilled = std::count(backupFilesWithRecordings.begin(), backupFilesWithRecordings.end(),
                                path) > 0;
    }
    bool RecordingListEmpty() override { return !listFilled; }
    void StartPlayback() override { ++playbacks; }
    void LaunchOldPlayer() override { ++oldPlayers; }
    void SetFormatToolDrive(int drive) override { formatToolDrives.push_back(drive); }
};

class FakeEvents : public platform::DeviceEventSource {
public:
    std::deque<platform::DeviceEvent> queue;
    int fd() const override { return -1; }
    bool next(platform::DeviceEvent& event) override {
        if (queue.empty()) {
            return false;
        }
        event = queue.front();
        queue.pop_front();
        return true;
    }
    void push(platform::DeviceEvent::Action action, const std::string& name) {
        queue.push_back({action, name, "partition", "/dev/" + name});
    }
};

class DetectionTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        // The card in the reader: the boot image's partition table and a sector without users.
        const auto boot = store::BootImage();
        WriteBytes(m_card, 0, std::vector<std::uint8_t>(boot.begin(), boot.begin() + 512));
        WriteBytes(m_card, 0x4000000, Bytes(DiskInfoBytes(4, 10000)));
        WriteBytes(m_card, 0x5000000, Bytes(DiskInfoBytes(4, 10000)));
        WriteBytes(m_card, 0xA000000, Bytes(ConfigSectorBytes(10000)));
        m_detection.SetDelays(std::chrono::milliseconds(0), std::chrono::milliseconds(0));
    }
    static std::vector<std::uint8_t> Bytes(const Bytes512& b) { return {b.begin(), b.end()}; }

    cardtools::CardDriveScanner m_scanner{m_sys.roots};
    FakeHost m_host;
    FakePrompts m_prompts;
    FakeEvents m_events;
    cardtools::CCardDetection m_detection{m_scanner, m_host, m_prompts};
};

TEST_F(DetectionTest, ArrivingCardWithRecordingsPlaysAndItsRemovalReleasesIt) {
    m_host.cardsWithRecordings = {1};
    m_events.push(platform::DeviceEvent::Action::Add, "sdb1");
    cardtools::PumpDeviceEvents(m_events, m_detection);
    EXPECT_EQ(m_host.opened, std::vector<int>{1});
    EXPECT_EQ(m_host.playbacks, 1);
    EXPECT_EQ(m_detection.CurrentDrive(), 1);
    EXPECT_EQ(m_detection.TakenDevice(), m_cardMount + "/");
    EXPECT_EQ(m_detection.Sector().diskId, 10000u);
    EXPECT_TRUE(m_prompts.questions.empty()); // its partition table is the recorder's
    EXPECT_EQ(m_host.formatToolDrives.back(), 1);

    // Another arrival while the card plays changes nothing.
    m_detection.OnDeviceChange(cardtools::kDeviceArrival, true);
    EXPECT_EQ(m_host.opened.size(), 1u);

    mountAll(true, false); // the USB hard disk leaves
    m_detection.OnDeviceChange(cardtools::kDeviceRemoveComplete, true);
    EXPECT_EQ(m_detection.CurrentDrive(), 1);

    mountAll(false, false); // the card leaves
    m_events.push(platform::DeviceEvent::Action::Remove, "sdb1");
    cardtools::PumpDeviceEvents(m_events, m_detection);
    EXPECT_EQ(m_detection.CurrentDrive(), -1);
    EXPECT_TRUE(m_detection.TakenDevice().empty());
}

TEST_F(DetectionTest, MountTableChangesArriveAsDeviceEvents) {
    mountAll(false, true);
    platform::MountTableWatcher watcher;
    ASSERT_TRUE(watcher.open(m_sys.roots.mountInfo));
    platform::DeviceEvent event;
    EXPECT_FALSE(watcher.next(event));

    m_host.cardsWithRecordings = {1};
    mountAll(true, false); // the desktop mounted the card and the hard disk left
    std::vector<std::pair<platform::DeviceEvent::Action, std::string>> seen;
    while (watcher.next(event)) {
        seen.emplace_back(event.action, event.devNode);
    }
    using A = platform::DeviceEvent::Action;
    EXPECT_EQ(seen, (std::vector<std::pair<A, std::string>>{
                        {A::Add, "/mnt/bind"}, {A::Add, m_cardMount}, {A::Remove, m_hddMount}}));

    mountAll(false, false);
    mountAll(true, false);
    ASSERT_TRUE(watcher.open(m_sys.roots.mountInfo));
    mountAll(true, true);
    cardtools::PumpDeviceEvents(watcher, m_detection);
    EXPECT_EQ(m_host.playbacks, 1);
    EXPECT_EQ(m_detection.CurrentDrive(), 1);
}

TEST_F(DetectionTest, ArrivalRespectsSettingsAndTheBackupDialogsSourceKind) {
    struct Case {
        const char* name;
        int autoPlay;
        cardtools::BackupSourceKind kind;
        std::string otherText;
        std::vector<int> expectOpened;
    };
    using K = cardtools::BackupSourceKind;
    const Case cases[] = {
        {"AutoPlay off", 0, K::RemovableStorage, "", {}},
        {"backup file source", 1, K::BackupFile, "", {}},
        {"a device already chosen", 1, K::RemovableStorage, "x", {}},
        {"local disk: other list in order", 1, K::LocalDisk, "", {2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_host = FakeHost{};
        m_host.autoPlay = c.autoPlay;
        m_host.kind = c.kind;
        m_host.otherText = c.otherText;
        m_detection.SetCurrentDrive(-1);
        EXPECT_EQ(m_detection.OnDeviceChange(cardtools::kDeviceArrival, true), 1);
        EXPECT_EQ(m_host.opened, c.expectOpened);
        EXPECT_EQ(m_host.playbacks, 0);
    }
    EXPECT_EQ(m_detection.OnDeviceChange(cardtools::kDeviceNodesChanged, false), 0);
}

TEST_F(DetectionTest, OlderCardProbeAndBackupFileAutoPlay) {
    // Drive 1 (counting from 1 over the other list's length) carries the older marker.
    WriteBytes(m_card, 0x7D82000, {0x00, 0x00, 0x41, 0x46, 0x53});
    m_host.autoPlay = 0;
    ASSERT_TRUE(m_detection.ScanDrives());
    m_detection.OnDeviceChange(cardtools::kDeviceArrival, true);
    EXPECT_EQ(m_host.oldPlayers, 1);

    // "AutoPlayDVD": the first backup file on the CD-ROM plays.
    std::ofstream(m_cdMount + "/b.sd").flush();
    std::ofstream(m_cdMount + "/a.sd").flush();
    std::ofstream(m_cdMount + "/notes.txt").flush();
    m_host = FakeHost{};
    m_host.kind = cardtools::BackupSourceKind::BackupFile;
    m_host.autoPlayDvd = 1;
    m_host.backupFilesWithRecordings = {m_cdMount + "/a.sd"};
    m_detection.OnDeviceChange(cardtools::kDeviceArrival, true);
    EXPECT_EQ(m_host.backupFiles, std::vector<std::string>{m_cdMount + "/a.sd"});
    EXPECT_EQ(m_host.playbacks, 1);
    EXPECT_EQ(m_host.oldPlayers, 0); // playback started: no probe
}

TEST_F(DetectionTest, CardWithUsersOpensOnlyForTheRightUser) {
    WriteBytes(m_card, 0xA000000, Bytes(ConfigSectorBytes(10000, {"anna", "pw", "", ""})));
    m_prompts.loginGiven = true;
    m_prompts.loginName = "Anna";
    m_prompts.loginPassword = "pw";
    EXPECT_TRUE(m_detection.OpenCard(m_cardMount + "/"));
    EXPECT_TRUE(m_host.opened.empty());
    EXPECT_FALSE(m_detection.Unlocked());

    m_prompts.loginName = "anna";
    EXPECT_TRUE(m_detection.OpenCard(m_cardMount + "/"));
    EXPECT_EQ(m_host.opened, std::vector<int>{1});
    EXPECT_TRUE(m_detection.Unlocked());
    EXPECT_EQ(m_prompts.logins, 2);
    // Unlocked for the rest of the run: no third question.
    EXPECT_TRUE(m_detection.OpenCard(m_cardMount + "/"));
    EXPECT_EQ(m_prompts.logins, 2);

    EXPECT_FALSE(m_detection.OpenCard(m_dir.path().string() + "/nowhere/"));
}

TEST_F(DetectionTest, CardWithoutSectorOpensWithTheProgramsSpeedUnitButUnlocksNothing) {
    WriteBytes(m_card, 0xA000000, std::vector<std::uint8_t>(512, 0));
    EXPECT_TRUE(m_detection.OpenCard(m_cardMount + "/"));
    EXPECT_EQ(m_detection.Sector().magic, 0u);
    EXPECT_EQ(m_detection.Sector().speedUnit, 2u);
    EXPECT_FALSE(m_detection.Unlocked());
    EXPECT_EQ(m_host.openedDevices, std::vector<std::string>{m_cardMount + "/"});
    // Once its sector reads again, its users are asked for.
    WriteBytes(m_card, 0xA000000, Bytes(ConfigSectorBytes(10000, {"anna", "pw", "", ""})));
    m_prompts.loginGiven = false;
    EXPECT_TRUE(m_detection.OpenCard(m_cardMount + "/"));
    EXPECT_EQ(m_prompts.logins, 1);
    EXPECT_EQ(m_host.opened.size(), 1u);
}

TEST_F(DetectionTest, UnlockingBelongsToTheCard) {
    // A second card with users of its own, reached by its device path.
    const auto other = m_sys.addImage(3, "sdd", kCardBytes, false);
    WriteBytes(other, 0x4000000, Bytes(DiskInfoBytes(4, 20000)));
    WriteBytes(other, 0x5000000, Bytes(DiskInfoBytes(4, 20000)));
    WriteBytes(other, 0xA000000, Bytes(ConfigSectorBytes(20000, {"bob", "pw2", "", ""})));
    WriteBytes(m_card, 0xA000000, Bytes(ConfigSectorBytes(10000, {"anna", "pw", "", ""})));
    m_prompts.loginGiven = true;
    m_prompts.loginName = "anna";
    m_prompts.loginPassword = "pw";
    ASSERT_TRUE(m_detection.OpenCard(m_cardMount + "/"));
    EXPECT_EQ(m_host.opened, std::vector<int>{1});

    // Anna's answer does not open Bob's card.
    ASSERT_TRUE(m_detection.OpenCard(other.string()));
    EXPECT_EQ(m_prompts.logins, 2);
    EXPECT_EQ(m_host.opened, std::vector<int>{1});
    m_prompts.loginName = "bob";
    m_prompts.loginPassword = "pw2";
    ASSERT_TRUE(m_detection.OpenCard(other.string()));
    EXPECT_EQ(m_host.opened, (std::vector<int>{1, 3}));

    // Both stay unlocked for the run.
    ASSERT_TRUE(m_detection.OpenCard(m_cardMount + "/"));
    ASSERT_TRUE(m_detection.OpenCard(other.string()));
    EXPECT_EQ(m_prompts.logins, 3);
    EXPECT_EQ(m_host.opened, (std::vector<int>{1, 3, 1, 3}));

    // The same identifier with other users (formatted cards share identifiers) asks again.
    WriteBytes(other, 0x4000000, Bytes(DiskInfoBytes(4, 10000)));
    WriteBytes(other, 0x5000000, Bytes(DiskInfoBytes(4, 10000)));
    WriteBytes(other, 0xA000000, Bytes(ConfigSectorBytes(10000, {"carl", "pw3", "", ""})));
    ASSERT_TRUE(m_detection.OpenCard(other.string()));
    EXPECT_EQ(m_prompts.logins, 4);
    EXPECT_EQ(m_host.opened.size(), 4u);
}

TEST_F(DetectionTest, FormatRefusesTheSystemDisk) {
    FakeProgress progress;
    cardtools::CFormatTool tool(m_scanner, m_prompts, progress);
    EXPECT_EQ(tool.ChooseDevice(cardtools::kQuestionFormat, (m_dir / "dev/sda").string()), -1);
    EXPECT_EQ(m_prompts.messages, std::vector<std::string>{std::string(cardtools::kMsgSystemDisk)});
    EXPECT_EQ(tool.ChooseDevice(cardtools::kQuestionFormat, ""), -1);
    EXPECT_EQ(m_prompts.messages.back(), "Please Select a Device");
    EXPECT_TRUE(m_prompts.questions.empty());
}

} // namespace
} // namespace tavero::testing
