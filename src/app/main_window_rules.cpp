#include "app/main_window_rules.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

namespace tavero::app {
namespace {

constexpr std::uint32_t kHighestZoneCode = 25;

std::string Coordinate(double value, char positive, char negative) {
    char text[64];
    std::snprintf(text, sizeof text, "%12f %c", std::fabs(value), value >= 0 ? positive : negative);
    return text;
}

} // namespace

std::int64_t ComputeTimeOffset(const recorderconfig::ConfigSector& image,
                               std::int64_t standardOffsetSeconds) {
    if (image.layoutMark[0] != 0) {
        return static_cast<std::int64_t>(image.zoneSeconds) - recorderconfig::kZoneSecondsBias;
    }
    const std::uint32_t code = image.blockZoneCode;
    if (code == 0 || code > kHighestZoneCode) {
        // The computer's own zone; whole hours, truncated toward zero (UTC+05:30 gives 5 h).
        return standardOffsetSeconds / 3600 * 3600;
    }
    return std::int64_t{recorderconfig::ZoneHoursForCode(code)} * 3600;
}

recorderconfig::ConfigSector SectorForConfiguration(const recorderconfig::ConfigSector& image,
                                                    std::int64_t timeOffset, bool cardInUse,
                                                    bool backupFileSource) {
    if (cardInUse && !backupFileSource) {
        return image;
    }
    recorderconfig::ConfigSector sector;
    recorderconfig::MakeDefaultConfigSector(sector, 0);
    sector.blockZoneCode = image.blockZoneCode;
    sector.speedUnit = image.speedUnit;
    sector.layoutMark = recorderconfig::kLayoutMarkCurrent;
    sector.zoneSeconds = static_cast<std::uint32_t>(timeOffset + recorderconfig::kZoneSecondsBias);
    return sector;
}

std::vector<StartupCommand> ParseCommandLine(const std::vector<std::string>& args) {
    std::vector<StartupCommand> commands;
    if (args.empty()) {
        commands.push_back({StartupCommand::Kind::ScanCards, {}});
        return commands;
    }
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.empty() || a[0] != '-') {
            continue;
        }
        if (a.size() >= 2 && (a[1] == 'f' || a[1] == 'F')) {
            if (i + 1 < args.size()) {
                commands.push_back({StartupCommand::Kind::OpenSource, args[i + 1]});
                ++i; // the path is not an option of its own
            }
            continue;
        }
        commands.push_back({StartupCommand::Kind::ScanCards, {}});
    }
    return commands;
}

KeyAction KeyActionFor(WindowKey key) {
    switch (key) {
    case WindowKey::F3:
        return KeyAction::LaunchOldPlayer;
    case WindowKey::Space:
        return KeyAction::Swallow;
    case WindowKey::Enter:
    case WindowKey::Escape:
        return KeyAction::CloseWindow;
    case WindowKey::Other:
        break;
    }
    return KeyAction::None;
}

bool MayClose(bool formatToolOpen, bool configurationOpen) {
    return !formatToolOpen && !configurationOpen;
}

TrailerOutcome HandleUnitTrailer(PlayerCommands& player, GSensorHistory& history,
                                 PaintThrottle& throttle, const TrailerContext& context) {
    TrailerOutcome out;
    out.clearBackupTimeDisplay = !context.backupWriting;
    std::array<std::uint8_t, store::kTrailerSize> bytes{};
    if (!player.GetUnitTrailer(bytes.data())) {
        out.clearBackupTimeDisplay = true;
        return out;
    }
    out.gotTrailer = true;
    // The player hands out its last trailer in host order (the engine converted it on reading).
    out.trailer = store::TrailerFromHostImage(bytes);
    out.unitTime = store::PackedTimeToSeconds(out.trailer.unitTime);
    if (context.backupWriting || context.exportWriting) {
        out.reportTimeToBackup = context.backupWriting;
        return out;
    }
    if (out.trailer.sampleCount() > 0) {
        history.Append(out.trailer, context.uiMode);
        out.samplesAppended = true;
    }
    store::GpsFix fix;
    if (store::ParseRmc(out.trailer.gps(), fix)) {
        out.gps = fix;
    }
    out.repaintGauges = throttle.Due(context.nowMs);
    return out;
}

RemovalDecision DecideOnDeviceRemoval(const std::string& location, bool sourceOpen,
                                      const std::function<bool(const std::string&)>& exists) {
    RemovalDecision d;
    if (!sourceOpen || location.empty()) {
        return d;
    }
    const bool present = exists ? exists(location) : [&] {
        std::error_code ec;
        return std::filesystem::exists(location, ec);
    }();
    if (!present) {
        d.stopPlayback = true;
        d.message = std::string(kSourceRemovedText) + location;
    }
    return d;
}

SnapshotTexts MakeSnapshotTexts(const std::string& folder, const std::tm& now, double latitude,
                                double longitude, double speedKmh) {
    SnapshotTexts t;
    char stamp[64];
    if (std::strftime(stamp, sizeof stamp, "img-%Y-%m-%d-%H-%M-%S_Ch", &now) == 0) {
        stamp[0] = '\0';
    }
    t.prefix = folder;
    if (!t.prefix.empty() && t.prefix.back() != '/') {
        t.prefix.push_back('/');
    }
    t.prefix += stamp;
    t.latitude = Coordinate(latitude, 'N', 'S');
    t.longitude = Coordinate(longitude, 'E', 'W');
    char speed[48];
    std::snprintf(speed, sizeof speed, "%6.1f Km/h", speedKmh);
    t.speed = speed;
    t.stamped = latitude != 0;
    return t;
}

} // namespace tavero::app
