#include "store/unit_trailer.h"

#include "store/byte_io.h"
#include "store/checksum.h"

#include <algorithm>
#include <bit>

namespace tavero::store {

std::string UnitTrailer::gps() const {
    const auto end = std::find(gpsText.begin(), gpsText.end(), '\0');
    return std::string(gpsText.begin(), end);
}

int UnitTrailer::sampleCount() const {
    return std::min<int>(gCount, kMaxTrailerSamples);
}

bool ValidateTrailer(std::span<const std::uint8_t> trailer, std::uint32_t expectedDiskId) {
    if (trailer.size() < kTrailerSize) {
        return false;
    }
    return LoadLe32(trailer.data()) == kTrailerMagic &&
           LoadBe32(trailer.data() + 504) == expectedDiskId && BlockChecksumMatches(trailer) &&
           LoadBe32(trailer.data() + 4) != 0;
}

namespace {

// The converted fields (unit number, event type, sample words, disk identifier) are big-endian
// on the card and native in the host image; the magic and the checksum stay as stored.
constexpr bool kHostIsBig = std::endian::native == std::endian::big;

UnitTrailer Parse(std::span<const std::uint8_t> trailer, bool bigEndian) {
    UnitTrailer t;
    std::copy_n(trailer.begin(), std::min(trailer.size(), kTrailerSize), t.image.begin());
    const std::uint8_t* p = t.image.data();
    const auto u16 = [&](std::size_t at) {
        return bigEndian ? LoadBe16(p + at) : static_cast<std::uint16_t>(p[at] | (p[at + 1] << 8));
    };
    const auto u32 = [&](std::size_t at) {
        return bigEndian ? LoadBe32(p + at) : LoadLe32(p + at);
    };
    t.magic = LoadLe32(p);
    t.unitNo = u32(4);
    std::copy_n(p + 8, t.unitTime.bytes.size(), t.unitTime.bytes.begin());
    t.channel = p[14];
    t.recStartFlag = p[15];
    t.protectFlag = p[16];
    t.gCount = p[17];
    t.videoFormat = p[19];
    t.fps = p[20];
    t.eventType = u16(22);
    t.channelOff = p[24];
    std::size_t at = 44;
    for (GSample& s : t.gSamples) {
        s.x = static_cast<std::int16_t>(u16(at));
        s.y = static_cast<std::int16_t>(u16(at + 2));
        s.z = static_cast<std::int16_t>(u16(at + 4));
        at += 6;
    }
    std::copy_n(p + at, t.gpsText.size(), reinterpret_cast<std::uint8_t*>(t.gpsText.data()));
    t.diskId = u32(504);
    t.checksum = LoadLe32(p + 508);
    return t;
}

std::array<std::uint8_t, kTrailerSize> Serialise(const UnitTrailer& t, bool bigEndian) {
    std::array<std::uint8_t, kTrailerSize> out = t.image;
    std::uint8_t* p = out.data();
    const auto u16 = [&](std::size_t at, std::uint16_t v) {
        if (bigEndian) {
            StoreBe16(p + at, v);
        } else {
            p[at] = static_cast<std::uint8_t>(v);
            p[at + 1] = static_cast<std::uint8_t>(v >> 8);
        }
    };
    const auto u32 = [&](std::size_t at, std::uint32_t v) {
        if (bigEndian) {
            StoreBe32(p + at, v);
        } else {
            StoreLe32(p + at, v);
        }
    };
    StoreLe32(p, t.magic);
    u32(4, t.unitNo);
    std::copy(t.unitTime.bytes.begin(), t.unitTime.bytes.end(), p + 8);
    p[14] = t.channel;
    p[15] = t.recStartFlag;
    p[16] = t.protectFlag;
    p[17] = t.gCount;
    p[19] = t.videoFormat;
    p[20] = t.fps;
    u16(22, t.eventType);
    p[24] = t.channelOff;
    std::size_t at = 44;
    for (const GSample& s : t.gSamples) {
        u16(at, static_cast<std::uint16_t>(s.x));
        u16(at + 2, static_cast<std::uint16_t>(s.y));
        u16(at + 4, static_cast<std::uint16_t>(s.z));
        at += 6;
    }
    std::copy(t.gpsText.begin(), t.gpsText.end(), reinterpret_cast<char*>(p + at));
    u32(504, t.diskId);
    StoreLe32(p + 508, t.checksum);
    return out;
}

} // namespace

UnitTrailer TrailerToHost(std::span<const std::uint8_t> trailer) {
    return Parse(trailer, true);
}

std::array<std::uint8_t, kTrailerSize> TrailerToDisk(const UnitTrailer& t) {
    return Serialise(t, true);
}

std::array<std::uint8_t, kTrailerSize> TrailerToHostImage(const UnitTrailer& t) {
    return Serialise(t, kHostIsBig);
}

UnitTrailer TrailerFromHostImage(std::span<const std::uint8_t> image) {
    return Parse(image, kHostIsBig);
}

} // namespace tavero::store
