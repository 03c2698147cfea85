#include "cardtools/disk_layout.h"

#include "platform/block_devices.h"
#include "platform/drive_table.h"
#include "platform/program_paths.h"
#include "platform/raw_file.h"
#include "platform/unique_fd.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tavero::cardtools {
namespace {

constexpr std::uint32_t kHeads = 255;
constexpr std::uint32_t kSectorsPerTrack = 63;

// Cylinder-head-sector form of an LBA for the partition entry; addresses past what the form can
// hold are written as its maximum, as partitioning tools do.
void PutChs(std::uint8_t* p, std::uint64_t lba) {
    const std::uint64_t cylinder = lba / (kHeads * kSectorsPerTrack);
    if (cylinder > 1023) {
        p[0] = 0xFE;
        p[1] = 0xFF;
        p[2] = 0xFF;
        return;
    }
    const std::uint64_t head = lba / kSectorsPerTrack % kHeads;
    const std::uint64_t sector = lba % kSectorsPerTrack + 1;
    p[0] = static_cast<std::uint8_t>(head);
    p[1] = static_cast<std::uint8_t>(sector | ((cylinder >> 2) & 0xC0));
    p[2] = static_cast<std::uint8_t>(cylinder);
}

void PutLe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

std::string FindTool(const std::string& name) {
    if (name.find('/') != std::string::npos) {
        return name;
    }
    std::string path = platform::environmentValue("PATH");
    path += ":/usr/sbin:/sbin";
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t colon = path.find(':', start);
        const std::string folder =
            path.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        if (!folder.empty()) {
            const std::string candidate = folder + "/" + name;
            if (::access(candidate.c_str(), X_OK) == 0) {
                return candidate;
            }
        }
        if (colon == std::string::npos) {
            break;
        }
        start = colon + 1;
    }
    return {};
}

std::string LastLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    const std::size_t nl = text.rfind('\n');
    return nl == std::string::npos ? text : text.substr(nl + 1);
}

} // namespace

std::uint32_t RestorePartitionSectors(std::uint64_t diskSectors) {
    if (diskSectors <= kRestorePartitionFirstLba) {
        return 0;
    }
    const std::uint64_t sectors = diskSectors - kRestorePartitionFirstLba;
    return sectors > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(sectors);
}

std::array<std::uint8_t, 512> BuildRestoreMasterBootRecord(std::uint64_t diskSectors) {
    std::array<std::uint8_t, 512> s{};
    PutLe32(s.data() + 440, kRestoreDiskSignature);
    const std::uint32_t sectors = RestorePartitionSectors(diskSectors);
    std::uint8_t* e = s.data() + 446;
    e[0] = kBootIndicator;
    PutChs(e + 1, kRestorePartitionFirstLba);
    e[4] = kPartitionTypeFat32Lba;
    PutChs(e + 5, std::uint64_t{kRestorePartitionFirstLba} + sectors - 1);
    PutLe32(e + 8, kRestorePartitionFirstLba);
    PutLe32(e + 12, sectors);
    s[510] = 0x55;
    s[511] = 0xAA;
    return s;
}

bool RereadPartitionTableOfDrive(int drive, std::string& error) {
    const auto path = platform::ResolveDrivePath(drive);
    platform::RawFile file;
    if (!path || !file.open(*path, platform::OpenMode::ReadOnly)) {
        error = path ? file.error() : "no such drive";
        return false;
    }
    return platform::RereadPartitionTable(file.fd(), error);
}

bool RunTool(const std::vector<std::string>& argv, std::string& error) {
    if (argv.empty()) {
        error = "no program given";
        return false;
    }
    const std::string program = FindTool(argv[0]);
    if (program.empty()) {
        error = argv[0] + " is not installed";
        return false;
    }
    int pipeFds[2] = {-1, -1};
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        return false;
    }
    platform::UniqueFd readEnd(pipeFds[0]);
    platform::UniqueFd writeEnd(pipeFds[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), 2);
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    writeEnd.reset();
    if (rc != 0) {
        error = argv[0] + ": " + std::strerror(rc);
        return false;
    }
    std::string output;
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(readEnd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        // Only the end matters; keep the text bounded.
        output.append(buffer, static_cast<std::size_t>(n));
        if (output.size() > 8192) {
            output.erase(0, output.size() - 4096);
        }
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        return true;
    }
    const std::string last = LastLine(output);
    error = argv[0] + (last.empty() ? std::string(" failed") : ": " + last);
    return false;
}

bool MakeFatFileSystem(const std::string& path, std::uint32_t firstSector, std::uint32_t sectors,
                       bool fat32, const std::string& label, std::string& error) {
    struct stat st {};
    const bool blockDevice = ::stat(path.c_str(), &st) == 0 && S_ISBLK(st.st_mode);
    std::vector<std::string> argv = {"mkfs.fat"};
    if (fat32) {
        argv.insert(argv.end(), {"-F", "32"});
    }
    if (blockDevice) {
        // The whole disk is the target on purpose: the partition lies inside it at an offset,
        // or the card has no partition table at all.
        argv.push_back("-I");
    }
    if (!label.empty()) {
        argv.insert(argv.end(), {"-n", label});
    }
    if (sectors != 0) {
        argv.push_back("--offset=" + std::to_string(firstSector));
        argv.insert(argv.end(), {"-h", std::to_string(firstSector)});
    }
    argv.push_back(path);
    if (sectors != 0) {
        argv.push_back(std::to_string(sectors / 2)); // mkfs.fat counts 1 KiB blocks
    }
    return RunTool(argv, error);
}

bool SetVolumeLabel(const std::string& partitionDevice, const std::string& label,
                    std::string& error) {
    return RunTool({"fatlabel", partitionDevice, label}, error);
}

} // namespace tavero::cardtools
