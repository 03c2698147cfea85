// The configuration page's view of this program's settings: "Config.ini" through AppSettings,
// the interface language, and the plate provinces of the Chinese language file.
//
// Thread: UI thread (the page is modal).
#pragma once

#include "app/app_settings.h"
#include "recorderconfig/config_page.h"

#include <string>
#include <vector>

namespace tavero::app {

inline constexpr std::string_view kChineseLanguageCode = "zh_CN";
inline constexpr std::string_view kProvincesSection = "Provinces";

class AppPageSettings final : public recorderconfig::PageSettings {
public:
    explicit AppPageSettings(AppSettings& settings) : m_settings(settings) {}

    [[nodiscard]] int ReadInt(std::string_view section, std::string_view key,
                              int defaultValue) const override;
    void WriteInt(std::string_view section, std::string_view key, int value) override;
    // The language in use, not the one chosen for the next start.
    [[nodiscard]] bool IsChineseInterface() const override;
    // "key=value" for every line of section "Provinces" of "Language/zh_CN.ini", in file order.
    [[nodiscard]] std::vector<std::string> ProvinceLines() const override;

private:
    AppSettings& m_settings;
};

} // namespace tavero::app
