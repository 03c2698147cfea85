#include "recorderconfig/wifi_config.h"

#include "recorderconfig/car_set_files.h"

#include <cctype>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

namespace tavero::recorderconfig {
namespace {

// Values are read into a buffer of 260 characters, as the recorder's own tools do.
constexpr std::size_t kMaxValueChars = 259;
// A settings file larger than this is not the recorder's; it is not read.
constexpr std::streamsize kMaxFileBytes = 1 << 20;

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

bool SameKey(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// key=value lines of the section whose name is empty ("[]"), in file order.
struct IniLine {
    std::string key;
    std::string value;
};

std::vector<IniLine> EmptySectionLines(const std::string& text) {
    std::vector<IniLine> lines;
    bool inSection = false;
    bool seenSection = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string_view line = Trim(std::string_view(text).substr(pos, end - pos));
        pos = end + 1;
        if (!line.empty() && line.front() == '[') {
            const std::size_t close = line.find(']');
            const bool empty =
                close != std::string_view::npos && Trim(line.substr(1, close - 1)).empty();
            // Only the first section of a name counts.
            inSection = empty && !seenSection;
            seenSection = seenSection || empty;
            continue;
        }
        const std::size_t eq = line.find('=');
        if (!inSection || eq == std::string_view::npos || line.front() == ';') {
            continue;
        }
        std::string_view value = Trim(line.substr(eq + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        lines.push_back(
            {std::string(Trim(line.substr(0, eq))), std::string(value.substr(0, kMaxValueChars))});
    }
    return lines;
}

std::optional<std::string> Lookup(const std::vector<IniLine>& lines, std::string_view key) {
    for (const IniLine& line : lines) {
        if (SameKey(line.key, key)) {
            return line.value;
        }
    }
    return std::nullopt;
}

} // namespace

std::string_view WifiAuthName(WifiAuth auth) {
    switch (auth) {
    case WifiAuth::Open:
        return "OPEN";
    case WifiAuth::WpaPsk:
        return "WPAPSK";
    case WifiAuth::Wpa2Psk:
        return "WPA2PSK";
    case WifiAuth::None:
        break;
    }
    return "";
}

std::string_view WifiEncryptName(WifiEncrypt enc) {
    switch (enc) {
    case WifiEncrypt::Tkip:
        return "TKIP";
    case WifiEncrypt::Aes:
        return "AES";
    case WifiEncrypt::None:
        break;
    }
    return "";
}

bool ReadWifiConfig(std::string_view driveRoot, WifiSettings& settings) {
    std::string text;
    bool read = false;
    if (!IsRawOnlyRoot(driveRoot)) {
        std::ifstream in(CarSetPath(driveRoot, kWifiFile), std::ios::binary);
        if (in) {
            text.resize(static_cast<std::size_t>(kMaxFileBytes));
            in.read(text.data(), kMaxFileBytes);
            text.resize(static_cast<std::size_t>(in.gcount()));
            read = true;
        }
    }
    const std::vector<IniLine> lines = EmptySectionLines(text);
    // The default stands in for a missing key only: an empty value is the user's.
    settings.server = Lookup(lines, "server").value_or(std::string(kWifiDefaultServer));
    settings.ssid = Lookup(lines, "ssid").value_or("");
    settings.password = Lookup(lines, "password").value_or("");
    const std::string auth = Lookup(lines, "authmode").value_or("");
    for (const WifiAuth a : {WifiAuth::Open, WifiAuth::WpaPsk, WifiAuth::Wpa2Psk}) {
        if (auth == WifiAuthName(a)) {
            settings.auth = a;
        }
    }
    const std::string encrypt = Lookup(lines, "encrypt").value_or("");
    for (const WifiEncrypt e : {WifiEncrypt::Tkip, WifiEncrypt::Aes}) {
        if (encrypt == WifiEncryptName(e)) {
            settings.encrypt = e;
        }
    }
    return read;
}

bool ReadWifiStaticIp(std::string_view driveRoot, WifiSettings& settings) {
    if (IsRawOnlyRoot(driveRoot)) {
        return false;
    }
    std::ifstream in(CarSetPath(driveRoot, kWifiFile), std::ios::binary);
    if (!in) {
        return false;
    }
    std::string text(static_cast<std::size_t>(kMaxFileBytes), '\0');
    in.read(text.data(), kMaxFileBytes);
    text.resize(static_cast<std::size_t>(in.gcount()));
    const std::vector<IniLine> lines = EmptySectionLines(text);
    settings.staticIp = Lookup(lines, "UsesStaticIp").value_or("0") == "1";
    settings.ip = Lookup(lines, "IP").value_or("");
    settings.subnetMask = Lookup(lines, "SubnetMask").value_or("");
    settings.gateway = Lookup(lines, "Gateway").value_or("");
    settings.dns = Lookup(lines, "DNS").value_or("");
    return true;
}

bool ReadWifiFile(std::string_view driveRoot, WifiSettings& settings) {
    settings = WifiSettings{};
    if (!ReadWifiConfig(driveRoot, settings)) {
        return false;
    }
    (void)ReadWifiStaticIp(driveRoot, settings);
    std::ifstream in(CarSetPath(driveRoot, kWifiFile), std::ios::binary);
    std::string text(static_cast<std::size_t>(kMaxFileBytes), '\0');
    in.read(text.data(), kMaxFileBytes);
    text.resize(static_cast<std::size_t>(in.gcount()));
    const std::vector<IniLine> lines = EmptySectionLines(text);
    const std::string auth = Lookup(lines, "authmode").value_or("");
    const std::string encrypt = Lookup(lines, "encrypt").value_or("");
    if (WifiAuthName(settings.auth) != auth) {
        settings.auth = WifiAuth::None;
        settings.authVerbatim = auth;
    }
    if (WifiEncryptName(settings.encrypt) != encrypt) {
        settings.encrypt = WifiEncrypt::None;
        settings.encryptVerbatim = encrypt;
    }
    return true;
}

std::string WifiConfigText(const WifiSettings& s) {
    std::string text;
    const auto line = [&text](std::string_view key, std::string_view value) {
        text += key;
        text += value;
        text += "\r\n";
    };
    line("[]", "");
    line("server=", s.server);
    line("ssid=", s.ssid);
    line("password=", s.password);
    line("authmode=",
         s.auth == WifiAuth::None ? std::string_view(s.authVerbatim) : WifiAuthName(s.auth));
    line("encrypt=", s.encrypt == WifiEncrypt::None ? std::string_view(s.encryptVerbatim)
                                                    : WifiEncryptName(s.encrypt));
    line("UsesStaticIp=", s.staticIp ? "1" : "0");
    line("IP=", s.ip);
    line("SubnetMask =", s.subnetMask);
    line("Gateway=", s.gateway);
    line("DNS=", s.dns);
    return text;
}

bool WriteWifiConfig(std::string_view driveRoot, const WifiSettings& settings,
                     MessageSink& messages) {
    if (settings.password.size() < kWifiMinPassword) {
        messages.ShowMessage(kMsgWifiPasswordShort);
        return false;
    }
    const std::string text = WifiConfigText(settings);
    bool written = false;
    if (!IsRawOnlyRoot(driveRoot)) {
        // A folder that cannot be made shows up as the file failing below.
        (void)CreateCarSetFolder(driveRoot);
        written = WriteWholeFile(
            CarSetPath(driveRoot, kWifiFile),
            std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    }
    if (!written) {
        messages.ShowMessage(kMsgWifiSaveFail);
        return false;
    }
    return true;
}

} // namespace tavero::recorderconfig
