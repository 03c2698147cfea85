// The fixed table of user-interface languages. A language's file is "Language/" + code + ".ini";
// the row index is what the settings and the language combo box refer to.
//
// Thread: immutable data; any thread may read it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tavero::app {

struct LanguageEntry {
    std::int32_t id;              // 1..41, fixed per language
    std::string_view code;        // file base name, "zh_CN"; some differ from ISO ("cz_CZ")
    std::string_view englishName; // "Chinese (P.R.C.)"
    std::string_view nativeName;  // UTF-8, the text offered to the user: "简体中文"
};

inline constexpr std::size_t kLanguageCount = 41;

// Row 0 is English, the language every text is written in; it needs no file.
extern const std::array<LanguageEntry, kLanguageCount> kLanguageTable;

// Never offered for choosing, though a configured "pl_PL" is still used.
inline constexpr std::int32_t kHiddenLanguageId = 29;

// Index of the row whose code equals `code` exactly; -1 when none does.
[[nodiscard]] int findLanguageByCode(std::string_view code);

// Index of the row whose code + ".ini" equals `fileName` exactly (letter case included); -1 when
// none does.
[[nodiscard]] int findLanguageByFileName(std::string_view fileName);

} // namespace tavero::app
