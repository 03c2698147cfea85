#pragma once
// The recorder's Wi-Fi settings file "car_set/wifi_cfg.txt": 8-bit text in the layout of an
// initialisation file with one section whose name is empty, lines ending in CR LF.
//
// Thread: UI thread (the Wi-Fi dialog), or the command-line tool.

#include "recorderconfig/messages.h"

#include <string>
#include <string_view>

namespace tavero::recorderconfig {

inline constexpr std::string_view kWifiFile = "wifi_cfg.txt";
inline constexpr std::size_t kWifiMinPassword = 8;
inline constexpr std::string_view kWifiDefaultServer = "0.0.0.0";

enum class WifiAuth { None, Open, WpaPsk, Wpa2Psk };
enum class WifiEncrypt { None, Tkip, Aes };

// The dialog's fields. The dialog opens with OPEN and TKIP selected and static IP off.
struct WifiSettings {
    std::string server;
    std::string ssid;
    std::string password;
    WifiAuth auth = WifiAuth::Open;
    WifiEncrypt encrypt = WifiEncrypt::Tkip;
    // With auth (encrypt) None: the value written instead of an empty one. The command-line
    // tool keeps a value the card's file holds that is none of the names.
    std::string authVerbatim;
    std::string encryptVerbatim;
    bool staticIp = false;
    std::string ip;
    std::string subnetMask;
    std::string gateway;
    std::string dns;
};

[[nodiscard]] std::string_view WifiAuthName(WifiAuth auth);      // "" for None
[[nodiscard]] std::string_view WifiEncryptName(WifiEncrypt enc); // "" for None

// Fills server ("0.0.0.0" when the key is absent; a present empty value stays empty), SSID and
// password from the file under driveRoot; sets auth
// and encrypt only when the file names one of their values exactly (case-sensitive). The static
// IP fields are not read back: they keep what `settings` held. Returns whether the file could be
// read (a missing file still sets the defaults above).
bool ReadWifiConfig(std::string_view driveRoot, WifiSettings& settings);

// The static IP tick and the four address lines of the file, which the dialog does not read
// back; the command-line tool keeps them when it is not told to change them. False when the
// file cannot be read (settings unchanged then).
bool ReadWifiStaticIp(std::string_view driveRoot, WifiSettings& settings);

// Everything the file says, as the command-line tool keeps it when it is not told to change a
// value: ReadWifiConfig and ReadWifiStaticIp, and the authentication and cipher exactly as the
// file holds them (an empty or unknown value is kept verbatim, where the dialog would keep its
// radio buttons). False when the file cannot be read: settings then hold the dialog's defaults.
bool ReadWifiFile(std::string_view driveRoot, WifiSettings& settings);

// The file text as written: "[]", server, ssid, password, authmode, encrypt, UsesStaticIp, and the
// four address lines (always, even with static IP off), each ending in CR LF.
[[nodiscard]] std::string WifiConfigText(const WifiSettings& settings);

// Refuses a password shorter than 8 characters (kMsgWifiPasswordShort; the file is not touched);
// creates "car_set/" and writes the file, or shows kMsgWifiSaveFail when it cannot be written.
[[nodiscard]] bool WriteWifiConfig(std::string_view driveRoot, const WifiSettings& settings,
                                   MessageSink& messages);

} // namespace tavero::recorderconfig
