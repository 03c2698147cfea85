#include "app/app_settings.h"

#include "platform/system_locale.h"

#include <cstdio>
#include <filesystem>
#include <limits>
#include <optional>
#include <system_error>
#include <utility>

namespace tavero::app {

namespace {

constexpr std::string_view kEnglishCode = "en_US";
constexpr std::string_view kLanguageFileExtension = ".ini";
constexpr CameraTable kCameraDefaults = {1, 11, 21, 31, 41};

// The leading "-" and decimal digits of `text` as a number, saturated to 32 bits; nullopt when
// there are no digits. Saturating keeps the sign and non-zeroness of an oversized value, which is
// what flag-like settings are tested for.
std::optional<std::int32_t> parseLeadingInt(std::string_view text) {
    const bool negative = text.starts_with('-');
    if (negative) {
        text.remove_prefix(1);
    }
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    std::size_t digits = 0;
    for (; digits < text.size() && text[digits] >= '0' && text[digits] <= '9'; ++digits) {
        if (magnitude < kLimit) {
            magnitude = magnitude * 10 + (text[digits] - '0');
        }
    }
    if (digits == 0) {
        return std::nullopt;
    }
    if (magnitude > kLimit) {
        magnitude = kLimit;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(value);
}

// The first `maxChars` code points of UTF-8 `text`; a multi-byte character is never split.
std::string cutToChars(std::string text, std::size_t maxChars) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool startsChar = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
        if (startsChar && chars++ == maxChars) {
            text.resize(i);
            break;
        }
    }
    return text;
}

bool isDirectory(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

} // namespace

AppSettings AppSettings::forRunningProgram() {
    return {platform::discoverProgramPaths(), platform::systemLocaleCode()};
}

AppSettings::AppSettings(platform::ProgramPaths paths, std::string systemLocaleCode)
    : m_paths(std::move(paths)), m_systemLocaleCode(std::move(systemLocaleCode)) {
    if (m_paths.dataFolders.empty()) {
        m_paths.dataFolders.push_back(m_paths.programFolder);
    }
    m_languageFolder = m_paths.dataFolders.front() + std::string(kLanguageFolderName);
}

std::string AppSettings::settingsFilePath() const {
    return m_paths.writableFolder + std::string(kSettingsFileName);
}

std::string AppSettings::dataFilePath(std::string_view relativePath) const {
    for (const auto& folder : m_paths.dataFolders) {
        std::string candidate = folder + std::string(relativePath);
        std::error_code ec;
        if (std::filesystem::exists(candidate, ec)) {
            return candidate;
        }
    }
    return m_paths.dataFolders.front() + std::string(relativePath);
}

IniFile AppSettings::settingsFile() const {
    return IniFile(settingsFilePath());
}

std::int32_t AppSettings::ReadInt(std::string_view section, std::string_view key,
                                  std::int32_t defaultValue) const {
    const auto stored = settingsFile().read(section, key);
    if (!stored) {
        return defaultValue;
    }
    return parseLeadingInt(*stored).value_or(defaultValue);
}

std::string AppSettings::ReadString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue) const {
    auto stored = settingsFile().read(section, key);
    if (!stored || stored->empty()) {
        return std::string(defaultValue);
    }
    if (*stored == kSystemLanguageValue) {
        const int index = findLanguageByCode(m_systemLocaleCode);
        return std::string(index >= 0 ? kLanguageTable[index].code : kEnglishCode);
    }
    return cutToChars(std::move(*stored), kMaxStringChars);
}

void AppSettings::write(std::string_view section, std::string_view key, std::string_view value) {
    m_lastWriteError = {};
    // The per-user folder may not exist before the first write; the program folder always does.
    platform::FileError folderError;
    if (!platform::makeFolders(m_paths.writableFolder, folderError)) {
        m_lastWriteError = {IniErrorCode::WriteFailed, folderError.detail};
        return;
    }
    IniFile file = settingsFile();
    if (!file.write(section, key, value)) {
        m_lastWriteError = file.lastError();
    }
}

void AppSettings::WriteInt(std::string_view section, std::string_view key, std::int32_t value) {
    write(section, key, std::to_string(value));
}

void AppSettings::WriteString(std::string_view section, std::string_view key,
                              std::string_view value) {
    write(section, key, value);
}

std::int32_t AppSettings::ReadConfigInt(std::string_view key, std::int32_t defaultValue) const {
    return ReadInt(kConfigSection, key, defaultValue);
}

std::string AppSettings::ReadConfigString(std::string_view key,
                                          std::string_view defaultValue) const {
    return ReadString(kConfigSection, key, defaultValue);
}

void AppSettings::WriteConfigInt(std::string_view key, std::int32_t value) {
    WriteInt(kConfigSection, key, value);
}

void AppSettings::WriteConfigString(std::string_view key, std::string_view value) {
    WriteString(kConfigSection, key, value);
}

std::int32_t AppSettings::ReadDefaultInt(std::string_view key, std::int32_t defaultValue) const {
    return ReadInt(kDefaultSection, key, defaultValue);
}

std::string AppSettings::channelSection(int channel) {
    char name[32];
    std::snprintf(name, sizeof name, "Channel-%.2d", channel);
    return name;
}

std::string AppSettings::cameraSection(int camera) {
    char name[32];
    std::snprintf(name, sizeof name, "Camera-%d", camera);
    return name;
}

ChannelSettings AppSettings::ReadChannelSettings(int channel) const {
    const std::string section = channelSection(channel);
    ChannelSettings settings;
    settings.enableAudio = ReadInt(section, "EnableAudio", channel == 1 ? 1 : 0);
    settings.enableVideo = ReadInt(section, "EnableVideo", 1);
    settings.enableDxva2 = ReadInt(section, "EnableDXVA2", 0);
    settings.cutLeft = ReadInt(section, "Cut_Left", 0);
    settings.cutTop = ReadInt(section, "Cut_Top", 0);
    settings.cutRight = ReadInt(section, "Cut_Right", 0);
    settings.cutBottom = ReadInt(section, "Cut_Bottom", 0);
    return settings;
}

CameraTable AppSettings::ReadCameraTable(int camera) const {
    const std::string section = cameraSection(camera);
    CameraTable table = kCameraDefaults;
    for (std::size_t level = 0; level < table.size(); ++level) {
        table[level] = ReadInt(section, std::to_string(level + 1), kCameraDefaults[level]);
    }
    return table;
}

void AppSettings::LoadLanguage() {
    m_available.fill(false);
    m_currentLanguage = 0;
    // ReadString has already turned "None" into the system locale's language.
    const std::string wanted = ReadConfigString(kLanguageFileKey);

    // Shipped language files sit next to the executable or in the install's share folder; the
    // first folder that has a language folder is the one used, for listing and for translating.
    m_languageFolder = m_paths.dataFolders.front() + std::string(kLanguageFolderName);
    for (const auto& folder : m_paths.dataFolders) {
        if (isDirectory(folder + std::string(kLanguageFolderName))) {
            m_languageFolder = folder + std::string(kLanguageFolderName);
            break;
        }
    }

    std::error_code ec;
    for (std::filesystem::directory_iterator it(m_languageFolder, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) {
            continue;
        }
        const int index = findLanguageByFileName(it->path().filename().string());
        if (index < 0) {
            continue;
        }
        m_available[index] = true;
        if (m_currentLanguage == 0 && kLanguageTable[index].code == wanted) {
            m_currentLanguage = index;
        }
    }
    m_pendingLanguage = m_currentLanguage;
}

bool AppSettings::isLanguageAvailable(int tableIndex) const {
    return tableIndex >= 0 && tableIndex < static_cast<int>(kLanguageCount) &&
           m_available[tableIndex];
}

std::string AppSettings::Translate(std::string_view text) const {
    if (text.empty() || !isLanguageAvailable(m_currentLanguage)) {
        return std::string(text);
    }
    // Read directly, not through ReadString: a translation that reads "None" is just a word.
    const IniFile file(m_languageFolder + std::string(kLanguageTable[m_currentLanguage].code) +
                       std::string(kLanguageFileExtension));
    auto translation = file.read(kLanguageStringSection, text);
    if (!translation || translation->empty()) {
        return std::string(text);
    }
    return cutToChars(std::move(*translation), kMaxStringChars);
}

LanguageComboContents AppSettings::FillLanguageCombo() const {
    LanguageComboContents contents;
    for (std::size_t i = 0; i < kLanguageTable.size(); ++i) {
        const auto& entry = kLanguageTable[i];
        if (entry.id == kHiddenLanguageId || (i != 0 && !m_available[i])) {
            continue;
        }
        if (static_cast<int>(i) == m_pendingLanguage) {
            contents.selectedItem = static_cast<int>(contents.items.size());
        }
        contents.items.push_back({std::string(entry.nativeName), static_cast<int>(i)});
    }
    return contents;
}

std::string AppSettings::ChooseLanguage(int tableIndex) {
    if (tableIndex < 0 || tableIndex >= static_cast<int>(kLanguageCount)) {
        return {};
    }
    m_pendingLanguage = tableIndex;
    return Translate(kRestartAfterLanguageText);
}

void AppSettings::SaveOnExit() {
    m_currentLanguage = m_pendingLanguage;
    WriteConfigString(kLanguageFileKey, kLanguageTable[m_currentLanguage].code);
    WriteConfigInt(kUiModeKey, m_uiMode);
}

int AppSettings::lowerUiModeForScreen(int mode, int screenWidth, int screenHeight) {
    if (mode == kUiMode1920x1080 && (screenWidth < 1920 || screenHeight < 1080)) {
        mode = kUiMode1440x810;
    }
    // The 1440 x 810 skins need room for the window frame and task bar around them.
    if (mode == kUiMode1440x810 && (screenWidth < 1440 || screenHeight < 900)) {
        mode = kUiMode1024x576;
    }
    return mode;
}

int AppSettings::ResolveUiMode(int screenWidth, int screenHeight) {
    const int configured = ReadConfigInt(kUiModeKey, kUiMode1920x1080);
    // The configured value is what goes back to the file at exit, even when it is unknown.
    m_uiMode = configured;
    // No skin set exists for a value outside 0..2, so this run treats it as the largest mode and
    // lowers it like any other.
    const bool known = configured >= kUiMode1920x1080 && configured <= kUiMode1024x576;
    return lowerUiModeForScreen(known ? configured : kUiMode1920x1080, screenWidth, screenHeight);
}

} // namespace tavero::app
