#pragma once
// Finding frames in one channel's stream, in place in the channel's video queue: forwards for
// normal and fast play, backwards (key pictures only) for reverse play. Owned by the source
// thread; one ChannelParse per channel.

#include "engine/frame_record.h"
#include "store/unit_trailer.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace tavero::engine {

class CVBuffer2;
class CABuffer2;

// What the unit being parsed stamps on every record it produces.
struct UnitStamp {
    std::int32_t fps = 0;
    double speed = 1.0;
    std::int64_t timeSeconds = 0;
    std::uint32_t unitNo = 0;
    std::uint32_t generation = 0; // the reader's seek generation
};

// The hand-over of completed audio frames; implemented by the source reader, which keeps the
// audio-ready and resynchronise marks across channels.
class AudioHandOver {
public:
    virtual ~AudioHandOver() = default;
    // Queues (or drops) a completed audio frame of a channel; false only when the audio queue
    // stayed full while the reader was told to stop.
    virtual bool HandAudio(int channel, std::span<const std::uint8_t> payload,
                           std::int64_t ptsUs) = 0;
    // A video picture of this channel was queued.
    virtual void PictureQueued(int channel) = 0;
    // A text frame's sentence was decoded (reverse play keeps the last one).
    virtual void TextDecoded(const std::string& text) = 0;
    // Stream-copy export: a completed picture (kind 17 or 18) or sound frame of a channel, with
    // its time stamp (µs), in place of queueing it. The payload is only valid during the call.
    virtual void ExportPicture(int channel, std::uint32_t kind,
                               std::span<const std::uint8_t> payload, std::int64_t ptsUs,
                               const UnitStamp& stamp) = 0;
    virtual void ExportSound(int channel, std::span<const std::uint8_t> payload, std::int64_t ptsUs,
                             const UnitStamp& stamp) = 0;
};

struct ChannelParse {
    int channel = 0;
    CVBuffer2* video = nullptr;
    CABuffer2* audio = nullptr;
    AudioHandOver* handOver = nullptr;
    std::function<bool()> keepGoing; // false once the reader stops or playback ends

    // The window: the stream bytes still needed, inside the video queue's data area.
    std::uint8_t* windowStart = nullptr;
    std::size_t windowSize = 0;
    std::uint8_t* cursor = nullptr;     // forwards: next 4-byte position to look at
    std::uint8_t* frameStart = nullptr; // payload of the frame in progress, or null
    std::uint32_t code = kKindIgnored;
    std::int64_t ptsUs = 0;
    std::uint32_t headerLength = 0; // the frame header's own payload length
    std::uint8_t headerChannel = 0;
    bool pendingAudio = false;
    int direction = 0;       // sign of the speed the window was read at; 0 before the first unit
    double lastSpeed = 0;    // speed of the last unit handled; 0 before the first
    bool hidden = false;     // hidden because the recorder had the channel switched off
    bool offPending = false; // the switch-off mark is still to be queued
    bool exportCopy = false; // completed frames go to the hand-over's export, not the queues
    FrameRecord audioRecord; // payload = where the next audio frame goes in the audio queue
    UnitStamp stamp;

    // The reader's count of holes in the unit walk when this channel last took a unit; a unit
    // that finds a newer count may not continue the frame in progress.
    std::uint64_t holeEpoch = 0;

    // Empties the window for reading in the given direction (+1 forwards, -1 backwards): the
    // queues are reset too, dropping everything not yet taken by the workers.
    void ResetForDirection(int newDirection);
    // Forgets the frame in progress and the bytes not yet looked at, and shuts the video
    // queue's key-frame gate; the complete frames already queued stay and are still shown.
    void DropPartial();
};

// Appends one unit's frame area to the window and finds the frames it completes. False when the
// queue gave no further room or keepGoing() turned false.
[[nodiscard]] bool ParseForward(ChannelParse& c, std::span<const std::uint8_t> frameArea);
// Prepends one unit's frame area (the unit before the window) and queues the key pictures found
// in it, latest first.
[[nodiscard]] bool ParseBackward(ChannelParse& c, std::span<const std::uint8_t> frameArea);

} // namespace tavero::engine
