#pragma once
// Which disks a file system lives on, followed all the way down: partitions to their disks,
// device-mapper and software-RAID devices to every member (LVM over several disks, RAID1 pairs),
// btrfs and ZFS file systems to every device of their pool, overlay file systems to the file
// systems of their layers, and loop devices to the file system of their backing file. The card
// tools refuse every disk under the running system and under the running program: formatting
// any member of such a stack destroys it.
//
// Everything is read through SystemRoots (sysfs, /dev, the mount table, the swap list, udev's
// database), so tests describe a machine with fake trees.
//
// Thread: an object belongs to one thread; it holds a snapshot of the mount table.

#include "platform/block_devices.h"
#include "platform/mount_table.h"

#include <set>
#include <string>
#include <vector>

namespace tavero::platform {

struct DiskSet {
    // Kernel names: the whole disks at the bottom of every stack and every device met on the
    // way down ("dm-0", "md0", "loop3").
    std::set<std::string> disks;
    // False when a file system that lives on a local device led to no device at all; the set
    // is then not the whole truth. unresolved names the first such file system.
    bool complete = true;
    std::string unresolved;

    [[nodiscard]] bool contains(const std::string& name) const { return disks.count(name) != 0; }
    [[nodiscard]] bool intersects(const DiskSet& other) const;
};

class StorageResolver {
public:
    explicit StorageResolver(SystemRoots roots = {});

    // Reads the mount table and the swap list; false when the mount table cannot be read (every
    // answer is then incomplete).
    [[nodiscard]] bool load();
    // The same over tables the caller has (tests, or a table just read).
    void setTables(std::vector<MountEntry> mounts, std::string swapsText);

    // The disks under the running system: the file systems mounted at "/", "/boot",
    // "/boot/efi", "/efi", "/usr", "/var" and "/home", and every swap area.
    [[nodiscard]] DiskSet SystemDisks() const;
    // The disks under the file system that holds path (absolute; the program's own file, a swap
    // file, an overlay layer).
    [[nodiscard]] DiskSet DisksOfPath(const std::string& path) const;
    // The disks under one mounted file system.
    [[nodiscard]] DiskSet DisksOfMount(const MountEntry& entry) const;
    // The disks under a block device given by kernel name (a disk, a partition, "dm-1"): what
    // formatting it would overwrite. A loop device over a file overwrites only the file.
    [[nodiscard]] DiskSet DisksOfBlockDevice(const std::string& name) const;

    [[nodiscard]] const std::vector<MountEntry>& mounts() const { return m_mounts; }
    [[nodiscard]] const SystemRoots& roots() const { return m_roots; }

private:
    void addMount(const MountEntry& entry, DiskSet& out, int depth) const;
    void addPath(const std::string& path, DiskSet& out, int depth) const;
    // followFiles: whether a loop device's backing file counts with the disks of the file
    // system that holds it (what lives on the loop device does; what is written to it does
    // not reach them).
    void addBlockDevice(const std::string& name, DiskSet& out, int depth, bool followFiles) const;
    void addBtrfsMembers(const std::vector<std::string>& devices, DiskSet& out, int depth) const;
    [[nodiscard]] bool addZfsPool(const std::string& pool, DiskSet& out, int depth) const;
    [[nodiscard]] bool addOverlayLayers(const std::string& superOptions, DiskSet& out,
                                        int depth) const;

    SystemRoots m_roots;
    std::vector<MountEntry> m_mounts;
    std::string m_swaps;
    bool m_loaded = false;
};

// The swap areas of a /proc/swaps text: each file name (escapes decoded) and whether it is a
// partition (else a file).
struct SwapArea {
    std::string path;
    bool partition = false;
};
[[nodiscard]] std::vector<SwapArea> ParseSwaps(const std::string& text);

} // namespace tavero::platform
