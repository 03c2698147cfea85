#include "platform/drive_table.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <mutex>
#include <string_view>

namespace tavero::platform {
namespace {

struct DriveTable {
    std::mutex lock;
    std::map<int, std::string> explicitPaths; // guarded by lock
    std::string sysfsRoot = "/sys";           // guarded by lock
};

DriveTable& Table() {
    static DriveTable table;
    return table;
}

bool IsVirtualDisk(std::string_view name) {
    static constexpr std::array<std::string_view, 8> kPrefixes = {"loop", "ram", "zram", "dm-",
                                                                  "md",   "sr",  "fd",   "nbd"};
    return std::any_of(kPrefixes.begin(), kPrefixes.end(),
                       [&](std::string_view p) { return name.substr(0, p.size()) == p; });
}

std::vector<std::string> ListDisksUnder(const std::string& sysfsRoot) {
    std::vector<std::string> names;
    std::error_code ec;
    std::filesystem::directory_iterator it(sysfsRoot + "/block", ec);
    if (ec) {
        return names;
    }
    for (const auto& entry : it) {
        std::string name = entry.path().filename().string();
        if (!IsVirtualDisk(name)) {
            names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

void SetDrivePath(int n, const std::string& path) {
    DriveTable& t = Table();
    std::lock_guard guard(t.lock);
    if (path.empty()) {
        t.explicitPaths.erase(n);
    } else {
        t.explicitPaths[n] = path;
    }
}

void ClearDrivePaths() {
    DriveTable& t = Table();
    std::lock_guard guard(t.lock);
    t.explicitPaths.clear();
}

void SetSysfsRoot(const std::string& root) {
    DriveTable& t = Table();
    std::lock_guard guard(t.lock);
    t.sysfsRoot = root.empty() ? std::string("/sys") : root;
}

std::vector<std::string> ListWholeDisks() {
    DriveTable& t = Table();
    std::string root;
    {
        std::lock_guard guard(t.lock);
        root = t.sysfsRoot;
    }
    return ListDisksUnder(root);
}

std::optional<std::string> ResolveDrivePath(int n) {
    if (n < 0 || n > kMaxDriveNumber) {
        return std::nullopt;
    }
    DriveTable& t = Table();
    {
        std::lock_guard guard(t.lock);
        if (auto it = t.explicitPaths.find(n); it != t.explicitPaths.end()) {
            return it->second;
        }
    }
    const std::vector<std::string> disks = ListWholeDisks();
    if (static_cast<std::size_t>(n) >= disks.size()) {
        return std::nullopt;
    }
    return "/dev/" + disks[static_cast<std::size_t>(n)];
}

} // namespace tavero::platform
