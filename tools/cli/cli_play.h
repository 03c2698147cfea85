#pragma once
// What `tavero-cli play` and its scripts share: the headless window every channel shows into,
// the notification sink the command waits on, and the script itself.

#include "cli_commands.h"
#include "engine/player.h"
#include "engine/video_window.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace tavero::cli {

inline constexpr int kPlayChannels = engine::kChannelCount;

// Notifications the command waits for. Thread-safe.
class PlaySink : public engine::NotificationSink {
public:
    void Post(std::uint32_t message, engine::COzuCtrl*, std::int64_t lParam) override;
    [[nodiscard]] bool ended(int channel) const;
    // The channels may play again (a seek, another recording).
    void ClearEnds();

private:
    std::array<std::atomic<bool>, kPlayChannels> m_ended{};
};

// The headless window of every channel: counts what is shown, stops counting a channel once its
// duration has played, prints hashes and saves pictures on request. Pictures arrive on the
// channels' worker threads.
class HeadlessWindow : public engine::VideoWindow {
public:
    using Clock = std::chrono::steady_clock;

    HeadlessWindow(const PlayOptions& options, std::FILE* out, Clock::time_point epoch);

    [[nodiscard]] bool wantsDecoded() const override { return true; }
    // Finished pictures are only saved with --snapshot-dir; otherwise none is converted.
    [[nodiscard]] bool wantsPictures(int) const override { return !m_options.snapshotDir.empty(); }
    void Decoded(int channel, const engine::YuvPicture& picture) override;
    void Present(int channel, const QImage& picture, const engine::CropRect& crop) override;

    // Counts the duration afresh from each channel's next picture (a script's last command;
    // before it, a script's pictures are all shown and not counted).
    void RestartDurations();
    // Every chosen channel has played its seconds: a channel that has shown nothing by the time
    // every channel that did is done has nothing in that stretch.
    [[nodiscard]] bool allDone(const std::array<bool, kPlayChannels>& chosen,
                               const PlaySink& sink) const;
    [[nodiscard]] std::uint32_t shown(int channel) const;
    [[nodiscard]] int width(int channel) const;
    [[nodiscard]] int height(int channel) const;
    [[nodiscard]] bool saveFailed() const { return m_saveFailed.load(); }

private:
    struct Channel {
        std::atomic<bool> started{false};
        std::atomic<bool> done{false};
        std::atomic<std::uint32_t> shown{0};
        std::atomic<bool> restart{false}; // set by RestartDurations, taken by the worker
        // Written by the channel's worker only.
        std::int64_t firstPts = 0;
        int width = 0;
        int height = 0;
        bool takeNext = false;
        int saved = 0;
    };
    const PlayOptions& m_options;
    std::FILE* m_out;
    const Clock::time_point m_epoch;
    std::mutex m_outLock;
    std::array<Channel, kPlayChannels> m_channels;
    std::atomic<bool> m_saveFailed{false};
    // The duration is counted (a script's pictures before its end are not).
    std::atomic<bool> m_counting;
};

// One line of a play script.
struct ScriptCommand {
    enum class Op {
        Wait,
        Seek,
        Speed,
        Pause,
        Resume,
        Step,
        Back,
        Play,
        Close,
        Volume,
        Audio,
        Video
    };
    Op op = Op::Wait;
    int line = 0;
    std::int64_t number = 0; // ms, seconds since 1970, recording number, volume, channel
    double speed = 1.0;
    bool on = false;
};

// Reads a script (one command a line, '#' starts a comment). On a bad line, error names it.
[[nodiscard]] bool ParseScript(std::FILE* in, std::vector<ScriptCommand>& script,
                               std::string& error);

// Runs the script against the control: entries are the recordings as `list` numbers them.
// Returns when the script and its last command's effects are done, or when a stop signal came.
void RunScript(const std::vector<ScriptCommand>& script, engine::COzuCtrl& control,
               const std::vector<store::RecordingEntry>& entries, HeadlessWindow& window,
               PlaySink& sink, const std::array<bool, kPlayChannels>& chosen);

} // namespace tavero::cli
