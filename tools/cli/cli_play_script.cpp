// Play scripts: one command a line, run in order against one player control the way the window
// runs them, so that a person's sequence of actions (seek while playing backwards, seek twice,
// play another recording on the same control) can be replayed exactly.

#include "cli_common.h"
#include "cli_play.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <sstream>
#include <thread>

namespace tavero::cli {
namespace {

using Op = ScriptCommand::Op;
using SteadyClock = std::chrono::steady_clock;

struct OpName {
    const char* name;
    Op op;
    int arguments;
};

constexpr OpName kOps[] = {
    {"wait", Op::Wait, 1},     {"seek", Op::Seek, 1},     {"speed", Op::Speed, 1},
    {"pause", Op::Pause, 0},   {"resume", Op::Resume, 0}, {"step", Op::Step, 0},
    {"back", Op::Back, 0},     {"play", Op::Play, 1},     {"close", Op::Close, 0},
    {"volume", Op::Volume, 1}, {"audio", Op::Audio, 2},   {"video", Op::Video, 2},
};

bool ParseSpeed(const std::string& text, double& out) {
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size() && std::isfinite(out) && out != 0 &&
           std::fabs(out) <= 32;
}

// One line's words into a command; false with the reason.
bool ParseLine(const std::vector<std::string>& words, ScriptCommand& command, std::string& why) {
    const OpName* op = nullptr;
    for (const OpName& candidate : kOps) {
        if (words[0] == candidate.name) {
            op = &candidate;
        }
    }
    if (op == nullptr) {
        why = "unknown command '" + words[0] +
              "' (wait, seek, speed, pause, resume, step, back, play, close, "
              "volume, audio, video)";
        return false;
    }
    if (static_cast<int>(words.size()) - 1 != op->arguments) {
        why = "'" + words[0] + "' takes " + std::to_string(op->arguments) + " value" +
              (op->arguments == 1 ? "" : "s");
        return false;
    }
    command.op = op->op;
    std::int64_t n = 0;
    switch (op->op) {
    case Op::Wait:
        if (!ParseInteger(words[1], n) || n < 0 || n > 86'400'000) {
            why = "wait needs milliseconds, got '" + words[1] + "'";
            return false;
        }
        break;
    case Op::Seek:
        if (!ParseInteger(words[1], n) || n <= 0 || n > INT32_MAX) {
            why = "seek needs seconds since 1970, got '" + words[1] + "'";
            return false;
        }
        break;
    case Op::Speed:
        if (!ParseSpeed(words[1], command.speed)) {
            why = "speed needs a factor such as 2, 0.5, -1 or 1.1, got '" + words[1] + "'";
            return false;
        }
        break;
    case Op::Play:
        if (!ParseInteger(words[1], n) || n < 1 || n > 1'000'000) {
            why = "play needs a recording number from 1, got '" + words[1] + "'";
            return false;
        }
        break;
    case Op::Volume:
        if (!ParseInteger(words[1], n) || n < -10000 || n > 0) {
            why = "volume needs hundredths of a decibel from -10000 to 0, got '" + words[1] + "'";
            return false;
        }
        break;
    case Op::Audio:
    case Op::Video:
        if (!ParseInteger(words[1], n) || n < 1 || n > kPlayChannels ||
            (words[2] != "on" && words[2] != "off")) {
            why = words[0] + " needs a channel 1 to 8 and on or off";
            return false;
        }
        command.on = words[2] == "on";
        break;
    default:
        break;
    }
    command.number = n;
    return true;
}

// Sleeps ms, ticking the control once a second as the window's timer does.
void WaitTicking(engine::COzuCtrl& control, std::int64_t ms, SteadyClock::time_point& lastTick) {
    const auto until = SteadyClock::now() + std::chrono::milliseconds(ms);
    while (!StopRequested()) {
        const auto now = SteadyClock::now();
        if (now - lastTick >= std::chrono::seconds(1)) {
            lastTick = now;
            engine::PlayerTick(&control, 1);
        }
        if (now >= until) {
            return;
        }
        std::this_thread::sleep_for(
            std::min<SteadyClock::duration>(until - now, std::chrono::milliseconds(10)));
    }
}

} // namespace

bool ParseScript(std::FILE* in, std::vector<ScriptCommand>& script, std::string& error) {
    char buffer[4096];
    int line = 0;
    while (std::fgets(buffer, sizeof buffer, in) != nullptr) {
        ++line;
        std::string text(buffer);
        if (const auto hash = text.find('#'); hash != std::string::npos) {
            text.resize(hash);
        }
        std::istringstream words(text);
        std::vector<std::string> parts;
        for (std::string w; words >> w;) {
            parts.push_back(w);
        }
        if (parts.empty()) {
            continue;
        }
        ScriptCommand command;
        command.line = line;
        std::string why;
        if (!ParseLine(parts, command, why)) {
            error = "line " + std::to_string(line) + ": " + why;
            return false;
        }
        script.push_back(command);
    }
    if (std::ferror(in) != 0) {
        error = "cannot read the script";
        return false;
    }
    return true;
}

void RunScript(const std::vector<ScriptCommand>& script, engine::COzuCtrl& control,
               const std::vector<store::RecordingEntry>& entries, HeadlessWindow& window,
               PlaySink& sink, const std::array<bool, kPlayChannels>& chosen) {
    engine::COzuCtrl* const c = &control;
    auto lastTick = SteadyClock::now();
    for (const ScriptCommand& command : script) {
        if (StopRequested()) {
            return;
        }
        switch (command.op) {
        case Op::Wait:
            WaitTicking(control, command.number, lastTick);
            break;
        case Op::Seek:
            sink.ClearEnds();
            engine::PlayerSeek(c, static_cast<std::int32_t>(command.number));
            break;
        case Op::Speed:
            sink.ClearEnds();
            engine::PlayerSetSpeed(c, command.speed);
            break;
        case Op::Pause:
            engine::PlayerPause(c, 1);
            break;
        case Op::Resume:
            // Resuming returns the speed ladder to normal play, as the window's Pause does.
            engine::PlayerSetSpeed(c, 1.0);
            engine::PlayerPause(c, 0);
            break;
        case Op::Step:
            engine::PlayerSetSpeed(c, 1.1);
            engine::PlayerPause(c, 0);
            break;
        case Op::Back:
            engine::PlayerSetSpeed(c, -1.1);
            engine::PlayerPause(c, 0);
            break;
        case Op::Play: {
            // The window stops first, then plays the chosen recording on the same control.
            engine::PlayerClose(c);
            sink.ClearEnds();
            const auto n = static_cast<std::size_t>(command.number);
            if (n <= entries.size() && !engine::PlayerPlay(c, entries[n - 1].firstRecord, 0)) {
                std::fprintf(stderr, "tavero-cli: script line %d: cannot play recording %zu: %s\n",
                             command.line, n, control.lastError().c_str());
            } else if (n > entries.size()) {
                std::fprintf(stderr,
                             "tavero-cli: script line %d: there is no recording %zu (it has %zu)\n",
                             command.line, n, entries.size());
            }
            break;
        }
        case Op::Close:
            engine::PlayerClose(c);
            break;
        case Op::Volume:
            for (int ch = 0; ch < kPlayChannels; ++ch) {
                engine::PlayerSetVolume(c, static_cast<int>(command.number), ch);
            }
            break;
        case Op::Audio:
            engine::PlayerEnableAudio(c, command.on ? 1 : 0, static_cast<int>(command.number - 1));
            break;
        case Op::Video:
            engine::PlayerEnableVideo(c, command.on ? 1 : 0, static_cast<int>(command.number - 1));
            break;
        }
    }
    // The last command's effects: a seek is taken and shown, then playing goes on for the
    // duration (or to the end of the data); a paused or closed player has nothing more to show.
    window.RestartDurations();
    auto settledSince = SteadyClock::time_point{};
    while (!StopRequested() && control.playing.load()) {
        WaitTicking(control, 10, lastTick);
        if (control.seekTarget.load() != 0) {
            settledSince = {};
            continue;
        }
        if (control.paused.load()) {
            // A paused worker shows its picture within a few passes of its loop.
            if (settledSince == SteadyClock::time_point{}) {
                settledSince = SteadyClock::now();
            } else if (SteadyClock::now() - settledSince > std::chrono::milliseconds(300)) {
                break;
            }
            continue;
        }
        if (window.allDone(chosen, sink)) {
            break;
        }
    }
}

} // namespace tavero::cli
