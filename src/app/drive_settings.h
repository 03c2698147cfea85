// Section "Drives" of "Config.ini": which block device or whole-card image file stands for a
// recorder drive number, for example "3=/home/me/card.img". The window and the command-line tool
// load it into the drive table before they open drives; options given on the command line
// (--drive N=PATH) are applied afterwards and win.
//
// Thread: UI thread (or the tool's main thread), before drives are opened.
#pragma once

#include "app/app_settings.h"
#include "app/ini_file.h"

#include <string>
#include <string_view>
#include <vector>

namespace tavero::app {

inline constexpr std::string_view kDrivesSection = "Drives";

struct DriveSetting {
    int drive = 0;
    std::string path;
    friend bool operator==(const DriveSetting&, const DriveSetting&) = default;
};

struct DriveSettingsResult {
    std::vector<DriveSetting> entries; // in file order
    // Lines that were left out, for people ("Drives: key 'x' is not a drive number 0 to 9").
    std::vector<std::string> problems;
};

// Keys are one digit 0..9; values are paths, "~/" meaning the home folder and a relative path
// meaning one in `baseFolder`. An empty value, an unknown key or a repeated drive is left out.
[[nodiscard]] DriveSettingsResult ParseDriveSettings(const std::vector<IniEntry>& lines,
                                                     const std::string& baseFolder);

// Reads the section from the settings file and sets every entry in the drive table; drives the
// section does not name keep what they had. A missing file or section sets nothing.
DriveSettingsResult LoadDriveSettings(const AppSettings& settings);

} // namespace tavero::app
