#include "engine/export_output.h"

namespace tavero::engine {
namespace {

// Resolution codes by the recorder's video format code.
constexpr int kResolutionOfFormat[16] = {7, 5, 4, 3, 6, 2, 1, 0, 6, 7, 8, 7, 7, 8, 7, 9};

} // namespace

int ResolutionCodeOfVideoFormat(int videoFormat) {
    return videoFormat >= 0 && videoFormat < 16 ? kResolutionOfFormat[videoFormat] : 0;
}

ExportHeader ExportHeader::Picture(std::uint32_t size, int fps, bool key,
                                   std::int64_t timeSeconds) {
    ExportHeader h;
    h.words[0] = kMagic;
    h.words[1] = (size & 0xFFFFFFu) << 8;
    h.words[2] = ((static_cast<std::uint32_t>(fps) & 0x1Fu) << 2) | kVideo | (key ? 0u : kNotKey);
    h.words[3] = static_cast<std::uint32_t>(timeSeconds);
    return h;
}

ExportHeader ExportHeader::Sound(std::uint32_t size, std::int64_t timeSeconds) {
    ExportHeader h;
    h.words[0] = kMagic;
    h.words[1] = size << 8;
    h.words[2] = 0;
    h.words[3] = static_cast<std::uint32_t>(timeSeconds);
    return h;
}

ExportHeader ExportHeader::Channel(const ExportHeader& previous, int videoFormat,
                                   std::int64_t timeSeconds) {
    ExportHeader h;
    h.words[0] = kMagic;
    // Bit 3 set, bit 2 clear: audio type 2, 16-bit PCM.
    h.words[1] = ((previous.words[1] & 0xFFu) | 0x8u) & ~0x4u;
    std::uint32_t w2 = previous.words[2];
    w2 = (w2 & ~0xF00u) |
         (static_cast<std::uint32_t>(ResolutionCodeOfVideoFormat(videoFormat)) << 8);
    w2 = (w2 & ~(1u << 16)) | (1u << 17) | (1u << 18);
    h.words[2] = w2;
    h.words[3] = static_cast<std::uint32_t>(timeSeconds);
    return h;
}

} // namespace tavero::engine
