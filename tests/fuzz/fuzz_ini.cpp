// Fuzz target: the settings reader ("Config.ini", the language files) on arbitrary text: every
// read, and a write that must leave a file the reader gives the written value back from.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/ini_file.h"

using tavero::app::IniFile;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    (void)IniFile::decode(text);
    for (const std::string_view section : {"Config", "Drives", "", "Channel-01"}) {
        (void)IniFile::findValue(text, section, "UIMode");
        for (const auto& entry : IniFile::sectionEntries(text, section)) {
            (void)IniFile::findValue(text, section, entry.key);
        }
    }
    const auto written = IniFile::withValue(text, "Config", "UIMode", "2");
    if (written) {
        const auto back = IniFile::findValue(*written, "Config", "UIMode");
        if (!back || *back != "2") {
            __builtin_trap();
        }
    }
    return 0;
}
