// One channel's frame stream for one recording, cut into 15872-byte frame areas.
//
// A stream is a run of 32-byte frame headers, each followed by its payload and zero padding up to
// the next 4-byte boundary. A channel switched off mid-recording has several segments; every
// segment ends with a zero-length frame of kind "other" (so a reader that delimits a frame by the
// next header gets the segment's last frame too) and zero padding to the end of its last area.
#pragma once

#include "mkcard/card_format.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tavero::sim {

struct StreamItem {
    FrameKind kind = FrameKind::Video;
    uint32_t timeUs = 0; // from the recording's start; written only for video and audio
    bool key = false;
    std::vector<uint8_t> payload;
    int frameRef = -1; // manifest frame of the channel, -1 for metadata frames
};

struct FramePlacement {
    int frameRef = -1;
    size_t firstArea = 0; // area holding the header
    size_t lastArea = 0;  // area holding the last payload byte
};

struct ChannelStream {
    uint8_t channel = 0;
    std::vector<uint8_t> bytes; // always a whole number of frame areas
    std::vector<uint32_t> areaTimeUs;
    std::vector<FramePlacement> placements;

    [[nodiscard]] size_t areaCount() const { return bytes.size() / kFrameAreaSize; }
    [[nodiscard]] std::span<const uint8_t> area(size_t index) const {
        return std::span(bytes).subspan(index * kFrameAreaSize, kFrameAreaSize);
    }
};

// Appends one segment of items (in stream order) to the stream, starting a fresh area.
[[nodiscard]] bool appendSegment(std::span<const StreamItem> items, ChannelStream& stream,
                                 std::string& error);

} // namespace tavero::sim
