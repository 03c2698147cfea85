// tavero-cli config: the recorder's configuration on a card, shown and saved through the same
// page model as the configuration dialog, and the factory defaults written after a format.

#include "cli_common.h"
#include "cli_output.h"
#include "platform/drive_table.h"
#include "recorderconfig/card_save.h"
#include "recorderconfig/config_page.h"
#include "store/sto_reader.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tavero::cli {
namespace {

namespace rc = recorderconfig;

constexpr const char* kConfigHelp =
    "usage: tavero-cli config show    --drive N=PATH [--root DIR] [--json]\n"
    "       tavero-cli config save    --drive N=PATH [--root DIR] KEY=VALUE...\n"
    "       tavero-cli config factory --drive N=PATH [--root DIR]\n"
    "The recorder's configuration: the configuration sector of drive N and, with --root, the\n"
    "files in DIR/car_set/ (DIR is the card's mounted FAT partition; without it, or with a\n"
    "/dev/ path, only the sector is read or written).\n"
    "  show      the options as the configuration page shows them\n"
    "  save      opens the page, changes the named options and saves with the page's checks\n"
    "  factory   writes the defaults a format leaves on the card (the default sector with the\n"
    "            card's disk identifier, and the default files)\n"
    "  --user NAME --password PASSWORD  the card user, when the card has users\n"
    "KEYS (values are the page's list entries, compared without regard to case):\n"
    "  videoFormat (D1, CIF, ...)  videoQuality (High, Normal, Low)  frameRate (15, 30, ...)\n"
    "  parkFrameRate (3 .. 30)  parkMode (00:00 .. 24:00 in half hours, or never)\n"
    "  timeZoneRow (0 .. 40)  timeSetting ('YYYY-MM-DD HH:MM:SS' local time of the zone, or off)\n"
    "  speedUnit (Km/h, Mile/h, Knot)  gsensorCar (Car, Truck, ...)\n"
    "  gsensorLevel (Off, Heavy, High, Normal, Low, Light)  plate, carInfo (text, empty: off)\n"
    "  user1Name user1Password user2Name user2Password (up to 15 characters)\n"
    "  playbackPassword (4 digits, empty: off)  frontSensitivity, rearSensitivity (Light, Low,\n"
    "  Normal, High, Heavy)  audio (on, off)  videoNorm (NTSC, PAL)  recMode (continuous:\n"
    "  on, off)  rearCamera (on, off)  dst (on, off)\n"
    "The page's lists follow the defaults of the settings section \"Default\".\n";

// The command-line tool keeps no settings of its own: every value is the documented default,
// and what the page would store for the next opening (the chosen zone row) is not kept.
class DefaultSettings : public rc::PageSettings {
public:
    int ReadInt(std::string_view, std::string_view, int defaultValue) const override {
        return defaultValue;
    }
    void WriteInt(std::string_view, std::string_view, int) override {}
    bool IsChineseInterface() const override { return false; }
    std::vector<std::string> ProvinceLines() const override { return {}; }
};

class PrintingSink : public rc::MessageSink {
public:
    PrintingSink(std::string source, std::FILE* err) : m_source(std::move(source)), m_err(err) {}
    void ShowMessage(std::string_view text) override {
        std::fprintf(m_err, "tavero-cli: %s: %.*s\n", m_source.c_str(),
                     static_cast<int>(text.size()), text.data());
        ++shown;
    }
    int shown = 0;

private:
    std::string m_source;
    std::FILE* m_err;
};

bool SameText(std::string_view a, std::string_view b) {
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

std::string Joined(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names) {
        out += (out.empty() ? "" : ", ") + n;
    }
    return out;
}

std::string Entry(const std::vector<std::string>& list, int index) {
    return index >= 0 && static_cast<std::size_t>(index) < list.size()
               ? list[static_cast<std::size_t>(index)]
               : "";
}

// Position of `value` in `list` (frame-rate entries also match their leading number).
int Find(const std::vector<std::string>& list, std::string_view value, bool byNumber = false) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (SameText(list[i], value) ||
            (byNumber && !value.empty() && std::to_string(rc::EntryNumber(list[i])) == value)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::optional<bool> OnOff(std::string_view value) {
    if (SameText(value, "on")) {
        return true;
    }
    if (SameText(value, "off")) {
        return false;
    }
    return std::nullopt;
}

std::optional<rc::ClockFields> ParseDateTime(const std::string& text) {
    rc::ClockFields t;
    char sep = 0;
    int used = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d%n", &t.year, &t.month, &t.day, &sep,
                    &t.hour, &t.minute, &t.second, &used) != 7 ||
        static_cast<std::size_t>(used) != text.size() || (sep != ' ' && sep != 'T') ||
        t.year < 1900 || t.year > 2155 || !rc::ClockFieldsValid(t)) {
        return std::nullopt;
    }
    return t;
}

struct ConfigArgs {
    std::string action;
    int drive = -1;
    std::string root;
    bool json = false;
    std::vector<std::pair<std::string, std::string>> changes;
};

std::string SourceName(int drive) {
    std::string name = "car2://" + std::to_string(drive);
    if (const auto path = platform::ResolveDrivePath(drive)) {
        name += " (" + *path + ")";
    }
    return name;
}

// Applies one KEY=VALUE to the page; a usage error message when the key or value is not allowed.
std::optional<std::string> Apply(rc::CConfigPage& page, const std::string& key,
                                 const std::string& value) {
    const rc::CConfigPage::Options& o = page.options();
    auto pick = [&](const std::vector<std::string>& list, const std::function<void(int)>& set,
                    bool byNumber = false) -> std::optional<std::string> {
        const int index = Find(list, value, byNumber);
        if (index < 0) {
            return key + " takes one of: " + Joined(list);
        }
        set(index);
        return std::nullopt;
    };
    auto onOff = [&](const std::function<void(bool)>& set) -> std::optional<std::string> {
        const auto flag = OnOff(value);
        if (!flag) {
            return key + " takes one of: on, off";
        }
        set(*flag);
        return std::nullopt;
    };
    if (key == "videoFormat") {
        return pick(page.lists().videoFormats, [&](int i) { page.SelectVideoFormat(i); });
    }
    if (key == "videoQuality") {
        return pick(rc::VideoQualityNames(), [&](int i) { page.SelectVideoQuality(i); });
    }
    if (key == "frameRate") {
        return pick(
            page.frontRateEntries(), [&](int i) { page.SelectFrontRate(i); }, true);
    }
    if (key == "parkFrameRate") {
        return pick(
            page.parkRateEntries(), [&](int i) { page.SelectParkRate(i); }, true);
    }
    if (key == "parkMode") {
        if (SameText(value, "never")) {
            page.SelectParkMode(static_cast<int>(rc::ParkingModeNames().size()) - 1);
            return std::nullopt;
        }
        return pick(rc::ParkingModeNames(), [&](int i) { page.SelectParkMode(i); });
    }
    if (key == "timeZoneRow") {
        std::vector<std::string> rows;
        for (int r = 0; r < rc::kTimeZoneRows; ++r) {
            rows.push_back(std::to_string(r));
        }
        return pick(rows, [&](int i) { page.SelectTimeZone(i); });
    }
    if (key == "timeSetting") {
        if (SameText(value, "off")) {
            page.SetTimeSetting(false, o.pickedTime);
            return std::nullopt;
        }
        const auto t = ParseDateTime(value);
        if (!t) {
            return "timeSetting takes 'YYYY-MM-DD HH:MM:SS' (a date and time that exist, years "
                   "1900 to 2155) or off; '" +
                   value + "' is none";
        }
        page.SetTimeSetting(true, *t);
        return std::nullopt;
    }
    if (key == "speedUnit") {
        return pick(rc::SpeedUnitNames(), [&](int i) { page.SelectSpeedUnit(i); });
    }
    if (key == "gsensorCar") {
        return pick(page.lists().carTypes, [&](int i) { page.SelectGsensor(i, o.gsensorLevel); });
    }
    if (key == "gsensorLevel") {
        return pick(rc::GsensorLevelNames(), [&](int i) { page.SelectGsensor(o.carType, i); });
    }
    if (key == "plate" || key == "carInfo") {
        const bool plate = key == "plate";
        const std::size_t limit = plate ? rc::kPlateEditChars : rc::kCarInfoEditChars;
        if (rc::CutEditText(value, limit) != value) {
            return key + " takes up to " + std::to_string(limit) +
                   " characters from space to '~' (empty: off)";
        }
        if (plate) {
            page.SetPlateTicked(!value.empty());
            page.EditPlate(value);
            page.LeavePlate();
        } else {
            page.SetCarInfoTicked(!value.empty());
            page.EditCarInfo(value);
        }
        return std::nullopt;
    }
    if (key == "user1Name" || key == "user1Password" || key == "user2Name" ||
        key == "user2Password") {
        if (value.size() > rc::kUserTextMax) {
            return key + " takes up to 15 characters";
        }
        const int user = key[4] - '0';
        const bool isName = key.ends_with("Name");
        const std::string& name = user == 1 ? o.user1Name : o.user2Name;
        const std::string& password = user == 1 ? o.user1Password : o.user2Password;
        page.SetUser(user, isName ? value : name, isName ? password : value);
        return std::nullopt;
    }
    if (key == "playbackPassword") {
        if (value.empty()) {
            page.SetPlaybackPasswordTicked(false);
            return std::nullopt;
        }
        if (value.size() != 4 || value.find_first_not_of("0123456789") != std::string::npos) {
            return "playbackPassword takes four digits, or nothing to turn it off";
        }
        page.SetPlaybackPasswordTicked(true);
        for (int i = 0; i < 4; ++i) {
            page.SelectPlaybackDigit(i, value[static_cast<std::size_t>(i)] - '0');
        }
        return std::nullopt;
    }
    if (key == "frontSensitivity") {
        return pick(rc::CameraSensitivityNames(),
                    [&](int i) { page.SelectSensitivity(i, o.rearSensitivity); });
    }
    if (key == "rearSensitivity") {
        return pick(rc::CameraSensitivityNames(),
                    [&](int i) { page.SelectSensitivity(o.frontSensitivity, i); });
    }
    if (key == "audio") {
        return onOff([&](bool on) { page.SetAudio(on); });
    }
    if (key == "videoNorm") {
        return pick({"NTSC", "PAL"}, [&](int i) { page.SetPal(i == 1); });
    }
    if (key == "recMode") {
        return onOff([&](bool on) { page.SetContinuousRecording(on); });
    }
    if (key == "rearCamera") {
        return onOff([&](bool on) { page.SetRearCameraDisabled(!on); });
    }
    if (key == "dst") {
        return onOff([&](bool on) { page.SetDst(on); });
    }
    return "unknown key " + key +
           "; keys: videoFormat, videoQuality, frameRate, parkFrameRate, "
           "parkMode, timeZoneRow, timeSetting, speedUnit, gsensorCar, gsensorLevel, plate, "
           "carInfo, user1Name, user1Password, user2Name, user2Password, playbackPassword, "
           "frontSensitivity, rearSensitivity, audio, videoNorm, recMode, rearCamera, dst";
}

void Show(const rc::CConfigPage& page, const rc::ConfigSector& sector, const ConfigArgs& a,
          std::FILE* out) {
    const auto& o = page.options();
    const auto onOff = [](bool on) { return on ? "on" : "off"; };
    std::vector<std::pair<std::string, std::string>> rows = {
        {"videoFormat", Entry(page.lists().videoFormats, o.videoFormat)},
        {"videoQuality", Entry(rc::VideoQualityNames(), o.videoQuality)},
        {"frameRate", Entry(page.frontRateEntries(), o.frontRate)},
        {"parkFrameRate", Entry(page.parkRateEntries(), o.parkRate)},
        {"parkMode", Entry(rc::ParkingModeNames(), o.parkMode)},
        {"timeZoneRow", o.timeZoneRow < 0 ? "" : std::to_string(o.timeZoneRow)},
        {"timeZone",
         o.timeZoneRow < 0
             ? ""
             : std::string(page.timeZones()[static_cast<std::size_t>(o.timeZoneRow)].text)},
        {"speedUnit", Entry(rc::SpeedUnitNames(), o.speedUnit)},
        {"gsensorCar", Entry(page.lists().carTypes, o.carType)},
        {"gsensorLevel", Entry(rc::GsensorLevelNames(), o.gsensorLevel)},
        {"plate", o.plate},
        {"carInfo", o.carInfo},
        {"user1Name", o.user1Name},
        {"user1Password", o.user1Password.empty() ? "" : "set"},
        {"user2Name", o.user2Name},
        {"user2Password", o.user2Password.empty() ? "" : "set"},
        {"playbackPassword", o.playbackPasswordTicked ? "set" : ""},
        {"frontSensitivity", Entry(rc::CameraSensitivityNames(), o.frontSensitivity)},
        {"rearSensitivity", Entry(rc::CameraSensitivityNames(), o.rearSensitivity)},
        {"audio", onOff(o.audioOn)},
        {"videoNorm", o.pal ? "PAL" : "NTSC"},
        {"recMode", onOff(o.continuousRecording)},
        {"rearCamera", onOff(!o.rearCameraDisabled)},
        {"dst", onOff(o.dstOn)},
    };
    if (a.json) {
        JsonObject json;
        json.add("drive", std::int64_t{a.drive});
        json.add("root", a.root);
        json.add("sectorValid", page.sectorValid());
        json.add("diskId", std::int64_t{sector.diskId});
        json.add("zoneSeconds", std::int64_t{sector.zoneSeconds});
        json.add("zoneCode", std::int64_t{sector.zoneCode});
        for (const auto& [key, value] : rows) {
            json.add(key, value);
        }
        std::fprintf(out, "%s\n", json.str().c_str());
        return;
    }
    std::fprintf(
        out, "drive: %d\nroot: %s\nsectorValid: %s\ndiskId: %u\nzoneSeconds: %u\nzoneCode: %u\n",
        a.drive, a.root.empty() ? "(sector only)" : a.root.c_str(),
        page.sectorValid() ? "yes" : "no", sector.diskId, sector.zoneSeconds, sector.zoneCode);
    for (const auto& [key, value] : rows) {
        std::fprintf(out, "%s: %s\n", key.c_str(), value.c_str());
    }
}

int ParseArgs(const Args& args, ConfigArgs& a, std::FILE* out, std::FILE* err, bool& helped) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kConfigHelp, out);
            helped = true;
            return 0;
        }
        const std::string driveValue = arg.starts_with("--drive=")               ? arg.substr(8)
                                       : arg == "--drive" && i + 1 < args.size() ? args[i + 1]
                                                                                 : "";
        std::string error;
        switch (TakeCommonOption(args, i, error)) {
        case CommonOption::Error:
            return UsageError(error, err);
        case CommonOption::Taken:
            if (!driveValue.empty()) {
                a.drive = driveValue[0] - '0';
            }
            continue;
        case CommonOption::NotCommon:
            break;
        }
        if (arg == "--root") {
            if (i + 1 >= args.size()) {
                return UsageError("--root needs a folder", err);
            }
            a.root = args[++i];
        } else if (arg == "--json") {
            a.json = true;
        } else if (a.action.empty() && !arg.starts_with("-")) {
            a.action = arg;
        } else if (a.action == "save" && arg.find('=') != std::string::npos &&
                   !arg.starts_with("-")) {
            const std::size_t eq = arg.find('=');
            a.changes.emplace_back(arg.substr(0, eq), arg.substr(eq + 1));
        } else {
            return UsageError("config: unknown argument " + arg, err);
        }
    }
    if (a.action != "show" && a.action != "save" && a.action != "factory") {
        return UsageError("config needs show, save or factory", err);
    }
    if (a.drive < 0) {
        return UsageError("config needs --drive N=PATH", err);
    }
    if (a.action == "save" && a.changes.empty()) {
        return UsageError("config save needs at least one KEY=VALUE", err);
    }
    return 0;
}

} // namespace

int RunConfigCommand(const Args& args, std::FILE* out, std::FILE* err) {
    ConfigArgs a;
    bool helped = false;
    if (const int status = ParseArgs(args, a, out, err, helped); status != 0 || helped) {
        return status;
    }
    const std::string source = SourceName(a.drive);
    if (!a.root.empty() && !a.root.starts_with("/dev/")) {
        std::error_code ec;
        if (!std::filesystem::is_directory(a.root, ec)) {
            std::fprintf(err, "tavero-cli: %s: not a folder\n", a.root.c_str());
            return 1;
        }
        if (a.root.back() != '/') {
            a.root += '/';
        }
    }
    {
        store::CStoReader probe;
        if (!probe.OpenPhysicalDrive(a.drive, store::StoAccess::Read)) {
            std::fprintf(err, "tavero-cli: %s: %s\n", source.c_str(), probe.LastError().c_str());
            return 1;
        }
    }
    if (!CheckCardUsersForCommand(a.drive, source, err)) {
        return 1;
    }

    rc::ConfigSector sector;
    if (a.action == "factory") {
        const rc::CardSaveOutcome outcome = rc::WriteFactoryConfiguration(
            a.root, a.drive, rc::kDefaultCameraTable, rc::kDefaultCameraTable, sector);
        for (const std::string& skipped : outcome.skippedFiles) {
            std::fprintf(err, "tavero-cli: %s: cannot be written\n", skipped.c_str());
        }
        // As after a format: the default sector goes back with the card's own identifier.
        std::string error;
        if (!outcome.sectorWritten || !rc::WriteConfigSector(a.drive, sector, &error)) {
            std::fprintf(err, "tavero-cli: %s: %s\n", source.c_str(),
                         outcome.sectorWritten ? error.c_str() : outcome.sectorError.c_str());
            return 1;
        }
        std::fprintf(out, "factory configuration written to %s\n", source.c_str());
        return outcome.skippedFiles.empty() ? 0 : 1;
    }

    DefaultSettings settings;
    PrintingSink sink(source, err);
    rc::PageContext context;
    context.drive = a.drive;
    context.cardRoot = a.root;
    context.sector = &sector;
    context.localOffsetSeconds = rc::LocalStandardOffsetSeconds();
    rc::CConfigPage page(context, settings, sink);
    page.Open();
    if (!page.sectorValid()) {
        std::fprintf(err, "tavero-cli: %s: %s\n", source.c_str(),
                     std::string(rc::kMsgConfigDamaged).c_str());
    }
    if (a.action == "show") {
        Show(page, sector, a, out);
        return 0;
    }
    // Video format first: it refills the frame-rate lists the other keys choose from.
    std::stable_partition(a.changes.begin(), a.changes.end(),
                          [](const auto& change) { return change.first == "videoFormat"; });
    for (const auto& [key, value] : a.changes) {
        if (const auto problem = Apply(page, key, value)) {
            return UsageError("config save: " + *problem, err);
        }
    }
    rc::CardSaveOutcome outcome;
    if (page.Save(&outcome) == rc::SaveResult::StayOpen) {
        return 1; // the page's message says why; nothing was written
    }
    for (const std::string& skipped : outcome.skippedFiles) {
        std::fprintf(err, "tavero-cli: %s: cannot be written\n", skipped.c_str());
    }
    if (!outcome.sectorWritten) {
        std::fprintf(err, "tavero-cli: %s: %s\n", source.c_str(), outcome.sectorError.c_str());
        return 1;
    }
    std::fprintf(out, "configuration saved to %s\n", source.c_str());
    return outcome.skippedFiles.empty() ? 0 : 1;
}

} // namespace tavero::cli
