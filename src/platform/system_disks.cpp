#include "platform/system_disks.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

namespace tavero::platform {
namespace {

namespace fs = std::filesystem;

// Stacks are a few levels deep; the bound stops a looping tree (a loop device whose backing
// file lies on itself, a fake tree with a cycle).
constexpr int kMaxDepth = 12;

// Mount points whose file systems make up the running system.
constexpr std::array<std::string_view, 7> kSystemMountPoints = {
    "/", "/boot", "/boot/efi", "/efi", "/usr", "/var", "/home"};

// File systems that live on a local device: when none is found for them, the answer is
// incomplete. Everything else (tmpfs, proc, network file systems, FUSE) has no local disk.
constexpr std::array<std::string_view, 20> kDeviceFileSystems = {
    "btrfs", "zfs",   "overlay", "bcachefs", "xfs",   "ext2",   "ext3",
    "ext4",  "f2fs",  "jfs",     "reiserfs", "vfat",  "msdos",  "exfat",
    "ntfs",  "ntfs3", "fuseblk", "squashfs", "erofs", "iso9660"};

bool LivesOnDevice(const SystemRoots& roots, const MountEntry& entry) {
    return entry.source.rfind("/dev/", 0) == 0 || entry.source.rfind(roots.dev + "/", 0) == 0 ||
           std::find(kDeviceFileSystems.begin(), kDeviceFileSystems.end(), entry.fsType) !=
               kDeviceFileSystems.end();
}

bool AnonymousDevice(const std::string& devNumber) {
    return devNumber.rfind("0:", 0) == 0;
}

std::string ReadWhole(const fs::path& file) {
    std::ifstream in(file);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

void MarkIncomplete(DiskSet& out, const std::string& what) {
    if (out.complete) {
        out.complete = false;
        out.unresolved = what;
    }
}

// The option's value in a comma-separated option list ("upperdir=/x"); empty when absent.
// Commas inside a value are escaped with a backslash by the kernel.
std::vector<std::string> OptionValues(const std::string& options, std::string_view key) {
    std::vector<std::string> values;
    std::string current;
    auto finish = [&] {
        const std::string prefix = std::string(key) + "=";
        if (current.rfind(prefix, 0) == 0) {
            values.push_back(current.substr(prefix.size()));
        }
        current.clear();
    };
    for (std::size_t i = 0; i < options.size(); ++i) {
        if (options[i] == '\\' && i + 1 < options.size()) {
            current += options[++i];
        } else if (options[i] == ',') {
            finish();
        } else {
            current += options[i];
        }
    }
    finish();
    return values;
}

// "lowerdir=/a:/b" holds several layers; a colon inside a path is escaped.
std::vector<std::string> SplitLayers(const std::string& value) {
    std::vector<std::string> layers;
    std::string current;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            current += value[++i];
        } else if (value[i] == ':') {
            if (!current.empty()) {
                layers.push_back(current);
            }
            current.clear();
        } else {
            current += value[i];
        }
    }
    if (!current.empty()) {
        layers.push_back(current);
    }
    return layers;
}

} // namespace

bool DiskSet::intersects(const DiskSet& other) const {
    return std::any_of(disks.begin(), disks.end(),
                       [&](const std::string& d) { return other.contains(d); });
}

std::vector<SwapArea> ParseSwaps(const std::string& text) {
    std::vector<SwapArea> areas;
    std::istringstream in(text);
    std::string line;
    bool header = true;
    while (std::getline(in, line)) {
        if (header) {
            header = false; // "Filename Type Size Used Priority"
            continue;
        }
        std::istringstream fields(line);
        std::string name;
        std::string type;
        if (fields >> name >> type) {
            areas.push_back({DecodeMountEscapes(name), type == "partition"});
        }
    }
    return areas;
}

StorageResolver::StorageResolver(SystemRoots roots) : m_roots(std::move(roots)) {}

bool StorageResolver::load() {
    m_loaded = ReadMountTable(m_roots.mountInfo, m_mounts);
    m_swaps = ReadWhole(m_roots.swaps);
    return m_loaded;
}

void StorageResolver::setTables(std::vector<MountEntry> mounts, std::string swapsText) {
    m_mounts = std::move(mounts);
    m_swaps = std::move(swapsText);
    m_loaded = true;
}

DiskSet StorageResolver::SystemDisks() const {
    DiskSet out;
    if (!m_loaded) {
        MarkIncomplete(out, "the mount table cannot be read");
        return out;
    }
    bool rootSeen = false;
    for (const MountEntry& entry : m_mounts) {
        const std::string point = WithoutTrailingSlash(entry.mountPoint);
        if (std::find(kSystemMountPoints.begin(), kSystemMountPoints.end(), point) !=
            kSystemMountPoints.end()) {
            rootSeen = rootSeen || point == "/";
            addMount(entry, out, 0);
        }
    }
    if (!rootSeen) {
        MarkIncomplete(out, "\"/\" is not in the mount table");
    }
    for (const SwapArea& area : ParseSwaps(m_swaps)) {
        if (area.partition) {
            const std::string name = KernelNameForPath(m_roots, area.path);
            if (name.empty()) {
                MarkIncomplete(out, "swap " + area.path);
            } else {
                addBlockDevice(name, out, 0, true);
            }
        } else {
            addPath(area.path, out, 0);
        }
    }
    return out;
}

DiskSet StorageResolver::DisksOfPath(const std::string& path) const {
    DiskSet out;
    addPath(path, out, 0);
    return out;
}

DiskSet StorageResolver::DisksOfMount(const MountEntry& entry) const {
    DiskSet out;
    addMount(entry, out, 0);
    return out;
}

DiskSet StorageResolver::DisksOfBlockDevice(const std::string& name) const {
    DiskSet out;
    addBlockDevice(name, out, 0, false);
    return out;
}

void StorageResolver::addPath(const std::string& path, DiskSet& out, int depth) const {
    if (path.empty() || path.front() != '/') {
        MarkIncomplete(out, "the path " + path);
        return;
    }
    const std::string normal = fs::path(path).lexically_normal().string();
    const MountEntry* entry = FindMountHolding(m_mounts, normal);
    if (entry == nullptr) {
        MarkIncomplete(out, "no file system holds " + path);
        return;
    }
    addMount(*entry, out, depth + 1);
}

void StorageResolver::addMount(const MountEntry& entry, DiskSet& out, int depth) const {
    if (depth > kMaxDepth) {
        MarkIncomplete(out, entry.mountPoint + " (stacked too deep)");
        return;
    }
    // The devices this file system was found on, for the pool lookups below.
    std::vector<std::string> devices;
    if (!entry.devNumber.empty() && !AnonymousDevice(entry.devNumber)) {
        BlockNode node;
        if (FindBlockNodeByDevNumber(m_roots, entry.devNumber, node)) {
            devices.push_back(node.name);
        }
    }
    // The mount source as well: btrfs, overlay and friends report an anonymous device number
    // (0:NN) that names no block device.
    if (!entry.source.empty() && entry.source.front() == '/') {
        const std::string name = KernelNameForPath(m_roots, entry.source);
        if (!name.empty() && std::find(devices.begin(), devices.end(), name) == devices.end()) {
            devices.push_back(name);
        }
    }
    bool found = !devices.empty();
    for (const std::string& name : devices) {
        addBlockDevice(name, out, depth + 1, true);
    }
    if (entry.fsType == "btrfs") {
        addBtrfsMembers(devices, out, depth);
    } else if (entry.fsType == "zfs") {
        found = addZfsPool(entry.source.substr(0, entry.source.find('/')), out, depth) || found;
    } else if (entry.fsType == "overlay") {
        found = addOverlayLayers(entry.superOptions, out, depth) || found;
    }
    if (!found && LivesOnDevice(m_roots, entry)) {
        MarkIncomplete(out, entry.mountPoint + " (" + entry.fsType + " on " + entry.source + ")");
    }
}

void StorageResolver::addBlockDevice(const std::string& name, DiskSet& out, int depth,
                                     bool followFiles) const {
    if (depth > kMaxDepth) {
        MarkIncomplete(out, name + " (stacked too deep)");
        return;
    }
    BlockNode node;
    if (!FindBlockNodeByName(m_roots, name, node)) {
        MarkIncomplete(out, "the block device " + name);
        return;
    }
    const bool known = !out.disks.insert(node.diskName).second;
    if (known && node.partition == 0) {
        return;
    }
    // Members of a mapping or an array hang off the device itself (dm-0/slaves) or, for a
    // partition of an array, off its disk (md0/slaves).
    std::vector<std::string> below = Slaves(m_roots, node.name);
    if (node.partition != 0) {
        const std::vector<std::string> ofDisk = Slaves(m_roots, node.diskName);
        below.insert(below.end(), ofDisk.begin(), ofDisk.end());
    }
    for (const std::string& slave : below) {
        addBlockDevice(slave, out, depth + 1, followFiles);
    }
    const std::string backing = LoopBackingFile(m_roots, node.diskName);
    if (backing.empty()) {
        return;
    }
    // A loop device over a block device writes to that device; over a file, to the file only.
    // What lives on a loop device lives on the file system that holds its file, though.
    if (const std::string device = KernelNameForPath(m_roots, backing); !device.empty()) {
        addBlockDevice(device, out, depth + 1, followFiles);
    } else if (followFiles) {
        addPath(backing, out, depth + 1);
    }
}

void StorageResolver::addBtrfsMembers(const std::vector<std::string>& devices, DiskSet& out,
                                      int depth) const {
    // Every btrfs file system lists all its devices under /sys/fs/btrfs/<uuid>/devices.
    std::error_code ec;
    for (const auto& fileSystem :
         fs::directory_iterator(fs::path(m_roots.sys) / "fs" / "btrfs", ec)) {
        std::vector<std::string> members;
        std::error_code ec2;
        for (const auto& member : fs::directory_iterator(fileSystem.path() / "devices", ec2)) {
            members.push_back(member.path().filename().string());
        }
        const bool ours = std::any_of(members.begin(), members.end(), [&](const std::string& m) {
            return std::find(devices.begin(), devices.end(), m) != devices.end();
        });
        if (!ours) {
            continue;
        }
        std::sort(members.begin(), members.end());
        for (const std::string& member : members) {
            addBlockDevice(member, out, depth + 1, true);
        }
    }
}

bool StorageResolver::addZfsPool(const std::string& pool, DiskSet& out, int depth) const {
    // ZFS reports neither device numbers nor holders; udev's database names every member
    // device with the pool as its label ("E:ID_FS_TYPE=zfs_member", "E:ID_FS_LABEL=rpool").
    if (pool.empty()) {
        return false;
    }
    bool found = false;
    std::error_code ec;
    std::vector<fs::path> records;
    for (const auto& record : fs::directory_iterator(m_roots.udevData, ec)) {
        records.push_back(record.path());
    }
    std::sort(records.begin(), records.end());
    for (const fs::path& record : records) {
        const std::string file = record.filename().string();
        if (file.size() < 2 || file[0] != 'b') {
            continue; // block devices only: "b8:2"
        }
        const std::string text = ReadWhole(record);
        if (text.find("E:ID_FS_TYPE=zfs_member\n") == std::string::npos ||
            text.find("E:ID_FS_LABEL=" + pool + "\n") == std::string::npos) {
            continue;
        }
        BlockNode node;
        if (FindBlockNodeByDevNumber(m_roots, file.substr(1), node)) {
            addBlockDevice(node.name, out, depth + 1, true);
            found = true;
        }
    }
    return found;
}

bool StorageResolver::addOverlayLayers(const std::string& superOptions, DiskSet& out,
                                       int depth) const {
    bool found = false;
    for (const char* key : {"lowerdir", "upperdir", "workdir"}) {
        for (const std::string& value : OptionValues(superOptions, key)) {
            for (const std::string& layer : SplitLayers(value)) {
                addPath(layer, out, depth + 1);
                found = true;
            }
        }
    }
    return found;
}

} // namespace tavero::platform
