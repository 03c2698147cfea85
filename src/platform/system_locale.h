// The system's default locale as the two ISO names the language settings are keyed by.
//
// Thread: free functions; they read the environment, so call them from the UI thread (or any
// thread while nothing calls setenv).
#pragma once

#include <string>
#include <string_view>

namespace tavero::platform {

struct LocaleName {
    std::string language; // ISO 639 language, lower case ("zh"); empty when unknown
    std::string country;  // ISO 3166 country, upper case ("CN"); empty when unknown
};

// Splits a POSIX locale name "language[_territory][.codeset][@modifier]" ("zh_CN.UTF-8").
// "C", "POSIX" and malformed names give empty parts.
[[nodiscard]] LocaleName parseLocaleName(std::string_view posixName);

// Locale of the user's messages: the first set of LC_ALL, LC_MESSAGES and LANG, as the C library
// picks it.
[[nodiscard]] LocaleName systemLocale();

// The choice systemLocale() makes, given the three variables (nullptr when unset).
[[nodiscard]] LocaleName messagesLocale(const char* lcAll, const char* lcMessages,
                                        const char* lang);

// "language_COUNTRY" ("zh_CN") of a locale; empty when either part is unknown.
[[nodiscard]] std::string localeCode(const LocaleName& locale);

// localeCode(systemLocale()).
[[nodiscard]] std::string systemLocaleCode();

} // namespace tavero::platform
