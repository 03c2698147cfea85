#pragma once
// A fake machine for the drive scans and the system-disk guard: a sysfs tree shaped like the
// kernel's (devices reached through symbolic links from block/, class/block/ and dev/block/,
// stacks through slaves/ and holders/, btrfs devices under fs/btrfs), a /dev folder of image
// files standing in for the disks, a mountinfo file, a swap list and udev records. Nothing here
// touches a real device.

#include "card_fixture.h"
#include "platform/block_devices.h"
#include "platform/drive_table.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace tavero::testing {

struct FakeDisk {
    std::string name;   // "sdb"
    std::string devNo;  // "8:16"
    std::string parent; // sysfs folder above "block/", relative to devices/
    bool removable = false;
    int partitions = 0; // sdb1.. with dev numbers major:(minor + k)
};

class FakeSystem {
public:
    explicit FakeSystem(const std::filesystem::path& root) : m_root(root) {
        namespace fs = std::filesystem;
        for (const char* d : {"sys/block", "sys/class/block", "sys/dev/block", "dev", "media"}) {
            fs::create_directories(m_root / d);
        }
        roots.sys = (m_root / "sys").string();
        roots.dev = (m_root / "dev").string();
        roots.mountInfo = (m_root / "mountinfo").string();
        roots.swaps = (m_root / "swaps").string();
        roots.udevData = (m_root / "udev").string();
        fs::create_directories(roots.udevData);
        write(m_root / "swaps", "Filename\tType\tSize\tUsed\tPriority");
        platform::SetSysfsRoot(roots.sys);
        platform::ClearDrivePaths();
    }
    ~FakeSystem() {
        platform::SetSysfsRoot("");
        platform::ClearDrivePaths();
    }

    void addDisk(const FakeDisk& d) {
        namespace fs = std::filesystem;
        const fs::path rel = fs::path("devices") / d.parent / "block" / d.name;
        const fs::path dir = m_root / "sys" / rel;
        fs::create_directories(dir);
        write(dir / "dev", d.devNo);
        write(dir / "removable", d.removable ? "1" : "0");
        fs::create_directory_symlink(fs::path("..") / rel, m_root / "sys/block" / d.name);
        link(rel, d.name, d.devNo);
        const std::string major = d.devNo.substr(0, d.devNo.find(':'));
        const int minor = std::stoi(d.devNo.substr(d.devNo.find(':') + 1));
        // "sdb" has "sdb1", "mmcblk0" and "nvme0n1" have "mmcblk0p1" and "nvme0n1p1".
        const bool digit = !d.name.empty() && d.name.back() >= '0' && d.name.back() <= '9';
        for (int k = 1; k <= d.partitions; ++k) {
            const std::string part = d.name + (digit ? "p" : "") + std::to_string(k);
            fs::create_directories(dir / part);
            const std::string devNo = major + ":" + std::to_string(minor + k);
            write(dir / part / "dev", devNo);
            write(dir / part / "partition", std::to_string(k));
            link(rel / part, part, devNo);
        }
    }

    // A device-mapper or RAID disk ("dm-0", "md0") over the given devices, each of which gets
    // it in its holders/ folder; `mapperName` also gets /dev/mapper/<mapperName>.
    void addMapper(const std::string& name, const std::string& devNo,
                   const std::vector<std::string>& slaves, const std::string& mapperName = "") {
        namespace fs = std::filesystem;
        const fs::path rel = fs::path("devices/virtual/block") / name;
        fs::create_directories(m_root / "sys" / rel / "slaves");
        fs::create_directories(m_root / "sys" / rel / "holders");
        write(m_root / "sys" / rel / "dev", devNo);
        write(m_root / "sys" / rel / "removable", "0");
        fs::create_directory_symlink(fs::path("..") / rel, m_root / "sys/block" / name);
        link(rel, name, devNo);
        for (const std::string& slave : slaves) {
            const fs::path slaveDir = fs::canonical(m_root / "sys/class/block" / slave);
            fs::create_directory_symlink(slaveDir, m_root / "sys" / rel / "slaves" / slave);
            fs::create_directories(slaveDir / "holders");
            fs::create_directory_symlink(fs::canonical(m_root / "sys" / rel),
                                         slaveDir / "holders" / name);
        }
        if (!mapperName.empty()) {
            fs::create_directories(m_root / "dev/mapper");
            fs::create_symlink(fs::path("..") / name, m_root / "dev/mapper" / mapperName);
        }
    }
    // A block device node in the fake /dev (a plain file), so that mount sources and swap
    // partitions named by path lead to the kernel name.
    void addNode(const std::string& name) { std::ofstream(m_root / "dev" / name).flush(); }
    // A btrfs file system over the given devices.
    void addBtrfs(const std::string& uuid, const std::vector<std::string>& devices) {
        namespace fs = std::filesystem;
        const fs::path dir = m_root / "sys/fs/btrfs" / uuid / "devices";
        fs::create_directories(dir);
        for (const std::string& d : devices) {
            fs::create_directory_symlink(fs::canonical(m_root / "sys/class/block" / d), dir / d);
        }
    }
    // udev's record of the block device devNo ("8:2"), lines such as "E:ID_FS_TYPE=zfs_member".
    void addUdevRecord(const std::string& devNo, const std::vector<std::string>& lines) {
        std::string text;
        for (const std::string& l : lines) {
            text += l + "\n";
        }
        std::ofstream(m_root / "udev" / ("b" + devNo)) << text;
    }
    void setSwaps(const std::vector<std::pair<std::string, std::string>>& areas) {
        std::string text = "Filename\t\t\t\tType\t\tSize\t\tUsed\t\tPriority\n";
        for (const auto& [path, type] : areas) {
            text += path + "                               " + type + "\t8388604\t\t0\t\t-2\n";
        }
        std::ofstream(m_root / "swaps") << text;
    }
    // A loop device whose backing file is `file`.
    void addLoop(const std::string& name, const std::string& devNo, const std::string& file) {
        addDisk({name, devNo, "virtual", false, 0});
        std::filesystem::create_directories(m_root / "sys/class/block" / name / "loop");
        write(m_root / "sys/class/block" / name / "loop/backing_file", file);
    }

    // The disk's stand-in: a sparse image of `bytes` with or without a partition table.
    std::filesystem::path addImage(int drive, const std::string& name, std::int64_t bytes,
                                   bool partitionTable) {
        const auto path = m_root / "dev" / name;
        { std::ofstream(path).flush(); }
        std::filesystem::resize_file(path, static_cast<std::uintmax_t>(bytes));
        if (partitionTable) {
            std::ofstream out(path, std::ios::in | std::ios::out | std::ios::binary);
            out.seekp(510);
            out.put(static_cast<char>(0x55));
            out.put(static_cast<char>(0xAA));
        }
        platform::SetDrivePath(drive, path.string());
        return path;
    }

    // The fake /dev path of a kernel name, as mount tables and swap lists name devices.
    [[nodiscard]] std::string dev(const std::string& name) const {
        return (m_root / "dev" / name).string();
    }

    // A folder standing for a mount point.
    std::string mountDir(const std::string& name) {
        const auto dir = m_root / "media" / name;
        std::filesystem::create_directories(dir);
        return dir.string();
    }

    struct Mount {
        std::string devNo, point, fsType, source;
        std::string superOptions = "rw";
    };
    void setMounts(const std::vector<Mount>& mounts) {
        m_mounts = mounts;
        std::string text;
        int id = 20;
        for (const Mount& m : mounts) {
            std::string point;
            for (const char c : m.point) {
                point += c == ' ' ? std::string("\\040") : std::string(1, c);
            }
            text += std::to_string(id++) + " 1 " + m.devNo + " / " + point +
                    " rw,relatime shared:1 - " + m.fsType + " " + m.source + " " + m.superOptions +
                    "\n";
        }
        write(m_root / "mountinfo", text);
    }

    // What an unmount leaves: every entry of the mount point gone.
    void removeMount(const std::string& point) {
        std::vector<Mount> left;
        for (const Mount& m : m_mounts) {
            if (m.point != point && m.point + "/" != point && m.point != point + "/") {
                left.push_back(m);
            }
        }
        setMounts(left);
    }
    [[nodiscard]] const std::vector<Mount>& mounts() const { return m_mounts; }

    platform::SystemRoots roots;

private:
    static void write(const std::filesystem::path& file, const std::string& text) {
        std::ofstream(file) << text << "\n";
    }
    void link(const std::filesystem::path& rel, const std::string& name, const std::string& devNo) {
        namespace fs = std::filesystem;
        fs::create_directory_symlink(fs::path("../..") / rel, m_root / "sys/class/block" / name);
        fs::create_directory_symlink(fs::path("../..") / rel, m_root / "sys/dev/block" / devNo);
    }

    std::filesystem::path m_root;
    std::vector<Mount> m_mounts;
};

} // namespace tavero::testing
