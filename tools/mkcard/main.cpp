// tavero-mkcard: writes a card image or raw backup file of the recorder, for tests and demos.
#include "mkcard/card_writer.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace tavero::sim;

constexpr const char* kUsage = R"(usage: tavero-mkcard --out PATH [options]

Writes a recorder card image (default) or a raw backup file (--sd) and optionally a JSON
manifest of everything written.

Output
  --out PATH              output file (required)
  --sd                    write a raw backup (.sd) file instead of a whole-card image
  --blocks N              card data blocks, 1..65535 (default 32); the image is sparse
  --disk-id N             disk identifier (default 10000)
  --manifest FILE         write the manifest as JSON
  --demo                  the demo card: 4 channels, 3 recordings, sound, GPS, events
                          (--channel/--recording/--event replace the demo's own)
Content (times are the recorder's wall clock)
  --channel CHANNEL       repeatable, up to 8:
                            CH:pattern:WxH@FPS[:gop=N][:kbps=N][:format=N]
                            CH:file=PATH@FPS[:format=N]      (H.264 Annex-B, looped)
                          default: 0:pattern:320x240@25
  --audio CH:tone=HZ | CH:wav=FILE     8000 Hz mono 16-bit PCM
  --recording "YYYY-MM-DD hh:mm:ss+SECONDS"   repeatable (default "2024-05-01 08:00:00+10")
  --event OFFSET:gsensor|button|alarm[:protect]
                          repeatable; OFFSET in seconds after the first recording's start
  --gps-nmea FILE         use the file's RMC sentences, one per second (default: a generated drive)
  --no-gps                no GPS sentences
  --no-gsensor            no G-sensor samples
  --meta-frames           also G-sensor and GPS text frames in channel 0's stream, once a second
  --zone-hours H          zoneHours of every index record, 0..255
Damage and odd states
  --cut-off no-record|end-unit-zero    power lost while filling the last block
  --copy-a-missing K      index copy A lacks the last K records (copy B is newer)
  --bad-checksum U[,U...] break the trailer checksum of these unit numbers (repeatable)
  --channel-off CH:FROM-TO  channel off over seconds FROM..TO after the first recording's start
  --seq-restart R         record numbering restarts at 1 with recording R (1-based)
  --zero-index a|b|both   leave an index copy all zero
  --bad-diskinfo-b        disk information copy B with a bad checksum
  --no-backup-diskinfo    .sd: leave slot 65534 empty
  --help                  this text
)";

bool parseUnsigned(std::string_view text, uint64_t max, uint64_t& value) {
    if (text.empty())
        return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && value <= max;
}

bool parseDouble(std::string_view text, double& value) {
    if (text.empty())
        return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && value >= 0;
}

std::vector<std::string_view> splitOn(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at == std::string_view::npos ? at : at - start));
        if (at == std::string_view::npos)
            return parts;
        start = at + 1;
    }
}

bool parseChannelNumber(std::string_view text, uint8_t& channel) {
    uint64_t value = 0;
    if (!parseUnsigned(text, 7, value))
        return false;
    channel = static_cast<uint8_t>(value);
    return true;
}

// "key=value" options after the geometry of a channel.
bool parseChannelOptions(std::span<const std::string_view> options, ChannelSpec& channel) {
    for (std::string_view option : options) {
        const size_t equals = option.find('=');
        if (equals == std::string_view::npos)
            return false;
        const std::string_view key = option.substr(0, equals);
        uint64_t value = 0;
        if (!parseUnsigned(option.substr(equals + 1), 1000000, value))
            return false;
        if (key == "gop" && value >= 1)
            channel.gop = static_cast<int>(value);
        else if (key == "kbps" && value >= 1)
            channel.bitrateKbps = static_cast<int>(value);
        else if (key == "format" && value <= 15)
            channel.videoFormat = static_cast<uint8_t>(value);
        else
            return false;
    }
    return true;
}

bool parseChannel(std::string_view text, ChannelSpec& channel) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos ||
        !parseChannelNumber(text.substr(0, colon), channel.channel))
        return false;
    const std::string_view rest = text.substr(colon + 1);
    uint64_t value = 0;
    if (rest.starts_with("file=")) {
        // The path may itself hold ':' or '@'; the frame rate follows the last '@'.
        const std::string_view body = rest.substr(5);
        const size_t at = body.rfind('@');
        if (at == std::string_view::npos || at == 0)
            return false;
        channel.source = VideoSource::File;
        channel.filePath = std::string(body.substr(0, at));
        const auto parts = splitOn(body.substr(at + 1), ':');
        if (!parseUnsigned(parts[0], 120, value) || value == 0)
            return false;
        channel.fps = static_cast<int>(value);
        return parseChannelOptions(std::span(parts).subspan(1), channel);
    }
    if (!rest.starts_with("pattern:"))
        return false;
    const auto parts = splitOn(rest.substr(8), ':');
    const size_t x = parts[0].find('x');
    const size_t at = parts[0].find('@');
    if (x == std::string_view::npos || at == std::string_view::npos || at < x)
        return false;
    uint64_t width = 0;
    uint64_t height = 0;
    if (!parseUnsigned(parts[0].substr(0, x), 4096, width) ||
        !parseUnsigned(parts[0].substr(x + 1, at - x - 1), 4096, height) ||
        !parseUnsigned(parts[0].substr(at + 1), 120, value) || value == 0)
        return false;
    channel.source = VideoSource::Pattern;
    channel.width = static_cast<int>(width);
    channel.height = static_cast<int>(height);
    channel.fps = static_cast<int>(value);
    channel.gop = channel.fps;
    return parseChannelOptions(std::span(parts).subspan(1), channel);
}

bool parseRecording(std::string_view text, RecordingSpec& recording) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    unsigned duration = 0;
    char tail = 0;
    const std::string copy(text);
    if (std::sscanf(copy.c_str(), "%d-%d-%d %d:%d:%d+%u%c", &year, &month, &day, &hour, &minute,
                    &second, &duration, &tail) != 7)
        return false;
    recording.start = {year, month, day, hour, minute, second};
    recording.durationSec = duration;
    return isValidWallTime(recording.start);
}

bool parseEvent(std::string_view text, EventSpec& event) {
    const auto parts = splitOn(text, ':');
    if (parts.size() < 2 || parts.size() > 3 || !parseDouble(parts[0], event.offsetSec))
        return false;
    if (parts[1] == "gsensor")
        event.type = EventType::GSensor;
    else if (parts[1] == "button")
        event.type = EventType::PushButton;
    else if (parts[1] == "alarm")
        event.type = EventType::Alarm;
    else
        return false;
    if (parts.size() == 3 && parts[2] != "protect")
        return false;
    event.protect = parts.size() == 3;
    return true;
}

bool parseAudio(std::string_view text, std::vector<ChannelSpec>& channels) {
    uint8_t number = 0;
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos || !parseChannelNumber(text.substr(0, colon), number))
        return false;
    ChannelSpec* channel = nullptr;
    for (ChannelSpec& c : channels) {
        if (c.channel == number)
            channel = &c;
    }
    if (channel == nullptr)
        return false;
    const std::string_view source = text.substr(colon + 1);
    if (source.starts_with("tone=")) {
        channel->audio.kind = AudioKind::Tone;
        return parseDouble(source.substr(5), channel->audio.toneHz) && channel->audio.toneHz < 4000;
    }
    if (source.starts_with("wav=") && source.size() > 4) {
        channel->audio.kind = AudioKind::Wav;
        channel->audio.wavPath = std::string(source.substr(4));
        return true;
    }
    return false;
}

bool parseChannelOff(std::string_view text, ChannelOffSpan& span) {
    const size_t colon = text.find(':');
    const size_t dash = text.find('-', colon == std::string_view::npos ? 0 : colon);
    return colon != std::string_view::npos && dash != std::string_view::npos &&
           parseChannelNumber(text.substr(0, colon), span.channel) &&
           parseDouble(text.substr(colon + 1, dash - colon - 1), span.fromSec) &&
           parseDouble(text.substr(dash + 1), span.toSec) && span.toSec > span.fromSec;
}

int fail(const std::string& message, bool showUsage) {
    std::fprintf(stderr, "tavero-mkcard: %s\n", message.c_str());
    if (showUsage)
        std::fputs("run 'tavero-mkcard --help' for the options\n", stderr);
    return 1;
}

struct Options {
    CardSpec plan;
    bool demo = false;
    std::string manifestPath;
    std::vector<std::string> audio; // applied after all channels are known
};

const std::set<std::string, std::less<>> kValueOptions = {
    "--out",          "--manifest",    "--blocks",      "--disk-id",
    "--channel",      "--audio",       "--recording",   "--event",
    "--gps-nmea",     "--zone-hours",  "--cut-off",     "--copy-a-missing",
    "--bad-checksum", "--channel-off", "--seq-restart", "--zero-index"};

// Returns 0 to go on, 1 on a usage error, 2 after printing help.
int parseOptions(int argc, char** argv, Options& options, std::string& error) {
    CardSpec& plan = options.plan;
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        std::optional<std::string> inlineValue;
        if (const size_t equals = name.find('=');
            name.starts_with("--") && equals != std::string::npos) {
            inlineValue = name.substr(equals + 1);
            name.resize(equals);
        }
        auto value = [&](std::string& out) {
            if (inlineValue) {
                out = *inlineValue;
                return true;
            }
            if (i + 1 >= argc) {
                error = name + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        auto bad = [&](const std::string& text) {
            error = "bad value for " + name + ": '" + text + "'";
            return 1;
        };
        std::string text;
        uint64_t number = 0;
        if (name == "--help" || name == "-h") {
            std::fputs(kUsage, stdout);
            return 2;
        } else if (name == "--sd") {
            plan.kind = OutputKind::RawBackup;
        } else if (name == "--demo") {
            options.demo = true;
        } else if (name == "--no-gps") {
            plan.gps.source = GpsSource::None;
        } else if (name == "--no-gsensor") {
            plan.gsensor.enabled = false;
        } else if (name == "--meta-frames") {
            plan.gsensor.metaFrames = true;
        } else if (name == "--bad-diskinfo-b") {
            plan.hard.badDiskInfoB = true;
        } else if (name == "--no-backup-diskinfo") {
            plan.backupDiskInfoCopy = false;
        } else if (!kValueOptions.contains(name)) {
            error = "unknown option " + name;
            return 1;
        } else if (!value(text)) {
            return 1;
        } else if (name == "--out") {
            plan.outPath = text;
        } else if (name == "--manifest") {
            options.manifestPath = text;
        } else if (name == "--blocks") {
            if (!parseUnsigned(text, 65535, number) || number == 0)
                return bad(text);
            plan.blockCount = static_cast<uint32_t>(number);
        } else if (name == "--disk-id") {
            if (!parseUnsigned(text, 0xFFFFFFFF, number))
                return bad(text);
            plan.diskId = static_cast<uint32_t>(number);
        } else if (name == "--channel") {
            ChannelSpec channel;
            if (!parseChannel(text, channel))
                return bad(text);
            plan.channels.push_back(channel);
        } else if (name == "--audio") {
            options.audio.push_back(text);
        } else if (name == "--recording") {
            RecordingSpec recording;
            if (!parseRecording(text, recording))
                return bad(text);
            plan.recordings.push_back(recording);
        } else if (name == "--event") {
            EventSpec event;
            if (!parseEvent(text, event))
                return bad(text);
            plan.events.push_back(event);
        } else if (name == "--gps-nmea") {
            plan.gps.source = GpsSource::NmeaFile;
            plan.gps.nmeaPath = text;
        } else if (name == "--zone-hours") {
            if (!parseUnsigned(text, 255, number))
                return bad(text);
            plan.zoneHours = static_cast<uint8_t>(number);
        } else if (name == "--cut-off") {
            if (text == "no-record")
                plan.hard.cutOff = CutOff::NoRecord;
            else if (text == "end-unit-zero")
                plan.hard.cutOff = CutOff::EndUnitZero;
            else
                return bad(text);
        } else if (name == "--copy-a-missing") {
            if (!parseUnsigned(text, 65536, number))
                return bad(text);
            plan.hard.copyAMissingLast = static_cast<uint32_t>(number);
        } else if (name == "--bad-checksum") {
            for (std::string_view unit : splitOn(text, ',')) {
                if (!parseUnsigned(unit, 0xFFFFFFFF, number) || number == 0)
                    return bad(text);
                plan.hard.badChecksumUnits.push_back(static_cast<uint32_t>(number));
            }
        } else if (name == "--channel-off") {
            ChannelOffSpan span;
            if (!parseChannelOff(text, span))
                return bad(text);
            plan.hard.channelOff.push_back(span);
        } else if (name == "--seq-restart") {
            if (!parseUnsigned(text, 100000, number) || number < 1)
                return bad(text);
            plan.hard.seqRestartRecording = static_cast<size_t>(number - 1);
        } else if (name == "--zero-index") {
            if (text != "a" && text != "b" && text != "both")
                return bad(text);
            plan.hard.zeroIndexA = text != "b";
            plan.hard.zeroIndexB = text != "a";
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    const int parsed = parseOptions(argc, argv, options, error);
    if (parsed == 2)
        return 0;
    if (parsed != 0)
        return fail(error, true);
    CardSpec plan = options.plan;
    if (plan.outPath.empty())
        return fail("--out PATH is required", true);
    if (options.demo) {
        CardSpec demo = demoCardSpec(plan.outPath);
        demo.kind = plan.kind;
        demo.hard = plan.hard;
        demo.backupDiskInfoCopy = plan.backupDiskInfoCopy;
        if (!plan.channels.empty())
            demo.channels = plan.channels;
        if (!plan.recordings.empty())
            demo.recordings = plan.recordings;
        if (!plan.events.empty())
            demo.events = plan.events;
        plan = demo;
    } else {
        if (plan.channels.empty()) {
            ChannelSpec channel;
            channel.width = 320;
            channel.height = 240;
            plan.channels.push_back(channel);
        }
        if (plan.recordings.empty())
            plan.recordings.push_back({{2024, 5, 1, 8, 0, 0}, 10});
    }
    for (const std::string& audio : options.audio) {
        if (!parseAudio(audio, plan.channels))
            return fail("bad value for --audio: '" + audio + "' (channel must be given first)",
                        true);
    }

    const auto started = std::chrono::steady_clock::now();
    Manifest manifest;
    if (!writeCard(plan, manifest, error))
        return fail(error, false);
    if (!options.manifestPath.empty() && !writeManifestJson(manifest, options.manifestPath, error))
        return fail(error, false);
    const auto elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started);
    std::printf("wrote %s %s: %zu recordings, %u units (%u overwritten), %zu index records, "
                "%.1f s\n",
                plan.kind == OutputKind::CardImage ? "card image" : "raw backup",
                plan.outPath.c_str(), plan.recordings.size(), manifest.unitsWritten,
                manifest.unitsOverwritten, manifest.slots.size(), elapsed.count());
    return 0;
}
