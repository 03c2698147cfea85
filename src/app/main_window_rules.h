// The main window's own rules that are not a control of their own: the display offset of
// recording times, the command line, the keyboard, the handling of a unit trailer, a source that
// went away and the texts of a snapshot.
//
// Thread: plain functions; UI thread.
#pragma once

#include "app/gauge_geometry.h"
#include "app/player_commands.h"
#include "recorderconfig/config_sector.h"
#include "store/metadata.h"
#include "store/unit_trailer.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavero::app {

// Seconds added to recording times before they are shown, from the configuration-sector image:
// with a layout mark its precise zone (zoneSeconds - 43200); otherwise the whole hours of its
// zone code, code 0 (and an unknown code) being this computer's standard-time offset truncated
// to whole hours. An all-zero image (no card yet) gives the computer's zone.
[[nodiscard]] std::int64_t ComputeTimeOffset(const recorderconfig::ConfigSector& image,
                                             std::int64_t standardOffsetSeconds);

// The sector the configuration dialog starts from: with no card in use, or a backup file as the
// source, the default sector (disk identifier 0) keeping the image's zone code and speed unit,
// with the display offset as its precise zone; otherwise the card's own image.
[[nodiscard]] recorderconfig::ConfigSector
SectorForConfiguration(const recorderconfig::ConfigSector& image, std::int64_t timeOffset,
                       bool cardInUse, bool backupFileSource);

// ---- command line ---------------------------------------------------------------------------

struct StartupCommand {
    enum class Kind { OpenSource, ScanCards };
    Kind kind = Kind::ScanCards;
    std::string path; // OpenSource: what follows "-f"
    friend bool operator==(const StartupCommand&, const StartupCommand&) = default;
};
// The arguments after the program's name, in order: "-f PATH" (or "-F") opens PATH; any other
// argument starting with "-" scans for cards, as does an empty command line; other arguments
// are ignored, and "-f" as the last argument does nothing.
[[nodiscard]] std::vector<StartupCommand> ParseCommandLine(const std::vector<std::string>& args);

// ---- keyboard -------------------------------------------------------------------------------

enum class WindowKey { F3, Space, Enter, Escape, Other };
enum class KeyAction {
    None,            // the key goes where it would go
    LaunchOldPlayer, // the older recorder generation's player, if it is there
    Swallow,         // never reaches a button
    CloseWindow,     // ends the program like Close, without asking the open dialogs
};
[[nodiscard]] KeyAction KeyActionFor(WindowKey key);
// Close (the button) is refused while the format tool or the configuration dialog is open.
[[nodiscard]] bool MayClose(bool formatToolOpen, bool configurationOpen);


// ---- unit trailers --------------------------------------------------------------------------

struct TrailerContext {
    bool backupWriting = false; // the backup dialog writes a backup
    bool exportWriting = false; // an export writes
    int uiMode = 0;
    std::int64_t nowMs = 0;
};

struct TrailerOutcome {
    bool clearBackupTimeDisplay = false; // the backup dialog's running time display
    bool gotTrailer = false;             // false: every other display stays as it was
    store::UnitTrailer trailer;
    std::int64_t unitTime = 0;        // the trailer's time, seconds
    bool reportTimeToBackup = false;  // hand unitTime to the writing backup dialog
    bool samplesAppended = false;     // the G-sensor history grew
    std::optional<store::GpsFix> gps; // the trailer's position, when it has a valid one
    bool repaintGauges = false;       // gauges, position slider and mark bar (150 ms rule)
};

// A unit-trailer notification: takes the trailer, feeds the G-sensor history and says what to
// update. While a backup or export writes only the backup dialog hears of it.
[[nodiscard]] TrailerOutcome HandleUnitTrailer(PlayerCommands& player, GSensorHistory& history,
                                               PaintThrottle& throttle,
                                               const TrailerContext& context);

// ---- a source that went away ----------------------------------------------------------------

struct RemovalDecision {
    bool stopPlayback = false;
    std::string message; // English text for a message box; empty when nothing happened
};
// After a device was removed: when the file or device being played (`location`) is gone, the
// window stops playback and says so. `exists` answers whether a path is still there.
[[nodiscard]] RemovalDecision
DecideOnDeviceRemoval(const std::string& location, bool sourceOpen,
                      const std::function<bool(const std::string&)>& exists = {});
inline constexpr std::string_view kSourceRemovedText =
    "The card or backup file being played was removed: ";

// ---- snapshot -------------------------------------------------------------------------------

struct SnapshotTexts {
    std::string prefix;   // folder + "img-%Y-%m-%d-%H-%M-%S_Ch"
    std::string latitude; // "%12f %c"
    std::string longitude;
    std::string speed;    // "%6.1f Km/h"
    bool stamped = false; // a position is known (latitude not 0): the texts go on the pictures
};
// `folder` is the snapshot folder (a "/" is added when missing); `now` the local time of the
// press.
[[nodiscard]] SnapshotTexts MakeSnapshotTexts(const std::string& folder, const std::tm& now,
                                              double latitude, double longitude, double speedKmh);

} // namespace tavero::app
