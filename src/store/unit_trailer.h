#pragma once
// The 512-byte trailer that ends every 16 KiB recording unit.

#include "store/card_layout.h"
#include "store/packed_time.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace tavero::store {

inline constexpr std::uint32_t kTrailerMagic = 0x83062437;
inline constexpr std::size_t kFrameAreaSize = 15872; // 0x3E00
inline constexpr std::size_t kTrailerSize = kSectorSize;
inline constexpr int kMaxTrailerSamples = 50;
inline constexpr std::size_t kGpsTextSize = 160;
static_assert(kFrameAreaSize + kTrailerSize == kUnitSize);

struct GSample {
    std::int16_t x = 0;
    std::int16_t y = 0;
    std::int16_t z = 0;
    friend bool operator==(const GSample&, const GSample&) = default;
};

// Host-order trailer.
struct UnitTrailer {
    std::uint32_t magic = 0;
    std::uint32_t unitNo = 0;
    PackedTime unitTime;
    std::uint8_t channel = 0;
    std::uint8_t recStartFlag = 0;
    std::uint8_t protectFlag = 0;
    std::uint8_t gCount = 0;
    std::uint8_t videoFormat = 0;
    std::uint8_t fps = 0;
    std::uint16_t eventType = 0;
    std::uint8_t channelOff = 0;
    std::array<GSample, kMaxTrailerSamples> gSamples{};
    std::array<char, kGpsTextSize> gpsText{}; // as stored; see gps()
    std::uint32_t diskId = 0;
    std::uint32_t checksum = 0;

    std::array<std::uint8_t, kTrailerSize> image{};

    // The GPS sentence up to its NUL (or all 160 bytes when unterminated).
    [[nodiscard]] std::string gps() const;
    // gCount limited to the 50 slots that exist.
    [[nodiscard]] int sampleCount() const;
};

// Magic, expected disk identifier, checksum, and a non-zero unit number.
[[nodiscard]] bool ValidateTrailer(std::span<const std::uint8_t> trailer,
                                   std::uint32_t expectedDiskId);
// Host-order view of an on-disk trailer.
[[nodiscard]] UnitTrailer TrailerToHost(std::span<const std::uint8_t> trailer);
// The on-disk image again: the kept image with the converted fields written back.
[[nodiscard]] std::array<std::uint8_t, kTrailerSize> TrailerToDisk(const UnitTrailer& t);
// The trailer's 512-byte image in host order: unit number, event type, the sample words and the
// disk identifier native; the magic, the checksum and every other byte as stored. This is the
// form the player hands out as the last unit trailer.
[[nodiscard]] std::array<std::uint8_t, kTrailerSize> TrailerToHostImage(const UnitTrailer& t);
[[nodiscard]] UnitTrailer TrailerFromHostImage(std::span<const std::uint8_t> image);

} // namespace tavero::store
