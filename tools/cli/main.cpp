// tavero-cli: lists and inspects recorder cards and raw backup files from the command line.

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "cli_commands.h"
#include "platform/drive_table.h"

namespace {

constexpr const char* kUsage =
    "usage: tavero-cli COMMAND [SOURCE] [--json] [--drive N=PATH]...\n"
    "\n"
    "commands:\n"
    "  info SOURCE    source type, disk identifier, blocks, valid index records, first and last time\n"
    "  list SOURCE    the recordings: number, start, end, event\n"
    "  units SOURCE   the unit trailers in play order\n"
    "  rmc            decodes NMEA RMC sentences read from standard input, one a line\n"
    "\n"
    "SOURCE is a raw backup file ending in .sd, or car2://N for the card in drive N (0 to 9).\n"
    "--drive N=PATH   drive N is the block device or whole-card image PATH\n"
    "--json           machine-readable output\n"
    "Times are seconds since 1970 of the recorder's clock read as local time (see TZ).\n";

int UsageError(const std::string& message) {
    std::fprintf(stderr, "tavero-cli: %s\n%s", message.c_str(), kUsage);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string command;
    tavero::cli::CommandOptions options;
    bool haveSource = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--json") {
            options.json = true;
        } else if (arg == "--drive" || arg.substr(0, 8) == "--drive=") {
            std::string value;
            if (arg == "--drive") {
                if (i + 1 >= argc) {
                    return UsageError("--drive needs N=PATH");
                }
                value = argv[++i];
            } else {
                value = std::string(arg.substr(8));
            }
            const std::size_t eq = value.find('=');
            if (eq != 1 || value[0] < '0' || value[0] > '9' || value.size() < 3) {
                return UsageError("--drive needs N=PATH with N from 0 to 9, got '" + value + "'");
            }
            tavero::platform::SetDrivePath(value[0] - '0', value.substr(2));
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
