// tavero-cli wifi: the recorder's Wi-Fi settings file "car_set/wifi_cfg.txt" on a card's mounted
// FAT partition, read and written as the Wi-Fi dialog does.

#include "cli_common.h"
#include "cli_output.h"
#include "recorderconfig/wifi_config.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

namespace tavero::cli {
namespace {

namespace rc = recorderconfig;

constexpr const char* kWifiHelp =
    "usage: tavero-cli wifi show --root DIR [--json]\n"
    "       tavero-cli wifi save --root DIR [--server S] [--ssid S] [--password P]\n"
    "                            [--auth OPEN|WPAPSK|WPA2PSK] [--encrypt TKIP|AES]\n"
    "                            [--static-ip IP,MASK,GATEWAY,DNS | --static-ip off]\n"
    "The recorder's Wi-Fi settings in DIR/car_set/wifi_cfg.txt (DIR: the card's mounted FAT\n"
    "partition).\n"
    "  show      server, SSID, password, authentication and cipher as the file gives them\n"
    "  save      starts from the file's values, changes the given ones and writes the file;\n"
    "            the password needs at least 8 characters. Every value not given stays as\n"
    "            the file holds it: an empty server, authentication or cipher, a value the\n"
    "            dialog does not offer, the static IP setting and its addresses\n"
    "            (--static-ip off turns it off, keeping the addresses).\n";

std::optional<rc::WifiAuth> ParseAuth(const std::string& text) {
    for (const rc::WifiAuth a : {rc::WifiAuth::Open, rc::WifiAuth::WpaPsk, rc::WifiAuth::Wpa2Psk}) {
        if (text == rc::WifiAuthName(a)) {
            return a;
        }
    }
    return std::nullopt;
}

std::optional<rc::WifiEncrypt> ParseEncrypt(const std::string& text) {
    for (const rc::WifiEncrypt e : {rc::WifiEncrypt::Tkip, rc::WifiEncrypt::Aes}) {
        if (text == rc::WifiEncryptName(e)) {
            return e;
        }
    }
    return std::nullopt;
}

// The values as the file holds them (verbatim when they are none of the names).
std::string AuthText(const rc::WifiSettings& s) {
    return s.auth == rc::WifiAuth::None ? s.authVerbatim : std::string(rc::WifiAuthName(s.auth));
}
std::string EncryptText(const rc::WifiSettings& s) {
    return s.encrypt == rc::WifiEncrypt::None ? s.encryptVerbatim
                                              : std::string(rc::WifiEncryptName(s.encrypt));
}

class PrintingSink : public rc::MessageSink {
public:
    PrintingSink(std::string file, std::FILE* err) : m_file(std::move(file)), m_err(err) {}
    void ShowMessage(std::string_view text) override {
        std::fprintf(m_err, "tavero-cli: %s: %.*s\n", m_file.c_str(), static_cast<int>(text.size()),
                     text.data());
    }

private:
    std::string m_file;
    std::FILE* m_err;
};

} // namespace

int RunWifiCommand(const Args& args, std::FILE* out, std::FILE* err) {
    std::string action;
    std::string root;
    bool json = false;
    std::optional<std::string> server, ssid, password, auth, encrypt, staticIp;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kWifiHelp, out);
            return 0;
        }
        std::optional<std::string>* target = arg == "--server"      ? &server
                                             : arg == "--ssid"      ? &ssid
                                             : arg == "--password"  ? &password
                                             : arg == "--auth"      ? &auth
                                             : arg == "--encrypt"   ? &encrypt
                                             : arg == "--static-ip" ? &staticIp
                                                                    : nullptr;
        if (target != nullptr || arg == "--root") {
            if (i + 1 >= args.size()) {
                return UsageError(arg + " needs a value", err);
            }
            if (target != nullptr) {
                *target = args[++i];
            } else {
                root = args[++i];
            }
        } else if (arg == "--json") {
            json = true;
        } else if (action.empty() && (arg == "show" || arg == "save")) {
            action = arg;
        } else {
            return UsageError("wifi: unknown argument " + arg, err);
        }
    }
    if (action.empty()) {
        return UsageError("wifi needs show or save", err);
    }
    if (root.empty()) {
        return UsageError("wifi needs --root DIR", err);
    }
    if (action == "show" && (server || ssid || password || auth || encrypt || staticIp)) {
        return UsageError("wifi show takes only --root and --json", err);
    }
    rc::WifiSettings settings;
    if (auth && !ParseAuth(*auth)) {
        return UsageError("--auth takes one of: OPEN, WPAPSK, WPA2PSK", err);
    }
    if (encrypt && !ParseEncrypt(*encrypt)) {
        return UsageError("--encrypt takes one of: TKIP, AES", err);
    }
    std::string addresses[4];
    const bool staticOff = staticIp && *staticIp == "off";
    if (staticIp && !staticOff) {
        std::size_t start = 0;
        for (int k = 0; k < 4; ++k) {
            const std::size_t comma = staticIp->find(',', start);
            if ((k < 3) == (comma == std::string::npos)) {
                return UsageError("--static-ip takes IP,MASK,GATEWAY,DNS", err);
            }
            addresses[k] = staticIp->substr(start, comma == std::string::npos ? std::string::npos
                                                                              : comma - start);
            start = comma + 1;
        }
    }
    std::error_code ec;
    if (root.starts_with("/dev/") || !std::filesystem::is_directory(root, ec)) {
        std::fprintf(err, "tavero-cli: %s: not a mounted card folder\n", root.c_str());
        return 1;
    }
    if (root.back() != '/') {
        root += '/';
    }
    const std::string file = root + "car_set/" + std::string(rc::kWifiFile);
    // A command keeps every value of the card's file it is not told to change, the static IP,
    // the authentication and the cipher included.
    const bool haveFile = rc::ReadWifiFile(root, settings);
    if (action == "show") {
        if (!haveFile) {
            std::fprintf(err, "tavero-cli: %s: cannot be read; the dialog's defaults follow\n",
                         file.c_str());
        }
        if (json) {
            JsonObject o;
            o.add("file", file).add("exists", haveFile).add("server", settings.server);
            o.add("ssid", settings.ssid).add("password", settings.password);
            o.add("authmode", AuthText(settings)).add("encrypt", EncryptText(settings));
            std::fprintf(out, "%s\n", o.str().c_str());
        } else {
            std::fprintf(out, "server: %s\nssid: %s\npassword: %s\nauthmode: %s\nencrypt: %s\n",
                         settings.server.c_str(), settings.ssid.c_str(), settings.password.c_str(),
                         AuthText(settings).c_str(), EncryptText(settings).c_str());
        }
        return 0;
    }
    if (server) {
        settings.server = *server;
    }
    if (ssid) {
        settings.ssid = *ssid;
    }
    if (password) {
        settings.password = *password;
    }
    if (auth) {
        settings.auth = *ParseAuth(*auth);
        settings.authVerbatim.clear();
    }
    if (encrypt) {
        settings.encrypt = *ParseEncrypt(*encrypt);
        settings.encryptVerbatim.clear();
    }
    if (staticOff) {
        settings.staticIp = false;
    } else if (staticIp) {
        settings.staticIp = true;
        settings.ip = addresses[0];
        settings.subnetMask = addresses[1];
        settings.gateway = addresses[2];
        settings.dns = addresses[3];
    }
    for (const std::string* text : {&settings.server, &settings.ssid, &settings.password,
                                    &addresses[0], &addresses[1], &addresses[2], &addresses[3]}) {
        if (text->find_first_of("\r\n") != std::string::npos) {
            return UsageError("wifi save: values cannot hold line breaks", err);
        }
    }
    PrintingSink sink(file, err);
    if (!rc::WriteWifiConfig(root, settings, sink)) {
        return 1;
    }
    std::fprintf(out, "saved %s\n", file.c_str());
    return 0;
}

} // namespace tavero::cli
