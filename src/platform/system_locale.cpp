#include "platform/system_locale.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace tavero::platform {

namespace {

bool isLower(char c) {
    return c >= 'a' && c <= 'z';
}
bool isUpper(char c) {
    return c >= 'A' && c <= 'Z';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isLetter(char c) {
    return isLower(c) || isUpper(c);
}

char toLower(char c) {
    return isUpper(c) ? static_cast<char>(c - 'A' + 'a') : c;
}
char toUpper(char c) {
    return isLower(c) ? static_cast<char>(c - 'a' + 'A') : c;
}

// ISO 639 names have two letters, or three for languages without a two-letter name ("ast").
bool isLanguageName(std::string_view text) {
    return (text.size() == 2 || text.size() == 3) &&
           std::all_of(text.begin(), text.end(), isLetter);
}

// ISO 3166 alpha-2 ("CN"), or a UN M.49 region number ("419") that some locales use.
bool isCountryName(std::string_view text) {
    return (text.size() == 2 && std::all_of(text.begin(), text.end(), isLetter)) ||
           (text.size() == 3 && std::all_of(text.begin(), text.end(), isDigit));
}

} // namespace

LocaleName parseLocaleName(std::string_view posixName) {
    const auto end = posixName.find_first_of(".@");
    if (end != std::string_view::npos) {
        posixName = posixName.substr(0, end);
    }
    std::string_view language = posixName;
    std::string_view country;
    const auto underscore = posixName.find('_');
    if (underscore != std::string_view::npos) {
        language = posixName.substr(0, underscore);
        country = posixName.substr(underscore + 1);
    }

    LocaleName result;
    if (!isLanguageName(language)) {
        return result;
    }
    std::transform(language.begin(), language.end(), std::back_inserter(result.language), toLower);
    if (isCountryName(country)) {
        std::transform(country.begin(), country.end(), std::back_inserter(result.country), toUpper);
    }
    return result;
}

LocaleName messagesLocale(const char* lcAll, const char* lcMessages, const char* lang) {
    for (const char* value : {lcAll, lcMessages, lang}) {
        // An empty variable counts as unset.
        if (value != nullptr && *value != '\0') {
            return parseLocaleName(value);
        }
    }
    return {};
}

LocaleName systemLocale() {
    // NOLINTBEGIN(concurrency-mt-unsafe): see header
    return messagesLocale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
    // NOLINTEND(concurrency-mt-unsafe)
}

std::string localeCode(const LocaleName& locale) {
    if (locale.language.empty() || locale.country.empty()) {
        return {};
    }
    return locale.language + "_" + locale.country;
}

std::string systemLocaleCode() {
    return localeCode(systemLocale());
}

} // namespace tavero::platform
