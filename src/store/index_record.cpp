#include "store/index_record.h"

#include "store/byte_io.h"
#include "store/checksum.h"

#include <algorithm>

namespace tavero::store {
namespace {

constexpr std::size_t kEventsOffset = 8;
constexpr std::size_t kEventSize = 12;

} // namespace

bool IndexRecordValid(std::span<const std::uint8_t> slot, SourceKind kind,
                      std::uint32_t cardDiskId) {
    if (slot.size() < kSectorSize || LoadLe32(slot.data()) != kIndexMagic) {
        return false;
    }
    if (kind == SourceKind::Card && LoadBe32(slot.data() + 504) != cardDiskId) {
        return false;
    }
    return BlockChecksumMatches(slot) && LoadBe32(slot.data() + 4) != 0;
}

IndexRecord ParseIndexRecord(std::span<const std::uint8_t> slot) {
    IndexRecord r;
    std::copy_n(slot.begin(), std::min<std::size_t>(slot.size(), kSectorSize), r.image.begin());
    ByteReader in(r.image);
    r.magic = in.le32();
    r.seq = in.be32();
    for (IndexEvent& e : r.events) {
        e.unit = in.be32();
        in.bytes(e.time.bytes.data(), e.time.bytes.size());
        e.type = in.be16();
    }
    in.seek(200);
    r.startUnit = in.be32();
    in.bytes(r.startTime.bytes.data(), r.startTime.bytes.size());
    r.recStart = in.u8();
    r.newest = in.u8();
    r.protect = in.u8();
    r.eventCount = in.u8();
    in.seek(216);
    r.endUnit = in.be32();
    in.bytes(r.endTime.bytes.data(), r.endTime.bytes.size());
    in.seek(227);
    r.zoneHours = in.u8();
    for (std::uint16_t& w : r.words228) {
        w = in.be16();
    }
    in.seek(240);
    r.word240 = in.be32();
    in.seek(504);
    r.diskId = in.be32();
    r.checksum = in.le32();
    return r;
}

std::array<std::uint8_t, kSectorSize> SerializeIndexRecord(const IndexRecord& r) {
    std::array<std::uint8_t, kSectorSize> out = r.image;
    ByteWriter w(out);
    w.le32(r.magic);
    w.be32(r.seq);
    for (const IndexEvent& e : r.events) {
        w.be32(e.unit);
        w.bytes(e.time.bytes.data(), e.time.bytes.size());
        w.be16(e.type);
    }
    static_assert(kEventsOffset + kMaxRecordEvents * kEventSize == 200);
    w.seek(200);
    w.be32(r.startUnit);
    w.bytes(r.startTime.bytes.data(), r.startTime.bytes.size());
    w.u8(r.recStart);
    w.u8(r.newest);
    w.u8(r.protect);
    w.u8(r.eventCount);
    w.seek(216);
    w.be32(r.endUnit);
    w.bytes(r.endTime.bytes.data(), r.endTime.bytes.size());
    w.seek(227);
    w.u8(r.zoneHours);
    for (std::uint16_t v : r.words228) {
        w.be16(v);
    }
    w.seek(240);
    w.be32(r.word240);
    // Bytes 244..503 stay as read: the in-memory bookkeeping lives outside the image.
    w.seek(504);
    w.be32(r.diskId);
    StampBlockChecksum(out);
    return out;
}

} // namespace tavero::store
