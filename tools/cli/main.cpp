// tavero-cli: lists and inspects recorder cards and raw backup files from the command line.

#include "app/app_settings.h"
#include "app/drive_settings.h"
#include "cli_commands.h"
#include "cli_common.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: tavero-cli COMMAND [SOURCE] [--json] [--drive N=PATH]...\n"
    "\n"
    "commands:\n"
    "  info SOURCE    source type, disk identifier, blocks, valid index records, first and last "
    "time\n"
    "  list SOURCE    the recordings: number, start, end, event\n"
    "  units SOURCE   the unit trailers in play order\n"
    "  backup SOURCE -o OUT.sd (--entries N[,N...] | --from T1 --to T2)\n"
    "                 copies recordings (numbers as `list` shows them), or the records of a\n"
    "                 time range (seconds since 1970), into a new raw backup file\n"
    "  backup SOURCE --each-entry PREFIX\n"
    "                 one new raw backup file per recording, named\n"
    "                 PREFIX_YYYY-MM-DD_HH-MM-SS.sd by its start (missing folders are made)\n"
    "  lengths SOURCE -o FILE\n"
    "                 the table of the recordings as the backup dialog writes lengthpath.csv\n"
    "  play SOURCE [--entry N] [--seek T] [--speed S] [--channels LIST] [--duration SEC]\n"
    "              [--unpaced] [--framemd5 [--clock]] [--wav-out DIR] [--snapshot-dir DIR]\n"
    "              [--script FILE]\n"
    "                 plays a recording through the engine without a window: --framemd5\n"
    "                 prints 'CH PTS_US WxH MD5' per picture shown (CH from 0; --clock puts\n"
    "                 the milliseconds since the start in front), --unpaced plays as fast as\n"
    "                 it decodes, --wav-out writes chN.wav per sounding channel,\n"
    "                 --snapshot-dir saves every picture shown as chN_K.png (N from 0); LIST\n"
    "                 is channel numbers 1 to 8, SEC seconds of pictures. --script FILE (- for\n"
    "                 standard input) runs one command a line against the player: wait MS,\n"
    "                 seek T, speed S, pause, resume, step, back, play N, close, volume V,\n"
    "                 audio CH on|off, video CH on|off\n"
    "  rmc            decodes NMEA RMC sentences read from standard input, one a line\n"
    "  export SOURCE -o PATH.avi (--entry N | --from T1 --to T2) [--channels LIST]\n"
    "                 copies each chosen channel's pictures and sound into AVI files\n"
    "  snapshot SOURCE --seek T --prefix PREFIX [--stamp]\n"
    "                 saves the pictures shown at time T as BMP files\n"
    "  gps SOURCE [--entry N] (--gpx | --csv) [-o FILE]\n"
    "                 the GPS track of a recording\n"
    "  config show|save|factory --drive N=PATH [--root DIR] [--json] [KEY=VALUE...]\n"
    "                 the recorder's configuration on a card\n"
    "  wifi show|save --root DIR [options]\n"
    "                 the recorder's Wi-Fi settings file\n"
    "  format|restore (--drive N=PATH | DEVICE) [options]\n"
    "                 prepares a card for the recorder, or gives it back to ordinary use\n"
    "  scan           lists the drives that hold recorder cards\n"
    "Each of these takes --help for its options.\n"
    "\n"
    "SOURCE is a raw backup file ending in .sd, or car2://N for the card in drive N (0 to 9).\n"
    "--drive N=PATH   drive N is the block device or whole-card image PATH\n"
    "--json           machine-readable output\n"
    "--user NAME --password PASSWORD\n"
    "                 the card user to open a card with users as (asked on a terminal)\n"
    "Times are seconds since 1970 of the recorder's clock read as local time (see TZ).\n";

int UsageError(const std::string& message) {
    std::fprintf(stderr, "tavero-cli: %s\n%s", message.c_str(), kUsage);
    return 2;
}

using CommandRunner = int (*)(const tavero::cli::Args&, std::FILE*, std::FILE*);

// The commands that parse their own options.
CommandRunner OwnParserCommand(std::string_view name) {
    using namespace tavero::cli;
    struct Entry {
        std::string_view name;
        CommandRunner run;
    };
    static constexpr Entry kCommands[] = {
        {"export", RunExportCommand},   {"snapshot", RunSnapshotCommand},
        {"gps", RunGpsCommand},         {"config", RunConfigCommand},
        {"wifi", RunWifiCommand},       {"format", RunFormatCommand},
        {"restore", RunRestoreCommand}, {"scan", RunScanCommand},
    };
    for (const Entry& entry : kCommands) {
        if (entry.name == name) {
            return entry.run;
        }
    }
    return nullptr;
}

} // namespace

int tavero::cli::UsageError(const std::string& message, std::FILE* err) {
    // The commands with their own options explain them with --help.
    std::fprintf(err, "tavero-cli: %s\n(tavero-cli --help lists the commands; each takes --help)\n",
                 message.c_str());
    return 2;
}

int main(int argc, char** argv) {
    // Drive numbers map to devices or images as "Config.ini" beside the program says, for this
    // tool as for the window; --drive options are applied later and win.
    for (const std::string& problem :
         tavero::app::LoadDriveSettings(tavero::app::AppSettings::forRunningProgram()).problems) {
        std::fprintf(stderr, "tavero-cli: Config.ini: %s\n", problem.c_str());
    }
    if (argc >= 2) {
        if (const CommandRunner run = OwnParserCommand(argv[1])) {
            return run(tavero::cli::Args(argv + 2, argv + argc), stdout, stderr);
        }
    }
    std::string command;
    tavero::cli::CommandOptions options;
    tavero::cli::BackupOptions backup;
    tavero::cli::PlayOptions play;
    bool haveSource = false;
    bool haveFrom = false;
    bool haveTo = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        auto takeValue = [&](std::string& out) {
            if (i + 1 >= argc) {
                return false;
            }
            out = argv[++i];
            return true;
        };
        if (arg == "-o" || arg == "--output" || arg == "--entries" || arg == "--from" ||
            arg == "--to" || arg == "--each-entry") {
            std::string text;
            if (!takeValue(text)) {
                return UsageError(std::string(arg) + " needs a value");
            }
            if (arg == "-o" || arg == "--output") {
                backup.output = text;
            } else if (arg == "--each-entry") {
                if (text.empty()) {
                    return UsageError("--each-entry needs a PREFIX such as backups/car");
                }
                backup.eachEntryPrefix = text;
            } else if (arg == "--entries") {
                if (!tavero::cli::ParseNumberList(text, backup.entries)) {
                    return UsageError("--entries needs numbers like 1,3,4, got '" + text + "'");
                }
            } else {
                std::int64_t seconds = 0;
                if (!tavero::cli::ParseInteger(text, seconds)) {
                    return UsageError(std::string(arg) + " needs seconds since 1970, got '" + text +
                                      "'");
                }
                (arg == "--from" ? backup.from : backup.to) = seconds;
                (arg == "--from" ? haveFrom : haveTo) = true;
            }
        } else if (arg == "--entry" || arg == "--seek" || arg == "--speed" || arg == "--channels" ||
                   arg == "--duration" || arg == "--wav-out" || arg == "--snapshot-dir" ||
                   arg == "--script") {
            std::string text;
            if (!takeValue(text)) {
                return UsageError(std::string(arg) + " needs a value");
            }
            std::int64_t number = 0;
            if (arg == "--entry") {
                if (!tavero::cli::ParseInteger(text, number) || number < 1 || number > 1000000) {
                    return UsageError("--entry needs a recording number from 1, got '" + text +
                                      "'");
                }
                play.entry = static_cast<int>(number);
            } else if (arg == "--seek") {
                if (!tavero::cli::ParseInteger(text, number) || number <= 0 || number > INT32_MAX) {
                    return UsageError("--seek needs seconds since 1970, got '" + text + "'");
                }
                play.seek = number;
            } else if (arg == "--duration") {
                if (!tavero::cli::ParseInteger(text, number) || number < 1) {
                    return UsageError("--duration needs whole seconds from 1, got '" + text + "'");
                }
                play.duration = number;
            } else if (arg == "--speed") {
                char* end = nullptr;
                const double speed = std::strtod(text.c_str(), &end);
                if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(speed) ||
                    speed == 0 || std::fabs(speed) > 32) {
                    return UsageError("--speed needs a factor such as 2, 0.5, -1 or 1.1, got '" +
                                      text + "'");
                }
                play.speed = speed;
            } else if (arg == "--channels") {
                if (!tavero::cli::ParseNumberList(text, play.channels)) {
                    return UsageError("--channels needs channel numbers like 1,2, got '" + text +
                                      "'");
                }
            } else if (arg == "--wav-out") {
                play.wavOut = text;
            } else if (arg == "--script") {
                play.script = text;
            } else {
                play.snapshotDir = text;
            }
        } else if (arg == "--unpaced") {
            play.unpaced = true;
        } else if (arg == "--framemd5") {
            play.framemd5 = true;
        } else if (arg == "--clock") {
            play.clock = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--drive" || arg == "--user" || arg == "--password" ||
                   arg.substr(0, 8) == "--drive=") {
            const tavero::cli::Args rest(argv + i, argv + argc);
            std::size_t at = 0;
            std::string error;
            if (tavero::cli::TakeCommonOption(rest, at, error) !=
                tavero::cli::CommonOption::Taken) {
                return UsageError(error);
            }
            i += static_cast<int>(at);
        } else if (arg.size() > 1 && arg[0] == '-' && arg.substr(0, 7) != "car2://") {
            return UsageError("unknown option '" + std::string(arg) + "'");
        } else if (command.empty()) {
            command = arg;
        } else if (!haveSource) {
            options.source = arg;
            haveSource = true;
        } else {
            return UsageError("unexpected argument '" + std::string(arg) + "'");
        }
    }
    if (command.empty()) {
        return UsageError("no command given");
    }
    if (command == "rmc") {
        if (haveSource) {
            return UsageError("rmc reads standard input and takes no source");
        }
        return tavero::cli::RunRmc(stdin, stdout);
    }
    if (command == "backup") {
        if (!haveSource) {
            return UsageError("backup needs a SOURCE");
        }
        if (!backup.eachEntryPrefix.empty()) {
            if (!backup.output.empty() || !backup.entries.empty() || haveFrom || haveTo) {
                return UsageError("backup --each-entry names its own files and backs up every "
                                  "recording; it takes no -o, --entries, --from or --to");
            }
        } else {
            if (backup.output.empty()) {
                return UsageError("backup needs -o OUT.sd (or --each-entry PREFIX)");
            }
            if (backup.entries.empty() == !(haveFrom && haveTo) || haveFrom != haveTo) {
                return UsageError("backup needs either --entries or both --from and --to");
            }
        }
        backup.source = options.source;
        return tavero::cli::RunBackup(backup, stdout, stderr);
    }
    if (command == "play") {
        if (!haveSource) {
            return UsageError("play needs a SOURCE");
        }
        play.source = options.source;
        return tavero::cli::RunPlay(play, stdout, stderr);
    }
    if (command == "lengths") {
        if (!haveSource) {
            return UsageError("lengths needs a SOURCE");
        }
        if (backup.output.empty()) {
            return UsageError("lengths needs -o FILE");
        }
        return tavero::cli::RunLengths(options, backup.output, stdout, stderr);
    }
    if (command != "info" && command != "list" && command != "units") {
        return UsageError("unknown command '" + command + "'");
    }
    if (!haveSource) {
        return UsageError(command + " needs a SOURCE");
    }
    if (command == "info") {
        return tavero::cli::RunInfo(options, stdout, stderr);
    }
    if (command == "list") {
        return tavero::cli::RunList(options, stdout, stderr);
    }
    return tavero::cli::RunUnits(options, stdout, stderr);
}
