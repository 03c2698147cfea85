#include "app/drive_settings.h"

#include "platform/drive_table.h"

#include <array>
#include <cstdlib>
#include <filesystem>

namespace tavero::app {

DriveSettingsResult ParseDriveSettings(const std::vector<IniEntry>& lines,
                                       const std::string& baseFolder) {
    DriveSettingsResult result;
    std::array<bool, platform::kMaxDriveNumber + 1> seen{};
    for (const IniEntry& line : lines) {
        const std::string prefix = std::string(kDrivesSection) + ": ";
        if (line.key.size() != 1 || line.key[0] < '0' ||
            line.key[0] > '0' + platform::kMaxDriveNumber) {
            result.problems.push_back(prefix + "key '" + line.key +
                                      "' is not a drive number 0 to 9");
            continue;
        }
        const int drive = line.key[0] - '0';
        if (seen[static_cast<std::size_t>(drive)]) {
            result.problems.push_back(prefix + "drive " + line.key +
                                      " is named twice; the first line counts");
            continue;
        }
        seen[static_cast<std::size_t>(drive)] = true;
        if (line.value.empty()) {
            result.problems.push_back(prefix + "drive " + line.key + " has no path");
            continue;
        }
        std::string path = line.value;
        if (path.rfind("~/", 0) == 0) {
            if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
                path = (std::filesystem::path(home) / path.substr(2)).string();
            }
        } else if (std::filesystem::path(path).is_relative() && !baseFolder.empty()) {
            path = (std::filesystem::path(baseFolder) / path).lexically_normal().string();
        }
        result.entries.push_back({drive, path});
    }
    return result;
}

DriveSettingsResult LoadDriveSettings(const AppSettings& settings) {
    const IniFile file(settings.settingsFilePath());
    DriveSettingsResult result =
        ParseDriveSettings(file.readSection(kDrivesSection), settings.writableFolder());
    for (const DriveSetting& entry : result.entries) {
        platform::SetDrivePath(entry.drive, entry.path);
    }
    return result;
}

} // namespace tavero::app
