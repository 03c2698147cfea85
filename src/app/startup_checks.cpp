#include "app/startup_checks.h"

#include "app/language_table.h"
#include "platform/program_paths.h"

namespace tavero::app {

StartupProblem SettingsFileProblem(const AppSettings& settings) {
    std::string bytes;
    platform::FileError error;
    const std::string path = settings.settingsFilePath();
    switch (platform::readWholeFile(path, IniFile::kMaxFileBytes, bytes, error)) {
    case platform::ReadFileStatus::Ok:
    case platform::ReadFileStatus::Missing:
        return {};
    case platform::ReadFileStatus::TooLarge:
        return {kSettingsUnreadableText, path + " (larger than a settings file)"};
    case platform::ReadFileStatus::Failed:
        break;
    }
    return {kSettingsUnreadableText,
            path + (error.detail.empty() ? std::string() : " (" + error.detail + ")")};
}

StartupProblem LanguageFileProblem(const AppSettings& settings) {
    const std::string wanted = settings.ReadConfigString(kLanguageFileKey);
    if (wanted.empty() || wanted == kLanguageTable[0].code) {
        return {};
    }
    const int row = findLanguageByCode(wanted);
    if (row > 0 && settings.currentLanguage() == row) {
        return {};
    }
    if (row < 0) {
        // A code the program does not know: English is meant (and no file would be read).
        return {};
    }
    return {kLanguageMissingText, settings.languageFolder() + wanted + ".ini"};
}

StartupProblem DriveSettingsProblem(const std::vector<std::string>& problems) {
    if (problems.empty()) {
        return {};
    }
    StartupProblem problem{kDrivesIgnoredText, {}};
    for (const std::string& p : problems) {
        problem.detail += "\n" + p;
    }
    return problem;
}

std::optional<std::string> OffsetGridToLoad(const AppSettings& settings) {
    if (settings.ReadConfigInt("GPS_Offset_Auto", 1) != 1) {
        return std::nullopt;
    }
    return settings.dataFilePath("offset_min.bin");
}

} // namespace tavero::app
