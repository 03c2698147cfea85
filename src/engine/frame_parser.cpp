#include "engine/frame_parser.h"

#include "engine/audio_queue.h"
#include "engine/video_queue.h"
#include "store/frame_header.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace tavero::engine {
namespace {

using store::kFrameHeaderSize;

// A header is never read closer than this to the end of the valid bytes: the rest of it may
// still be on its way in the next unit.
constexpr std::size_t kHeaderLookahead = 64;

std::span<const std::uint8_t, kFrameHeaderSize> HeaderAt(const std::uint8_t* p) {
    return std::span<const std::uint8_t, kFrameHeaderSize>(p, kFrameHeaderSize);
}

// Pushes a record, waiting while the ring is full and the reader keeps going.
bool PushWaiting(ChannelParse& c, CBuffer& queue, FrameRecord record) {
    while (!queue.Push(record)) {
        if (c.keepGoing && !c.keepGoing()) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

FrameRecord StampedRecord(const ChannelParse& c, std::uint8_t* payload, std::uint32_t size,
                          std::uint32_t kind) {
    FrameRecord r;
    r.payload = payload;
    r.size = size;
    r.kind = kind;
    r.value = c.stamp.fps;
    r.speed = c.stamp.speed;
    r.timeSeconds = c.stamp.timeSeconds;
    // The worker's "last time": the frame's wall-clock second (low 32 bits).
    r.lastTime = static_cast<std::uint32_t>(c.stamp.timeSeconds);
    StampProducerData(r, c.stamp.unitNo, c.stamp.generation);
    r.ptsUs = c.ptsUs;
    return r;
}

// The frame in progress ends at `end`: hand it on.
bool CompleteFrame(ChannelParse& c, const std::uint8_t* end) {
    if (c.frameStart == nullptr) {
        return true;
    }
    auto size = static_cast<std::uint32_t>(end - c.frameStart);
    if (c.exportCopy && c.headerLength > 0 && c.headerLength < size) {
        // Playback takes a frame up to the next header, alignment padding included; the
        // stream copy carries exactly the bytes the recorder wrote.
        size = c.headerLength;
    }
    if (c.pendingAudio) {
        c.pendingAudio = false;
        if (c.exportCopy) {
            if (size > 0 && c.handOver != nullptr) {
                c.handOver->ExportSound(c.channel, std::span(c.frameStart, size), c.ptsUs, c.stamp);
            }
            return true;
        }
        if (size > 0 && c.handOver != nullptr &&
            !c.handOver->HandAudio(c.channel, std::span(c.frameStart, size), c.ptsUs)) {
            return false;
        }
        return true;
    }
    if (c.code == kKindKeyFrame || c.code == kKindFrame) {
        // Pictures are parsed in place: only a picture of the unit's own channel lives in this
        // queue's data area, so a header naming another channel is not queued anywhere.
        if (c.headerChannel != c.channel || c.headerChannel > store::kMaxVideoChannel) {
            return true;
        }
        if (c.exportCopy) {
            if (c.handOver != nullptr) {
                c.handOver->ExportPicture(c.channel, c.code, std::span(c.frameStart, size), c.ptsUs,
                                          c.stamp);
            }
            return true;
        }
        if (!PushWaiting(c, *c.video, StampedRecord(c, c.frameStart, size, c.code))) {
            return false;
        }
        if (c.handOver != nullptr) {
            c.handOver->PictureQueued(c.channel);
        }
        return true;
    }
    if (c.code == store::kItemGSensor) {
        (void)store::DecodeGFrame(std::span(c.frameStart, size));
    }
    return true;
}

void StartFrame(ChannelParse& c, std::uint8_t* header) {
    const store::FrameHeader h = store::ParseFrameHeader(HeaderAt(header));
    c.frameStart = header + kFrameHeaderSize;
    c.code = static_cast<std::uint32_t>(store::ItemCodeFor(h));
    c.ptsUs = h.timestampUs;
    c.headerLength = h.payloadLength;
    c.headerChannel = h.channel;
    c.pendingAudio = c.code == kKindAudio;
}

} // namespace

void ChannelParse::ResetForDirection(int newDirection) {
    direction = newDirection;
    if (audio != nullptr) {
        audio->Flush();
    }
    std::uint8_t* writePosition = nullptr;
    if (video != nullptr) {
        video->Reset(writePosition);
    }
    if (newDirection < 0 && video != nullptr) {
        // Backwards the window grows downwards from the end of the area.
        writePosition = video->areaEnd();
    }
    windowStart = writePosition;
    windowSize = 0;
    cursor = writePosition;
    frameStart = nullptr;
    code = kKindIgnored;
    pendingAudio = false;
}

void ChannelParse::DropPartial() {
    // The window is not queued: its bytes are free for the next unit, at the same place.
    if (direction < 0) {
        windowStart += windowSize;
    }
    windowSize = 0;
    cursor = windowStart;
    frameStart = nullptr;
    code = kKindIgnored;
    pendingAudio = false;
    if (video != nullptr) {
        video->CloseGate();
    }
}

bool ParseForward(ChannelParse& c, std::span<const std::uint8_t> frameArea) {
    if (c.video == nullptr) {
        return false;
    }
    // Room behind the window; the queue moves the window to the area start when it would cross
    // the end, and our pointers follow it.
    FrameRecord window;
    window.payload = c.windowStart;
    window.size = static_cast<std::uint32_t>(c.windowSize);
    std::uint8_t* destination = nullptr;
    for (;;) {
        std::uint8_t* const before = window.payload;
        destination = c.video->EnsureRoom(window, static_cast<std::int64_t>(frameArea.size()));
        const std::ptrdiff_t moved = window.payload - before;
        if (moved != 0) {
            c.cursor += moved;
            if (c.frameStart != nullptr) {
                c.frameStart += moved;
            }
        }
        if (destination != nullptr) {
            break;
        }
        if (c.keepGoing && !c.keepGoing()) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::memcpy(destination, frameArea.data(), frameArea.size());
    c.windowStart = window.payload;
    c.windowSize = window.size + frameArea.size();
    std::uint8_t* const end = c.windowStart + c.windowSize;

    while (c.cursor + kHeaderLookahead < end) {
        if (store::IsFrameSync(c.cursor)) {
            if (!CompleteFrame(c, c.cursor)) {
                return false;
            }
            StartFrame(c, c.cursor);
            // The search goes on behind the header: a sync pattern inside the header's own
            // bytes (damaged data) would end the frame before its payload begins, with a
            // negative size that no queue can ever take.
            c.cursor = c.frameStart;
            continue;
        }
        // Payload bytes are searched too: the length field is not used to skip ahead.
        c.cursor += store::kFrameAlignment;
    }

    // What is not consumed starts the next window: the header of the frame in progress, or the
    // bytes not yet looked at.
    std::uint8_t* keepFrom = c.frameStart != nullptr ? c.frameStart - kFrameHeaderSize : c.cursor;
    if (static_cast<std::size_t>(end - keepFrom) >= c.video->margin()) {
        // A frame larger than the queue accepts in one piece: drop it and look again near the end.
        c.frameStart = nullptr;
        c.pendingAudio = false;
        c.code = kKindIgnored;
        keepFrom = end - kHeaderLookahead;
        c.cursor = keepFrom;
    }
    c.windowSize = static_cast<std::size_t>(end - keepFrom);
    c.windowStart = keepFrom;
    return c.keepGoing ? c.keepGoing() : true;
}

bool ParseBackward(ChannelParse& c, std::span<const std::uint8_t> frameArea) {
    if (c.video == nullptr) {
        return false;
    }
    FrameRecord window;
    window.payload = c.windowStart;
    window.size = static_cast<std::uint32_t>(c.windowSize);
    for (;;) {
        std::uint8_t* destination =
            c.video->EnsureRoom(window, -static_cast<std::int64_t>(frameArea.size()));
        if (destination != nullptr && window.payload - c.video->areaStart() >=
                                          static_cast<std::ptrdiff_t>(frameArea.size())) {
            break;
        }
        if (c.keepGoing && !c.keepGoing()) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::uint8_t* const start = window.payload - frameArea.size();
    std::memcpy(start, frameArea.data(), frameArea.size());
    c.windowStart = start;
    c.windowSize = window.size + frameArea.size();
    std::uint8_t* const end = start + c.windowSize;

    // Walk from the end towards the start; a frame is complete when its declared length fits.
    // The window starts on a stream boundary, so every 4-byte step is a possible header.
    std::uint8_t* earliest = nullptr;
    std::size_t offset =
        c.windowSize >= kFrameHeaderSize
            ? (c.windowSize - kFrameHeaderSize) / store::kFrameAlignment * store::kFrameAlignment +
                  store::kFrameAlignment
            : 0;
    while (offset >= store::kFrameAlignment) {
        offset -= store::kFrameAlignment;
        std::uint8_t* const p = start + offset;
        if (!store::IsFrameSync(p)) {
            continue;
        }
        earliest = p;
        const store::FrameHeader h = store::ParseFrameHeader(HeaderAt(p));
        std::uint8_t* const payload = p + kFrameHeaderSize;
        const bool complete = h.payloadLength <= static_cast<std::size_t>(end - payload);
        const auto code = static_cast<std::uint32_t>(store::ItemCodeFor(h));
        if (code == kKindKeyFrame && complete && h.channel == c.channel &&
            h.channel <= store::kMaxVideoChannel) {
            c.ptsUs = h.timestampUs;
            if (!PushWaiting(c, *c.video, StampedRecord(c, payload, h.payloadLength, code))) {
                return false;
            }
            if (c.handOver != nullptr) {
                c.handOver->PictureQueued(c.channel);
            }
        } else if (code == store::kItemText && complete && c.handOver != nullptr) {
            c.handOver->TextDecoded(store::DecodeTextPayload(std::span(payload, h.payloadLength)));
        }
    }
    // Keep the bytes before the earliest header: they end a frame whose header lies in the unit
    // that is read next.
    std::size_t keep =
        earliest != nullptr ? static_cast<std::size_t>(earliest - start) : c.windowSize;
    if (keep > c.video->margin()) {
        keep = 0; // a frame too large to ever be queued
    }
    c.windowStart = start;
    c.windowSize = keep;
    return c.keepGoing ? c.keepGoing() : true;
}

} // namespace tavero::engine
