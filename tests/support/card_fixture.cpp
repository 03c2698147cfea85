#include "card_fixture.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace tavero::testing {

void PutBe16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}
void PutBe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
    }
}
void PutLe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}
void PutPacked(std::uint8_t* p, const Packed& t) {
    p[0] = static_cast<std::uint8_t>(t.year - 1800);
    p[1] = static_cast<std::uint8_t>(t.month);
    p[2] = static_cast<std::uint8_t>(t.day);
    p[3] = static_cast<std::uint8_t>(t.hour);
    p[4] = static_cast<std::uint8_t>(t.minute);
    p[5] = static_cast<std::uint8_t>(t.second);
}

Packed AddSeconds(Packed t, int seconds) {
    int total = t.hour * 3600 + t.minute * 60 + t.second + seconds;
    t.day += total / 86400;
    total %= 86400;
    t.hour = total / 3600;
    t.minute = total / 60 % 60;
    t.second = total % 60;
    return t;
}

void Seal(Bytes512& block) {
    std::uint32_t sum = 0;
    for (int i = 0; i < 127; ++i) {
        const std::uint8_t* p = block.data() + 4 * i;
        sum ^= std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
               std::uint32_t{p[3]} << 24;
    }
    PutLe32(block.data() + 508, sum);
}

Bytes512 IndexRecordBytes(const TestRecord& r) {
    Bytes512 b{};
    b[0] = 0x76, b[1] = 0x23, b[2] = 0x85, b[3] = 0x49; // 0x49852376 as stored
    PutBe32(b.data() + 4, r.seq);
    for (std::size_t k = 0; k < r.events.size() && k < 16; ++k) {
        std::uint8_t* e = b.data() + 8 + 12 * k;
        PutBe32(e, r.events[k].unit);
        PutPacked(e + 4, r.events[k].time);
        PutBe16(e + 10, r.events[k].type);
    }
    PutBe32(b.data() + 200, r.startUnit);
    PutPacked(b.data() + 204, r.startTime);
    b[210] = r.recStart;
    b[212] = r.protect;
    b[213] = static_cast<std::uint8_t>(r.events.size());
    PutBe32(b.data() + 216, r.endUnit);
    PutPacked(b.data() + 220, r.endTime);
    b[227] = r.zoneHours;
    PutBe16(b.data() + 228, 1);
    PutBe16(b.data() + 230, 1);
    PutBe32(b.data() + 504, r.diskId);
    Seal(b);
    return b;
}

Bytes512 NeverWrittenSlot(std::uint32_t diskId) {
    Bytes512 b{};
    b[0] = 0x76, b[1] = 0x23, b[2] = 0x85, b[3] = 0x49;
    PutBe32(b.data() + 504, diskId);
    Seal(b);
    return b;
}

Bytes512 DiskInfoBytes(std::uint16_t blockCount, std::uint32_t diskId) {
    Bytes512 b{};
    b[0] = 0x24, b[1] = 0x41, b[2] = 0x96, b[3] = 0x78;
    PutBe32(b.data() + 4, 0x10000000);
    PutBe16(b.data() + 12, blockCount);
    PutPacked(b.data() + 14, Packed{2024, 1, 2, 3, 4, 5});
    PutBe32(b.data() + 504, diskId);
    Seal(b);
    return b;
}

Bytes512 TrailerBytes(const TestTrailer& t) {
    Bytes512 b{};
    b[0] = 0x37, b[1] = 0x24, b[2] = 0x06, b[3] = 0x83;
    PutBe32(b.data() + 4, t.unitNo);
    PutPacked(b.data() + 8, t.time);
    b[14] = t.channel;
    b[15] = t.recStart;
    b[16] = t.protect;
    b[20] = 25;
    PutBe16(b.data() + 22, t.eventType);
    std::memcpy(b.data() + 344, t.gps.data(), std::min<std::size_t>(t.gps.size(), 159));
    PutBe32(b.data() + 504, t.diskId);
    Seal(b);
    return b;
}

TestCard::TestCard(const std::filesystem::path& path, std::uint16_t blockCount, std::uint32_t diskId)
    : m_path(path), m_blockCount(blockCount), m_diskId(diskId) {
    const std::int64_t size = 0x16000000LL + (std::int64_t{blockCount} + 8) * 0x1000000LL;
    const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    if (fd < 0 || ::ftruncate(fd, size) != 0) {
        throw std::runtime_error("cannot create " + path.string());
    }
    ::close(fd);
    const Bytes512 info = DiskInfoBytes(blockCount, diskId);
    writeAt(0x4000000, info.data(), info.size());
    writeAt(0x5000000, info.data(), info.size());
}

void TestCard::writeAt(std::int64_t offset, const void* data, std::size_t size) {
    const int fd = ::open(m_path.c_str(), O_WRONLY);
    if (fd < 0 || ::pwrite(fd, data, size, offset) != static_cast<ssize_t>(size)) {
        throw std::runtime_error("cannot write " + m_path.string());
    }
    ::close(fd);
}

void TestCard::initialiseIndex() {
    std::vector<std::uint8_t> area(std::size_t{m_blockCount} * 512);
    const Bytes512 slot = NeverWrittenSlot(m_diskId);
    for (std::size_t n = 0; n < m_blockCount; ++n) {
        std::memcpy(area.data() + n * 512, slot.data(), 512);
    }
    writeAt(0x6000000, area.data(), area.size());
    writeAt(0x8000000, area.data(), area.size());
}

void TestCard::writeRecord(std::uint32_t slot, const TestRecord& r, bool copyA, bool copyB) {
    const Bytes512 bytes = IndexRecordBytes(r);
    if (copyA) {
        writeAt(0x6000000 + std::int64_t{slot} * 512, bytes.data(), 512);
    }
    if (copyB) {
        writeAt(0x8000000 + std::int64_t{slot} * 512, bytes.data(), 512);
    }
}

void TestCard::writeUnitTrailer(std::uint32_t slot, std::uint32_t unitIndex, const TestTrailer& t) {
    const Bytes512 bytes = TrailerBytes(t);
    writeAt(0x16000000LL + std::int64_t{slot} * 0x1000000 + std::int64_t{unitIndex} * 16384 + 15872,
            bytes.data(), 512);
}

void TestCard::corruptDiskInfoB() {
    const std::uint8_t junk = 0x5A;
    writeAt(0x5000000 + 100, &junk, 1);
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tavero-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

} // namespace tavero::testing
