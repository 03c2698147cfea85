// tavero-cli snapshot: plays a recording to a time, pauses, and saves what each channel shows as
// PREFIXn.bmp through the engine's snapshot, stamped with the position and speed of that moment
// on request, as the player's snapshot button does.

#include "cli_commands.h"
#include "cli_common.h"
#include "cli_progress.h"
#include "engine/player.h"
#include "export/snapshot.h"
#include "store/metadata.h"
#include "store/unit_trailer.h"

#include <QGuiApplication>
#include <QImage>
#include <array>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

namespace tavero::cli {
namespace {

constexpr const char* kSnapshotHelp =
    "usage: tavero-cli snapshot SOURCE --seek T --prefix PREFIX [--stamp]\n"
    "                           [--drive N=PATH]... [--user NAME --password P]\n"
    "\n"
    "Plays the recording holding time T (seconds since 1970 of the recorder's clock), pauses\n"
    "there and saves each channel's picture as PREFIX + channel number + \".bmp\" (missing\n"
    "folders are made). --stamp writes the latitude, longitude and speed of that moment onto\n"
    "the pictures, as the player does when the position is known. The files written are listed\n"
    "on standard output.\n";

constexpr int kChannels = 8;
constexpr auto kWaitForPictures = std::chrono::seconds(5);

// Counts the pictures each channel presents. Any thread.
class CountingWindow : public engine::VideoWindow {
public:
    void Present(int channel, const QImage&, const engine::CropRect&) override {
        ++m_shown[static_cast<std::size_t>(channel)];
    }
    [[nodiscard]] std::uint32_t shown(int channel) const {
        return m_shown[static_cast<std::size_t>(channel)].load();
    }

private:
    std::array<std::atomic<std::uint32_t>, kChannels> m_shown{};
};

// Notes which channels have reached their end. Thread-safe.
class EndSink : public engine::NotificationSink {
public:
    void Post(std::uint32_t message, engine::COzuCtrl*, std::int64_t lParam) override {
        if (message == engine::kMsgEndOfStream && lParam >= 0 && lParam < kChannels) {
            m_ended[static_cast<std::size_t>(lParam)] = true;
        } else if (message == engine::kMsgEndOfStream) {
            m_sourceEnded = true;
        }
    }
    [[nodiscard]] bool ended(int channel) const {
        return m_ended[static_cast<std::size_t>(channel)].load();
    }
    [[nodiscard]] bool sourceEnded() const { return m_sourceEnded.load(); }

private:
    std::array<std::atomic<bool>, kChannels> m_ended{};
    std::atomic<bool> m_sourceEnded{false};
};

struct SnapshotOptions {
    std::string source;
    std::int64_t seek = 0;
    std::string prefix;
    bool stamp = false;
};

int ParseSnapshotArgs(const Args& args, SnapshotOptions& options, std::FILE* out, std::FILE* err) {
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
            std::fputs(kSnapshotHelp, out);
            return 0;
        }
        if (arg == "--stamp") {
            options.stamp = true;
        } else if (arg == "--seek" || arg == "--prefix") {
            if (i + 1 >= args.size()) {
                return UsageError(arg + " needs a value", err);
            }
            const std::string& value = args[++i];
            if (arg == "--prefix") {
                options.prefix = value;
            } else if (!ParseInteger(value, options.seek) || options.seek <= 0 ||
                       options.seek > INT32_MAX) {
                return UsageError("--seek needs seconds since 1970, got '" + value + "'", err);
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("unknown option '" + arg + "' (see tavero-cli snapshot --help)", err);
        } else if (options.source.empty()) {
            options.source = arg;
        } else {
            return UsageError("unexpected argument '" + arg + "'", err);
        }
    }
    if (options.source.empty()) {
        return UsageError("snapshot needs a SOURCE", err);
    }
    if (options.seek == 0 || options.prefix.empty()) {
        return UsageError("snapshot needs --seek T and --prefix PREFIX", err);
    }
    return -1;
}

} // namespace

int RunSnapshotCommand(const Args& args, std::FILE* out, std::FILE* err) {
    SnapshotOptions options;
    if (const int status = ParseSnapshotArgs(args, options, out, err); status >= 0) {
        return status;
    }
    auto fail = [&](const std::string& who, const std::string& why) {
        std::fprintf(err, "tavero-cli: %s: %s\n", who.c_str(), why.c_str());
        return 1;
    };
    const auto gui = MakeGuiApplication();
    EndSink sink;
    CountingWindow window;
    ControlPtr control(engine::PlayerCreate(&sink));
    std::string sourceName;
    if (!OpenForCommand(options.source, *control, err, sourceName)) {
        return 1;
    }
    const std::vector<store::RecordingEntry> entries = ListEntries(*control);
    const store::RecordingEntry* chosen = nullptr;
    for (const store::RecordingEntry& e : entries) {
        for (store::IndexRecord* r = e.firstRecord; r != nullptr && r != e.next;
             r = engine::PlayerNextEntry(control.get(), r)) {
            if (r->startSeconds() <= options.seek && options.seek <= r->endSeconds()) {
                chosen = &e;
            }
        }
    }
    if (chosen == nullptr) {
        return fail(sourceName, "no recording holds the time " + std::to_string(options.seek));
    }
    for (int c = 0; c < kChannels; ++c) {
        engine::PlayerEnableAudio(control.get(), 0, c); // a snapshot is silent
        engine::PlayerSetVideoWindow(control.get(), &window, c);
    }
    engine::PlayerSeek(control.get(), static_cast<std::int32_t>(options.seek));
    if (!engine::PlayerPlay(control.get(), chosen->firstRecord, 0)) {
        return fail(sourceName,
                    control->lastError().empty() ? "cannot play" : control->lastError());
    }
    // Real time from the seek on: every channel shows the picture at the time, then the player
    // pauses, as the snapshot button does.
    const auto started = std::chrono::steady_clock::now();
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        bool waiting = false;
        for (int c = 0; c < kChannels; ++c) {
            if (window.shown(c) == 0 && !sink.ended(c) &&
                engine::PlayerIsChannelIdle(control.get(), c) == 0) {
                waiting = true;
            }
        }
        const bool anyShown = [&] {
            for (int c = 0; c < kChannels; ++c) {
                if (window.shown(c) > 0) {
                    return true;
                }
            }
            return false;
        }();
        if ((anyShown && !waiting) || sink.sourceEnded() ||
            std::chrono::steady_clock::now() - started > kWaitForPictures) {
            break;
        }
    }
    engine::PlayerPause(control.get(), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));

    int result = 0;
    std::string why;
    std::uint8_t trailer[512];
    store::GpsFix fix;
    if (options.stamp && engine::PlayerGetUnitTrailer(control.get(), trailer) &&
        store::ParseRmc(store::TrailerFromHostImage(trailer).gps(), fix) && fix.latitude != 0) {
        result = exporting::PlayerSnapshotStamped(
            control.get(), exporting::kSnapshotBmp, 0, 255, options.prefix,
            exporting::StampLatitude(fix.latitude), exporting::StampLongitude(fix.longitude),
            exporting::StampSpeed(fix.speed), &why);
    } else {
        if (options.stamp) {
            std::fprintf(err,
                         "tavero-cli: %s: no position at that time; the pictures are not stamped\n",
                         sourceName.c_str());
        }
        result = exporting::PlayerSnapshot(control.get(), exporting::kSnapshotBmp, 0, 255,
                                           options.prefix, &why);
    }
    engine::PlayerClose(control.get());
    if (result == 0) {
        return fail(options.prefix, why);
    }
    int files = 0;
    for (int c = 0; c < kChannels; ++c) {
        const std::string path = options.prefix + std::to_string(c + 1) + ".bmp";
        std::error_code ec;
        if (window.shown(c) > 0 && std::filesystem::exists(path, ec)) {
            std::fprintf(out, "%s\n", path.c_str());
            ++files;
        }
    }
    if (files == 0) {
        return fail(sourceName, "no channel showed a picture at that time");
    }
    return 0;
}

} // namespace tavero::cli
