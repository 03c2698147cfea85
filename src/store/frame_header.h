#pragma once
// The 32-byte header in front of every frame of a channel's stream, and the small payload
// encodings of the G-sensor and text frames.

#include "store/unit_trailer.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tavero::store {

inline constexpr std::size_t kFrameHeaderSize = 32;
inline constexpr std::size_t kFrameAlignment = 4;

enum class FrameKind : std::uint8_t {
    Video = 0,
    Audio = 1,
    GSensor = 2,
    Text = 3,
    Other = 4, // skipped, like every value above it
};

// Queue item codes of the frame stream.
enum ItemCode : std::int32_t {
    kItemNone = 0,
    kItemEnd = 1,
    kItemKeyPicture = 17,
    kItemPicture = 18,
    kItemAudio = 64,
    kItemGSensor = 67,
    kItemText = 68,
    kItemTrailer = 81,
};

// Pictures of every channel the reader serves are queued (the recorder writes up to eight).
inline constexpr int kMaxVideoChannel = 7;

// True when the four bytes are the sync pattern 00 00 00 02.
[[nodiscard]] bool IsFrameSync(const std::uint8_t* p);

struct FrameHeader {
    std::uint8_t kind = 0; // low 4 bits of byte 4
    std::uint32_t payloadLength = 0;
    std::uint8_t channel = 0;     // low 4 bits of byte 15
    std::uint8_t pictureType = 0; // video: low 4 bits of byte 16 (0 key, 1 predicted)
    std::int64_t timestampUs = 0; // video and audio; 0 for other kinds
};

// Header fields of 32 bytes that start with the sync pattern (not checked here).
[[nodiscard]] FrameHeader ParseFrameHeader(std::span<const std::uint8_t, kFrameHeaderSize> h);
// Payload length from bytes 5..9 in 7-bit groups.
[[nodiscard]] std::uint32_t DecodePayloadLength(std::span<const std::uint8_t, kFrameHeaderSize> h);
// The time stamp of a video (kind 0) or audio (kind 1) header in microseconds, sign-extended
// from bit 31; 0 for other kinds.
[[nodiscard]] std::int64_t DecodeTimestamp(std::span<const std::uint8_t, kFrameHeaderSize> h,
                                           std::uint8_t kind);
// Queue item code of a header: 17/18 for key/predicted pictures, 64 audio, 67, 68, else 0.
[[nodiscard]] ItemCode ItemCodeFor(const FrameHeader& h);

// X, Y, Z of a G-sensor frame: each from the low nibbles of four bytes, most significant first.
// A payload shorter than 12 bytes yields zeros for the missing axes.
[[nodiscard]] GSample DecodeGFrame(std::span<const std::uint8_t> payload);
// Text of a text frame: each byte from the low nibbles of two payload bytes, at most maxChars.
[[nodiscard]] std::string DecodeTextPayload(std::span<const std::uint8_t> payload,
                                            std::size_t maxChars = kGpsTextSize);

} // namespace tavero::store
