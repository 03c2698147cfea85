#pragma once
// A fake machine for the drive scans: a sysfs tree shaped like the kernel's (devices reached
// through symbolic links from block/, class/block/ and dev/block/), a /dev folder of image files
// standing in for the disks, and a mountinfo file. Nothing here touches a real device.

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
        for (int k = 1; k <= d.partitions; ++k) {
            const std::string part = d.name + std::to_string(k);
            fs::create_directories(dir / part);
            const std::string devNo = major + ":" + std::to_string(minor + k);
            write(dir / part / "dev", devNo);
            write(dir / part / "partition", std::to_string(k));
            link(rel / part, part, devNo);
        }
    }

    // Device-mapper disk dm-N over the partition `slave`.
    void addMapper(const std::string& name, const std::string& devNo, const std::string& slave) {
        namespace fs = std::filesystem;
        const fs::path rel = fs::path("devices/virtual/block") / name;
        fs::create_directories(m_root / "sys" / rel / "slaves");
        write(m_root / "sys" / rel / "dev", devNo);
        link(rel, name, devNo);
        fs::create_directory_symlink(fs::canonical(m_root / "sys/class/block" / slave),
                                     m_root / "sys" / rel / "slaves" / slave);
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

    // A folder standing for a mount point.
    std::string mountDir(const std::string& name) {
        const auto dir = m_root / "media" / name;
        std::filesystem::create_directories(dir);
        return dir.string();
    }

    struct Mount {
        std::string devNo, point, fsType, source;
    };
    void setMounts(const std::vector<Mount>& mounts) {
        std::string text;
        int id = 20;
        for (const Mount& m : mounts) {
            std::string point;
            for (const char c : m.point) {
                point += c == ' ' ? std::string("\\040") : std::string(1, c);
            }
            text += std::to_string(id++) + " 1 " + m.devNo + " / " + point +
                    " rw,relatime shared:1 - " + m.fsType + " " + m.source + " rw\n";
        }
        write(m_root / "mountinfo", text);
    }

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
};

} // namespace tavero::testing
