// The settings store ("Config.ini") and the user-interface language of the application.
//
// Every read and write opens, reads or rewrites, and closes the settings file; nothing is cached,
// so a second, short-lived AppSettings (as any component may build to read a setting) always sees
// the same values as the main one. Missing files, sections and keys give the caller's default.
// Write failures are not reported to the user; the file is replaced atomically, so a failed write
// leaves the previous settings intact.
//
// Thread: owned by the UI thread; not shared.
#pragma once

#include "app/ini_file.h"
#include "app/language_table.h"
#include "platform/program_paths.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavero::app {

inline constexpr std::string_view kSettingsFileName = "Config.ini";
inline constexpr std::string_view kLanguageFolderName = "Language/";
inline constexpr std::string_view kConfigSection = "Config";
inline constexpr std::string_view kDefaultSection = "Default";
inline constexpr std::string_view kLanguageFileKey = "Language File";
inline constexpr std::string_view kUiModeKey = "UIMode";
inline constexpr std::string_view kLanguageStringSection = "Language String";
inline constexpr std::string_view kRestartAfterLanguageText =
    "After change language settings please restart program";
// Stored "Language File" value meaning "follow the system's locale".
inline constexpr std::string_view kSystemLanguageValue = "None";

// Longest text, in characters (Unicode code points), a string setting or a translation yields.
inline constexpr std::size_t kMaxStringChars = 259;

// UI modes: each selects a skin set of a fixed pixel size.
inline constexpr int kUiMode1920x1080 = 0;
inline constexpr int kUiMode1440x810 = 1;
inline constexpr int kUiMode1024x576 = 2;

// Per-channel decoding and display settings from section "Channel-NN".
struct ChannelSettings {
    std::int32_t enableAudio = 0;
    std::int32_t enableVideo = 1;
    std::int32_t enableDxva2 = 0; // hardware-accelerated decoding
    std::int32_t cutLeft = 0;     // pixels cut from each edge of the decoded picture
    std::int32_t cutTop = 0;
    std::int32_t cutRight = 0;
    std::int32_t cutBottom = 0;
};

inline constexpr std::size_t kCameraLevels = 5;
// Camera register value for each sensitivity level, from section "Camera-N".
using CameraTable = std::array<std::int32_t, kCameraLevels>;

struct LanguageComboItem {
    std::string text; // native name of the language
    int tableIndex;   // row of the language table
};

struct LanguageComboContents {
    std::vector<LanguageComboItem> items;
    int selectedItem = -1; // position in `items`; -1 selects nothing
};

class AppSettings {
public:
    // The running program's settings: folders from the executable's location, the system locale
    // from the environment.
    [[nodiscard]] static AppSettings forRunningProgram();

    // systemLocaleCode: "language_COUNTRY" of the system locale ("zh_CN"); empty when unknown.
    AppSettings(platform::ProgramPaths paths, std::string systemLocaleCode);

    // Folder of the executable, ending in "/".
    [[nodiscard]] const std::string& programFolder() const { return m_paths.programFolder; }
    // Folder of "Config.ini" and other files the program writes, ending in "/".
    [[nodiscard]] const std::string& writableFolder() const { return m_paths.writableFolder; }
    [[nodiscard]] std::string settingsFilePath() const;
    // Path of a shipped read-only file: the first data folder holding `relativePath`, else the
    // path in the first data folder.
    [[nodiscard]] std::string dataFilePath(std::string_view relativePath) const;

    // Integer setting: an optional "-" and decimal digits; text after the digits is ignored.
    // Missing key or no digits: `defaultValue`. Numbers beyond 32 bits saturate.
    [[nodiscard]] std::int32_t ReadInt(std::string_view section, std::string_view key,
                                       std::int32_t defaultValue) const;
    // String setting, at most kMaxStringChars characters. Missing key or empty value:
    // `defaultValue`. The stored value "None" yields the code of the language matching the
    // system locale, or "en_US".
    [[nodiscard]] std::string ReadString(std::string_view section, std::string_view key,
                                         std::string_view defaultValue = {}) const;
    // Failures are ignored as the settings design wants; lastWriteError() tells why for logs.
    void WriteInt(std::string_view section, std::string_view key, std::int32_t value);
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    [[nodiscard]] const IniError& lastWriteError() const { return m_lastWriteError; }

    // Shortcuts for section "Config".
    [[nodiscard]] std::int32_t ReadConfigInt(std::string_view key, std::int32_t defaultValue) const;
    [[nodiscard]] std::string ReadConfigString(std::string_view key,
                                               std::string_view defaultValue = {}) const;
    void WriteConfigInt(std::string_view key, std::int32_t value);
    void WriteConfigString(std::string_view key, std::string_view value);
    // Shortcut for the read-only section "Default" (recorder-configuration defaults).
    [[nodiscard]] std::int32_t ReadDefaultInt(std::string_view key,
                                              std::int32_t defaultValue) const;

    // "Channel-01".."Channel-08" and "Camera-1", "Camera-2".
    [[nodiscard]] static std::string channelSection(int channel);
    [[nodiscard]] static std::string cameraSection(int camera);
    // channel: 1-based; audio is on by default for channel 1 only.
    [[nodiscard]] ChannelSettings ReadChannelSettings(int channel) const;
    // camera: 1 front, 2 rear. Keys "1".."5", defaults 1, 11, 21, 31, 41.
    [[nodiscard]] CameraTable ReadCameraTable(int camera) const;

    // Start-up: marks the languages whose file exists and picks the configured one.
    void LoadLanguage();
    // `text` (English, exactly as the program writes it) in the language in use; the text itself
    // when there is no translation.
    [[nodiscard]] std::string Translate(std::string_view text) const;
    // What the language combo box offers, and which item to select.
    [[nodiscard]] LanguageComboContents FillLanguageCombo() const;
    // The user chose the language at `tableIndex` for the next start. Returns the message to show,
    // or an empty text for an index outside the table (nothing changes then).
    [[nodiscard]] std::string ChooseLanguage(int tableIndex);
    // Exit: stores the chosen language and the configured UI mode.
    void SaveOnExit();

    // Reads the configured UI mode into uiMode() and returns the mode to run in on a screen of
    // the given size in pixels (lowered when the screen is too small for the configured one).
    [[nodiscard]] int ResolveUiMode(int screenWidth, int screenHeight);
    // `mode` lowered until its skins fit the screen.
    [[nodiscard]] static int lowerUiModeForScreen(int mode, int screenWidth, int screenHeight);

    [[nodiscard]] int currentLanguage() const { return m_currentLanguage; }
    [[nodiscard]] int pendingLanguage() const { return m_pendingLanguage; }
    [[nodiscard]] bool isLanguageAvailable(int tableIndex) const;
    // Language folder picked by LoadLanguage(), ending in "/".
    [[nodiscard]] const std::string& languageFolder() const { return m_languageFolder; }
    // The configured UI mode, saved at exit; changed by the configuration dialog.
    [[nodiscard]] int uiMode() const { return m_uiMode; }
    void setUiMode(int mode) { m_uiMode = mode; }

private:
    [[nodiscard]] IniFile settingsFile() const;
    void write(std::string_view section, std::string_view key, std::string_view value);

    platform::ProgramPaths m_paths;
    std::string m_systemLocaleCode;
    std::string m_languageFolder;
    std::array<bool, kLanguageCount> m_available{};
    int m_currentLanguage = 0;
    int m_pendingLanguage = 0;
    int m_uiMode = kUiMode1920x1080;
    IniError m_lastWriteError;
};

} // namespace tavero::app
