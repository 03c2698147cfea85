#pragma once
// Expected on-card bytes built straight from the recorder's tables, independently of the writers
// under test.

#include "card_fixture.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace tavero::testing {

using ByteVec = std::vector<std::uint8_t>;

inline ByteVec FileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::uint32_t LoadLe(const ByteVec& bytes, std::size_t offset) {
    return std::uint32_t{bytes[offset]} | std::uint32_t{bytes[offset + 1]} << 8 |
           std::uint32_t{bytes[offset + 2]} << 16 | std::uint32_t{bytes[offset + 3]} << 24;
}

inline ByteVec FileBytesAt(const std::filesystem::path& path, std::int64_t offset,
                           std::size_t count) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(offset);
    ByteVec bytes(count, 0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

inline void WriteFileBytes(const std::filesystem::path& path, const ByteVec& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// Record rule: XOR of the preceding little-endian words, stored in the last word.
inline void SealRecord(ByteVec& record) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 4 < record.size(); i += 4) {
        sum ^= std::uint32_t{record[i]} | std::uint32_t{record[i + 1]} << 8 |
               std::uint32_t{record[i + 2]} << 16 | std::uint32_t{record[i + 3]} << 24;
    }
    PutLe32(record.data() + record.size() - 4, sum);
}

inline ByteVec SwitchRecord(std::uint32_t magic, std::uint32_t value) {
    ByteVec r(12, 0);
    PutLe32(r.data(), magic);
    PutLe32(r.data() + 4, value);
    SealRecord(r);
    return r;
}

inline void PutLe16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline ByteVec ThresholdRecord(int x, int y, int z, bool enabled) {
    ByteVec r(20, 0);
    PutLe32(r.data(), 0xD8AA55D9);
    PutLe16(r.data() + 4, static_cast<std::uint32_t>(x));
    PutLe16(r.data() + 6, static_cast<std::uint32_t>(y));
    PutLe16(r.data() + 8, static_cast<std::uint32_t>(z));
    r[10] = enabled ? 1 : 0;
    SealRecord(r);
    return r;
}

inline ByteVec ChoiceRecord(int level, int car) {
    ByteVec r(12, 0);
    PutLe32(r.data(), 0xD8AA55F0);
    PutLe16(r.data() + 4, static_cast<std::uint32_t>(level));
    PutLe16(r.data() + 6, static_cast<std::uint32_t>(car));
    SealRecord(r);
    return r;
}

inline ByteVec TextBytes(const std::string& text) {
    return {text.begin(), text.end()};
}

// Fields of a sector as the test wants them on the card.
struct SectorFields {
    std::uint32_t videoFormat = 0, frameRate = 15, videoQuality = 0, parkFrameRate = 0;
    std::uint32_t fixed = 10, parkMode = 0, fixedOne = 0, zoneCode = 0;
    std::string plate;
    std::string user1Name, user2Name, user1Password, user2Password;
    std::uint32_t blockZoneCode = 0, speedUnit = 0;
    std::string layoutMark;
    std::uint32_t zoneSeconds = 0;
    std::string playbackPassword;
    std::uint32_t diskId = 10000;
    bool breakRecordChecksum = false;
};

inline Bytes512 SectorBytes(const SectorFields& f) {
    Bytes512 b{};
    PutLe32(b.data(), 0xABABABAB);
    PutLe32(b.data() + 4, 0xABCDAA55);
    PutBe32(b.data() + 8, f.videoFormat);
    PutBe32(b.data() + 12, f.frameRate);
    PutBe32(b.data() + 16, f.videoQuality);
    PutBe32(b.data() + 20, f.parkFrameRate);
    for (int i = 0; i < 12; ++i) {
        PutBe32(b.data() + 24 + 4 * i, f.fixed);
    }
    PutBe32(b.data() + 72, f.parkMode);
    PutBe32(b.data() + 76, f.fixedOne);
    PutBe32(b.data() + 80, f.zoneCode);
    auto put = [&](std::size_t offset, const std::string& text) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            b[offset + i] = static_cast<std::uint8_t>(text[i]);
        }
    };
    put(84, f.plate);
    std::uint32_t inner = 0;
    for (std::size_t off = 4; off <= 100; off += 4) {
        inner ^= std::uint32_t{b[off]} | std::uint32_t{b[off + 1]} << 8 |
                 std::uint32_t{b[off + 2]} << 16 | std::uint32_t{b[off + 3]} << 24;
    }
    PutLe32(b.data() + 104, f.breakRecordChecksum ? inner ^ 1 : inner);
    put(108, f.user1Name);
    put(124, f.user2Name);
    put(140, f.user1Password);
    put(156, f.user2Password);
    PutBe32(b.data() + 172, f.blockZoneCode);
    PutBe32(b.data() + 176, f.speedUnit);
    put(180, f.layoutMark);
    PutLe32(b.data() + 184, f.zoneSeconds);
    put(188, f.playbackPassword);
    PutBe32(b.data() + 504, f.diskId);
    Seal(b);
    return b;
}

} // namespace tavero::testing
