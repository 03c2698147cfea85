// tavero-cli gps: the GPS track of recordings as GPX or CSV.

#include "cli_commands.h"
#include "cli_common.h"
#include "cli_progress.h"
#include "engine/player.h"
#include "export/gps_file.h"
#include "export/gps_track.h"
#include "export/gps_writers.h"

#include <charconv>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace tavero::cli {
namespace {

constexpr const char* kGpsHelp =
    "usage: tavero-cli gps SOURCE [--entry N] (--gpx | --csv) [-o FILE] [--drive N=PATH]...\n"
    "\n"
    "Writes the GPS track of the recordings of SOURCE: the fixes of the unit trailers in play\n"
    "order, times in UTC (the receiver's own date and time; the recorder's clock and zone only\n"
    "when a sentence has none), speed in km/h, course, and the peak G-sensor readings per fix.\n"
    "Units without a valid fix are left out and start a new track segment, as does a time jump.\n"
    "\n"
    "  SOURCE          a raw backup file ending in .sd, or car2://N for the card in drive N\n"
    "  --entry N       only recording N as `list` numbers it (default: every recording, each\n"
    "                  its own track; recordings without fixes are left out with a note)\n"
    "  --gpx           GPX 1.1: one track per recording, speed, course and G-sensor peaks as\n"
    "                  extensions in the namespace urn:x-tavero-player:gpx-track:1\n"
    "  --csv           CSV with a header line: recording, segment, time_utc, time_source,\n"
    "                  latitude, longitude, speed_kmh, course_deg, g_peak_x, g_peak_y,\n"
    "                  g_peak_z, g_samples\n"
    "  -o FILE         write FILE (replaced only once the whole track is written);\n"
    "                  default standard output\n"
    "  --drive N=PATH  drive N is the block device or whole-card image PATH\n"
    "  --user NAME --password PASSWORD\n"
    "                  the card user to open a card with users as\n"
    "\n"
    "When none of the chosen recordings has a GPS fix, nothing is written (an existing FILE is\n"
    "kept) and the exit status is 1.\n";

class IgnoreNotifications : public engine::NotificationSink {
public:
    void Post(std::uint32_t, engine::COzuCtrl*, std::int64_t) override {}
};

struct GpsOptions {
    std::string source;
    int entry = 0; // 0: every recording
    bool gpx = false;
    bool csv = false;
    std::string output; // empty: standard output
};

int Fail(std::FILE* err, const std::string& name, const std::string& reason) {
    std::fprintf(err, "tavero-cli: %s: %s\n", name.c_str(), reason.c_str());
    return 1;
}

// 0 when parsed, else the exit status (help printed or usage error).
int ParseGpsOptions(const Args& args, GpsOptions& options, std::FILE* out, std::FILE* err,
                    bool& done) {
    done = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string error;
        switch (TakeCommonOption(args, i, error)) {
        case CommonOption::Taken:
            continue;
        case CommonOption::Error:
            return UsageError("gps: " + error, err);
        case CommonOption::NotCommon:
            break;
        }
        if (arg == "--help" || arg == "-h") {
            std::fputs(kGpsHelp, out);
            done = true;
            return 0;
        }
        if (arg == "--gpx") {
            options.gpx = true;
        } else if (arg == "--csv") {
            options.csv = true;
        } else if (arg == "--entry" || arg == "-o" || arg == "--output") {
            if (i + 1 >= args.size()) {
                return UsageError("gps: " + arg + " needs a value", err);
            }
            const std::string& value = args[++i];
            if (arg == "--entry") {
                int number = 0;
                const auto [end, ec] =
                    std::from_chars(value.data(), value.data() + value.size(), number);
                if (value.empty() || ec != std::errc() || end != value.data() + value.size() ||
                    number < 1) {
                    return UsageError(
                        "gps: --entry needs a recording number from 1, got '" + value + "'", err);
                }
                options.entry = number;
            } else {
                if (value.empty()) {
                    return UsageError("gps: " + arg + " needs a file name", err);
                }
                options.output = value == "-" ? std::string() : value;
            }
        } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
            return UsageError("gps: unknown option '" + arg + "'", err);
        } else if (options.source.empty()) {
            options.source = arg;
        } else {
            return UsageError("gps: more than one source ('" + options.source + "', '" + arg + "')",
                              err);
        }
    }
    if (options.source.empty()) {
        return UsageError("gps: give a SOURCE (a .sd file or car2://N)", err);
    }
    if (options.gpx == options.csv) {
        return UsageError("gps: choose one of --gpx and --csv", err);
    }
    return 0;
}

} // namespace

int RunGpsCommand(const Args& args, std::FILE* out, std::FILE* err) {
    GpsOptions options;
    bool done = false;
    if (const int status = ParseGpsOptions(args, options, out, err, done); status != 0 || done) {
        return status;
    }
    if (!options.output.empty() && !CheckOutputPath(options.output, err)) {
        return 1;
    }

    IgnoreNotifications sink;
    ControlPtr control(engine::PlayerCreate(&sink));
    if (!control) {
        return Fail(err, options.source, "cannot create the player");
    }
    std::string name;
    if (!OpenForCommand(options.source, *control, err, name)) {
        return 1;
    }
    const std::vector<store::RecordingEntry> entries = ListEntries(*control);
    std::vector<const store::RecordingEntry*> chosen;
    if (options.entry > 0) {
        if (static_cast<std::size_t>(options.entry) > entries.size()) {
            return Fail(err, name,
                        "there is no recording " + std::to_string(options.entry) + " (it has " +
                            std::to_string(entries.size()) + ")");
        }
        chosen.push_back(&entries[static_cast<std::size_t>(options.entry - 1)]);
    } else {
        for (const store::RecordingEntry& e : entries) {
            chosen.push_back(&e);
        }
    }

    exporter::GpsTrackReader reader(control->box().index());
    std::vector<exporter::GpsTrack> tracks;
    std::size_t points = 0;
    std::size_t segments = 0;
    for (const store::RecordingEntry* e : chosen) {
        exporter::GpsTrack track;
        if (!reader.read(*e, track)) {
            return Fail(err, name,
                        "recording " + std::to_string(e->number) + ": " + reader.lastError());
        }
        if (track.unreadableUnits > 0) {
            std::fprintf(
                err, "tavero-cli: %s: recording %d: %llu unit trailers could not be read\n",
                name.c_str(), e->number, static_cast<unsigned long long>(track.unreadableUnits));
        }
        if (track.pointCount() == 0) {
            if (chosen.size() > 1) {
                std::fprintf(err, "tavero-cli: %s: recording %d has no GPS fixes; left out\n",
                             name.c_str(), e->number);
            }
            continue;
        }
        points += track.pointCount();
        segments += track.segments.size();
        tracks.push_back(std::move(track));
    }
    if (tracks.empty()) {
        if (chosen.size() == 1) {
            return Fail(err, name,
                        "recording " + std::to_string(chosen.front()->number) +
                            " has no GPS fixes; nothing written");
        }
        return Fail(err, name,
                    entries.empty() ? "has no recordings; nothing written"
                                    : "no recording has GPS fixes; nothing written");
    }

    const std::string document =
        options.gpx ? exporter::GpxDocument(tracks) : exporter::CsvDocument(tracks);
    if (options.output.empty()) {
        if (std::fwrite(document.data(), 1, document.size(), out) != document.size() ||
            std::fflush(out) != 0) {
            return Fail(err, name, "cannot write the track to standard output");
        }
        return 0;
    }
    std::string error;
    if (!exporter::WriteFileAtomically(options.output, document, error)) {
        return Fail(err, options.output, error);
    }
    std::fprintf(out, "wrote %s: %zu points in %zu segments of %zu recording%s\n",
                 options.output.c_str(), points, segments, tracks.size(),
                 tracks.size() == 1 ? "" : "s");
    return 0;
}

} // namespace tavero::cli
