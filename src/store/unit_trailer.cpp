#include "store/unit_trailer.h"

#include <algorithm>

#include "store/byte_io.h"
#include "store/checksum.h"

namespace tavero::store {

std::string UnitTrailer::gps() const {
    const auto end = std::find(gpsText.begin(), gpsText.end(), '\0');
    return std::string(gpsText.begin(), end);
}

int UnitTrailer::sampleCount() const { return std::min<int>(gCount, kMaxTrailerSamples); }

bool ValidateTrailer(std::span<const std::uint8_t> trailer, std::uint32_t expectedDiskId) {
    if (trailer.size() < kTrailerSize) {
        return false;
    }
    return LoadLe32(trailer.data()) == kTrailerMagic &&
           LoadBe32(trailer.data() + 504) == expectedDiskId && BlockChecksumMatches(trailer) &&
           LoadBe32(trailer.data() + 4) != 0;
}

UnitTrailer TrailerToHost(std::span<const std::uint8_t> trailer) {
    UnitTrailer t;
    std::copy_n(trailer.begin(), std::min(trailer.size(), kTrailerSize), t.image.begin());
    ByteReader in(t.image);
    t.magic = in.le32();
    t.unitNo = in.be32();
    in.bytes(t.unitTime.bytes.data(), t.unitTime.bytes.size());
    t.channel = in.u8();
    t.recStartFlag = in.u8();
    t.protectFlag = in.u8();
    t.gCount = in.u8();
    in.skip(1);
    t.videoFormat = in.u8();
    t.fps = in.u8();
    in.skip(1);
    t.eventType = in.be16();
    t.channelOff = in.u8();
    in.seek(44);
    for (GSample& s : t.gSamples) {
        s.x = in.be16s();
        s.y = in.be16s();
        s.z = in.be16s();
    }
    in.bytes(reinterpret_cast<std::uint8_t*>(t.gpsText.data()), t.gpsText.size());
    in.seek(504);
    t.diskId = in.be32();
    t.checksum = in.le32();
    return t;
}

std::array<std::uint8_t, kTrailerSize> TrailerToDisk(const UnitTrailer& t) {
    std::array<std::uint8_t, kTrailerSize> out = t.image;
    ByteWriter w(out);
    w.le32(t.magic);
    w.be32(t.unitNo);
    w.bytes(t.unitTime.bytes.data(), t.unitTime.bytes.size());
    w.u8(t.channel);
    w.u8(t.recStartFlag);
    w.u8(t.protectFlag);
    w.u8(t.gCount);
    w.seek(19);
    w.u8(t.videoFormat);
    w.u8(t.fps);
    w.seek(22);
    w.be16(t.eventType);
    w.u8(t.channelOff);
    w.seek(44);
    for (const GSample& s : t.gSamples) {
        w.be16(static_cast<std::uint16_t>(s.x));
        w.be16(static_cast<std::uint16_t>(s.y));
        w.be16(static_cast<std::uint16_t>(s.z));
    }
    w.bytes(reinterpret_cast<const std::uint8_t*>(t.gpsText.data()), t.gpsText.size());
    w.seek(504);
    w.be32(t.diskId);
    w.le32(t.checksum);
    return out;
}

} // namespace tavero::store
