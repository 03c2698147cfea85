#include "cardtools/drive_scan.h"

#include "platform/drive_table.h"
#include "platform/program_paths.h"
#include "platform/raw_file.h"
#include "recorderconfig/car_set_files.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <string_view>
#include <sys/stat.h>

namespace tavero::cardtools {
namespace {

// Devices that are never a card or a drive the user plugs in.
bool IsVirtualDisk(std::string_view name) {
    static constexpr std::array<std::string_view, 7> kPrefixes = {"loop", "ram", "zram", "dm-",
                                                                  "md",   "fd",  "nbd"};
    return std::any_of(kPrefixes.begin(), kPrefixes.end(),
                       [&](std::string_view p) { return name.substr(0, p.size()) == p; });
}

std::string WithSlash(std::string path) {
    if (path.empty() || path.back() != '/') {
        path.push_back('/');
    }
    return path;
}

// A drive whose sector 0 has no boot signature has no partition table at all; the recorder's
// own cards always carry one, so a card listed this way lost it.
bool HasNoPartitionTable(const std::string& path) {
    platform::RawFile file;
    std::array<std::uint8_t, 512> sector0{};
    if (!file.open(path, platform::OpenMode::ReadOnly) ||
        !file.readAt(0, sector0.data(), sector0.size())) {
        return false;
    }
    return !(sector0[510] == 0x55 && sector0[511] == 0xAA);
}

} // namespace

bool IsDevicePathText(const std::string& text) {
    return recorderconfig::IsRawOnlyRoot(text);
}

CardDriveScanner::CardDriveScanner(platform::SystemRoots roots) : m_roots(std::move(roots)) {}

bool CardDriveScanner::mountedDisks(std::vector<MountedDisk>& out) {
    out.clear();
    std::vector<platform::MountEntry> table;
    if (!platform::ReadMountTable(m_roots.mountInfo, table)) {
        return false;
    }
    std::set<std::string> seen;
    for (const platform::MountEntry& entry : table) {
        platform::BlockNode node;
        // A device mounted at several places (bind mounts) is one logical drive: its first
        // mount point in the table stands for it.
        if (!seen.insert(entry.devNumber).second ||
            !platform::FindBlockNodeByDevNumber(m_roots, entry.devNumber, node) ||
            IsVirtualDisk(node.diskName)) {
            continue;
        }
        out.push_back({WithSlash(entry.mountPoint), node});
    }
    return true;
}

const platform::DiskSet& CardDriveScanner::SystemDisks() {
    if (!m_systemDisksKnown) {
        m_systemDisksKnown = true;
        platform::StorageResolver resolver(m_roots);
        (void)resolver.load(); // an unreadable table gives an incomplete set
        m_systemDisks = resolver.SystemDisks();
    }
    return m_systemDisks;
}

bool CardDriveScanner::isSystemDisk(const std::string& diskName) {
    return !diskName.empty() && SystemDisks().contains(diskName);
}

int CardDriveScanner::SystemDiskNumber() {
    for (int n = 0; n <= platform::kMaxDriveNumber; ++n) {
        if (isSystemDisk(DiskNameOfDrive(n))) {
            return n;
        }
    }
    return -1;
}

platform::DiskSet CardDriveScanner::DisksOfPath(const std::string& path) {
    platform::StorageResolver resolver(m_roots);
    if (!resolver.load()) {
        platform::DiskSet none;
        none.complete = false;
        none.unresolved = "the mount table cannot be read";
        return none;
    }
    std::error_code ec;
    const std::filesystem::path real = std::filesystem::weakly_canonical(path, ec);
    return resolver.DisksOfPath(ec ? path : real.string());
}

platform::DiskSet CardDriveScanner::DisksOfDrive(int drive) {
    const auto path = platform::ResolveDrivePath(drive);
    const std::string name = path ? platform::KernelNameForPath(m_roots, *path) : std::string();
    if (name.empty()) {
        return {};
    }
    platform::StorageResolver resolver(m_roots);
    return resolver.DisksOfBlockDevice(name);
}

bool CardDriveScanner::DriveHoldsSystem(int drive, std::string* why) {
    const platform::DiskSet disks = DisksOfDrive(drive);
    if (disks.disks.empty()) {
        return false; // an image file, or no such drive
    }
    const platform::DiskSet& system = SystemDisks();
    if (disks.intersects(system)) {
        if (why != nullptr) {
            *why = "this disk holds the running system";
        }
        return true;
    }
    if (system.complete) {
        return false;
    }
    for (const std::string& disk : disks.disks) {
        if (platform::DiskKind(m_roots, disk) != platform::DriveKind::Removable &&
            !platform::IsUsbAttached(m_roots, disk)) {
            if (why != nullptr) {
                *why = "the disks of the running system cannot all be traced (" +
                       system.unresolved + "); only removable or USB drives are formatted";
            }
            return true;
        }
    }
    return false;
}

int CardDriveScanner::DriveNumberOfDisk(const std::string& diskName) {
    if (diskName.empty()) {
        return -1;
    }
    for (int n = 0; n <= platform::kMaxDriveNumber; ++n) {
        const auto path = platform::ResolveDrivePath(n);
        if (path && platform::KernelNameForPath(m_roots, *path) == diskName) {
            return n;
        }
    }
    return -1;
}

std::string CardDriveScanner::DiskNameOfDrive(int drive) {
    const auto path = platform::ResolveDrivePath(drive);
    if (!path) {
        return {};
    }
    const std::string name = platform::KernelNameForPath(m_roots, *path);
    platform::BlockNode node;
    if (name.empty() || !platform::FindBlockNodeByName(m_roots, name, node)) {
        return {};
    }
    return node.diskName;
}

bool CardDriveScanner::FindMount(const std::string& text, platform::MountEntry& out) {
    std::vector<platform::MountEntry> table;
    if (!platform::ReadMountTable(m_roots.mountInfo, table)) {
        return false;
    }
    const platform::MountEntry* entry = platform::FindMountPoint(table, text);
    if (entry == nullptr) {
        return false;
    }
    out = *entry;
    return true;
}

bool CardDriveScanner::GetDeviceNumber(const std::string& mountPoint, int& device, int& partition) {
    platform::MountEntry entry;
    platform::BlockNode node;
    if (!FindMount(mountPoint, entry) ||
        !platform::FindBlockNodeByDevNumber(m_roots, entry.devNumber, node)) {
        return false;
    }
    device = DriveNumberOfDisk(node.diskName);
    partition = node.partition;
    return true;
}

bool CardDriveScanner::IsUsbDrive(int drive) {
    const std::string disk = DiskNameOfDrive(drive);
    return !disk.empty() && platform::IsUsbAttached(m_roots, disk);
}

int CardDriveScanner::DriveNumberOfDeviceText(const std::string& text) {
    if (text.empty()) {
        return -1;
    }
    if (!IsDevicePathText(text)) {
        int device = -1;
        int partition = 0;
        return GetDeviceNumber(text, device, partition) ? device : -1;
    }
    // A device path: the drive-table entry naming the same file or device node.
    std::error_code ec;
    const std::filesystem::path wanted = std::filesystem::weakly_canonical(text, ec);
    for (int n = 0; n <= platform::kMaxDriveNumber; ++n) {
        const auto path = platform::ResolveDrivePath(n);
        if (!path) {
            continue;
        }
        std::error_code ec2;
        if (*path == text || (!ec && std::filesystem::weakly_canonical(*path, ec2) == wanted)) {
            return n;
        }
    }
    return -1;
}

std::set<std::string> CardDriveScanner::LogicalDrives() {
    std::set<std::string> drives;
    std::vector<MountedDisk> disks;
    if (mountedDisks(disks)) {
        for (const MountedDisk& d : disks) {
            drives.insert(d.mountPoint);
        }
    }
    return drives;
}

bool CardDriveScanner::ScanDrives(std::vector<DeviceEntry>& removable,
                                  std::vector<DeviceEntry>& other) {
    removable.clear();
    other.clear();
    std::vector<MountedDisk> disks;
    if (!mountedDisks(disks)) {
        return false;
    }
    for (const MountedDisk& d : disks) {
        switch (platform::DiskKind(m_roots, d.node.diskName)) {
        case platform::DriveKind::Removable:
            removable.push_back({d.mountPoint, 0});
            break;
        case platform::DriveKind::Fixed:
            if (!isSystemDisk(d.node.diskName) &&
                platform::IsUsbAttached(m_roots, d.node.diskName) &&
                DriveNumberOfDisk(d.node.diskName) >= 0) {
                other.push_back({d.mountPoint, 0});
            }
            break;
        case platform::DriveKind::CdRom:
            other.push_back({d.mountPoint, kCdRomItemData});
            break;
        }
    }
    for (int n = 0; n <= platform::kMaxDriveNumber; ++n) {
        if (DriveHoldsSystem(n)) {
            continue;
        }
        const auto path = platform::ResolveDrivePath(n);
        if (path && HasNoPartitionTable(*path)) {
            other.push_back({*path, 0});
        }
    }
    return true;
}

bool CardDriveScanner::ScanDrivesForSettings(std::vector<DeviceEntry>& list) {
    list.clear();
    std::vector<MountedDisk> disks;
    if (!mountedDisks(disks)) {
        return false;
    }
    for (const MountedDisk& d : disks) {
        const platform::DriveKind kind = platform::DiskKind(m_roots, d.node.diskName);
        if (kind == platform::DriveKind::Removable ||
            (kind == platform::DriveKind::Fixed && !isSystemDisk(d.node.diskName) &&
             platform::IsUsbAttached(m_roots, d.node.diskName) &&
             DriveNumberOfDisk(d.node.diskName) >= 0)) {
            list.push_back({d.mountPoint, 0});
        }
    }
    return true;
}

} // namespace tavero::cardtools
