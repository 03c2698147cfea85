#include "store/frame_header.h"

namespace tavero::store {

bool IsFrameSync(const std::uint8_t* p) {
    return p[0] == 0 && p[1] == 0 && p[2] == 0 && p[3] == 2;
}

std::uint32_t DecodePayloadLength(std::span<const std::uint8_t, kFrameHeaderSize> h) {
    return (std::uint32_t{h[5] & 0x0Fu} << 28) | (std::uint32_t{h[6] & 0x7Fu} << 21) |
           (std::uint32_t{h[7] & 0x7Fu} << 14) | (std::uint32_t{h[8] & 0x7Fu} << 7) |
           std::uint32_t{h[9] & 0x7Fu};
}

std::int64_t DecodeTimestamp(std::span<const std::uint8_t, kFrameHeaderSize> h, std::uint8_t kind) {
    std::size_t start = 0;
    if (kind == static_cast<std::uint8_t>(FrameKind::Video)) {
        start = 18;
    } else if (kind == static_cast<std::uint8_t>(FrameKind::Audio)) {
        start = 16;
    } else {
        return 0;
    }
    const std::uint8_t* b = h.data() + start;
    // Two overlapping encodings of the same value; the recorder writes both, we OR them.
    const std::uint32_t t =
        (std::uint32_t{b[0] & 1u} << 31) | (std::uint32_t{b[1] & 0x7Fu} << 24) |
        (std::uint32_t{b[2] & 0x7Fu} << 17) | (std::uint32_t{b[3] & 0x7Fu} << 10) |
        (std::uint32_t{b[4] & 0x7Fu} << 3) | (std::uint32_t{b[5] & 0x0Fu} << 28) |
        (std::uint32_t{b[6] & 0x7Fu} << 21) | (std::uint32_t{b[7] & 0x7Fu} << 14) |
        (std::uint32_t{b[8] & 0x7Fu} << 7) | std::uint32_t{b[9] & 0x7Fu};
    return static_cast<std::int64_t>(static_cast<std::int32_t>(t));
}

FrameHeader ParseFrameHeader(std::span<const std::uint8_t, kFrameHeaderSize> h) {
    FrameHeader f;
    f.kind = h[4] & 0x0F;
    f.payloadLength = DecodePayloadLength(h);
    f.channel = h[15] & 0x0F;
    if (f.kind == static_cast<std::uint8_t>(FrameKind::Video)) {
        f.pictureType = h[16] & 0x0F;
    }
    f.timestampUs = DecodeTimestamp(h, f.kind);
    return f;
}

ItemCode ItemCodeFor(const FrameHeader& h) {
    switch (static_cast<FrameKind>(h.kind)) {
    case FrameKind::Video:
        if (h.pictureType == 0) {
            return kItemKeyPicture;
        }
        return h.pictureType == 1 ? kItemPicture : kItemNone;
    case FrameKind::Audio:
        return kItemAudio;
    case FrameKind::GSensor:
        return kItemGSensor;
    case FrameKind::Text:
        return kItemText;
    default:
        return kItemNone;
    }
}

GSample DecodeGFrame(std::span<const std::uint8_t> payload) {
    auto axis = [&](std::size_t first) -> std::int16_t {
        if (payload.size() < first + 4) {
            return 0;
        }
        std::uint16_t v = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            v = static_cast<std::uint16_t>((v << 4) | (payload[first + i] & 0x0F));
        }
        return static_cast<std::int16_t>(v);
    };
    return GSample{axis(0), axis(4), axis(8)};
}

std::string DecodeTextPayload(std::span<const std::uint8_t> payload, std::size_t maxChars) {
    std::string text;
    for (std::size_t i = 0; i + 1 < payload.size() && text.size() < maxChars; i += 2) {
        text.push_back(static_cast<char>(((payload[i] & 0x0F) << 4) | (payload[i + 1] & 0x0F)));
    }
    return text;
}

} // namespace tavero::store
