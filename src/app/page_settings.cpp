#include "app/page_settings.h"

#include "app/ini_file.h"
#include "app/language_table.h"

namespace tavero::app {

int AppPageSettings::ReadInt(std::string_view section, std::string_view key,
                             int defaultValue) const {
    return m_settings.ReadInt(section, key, defaultValue);
}

void AppPageSettings::WriteInt(std::string_view section, std::string_view key, int value) {
    m_settings.WriteInt(section, key, value);
}

bool AppPageSettings::IsChineseInterface() const {
    const int language = m_settings.currentLanguage();
    return language >= 0 && static_cast<std::size_t>(language) < kLanguageCount &&
           kLanguageTable[static_cast<std::size_t>(language)].code == kChineseLanguageCode;
}

std::vector<std::string> AppPageSettings::ProvinceLines() const {
    const IniFile file(m_settings.languageFolder() + std::string(kChineseLanguageCode) + ".ini");
    std::vector<std::string> lines;
    for (const IniEntry& entry : file.readSection(kProvincesSection)) {
        lines.push_back(entry.key + "=" + entry.value);
    }
    return lines;
}

} // namespace tavero::app
