#pragma once
// Finds the drives that may hold recorder cards and maps them to the recorder's physical drive
// numbers. Device texts are either a mount point ending in "/" (the card's FAT partition as the
// desktop mounted it: the card root) or a device path (a block device or a whole-card image file
// from the drive table), which is reachable only raw.
//
// Thread: owned by one thread (the UI thread); the drive table it reads is thread-safe.

#include "platform/block_devices.h"
#include "platform/mount_table.h"
#include "platform/system_disks.h"

#include <set>
#include <string>
#include <vector>

namespace tavero::cardtools {

// Item data of a CD-ROM entry of the other list (the backup dialog looks for backup files there).
inline constexpr int kCdRomItemData = 3333;

struct DeviceEntry {
    std::string text;
    int itemData = 0;

    friend bool operator==(const DeviceEntry&, const DeviceEntry&) = default;
};

class CardDriveScanner {
public:
    explicit CardDriveScanner(platform::SystemRoots roots = {});

    // Refills both lists: removable drives' mount points; USB fixed drives (not the system disk)
    // and CD-ROMs; then the drives 0 to 9 (not the system disk) without a partition table, by
    // device path. False when the mount table cannot be read (the lists stay empty).
    [[nodiscard]] bool ScanDrives(std::vector<DeviceEntry>& removable,
                                  std::vector<DeviceEntry>& other);
    // The Wi-Fi dialog's list: removable drives and USB fixed drives (not the system disk).
    [[nodiscard]] bool ScanDrivesForSettings(std::vector<DeviceEntry>& list);

    // Drive number and partition number of the partition mounted at mountPoint. True when the
    // mount point is known; device is -1 when its disk is not one of the drives 0 to 9.
    [[nodiscard]] bool GetDeviceNumber(const std::string& mountPoint, int& device, int& partition);
    // True when drive n is a block device attached through USB.
    [[nodiscard]] bool IsUsbDrive(int drive);

    // Drive number of a device text (mount point or device path), -1 when none.
    [[nodiscard]] int DriveNumberOfDeviceText(const std::string& text);
    // Drive number of a whole disk's kernel name, -1 when it is not one of the drives 0 to 9.
    [[nodiscard]] int DriveNumberOfDisk(const std::string& diskName);
    // Whole-disk kernel name behind drive n; empty for an image file or an unknown drive.
    [[nodiscard]] std::string DiskNameOfDrive(int drive);

    // Every disk under the running system's file systems and swap, with every device stacked
    // between them (see StorageResolver); looked up once and kept. An image file is never one.
    [[nodiscard]] const platform::DiskSet& SystemDisks();
    // The disks under the file system that holds path (the running program's file).
    [[nodiscard]] platform::DiskSet DisksOfPath(const std::string& path);
    // What writing to drive n overwrites: its disk and, for a mapped or RAID device, every
    // member; empty for an image file.
    [[nodiscard]] platform::DiskSet DisksOfDrive(int drive);
    // True when writing to drive n would overwrite a disk of the running system. When the
    // system's disks cannot all be traced, every drive that is neither removable nor attached
    // by USB counts as one: nobody can say it is not. why (optional) says which rule refused.
    [[nodiscard]] bool DriveHoldsSystem(int drive, std::string* why = nullptr);
    // The drive number of the first system disk among drives 0 to 9, -1 when none is.
    [[nodiscard]] int SystemDiskNumber();

    // The block devices' mount points now: what the recorder's tools call the logical drives.
    [[nodiscard]] std::set<std::string> LogicalDrives();
    // The mount table entry of a mount-point device text; false when it is not mounted.
    [[nodiscard]] bool FindMount(const std::string& text, platform::MountEntry& out);

    [[nodiscard]] const platform::SystemRoots& roots() const { return m_roots; }

private:
    struct MountedDisk {
        std::string mountPoint; // ends in "/"
        platform::BlockNode node;
    };
    [[nodiscard]] bool mountedDisks(std::vector<MountedDisk>& out);

    [[nodiscard]] bool isSystemDisk(const std::string& diskName);

    platform::SystemRoots m_roots;
    platform::DiskSet m_systemDisks;
    bool m_systemDisksKnown = false;
};

// True when a device text names a device path rather than a mount point: the configuration
// files' rule (recorderconfig::IsRawOnlyRoot), so both agree on every text.
[[nodiscard]] bool IsDevicePathText(const std::string& text);

} // namespace tavero::cardtools
