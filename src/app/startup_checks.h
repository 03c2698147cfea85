// What the program says at start when its own files are not as they should be: a settings file
// that exists but cannot be read (the defaults are used, and it is not overwritten at exit), a
// configured language whose file is missing (English is used), and lines of the "Drives"
// section that were left out. Texts are English keys for the window to translate; empty when
// all is well.
//
// Thread: UI thread, at start-up.
#pragma once

#include "app/app_settings.h"

#include <optional>
#include <string>
#include <vector>

namespace tavero::app {

inline constexpr std::string_view kSettingsUnreadableText =
    "The settings file cannot be read, so the default settings are used and the file is left "
    "as it is: ";
inline constexpr std::string_view kLanguageMissingText =
    "The language file is missing, so the texts are shown in English: ";
inline constexpr std::string_view kDrivesIgnoredText =
    "Some lines of the section \"Drives\" in Config.ini were left out:";

struct StartupProblem {
    std::string_view englishText; // empty: nothing to say
    std::string detail;
    [[nodiscard]] bool none() const { return englishText.empty(); }
};

// Why "Config.ini" exists but cannot be read (detail: its path and the reason); none when it
// can be read or does not exist yet.
[[nodiscard]] StartupProblem SettingsFileProblem(const AppSettings& settings);

// After LoadLanguage: the configured language (not English) whose file is missing (detail: the
// file's path); none when the configured language is in use or is not one the program knows.
[[nodiscard]] StartupProblem LanguageFileProblem(const AppSettings& settings);

// The "Drives" lines that were left out (detail: one per line); none when there are none.
[[nodiscard]] StartupProblem DriveSettingsProblem(const std::vector<std::string>& problems);

// The GPS offset grid to load at start ("GPS_Offset_Auto" 1, the default): its path; none when
// fixed offsets are configured instead.
[[nodiscard]] std::optional<std::string> OffsetGridToLoad(const AppSettings& settings);

} // namespace tavero::app
