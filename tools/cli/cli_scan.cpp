// tavero-cli scan: the two device lists of the card detection's drive scan.

#include "cardtools/drive_scan.h"
#include "cli_common.h"

#include <cstdio>
#include <string>
#include <vector>

namespace tavero::cli {
namespace {

constexpr const char* kScanHelp =
    "usage: tavero-cli scan [--json] [--drive N=PATH]...\n"
    "Lists the drives that may hold recorder cards, one a line: LIST DRIVE DEVICE [cd-rom].\n"
    "  LIST is 'removable' (removable drives' mount points) or 'other' (USB disks other than\n"
    "  the system disk, CD-ROMs, and drives 0 to 9 without a partition table by device path);\n"
    "  DRIVE is the drive number (0 to 9) or '-'.\n"
    "  --json         one JSON object with the arrays \"removable\" and \"other\"\n";

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned char>(c));
            out += buffer;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

} // namespace

int RunScanCommand(const Args& args, std::FILE* out, std::FILE* err) {
    bool json = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kScanHelp, out);
            return 0;
        }
        std::string error;
        switch (TakeCommonOption(args, i, error)) {
        case CommonOption::Error:
            return UsageError(error, err);
        case CommonOption::Taken:
            continue;
        case CommonOption::NotCommon:
            break;
        }
        if (arg == "--json") {
            json = true;
        } else {
            return UsageError("scan: unknown argument " + arg, err);
        }
    }
    cardtools::CardDriveScanner scanner;
    std::vector<cardtools::DeviceEntry> removable;
    std::vector<cardtools::DeviceEntry> other;
    if (!scanner.ScanDrives(removable, other)) {
        std::fprintf(err, "tavero-cli: %s: cannot read the mount table\n",
                     scanner.roots().mountInfo.c_str());
        return 1;
    }
    auto print = [&](const char* list, const std::vector<cardtools::DeviceEntry>& entries) {
        for (const cardtools::DeviceEntry& e : entries) {
            const int drive = scanner.DriveNumberOfDeviceText(e.text);
            const std::string number = drive < 0 ? "-" : std::to_string(drive);
            std::fprintf(out, "%s %s %s%s\n", list, number.c_str(), e.text.c_str(),
                         e.itemData == cardtools::kCdRomItemData ? " cd-rom" : "");
        }
    };
    auto printJson = [&](const std::vector<cardtools::DeviceEntry>& entries) {
        std::fputc('[', out);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const int drive = scanner.DriveNumberOfDeviceText(entries[i].text);
            std::fprintf(out, "%s{\"device\":%s,\"drive\":%s,\"cdrom\":%s}", i == 0 ? "" : ",",
                         JsonString(entries[i].text).c_str(),
                         drive < 0 ? "null" : std::to_string(drive).c_str(),
                         entries[i].itemData == cardtools::kCdRomItemData ? "true" : "false");
        }
        std::fputc(']', out);
    };
    if (json) {
        std::fputs("{\"removable\":", out);
        printJson(removable);
        std::fputs(",\"other\":", out);
        printJson(other);
        std::fputs("}\n", out);
    } else {
        print("removable", removable);
        print("other", other);
    }
    return 0;
}

} // namespace tavero::cli
