#include "app/language_table.h"

namespace tavero::app {

const std::array<LanguageEntry, kLanguageCount> kLanguageTable = {{
    {1, "en_US", "English", "English"},
    {2, "zh_CN", "Chinese (P.R.C.)", "简体中文"},
    {3, "ar_AE", "Arabic (UAE)", "العربية"},
    {4, "ba_BA", "Basque", "Euskal"},
    {5, "bg_BG", "Bulgarian", "Български"},
    {6, "ca_ES", "Catalan", "Català"},
    {7, "cz_CZ", "Czech", "Česky"},
    {8, "da_DK", "Danish", "Dansk"},
    {9, "de_DE", "German (Germany)", "Deutsch"},
    {10, "el_GR", "Greek", "Ελληνικά"},
    {11, "es_ES", "Spanish (Castilian)", "Español Genérico"},
    {12, "es_AS", "Asturian", "asturianu"},
    {13, "et_EE", "Estonian", "eesti keel"},
    {14, "fi_FI", "Finnish", "Suomi"},
    {15, "fr_FR", "French (France)", "le français"},
    {16, "fr_BR", "French (Breton)", "Brezhoneg"},
    {17, "gl_ES", "Galician", "galego"},
    {18, "he_IL", "Hebrew", "עִבְרִית Ivrit"},
    {19, "hu_HU", "Hungarian", "magyar"},
    {20, "it_IT", "Italian (Italy)", "Italiano"},
    {21, "jp_JP", "Japanese", "日本語"},
    {22, "ko_KR", "Korean", "한국어"},
    {23, "lt_LT", "Lithuanian", "lietuvių kalba"},
    {24, "lv_LV", "Latvian", "latviešu valoda"},
    {25, "mt_MT", "Maltese", "Lingwa malta"},
    {26, "nb_NO", "Norwegian (Bokmal)", "bokmål"},
    {27, "nn_NO", "Norwegian (Nynorsk)", "nynorsk"},
    {28, "nl_NL", "Dutch (Netherlands)", "Nederlands"},
    {29, "pl_PL", "Polish", "język polski"},
    {30, "pt_BR", "Portuguese (Brazil)", "Português-Brasil"},
    {31, "pt_PT", "Portuguese (Portugal)", "Português"},
    {32, "ro_RO", "Rumanisch", "limba română"},
    {33, "ru_RU", "Russian", "русский язык"},
    {34, "sl_SI", "Slovenian", "slovenščina"},
    {35, "sq_AL", "Albanian (Albania)", "Gjuha shqipe"},
    {36, "sv_SE", "Swedish", "svenska"},
    {37, "tr_TR", "Turkish", "Türkçe"},
    {38, "ua_UA", "Ukrainian", "українська мова"},
    {39, "zh_TW", "Chinese (Taiwan)", "繁體中文"},
    {40, "vi_VN", "Vietnamese", "tiếng Việt"},
    {41, "th_TH", "Thailand", "ไทย"},
}};

int findLanguageByCode(std::string_view code) {
    for (std::size_t i = 0; i < kLanguageTable.size(); ++i) {
        if (kLanguageTable[i].code == code) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int findLanguageByFileName(std::string_view fileName) {
    constexpr std::string_view kExtension = ".ini";
    if (!fileName.ends_with(kExtension)) {
        return -1;
    }
    return findLanguageByCode(fileName.substr(0, fileName.size() - kExtension.size()));
}

} // namespace tavero::app
