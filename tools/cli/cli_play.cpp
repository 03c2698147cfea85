// tavero-cli play: plays a recording through the real engine, headless. Pictures go to a window
// that counts them and, on request, prints their hashes or saves them; sound goes to the sound
// device or, unpaced, only to WAV files.

#include <QGuiApplication>
#include <QImage>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "cli_commands.h"
#include "cli_common.h"
#include "engine/picture_hash.h"
#include "engine/player.h"
#include "engine/video_window.h"
#include "store/recording_entry.h"

namespace tavero::cli {
namespace {

using store::IndexRecord;
constexpr int kChannels = engine::kChannelCount;

struct ControlDeleter {
    void operator()(engine::COzuCtrl* c) const { engine::PlayerDestroy(c); }
};

// Notifications the command waits for. Thread-safe.
class PlaySink : public engine::NotificationSink {
public:
    void Post(std::uint32_t message, engine::COzuCtrl*, std::int64_t lParam) override {
        if (message == engine::kMsgEndOfStream && lParam >= 0 && lParam < kChannels) {
            m_ended[static_cast<std::size_t>(lParam)] = true;
        }
    }
    [[nodiscard]] bool ended(int channel) const { return m_ended[static_cast<std::size_t>(channel)].load(); }

private:
    std::array<std::atomic<bool>, kChannels> m_ended{};
};

// The headless window of every channel: counts what is shown, stops taking pictures of a
// channel once its duration has played, prints hashes and saves pictures on request.
class HeadlessWindow : public engine::VideoWindow {
public:
    HeadlessWindow(const PlayOptions& options, std::FILE* out) : m_options(options), m_out(out) {}

    [[nodiscard]] bool wantsDecoded() const override { return true; }

    void Decoded(int channel, const engine::YuvPicture& picture) override {
        Channel& c = m_channels[static_cast<std::size_t>(channel)];
        if (c.done.load()) {
            return;
        }
        if (!c.started) {
            c.started = true;
            c.firstPts = picture.ptsUs;
        }
        if (m_options.duration > 0 &&
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
            std::fprintf(m_out, "%d %lld %dx%d %s\n", channel, static_cast<long long>(picture.ptsUs),
                         picture.width, picture.height, md5.c_str());
        }
    }

    void Present(int channel, const QImage& picture, const engine::CropRect&) override {
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

    [[nodiscard]] bool done(int channel) const { return m_channels[static_cast<std::size_t>(channel)].done.load(); }
    [[nodiscard]] std::uint32_t shown(int channel) const {
        return m_channels[static_cast<std::size_t>(channel)].shown.load();
    }
    [[nodiscard]] int width(int channel) const { return m_channels[static_cast<std::size_t>(channel)].width; }
    [[nodiscard]] int height(int channel) const { return m_channels[static_cast<std::size_t>(channel)].height; }
    [[nodiscard]] bool saveFailed() const { return m_saveFailed.load(); }

private:
    struct Channel {
        // Written by the channel's worker only; read by the main thread after the play.
        bool started = false;
        std::int64_t firstPts = 0;
        int width = 0;
        int height = 0;
        bool takeNext = false;
        int saved = 0;
        std::atomic<bool> done{false};
        std::atomic<std::uint32_t> shown{0};
    };
    const PlayOptions& m_options;
    std::FILE* m_out;
    std::mutex m_outLock;
    std::array<Channel, kChannels> m_channels;
    std::atomic<bool> m_saveFailed{false};
};

} // namespace

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
        if (c < 1 || c > kChannels) {
            return fail(options.source, "there is no channel " + std::to_string(c) + " (channels are 1 to 8)");
        }
    }
    const auto gui = MakeGuiApplication();

    PlaySink sink;
    std::unique_ptr<engine::COzuCtrl, ControlDeleter> control(engine::PlayerCreate(&sink));
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
            return fail(sourceName, "there is no recording " + std::to_string(options.entry) + " (it has " +
                                        std::to_string(entries.size()) + ")");
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

    HeadlessWindow window(options, out);
    std::array<bool, kChannels> enabled{};
    for (int c = 0; c < kChannels; ++c) {
        enabled[static_cast<std::size_t>(c)] =
            options.channels.empty() ||
            std::find(options.channels.begin(), options.channels.end(), c + 1) != options.channels.end();
        engine::PlayerEnableVideo(control.get(), enabled[static_cast<std::size_t>(c)] ? 1 : 0, c);
        engine::PlayerSetVideoWindow(control.get(), &window, c);
    }
    control->unpaced = options.unpaced;
    control->soundFolder = options.wavOut;
    control->unpacedSoundDurationUs = options.duration * 1'000'000LL;
    engine::PlayerSetSpeed(control.get(), options.speed);
    if (options.seek != 0) {
        engine::PlayerSeek(control.get(), static_cast<std::int32_t>(options.seek));
    }
    if (!engine::PlayerPlay(control.get(), entries[chosen].firstRecord, 0)) {
        return fail(sourceName, control->lastError().empty() ? "cannot play" : control->lastError());
    }

    const auto started = std::chrono::steady_clock::now();
    auto lastTick = started;
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        bool finished = true;
        for (int c = 0; c < kChannels; ++c) {
            if (enabled[static_cast<std::size_t>(c)] && !sink.ended(c) && !window.done(c)) {
                finished = false;
            }
        }
        // A single step pauses after its picture.
        if (finished || (control->paused.load() && std::fabs(options.speed) == 1.1)) {
            break;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - lastTick >= std::chrono::seconds(1)) {
            lastTick = now;
            engine::PlayerTick(control.get(), 1);
        }
    }
    engine::PlayerClose(control.get());

    std::FILE* summary = options.framemd5 ? err : out;
    for (int c = 0; c < kChannels; ++c) {
        if (window.shown(c) > 0) {
            std::fprintf(summary, "channel %d: %u pictures, %dx%d\n", c + 1, window.shown(c), window.width(c),
                         window.height(c));
        }
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
