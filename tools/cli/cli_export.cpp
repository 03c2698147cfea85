// tavero-cli export: copies the chosen channels' pictures (unchanged H.264) and the sound of a
// recording or a time range into one AVI file per channel, through the engine's stream copy.

#include "cli_commands.h"
#include "cli_common.h"
#include "cli_progress.h"
#include "engine/player.h"
#include "export/export_workers.h"
#include "store/packed_time.h"
#include "store/unit_trailer.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

namespace tavero::cli {
namespace {

constexpr const char* kExportHelp =
    "usage: tavero-cli export SOURCE -o PATH.avi (--entry N | --from T1 --to T2)\n"
    "                         [--channels LIST] [--drive N=PATH]... [--user NAME --password P]\n"
    "\n"
    "Copies each chosen channel's pictures unchanged, with the recording's sound, into its own\n"
    "AVI file: PATH without \".avi\" + the channel number (trip.avi gives trip1.avi, trip2.avi).\n"
    "A file starts at the first key picture and is split after 500 MiB (\"trip1 (2).avi\").\n"
    "  -o PATH.avi     the output name; missing folders are made, existing files are refused\n"
    "  --entry N       the recording numbered N by `list`\n"
    "  --from T1 --to T2  the time range, seconds since 1970 as the recorder's zone shows them\n"
    "  --channels LIST channel numbers 1 to 8 (default: every channel with pictures)\n"
    "Progress goes to standard error; the files written are listed on standard output.\n";

constexpr int kChannels = 8;

// The first existing file among the names the export of these channels may write: PATH + channel
// + ".avi" and its split pieces PATH + channel + " (N).avi". Empty when there is none.
std::string ExistingExportFile(const std::string& base, const std::array<bool, kChannels>& ticked) {
    const std::filesystem::path basePath(base);
    const std::filesystem::path folder = basePath.has_parent_path() ? basePath.parent_path() : ".";
    const std::string stem = basePath.filename().string();
    std::error_code ec;
    for (int c = 0; c < kChannels; ++c) {
        if (!ticked[static_cast<std::size_t>(c)]) {
            continue;
        }
        const std::string first = base + std::to_string(c + 1) + ".avi";
        if (std::filesystem::exists(first, ec)) {
            return first;
        }
        const std::string piece = stem + std::to_string(c + 1) + " (";
        for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
             it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (name.size() > piece.size() + 5 && name.compare(0, piece.size(), piece) == 0 &&
                name.compare(name.size() - 5, 5, ").avi") == 0 &&
                name.find_first_not_of("0123456789", piece.size()) == name.size() - 5) {
                return it->path().string();
            }
        }
    }
    return {};
}

struct ExportOptions {
    std::string source;
    std::string output;
    int entry = 0;
    std::int64_t from = 0;
    std::int64_t to = 0;
    bool haveFrom = false;
    bool haveTo = false;
    std::vector<int> channels;
};

// Learns the end of the export. Thread-safe.
class ExportSink : public engine::NotificationSink {
public:
    void Post(std::uint32_t message, engine::COzuCtrl*, std::int64_t lParam) override {
        if (message == engine::kMsgEndOfStream && lParam == -1) {
            m_ended = true;
        }
    }
    [[nodiscard]] bool ended() const { return m_ended.load(); }

private:
    std::atomic<bool> m_ended{false};
};

int ParseExportArgs(const Args& args, ExportOptions& options, std::FILE* out, std::FILE* err) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string error;
        switch (TakeCommonOption(args, i, error)) {
        case CommonOption::Taken:
            continue;
        case CommonOption::Error:
            return UsageError(error, err);
        case CommonOption::NotCommon:
            break;
        }
        if (arg == "--help" || arg == "-h") {
            std::fputs(kExportHelp, out);
            return 0;
        }
        const bool takesValue = arg == "-o" || arg == "--output" || arg == "--entry" ||
                                arg == "--from" || arg == "--to" || arg == "--channels";
        if (takesValue) {
            if (i + 1 >= args.size()) {
                return UsageError(arg + " needs a value", err);
            }
            const std::string& value = args[++i];
            std::int64_t number = 0;
            if (arg == "-o" || arg == "--output") {
                options.output = value;
            } else if (arg == "--entry") {
                if (!ParseInteger(value, number) || number < 1 || number > 1000000) {
                    return UsageError(
                        "--entry needs a recording number from 1, got '" + value + "'", err);
                }
                options.entry = static_cast<int>(number);
            } else if (arg == "--channels") {
                options.channels.clear();
                if (!ParseNumberList(value, options.channels) ||
                    std::any_of(options.channels.begin(), options.channels.end(),
                                [](int c) { return c > kChannels; })) {
                    return UsageError("--channels needs channel numbers 1 to 8 like 1,2, got '" +
                                          value + "'",
                                      err);
                }
            } else {
                if (!ParseInteger(value, number)) {
                    return UsageError(arg + " needs seconds since 1970, got '" + value + "'", err);
                }
                (arg == "--from" ? options.from : options.to) = number;
                (arg == "--from" ? options.haveFrom : options.haveTo) = true;
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("unknown option '" + arg + "' (see tavero-cli export --help)", err);
        } else if (options.source.empty()) {
            options.source = arg;
        } else {
            return UsageError("unexpected argument '" + arg + "'", err);
        }
    }
    if (options.source.empty()) {
        return UsageError("export needs a SOURCE", err);
    }
    if (options.output.size() < 5 ||
        options.output.compare(options.output.size() - 4, 4, ".avi") != 0) {
        return UsageError("export needs -o PATH ending in .avi (raw backup files: see backup)",
                          err);
    }
    if ((options.entry != 0) == (options.haveFrom || options.haveTo) ||
        options.haveFrom != options.haveTo) {
        return UsageError("export needs either --entry N or both --from and --to", err);
    }
    return -1;
}

} // namespace

int RunExportCommand(const Args& args, std::FILE* out, std::FILE* err) {
    ExportOptions options;
    if (const int status = ParseExportArgs(args, options, out, err); status >= 0) {
        return status;
    }
    auto fail = [&](const std::string& who, const std::string& why) {
        std::fprintf(err, "tavero-cli: %s: %s\n", who.c_str(), why.c_str());
        return 1;
    };
    std::array<bool, kChannels> ticked{};
    for (int c = 0; c < kChannels; ++c) {
        ticked[static_cast<std::size_t>(c)] =
            options.channels.empty() || std::find(options.channels.begin(), options.channels.end(),
                                                  c + 1) != options.channels.end();
    }
    // The export never replaces files: people's files of its names, the pieces of a split
    // ("trip1 (2).avi") included, are refused before anything is written.
    const std::string base = options.output.substr(0, options.output.size() - 4);
    if (const std::string taken = ExistingExportFile(base, ticked); !taken.empty()) {
        return fail(taken, "already exists; remove it or choose another name");
    }
    InstallStopSignals();

    ExportSink sink;
    ControlPtr control(engine::PlayerCreate(&sink));
    exporting::CExportWorkers workers(*control);
    std::string sourceName;
    if (!OpenForCommand(options.source, *control, err, sourceName)) {
        return 1;
    }
    const std::vector<store::RecordingEntry> entries = ListEntries(*control);
    store::IndexRecord* first = nullptr;
    std::int64_t start = 0;
    std::int64_t end = 0;
    if (options.entry != 0) {
        if (static_cast<std::size_t>(options.entry) > entries.size()) {
            return fail(sourceName, "there is no recording " + std::to_string(options.entry) +
                                        " (it has " + std::to_string(entries.size()) + ")");
        }
        const store::RecordingEntry& e = entries[static_cast<std::size_t>(options.entry - 1)];
        first = e.firstRecord;
        start = first->startSeconds();
        end = start;
        for (store::IndexRecord* r = e.firstRecord; r != nullptr && r != e.next;
             r = engine::PlayerNextEntry(control.get(), r)) {
            end = std::max(end, r->endSeconds());
        }
    } else {
        if (options.to < options.from) {
            return fail(sourceName, "the time range ends before it starts");
        }
        // Record times are compared as the recorder's zone shows them; the engine takes the
        // recorder's own clock.
        for (store::IndexRecord* r : control->box().index().fullList()) {
            const std::int64_t shift = std::int64_t{r->zoneHours} * 3600;
            if (r->endSeconds() + shift >= options.from &&
                r->startSeconds() + shift <= options.to) {
                first = r;
                start = options.from - shift;
                end = options.to - shift;
                break;
            }
        }
        if (first == nullptr) {
            return fail(sourceName, "no recording lies in the chosen range");
        }
    }

    for (int c = 0; c < kChannels; ++c) {
        engine::PlayerSelectChannel(control.get(), c, 1,
                                    ticked[static_cast<std::size_t>(c)] ? 1 : 0);
    }
    workers.ClearResults();
    if (!engine::PlayerExportRange(control.get(), options.output, first, 0, start, end)) {
        const std::string why = control->lastError();
        return fail(options.output, why.empty() ? "cannot start the export" : why);
    }
    ProgressDisplay progress(err);
    std::uint8_t trailer[512];
    std::int64_t reached = start;
    auto poll = [&] {
        if (engine::PlayerGetUnitTrailer(control.get(), trailer)) {
            reached = store::PackedTimeToSeconds(store::TrailerFromHostImage(trailer).unitTime);
        }
    };
    while (!sink.ended() && !StopRequested()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        poll();
        if (end > start) {
            progress.show(static_cast<std::uint32_t>(
                std::clamp<std::int64_t>((reached - start) * 99 / (end - start), 0, 99)));
        }
    }
    poll();
    engine::PlayerClose(control.get());
    const std::vector<std::string> files = workers.filesWritten();
    const std::vector<std::string> incomplete = workers.filesIncomplete();
    const std::string failure = workers.failure();
    if (!failure.empty() || StopRequested()) {
        std::string why = StopRequested() ? "interrupted" : failure;
        why += " (" + std::to_string(files.size()) + " files were finished";
        for (const std::string& f : incomplete) {
            why += "; " + f + " was not: what it holds plays, without its index";
        }
        why += ")";
        for (const std::string& f : files) {
            std::fprintf(out, "%s\n", f.c_str());
        }
        const int status = fail(options.output, "export incomplete: " + why);
        return StopRequested() ? StopExitStatus() : status;
    }
    if (files.empty()) {
        return fail(sourceName, "the chosen channels have no pictures in that range");
    }
    progress.show(100);
    // Units the card no longer holds (cut short, damaged) are skipped; say so when the data
    // ended well before the range did.
    if (reached + 2 < end) {
        std::fprintf(
            err,
            "tavero-cli: %s: the recording's data ends %lld s before the end of the range; "
            "the files hold what there is\n",
            sourceName.c_str(), static_cast<long long>(end - reached));
    }
    for (const std::string& f : files) {
        std::fprintf(out, "%s\n", f.c_str());
    }
    return 0;
}

} // namespace tavero::cli
