// Recorder simulator: writes a whole-card image or a raw backup (".sd") file exactly as the
// recorder lays out its data, and reports what it wrote.
//
// writeCard() is a plain function, safe to call from any thread on distinct outputs. The manifest
// is meant for tests of the card reader: every index slot, every unit and every picture and
// audio frame, with a payload hash, so that a reader's output can be checked frame by frame.
#pragma once

#include "mkcard/card_format.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tavero::sim {

enum class OutputKind { CardImage, RawBackup };

enum class EventType : uint16_t { GSensor = 1, PushButton = 2, Alarm = 8 };

enum class VideoSource { Pattern, File };
enum class AudioKind { None, Tone, Wav };

struct AudioSpec {
    AudioKind kind = AudioKind::None;
    double toneHz = 440;
    std::string wavPath; // 8000 Hz mono 16-bit PCM
};

struct ChannelSpec {
    uint8_t channel = 0; // 0..7
    VideoSource source = VideoSource::Pattern;
    int width = 640; // pattern only
    int height = 480;
    int fps = 25;
    int gop = 25;            // key picture interval of the pattern, in frames
    int bitrateKbps = 0;     // pattern; 0 picks a modest rate from the size
    std::string filePath;    // Annex-B H.264, looped to fill each recording
    uint8_t videoFormat = 0; // 0..15, copied into every trailer of the channel
    AudioSpec audio;
};

struct RecordingSpec {
    WallTime start; // recorder wall clock
    uint32_t durationSec = 0;
};

struct EventSpec {
    double offsetSec = 0; // wall-clock seconds after the first recording's start
    EventType type = EventType::GSensor;
    bool protect = false;
};

// The channel is switched off over [fromSec, toSec), seconds after the first recording's start.
struct ChannelOffSpan {
    uint8_t channel = 0;
    double fromSec = 0;
    double toSec = 0;
};

enum class GpsSource { None, Generated, NmeaFile };

struct GpsSpec {
    GpsSource source = GpsSource::Generated;
    std::string nmeaPath;
};

struct GSensorSpec {
    bool enabled = true;
    // Also put a G-sensor sample frame and a GPS text frame into channel 0's stream once a second.
    bool metaFrames = false;
};

// What happened to the block being filled when the recorder lost power.
enum class CutOff {
    None,        // its record was written as usual
    NoRecord,    // its index slot was never updated
    EndUnitZero, // its record was written when the block was opened: endUnit 0, no events
};

struct HardCases {
    CutOff cutOff = CutOff::None;
    uint32_t copyAMissingLast = 0;          // index copy A lacks the last K records written
    std::vector<uint32_t> badChecksumUnits; // unit numbers whose trailer checksum is broken
    std::vector<ChannelOffSpan> channelOff;
    std::optional<size_t> seqRestartRecording; // 0-based recording whose first block gets seq 1
    bool zeroIndexA = false;
    bool zeroIndexB = false;
    bool badDiskInfoB = false;
};

struct CardSpec {
    OutputKind kind = OutputKind::CardImage;
    std::string outPath;
    uint32_t diskId = 10000;
    uint32_t blockCount = 32; // card only; the image is sized so that the drive-size rule gives it
    std::vector<ChannelSpec> channels;
    std::vector<RecordingSpec> recordings;
    std::vector<EventSpec> events;
    GpsSpec gps;
    GSensorSpec gsensor;
    uint8_t zoneHours = 0;
    bool backupDiskInfoCopy = true; // .sd: keep the card's disk information in slot 65534
    HardCases hard;
};

// Demo card: four distinct channels, three recordings with gaps, sound, GPS, G-sensor and two
// events (see the implementation for the exact layout).
[[nodiscard]] CardSpec demoCardSpec(const std::string& outPath);

struct ManifestEvent {
    uint32_t unit = 0;
    PackedTime packed{};
    WallTime time;
    uint16_t type = 0;
};

struct ManifestSlot {
    uint32_t slot = 0;
    uint32_t seq = 0;
    uint32_t startUnit = 0;
    uint32_t endUnit = 0;
    PackedTime startPacked{};
    PackedTime endPacked{};
    WallTime startTime;
    WallTime endTime;
    bool recStart = false;
    uint8_t protect = 0;
    std::vector<ManifestEvent> events;
    bool inCopyA = false;
    bool inCopyB = false;
};

struct ManifestUnit {
    uint32_t unitNo = 0;
    uint32_t slot = 0; // data block
    uint32_t indexInBlock = 0;
    uint64_t fileOffset = 0; // byte offset of the unit in the output
    uint32_t recording = 0;  // 0-based
    uint8_t channel = 0;
    uint32_t timeUs = 0; // time of the first frame starting in the unit, from the recording
    PackedTime packed{};
    WallTime time;
    bool recStart = false;
    bool protect = false;
    uint16_t eventType = 0;
    bool channelOff = false;
    uint8_t gCount = 0;
    std::string gpsText;
    bool badChecksum = false;
};

enum class FrameMedia { Video, Audio };

struct ManifestFrame {
    FrameMedia media = FrameMedia::Video;
    uint32_t recording = 0;
    uint32_t size = 0; // payload bytes
    bool key = false;
    uint32_t timestampUs = 0;
    uint64_t hash = 0; // payloadHash() of the payload
    uint32_t firstUnit = 0;
    uint32_t lastUnit = 0;
    bool onCard = false; // no unit holding it was overwritten later
    bool intact = false; // on card and no unit holding it has a broken checksum
};

struct ManifestChannel {
    uint8_t channel = 0;
    int width = 0; // 0 for file input
    int height = 0;
    int fps = 0;
    uint8_t videoFormat = 0;
    bool audio = false;
    std::vector<ManifestFrame> frames; // in stream order
};

struct Manifest {
    OutputKind kind = OutputKind::CardImage;
    uint64_t fileSize = 0;
    uint32_t diskId = 0;
    uint32_t blockCount = 0;
    uint8_t zoneHours = 0;
    CutOff cutOff = CutOff::None;
    std::optional<uint32_t> lastBlockSlot; // the block being filled last
    uint32_t unitsWritten = 0;
    uint32_t unitsOverwritten = 0;
    std::vector<ManifestSlot> slots;       // slots holding a record in either copy, by slot
    std::vector<ManifestUnit> units;       // units on the card at the end, by unit number
    std::vector<ManifestChannel> channels; // by channel number
};

// 64-bit FNV-1a of a frame payload.
[[nodiscard]] uint64_t payloadHash(std::span<const uint8_t> payload);

[[nodiscard]] bool writeCard(const CardSpec& plan, Manifest& manifest, std::string& error);

[[nodiscard]] bool writeManifestJson(const Manifest& manifest, const std::string& path,
                                     std::string& error);

} // namespace tavero::sim
