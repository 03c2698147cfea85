// tavero-cli play: plays a recording through the real engine, headless. Pictures go to a window
// that counts them and, on request, prints their hashes or saves them; sound goes to the sound
// device or, unpaced, only to WAV files. A script drives the player as the window would.

#include "cli_play.h"

#include "cli_common.h"
#include "cli_progress.h"
#include "engine/picture_hash.h"
#include "store/recording_entry.h"

#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

namespace tavero::cli {
void PlaySink::Post(std::uint32_t message, engine::COzuCtrl*, std::int64_t lParam) {
    if (message == engine::kMsgEndOfStream && lParam >= 0 && lParam < kPlayChannels) {
        m_ended[static_cast<std::size_t>(lParam)] = true;
    }
}

bool PlaySink::ended(int channel) const {
    return m_ended[static_cast<std::size_t>(channel)].load();
}

void PlaySink::ClearEnds() {
    for (auto& e : m_ended) {
        e = false;
    }
}

HeadlessWindow::HeadlessWindow(const PlayOptions& options, std::FILE* out, Clock::time_point epoch)
    : m_options(options), m_out(out), m_epoch(epoch), m_counting(options.script.empty()) {}

void HeadlessWindow::Decoded(int channel, const engine::YuvPicture& picture) {
    Channel& c = m_channels[static_cast<std::size_t>(channel)];
    if (c.restart.exchange(false)) {
        c.started = false;
        c.done = false;
    }
    if (c.done.load()) {
        return;
    }
    if (!c.started.load()) {
        c.firstPts = picture.ptsUs;
        c.started = true;
    }
    if (m_options.duration > 0 && m_counting.load() &&
        std::llabs(picture.ptsUs - c.firstPts) >= m_options.duration * 1'000'000LL) {
        c.done = true;
        return;
    }
    c.width = picture.width;
    c.height = picture.height;
    c.shown.fetch_add(1);
    c.takeNext = true;
    if (m_options.framemd5) {
        const std::string md5 = engine::YuvPictureMd5(picture);
        std::lock_guard guard(m_outLock);
        if (m_options.clock) {
            const auto ms =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_epoch);
            std::fprintf(m_out, "%lld ", static_cast<long long>(ms.count()));
        }
        std::fprintf(m_out, "%d %lld %dx%d %s\n", channel, static_cast<long long>(picture.ptsUs),
                     picture.width, picture.height, md5.c_str());
    }
}

void HeadlessWindow::Present(int channel, const QImage& picture, const engine::CropRect&) {
    Channel& c = m_channels[static_cast<std::size_t>(channel)];
    if (m_options.snapshotDir.empty() || !c.takeNext) {
        return;
    }
    c.takeNext = false;
    const auto name = std::filesystem::path(m_options.snapshotDir) /
                      ("ch" + std::to_string(channel) + "_" + std::to_string(c.saved++) + ".png");
    if (!picture.save(QString::fromStdString(name.string()), "PNG")) {
        m_saveFailed = true;
    }
}

void HeadlessWindow::RestartDurations() {
    m_counting = true;
    for (Channel& c : m_channels) {
        c.restart = true;
        c.done = false;
    }
}

bool HeadlessWindow::allDone(const std::array<bool, kPlayChannels>& chosen,
                             const PlaySink& sink) const {
    bool anyStarted = false;
    for (int c = 0; c < kPlayChannels; ++c) {
        const Channel& ch = m_channels[static_cast<std::size_t>(c)];
        if (!chosen[static_cast<std::size_t>(c)] || sink.ended(c) || ch.restart.load()) {
            continue;
        }
        if (ch.started.load()) {
            anyStarted = true;
            if (!ch.done.load()) {
                return false;
            }
        }
    }
    for (int c = 0; c < kPlayChannels; ++c) {
        const Channel& ch = m_channels[static_cast<std::size_t>(c)];
        if (!chosen[static_cast<std::size_t>(c)] || sink.ended(c)) {
            continue;
        }
        const bool started = ch.started.load() && !ch.restart.load();
        if (!started && (m_options.duration == 0 || !anyStarted)) {
            return false; // still waiting for its first picture, or for the end of the data
        }
        if (started && !ch.done.load()) {
            return false;
        }
    }
    return true;
}

std::uint32_t HeadlessWindow::shown(int channel) const {
    return m_channels[static_cast<std::size_t>(channel)].shown.load();
}
int HeadlessWindow::width(int channel) const {
    return m_channels[static_cast<std::size_t>(channel)].width;
}
int HeadlessWindow::height(int channel) const {
    return m_channels[static_cast<std::size_t>(channel)].height;
}

int RunPlay(const PlayOptions& options, std::FILE* out, std::FILE* err) {
    auto fail = [&](const std::string& who, const std::string& why) {
        std::fprintf(err, "tavero-cli: %s: %s\n", who.c_str(), why.c_str());
        return 1;
    };
    for (const std::string* folder : {&options.wavOut, &options.snapshotDir}) {
        std::error_code ec;
        if (!folder->empty() && !std::filesystem::is_directory(*folder, ec)) {
            return fail(*folder, "no such folder");
        }
    }
    for (const int c : options.channels) {
        if (c < 1 || c > kPlayChannels) {
            return fail(options.source,
                        "there is no channel " + std::to_string(c) + " (channels are 1 to 8)");
        }
    }
    std::vector<ScriptCommand> script;
    if (!options.script.empty()) {
        std::FILE* in = options.script == "-" ? stdin : std::fopen(options.script.c_str(), "r");
        if (in == nullptr) {
            return fail(options.script, "cannot read the script");
        }
        std::string error;
        const bool parsed = ParseScript(in, script, error);
        if (in != stdin) {
            std::fclose(in);
        }
        if (!parsed) {
            return UsageError((options.script == "-" ? std::string("script") : options.script) +
                                  ": " + error,
                              err);
        }
    }
    InstallStopSignals();
    const auto gui = MakeGuiApplication();

    PlaySink sink;
    ControlPtr control(engine::PlayerCreate(&sink));
    std::string sourceName;
    if (!OpenForCommand(options.source, *control, err, sourceName)) {
        return 1;
    }
    const std::vector<store::RecordingEntry> entries = ListEntries(*control);
    if (entries.empty()) {
        return fail(sourceName, "holds no recordings");
    }
    std::size_t chosen = 0;
    if (options.entry > 0) {
        if (static_cast<std::size_t>(options.entry) > entries.size()) {
            return fail(sourceName, "there is no recording " + std::to_string(options.entry) +
                                        " (it has " + std::to_string(entries.size()) + ")");
        }
        chosen = static_cast<std::size_t>(options.entry - 1);
    } else if (options.seek != 0) {
        // The last recording that starts at or before the time.
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (entries[i].firstRecord->startSeconds() <= options.seek) {
                chosen = i;
            }
        }
    }

    HeadlessWindow window(options, out, HeadlessWindow::Clock::now());
    std::array<bool, kPlayChannels> enabled{};
    for (int c = 0; c < kPlayChannels; ++c) {
        enabled[static_cast<std::size_t>(c)] =
            options.channels.empty() || std::find(options.channels.begin(), options.channels.end(),
                                                  c + 1) != options.channels.end();
        engine::PlayerEnableVideo(control.get(), enabled[static_cast<std::size_t>(c)] ? 1 : 0, c);
        engine::PlayerSetVideoWindow(control.get(), &window, c);
    }
    control->unpaced = options.unpaced;
    control->soundFolder = options.wavOut;
    control->unpacedSoundDurationUs = script.empty() ? options.duration * 1'000'000LL : 0;
    engine::PlayerSetSpeed(control.get(), options.speed);
    if (options.seek != 0) {
        engine::PlayerSeek(control.get(), static_cast<std::int32_t>(options.seek));
    }
    if (!engine::PlayerPlay(control.get(), entries[chosen].firstRecord, 0)) {
        return fail(sourceName,
                    control->lastError().empty() ? "cannot play" : control->lastError());
    }

    if (!script.empty()) {
        RunScript(script, *control, entries, window, sink, enabled);
    } else {
        auto lastTick = std::chrono::steady_clock::now();
        while (!StopRequested()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            // A single step pauses after its picture.
            if (window.allDone(enabled, sink) ||
                (control->paused.load() && std::fabs(options.speed) == 1.1)) {
                break;
            }
            const auto now = std::chrono::steady_clock::now();
            if (now - lastTick >= std::chrono::seconds(1)) {
                lastTick = now;
                engine::PlayerTick(control.get(), 1);
            }
        }
    }
    engine::PlayerClose(control.get());

    std::FILE* summary = options.framemd5 ? err : out;
    for (int c = 0; c < kPlayChannels; ++c) {
        if (window.shown(c) > 0) {
            std::fprintf(summary, "channel %d: %u pictures, %dx%d\n", c + 1, window.shown(c),
                         window.width(c), window.height(c));
        }
    }
    if (StopRequested()) {
        std::fprintf(err, "tavero-cli: %s: interrupted\n", sourceName.c_str());
        return StopExitStatus();
    }
    if (window.saveFailed()) {
        return fail(options.snapshotDir, "some pictures could not be saved");
    }
    const std::string soundError = control->soundError();
    if (!soundError.empty()) {
        if (options.wavOut.empty()) {
            // Without a sound device the recording plays silent, as the player itself does.
            std::fprintf(err, "tavero-cli: %s: played without sound: %s\n", sourceName.c_str(),
                         soundError.c_str());
            return 0;
        }
        return fail(options.wavOut,
                    soundError + (options.unpaced ? ""
                                                  : " (without a sound device use --unpaced, or "
                                                    "SDL_AUDIODRIVER=dummy to keep real time)"));
    }
    return 0;
}

} // namespace tavero::cli
