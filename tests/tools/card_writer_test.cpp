// End-to-end checks of written cards and backup files, read back with a small independent
// parser that follows the format tables (not the simulator's own encoders).
#include "mkcard/card_writer.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>
#include <unistd.h>

namespace tavero::sim {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<uint32_t>(p[3]) << 24;
}
uint32_t be32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1] << 16 | p[2] << 8 | p[3]);
}
uint16_t be16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

bool checksumOk(const Bytes& block) {
    uint32_t sum = 0;
    for (size_t i = 0; i < 127; ++i)
        sum ^= le32(block.data() + 4 * i);
    return sum == le32(block.data() + 508);
}

bool allZero(const Bytes& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

class CardFile {
public:
    explicit CardFile(const fs::path& path) : m_file(path, std::ios::binary) {}
    Bytes read(uint64_t offset, size_t size) {
        Bytes bytes(size);
        m_file.clear();
        m_file.seekg(static_cast<std::streamoff>(offset));
        m_file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
        EXPECT_TRUE(m_file) << "short read at " << offset;
        return bytes;
    }

private:
    std::ifstream m_file;
};

struct ParsedFrame {
    uint8_t kind = 0;
    bool key = false;
    uint32_t timeUs = 0;
    Bytes payload;
};

// Walks a channel stream header to header by the length field, as the tables define it, and
// checks that a scan of every 4-byte boundary finds sync bytes only where headers are.
std::vector<ParsedFrame> parseStream(const Bytes& stream, uint8_t channel) {
    std::vector<ParsedFrame> frames;
    std::set<size_t> headers;
    size_t pos = 0;
    while (pos + 32 <= stream.size()) {
        const uint8_t* h = stream.data() + pos;
        if (!(h[0] == 0 && h[1] == 0 && h[2] == 0 && h[3] == 2)) {
            pos += 4;
            continue;
        }
        headers.insert(pos);
        const uint32_t length = static_cast<uint32_t>(h[5] & 0x0F) << 28 |
                                static_cast<uint32_t>(h[6] & 0x7F) << 21 |
                                static_cast<uint32_t>(h[7] & 0x7F) << 14 |
                                static_cast<uint32_t>(h[8] & 0x7F) << 7 | (h[9] & 0x7F);
        EXPECT_EQ(h[15] & 0x0F, channel) << "header at " << pos;
        ParsedFrame frame;
        frame.kind = h[4] & 0x0F;
        if (frame.kind == 0 || frame.kind == 1) {
            const uint8_t* b = h + (frame.kind == 0 ? 18 : 16);
            frame.timeUs =
                static_cast<uint32_t>(b[0] & 1) << 31 | static_cast<uint32_t>(b[1] & 0x7F) << 24 |
                static_cast<uint32_t>(b[2] & 0x7F) << 17 |
                static_cast<uint32_t>(b[3] & 0x7F) << 10 | static_cast<uint32_t>(b[4] & 0x7F) << 3 |
                static_cast<uint32_t>(b[5] & 0x0F) << 28 |
                static_cast<uint32_t>(b[6] & 0x7F) << 21 |
                static_cast<uint32_t>(b[7] & 0x7F) << 14 | static_cast<uint32_t>(b[8] & 0x7F) << 7 |
                (b[9] & 0x7F);
            frame.key = frame.kind == 0 && (h[16] & 0x0F) == 0;
        }
        EXPECT_LE(pos + 32 + length, stream.size());
        frame.payload.assign(stream.begin() + static_cast<std::ptrdiff_t>(pos + 32),
                             stream.begin() + static_cast<std::ptrdiff_t>(pos + 32 + length));
        frames.push_back(std::move(frame));
        pos = (pos + 32 + length + 3) / 4 * 4;
    }
    for (size_t at = 0; at + 4 <= stream.size(); at += 4) {
        const uint8_t* p = stream.data() + at;
        if (p[0] == 0 && p[1] == 0 && p[2] == 0 && p[3] == 2) {
            EXPECT_TRUE(headers.contains(at)) << "false sync inside a payload at " << at;
        }
    }
    return frames;
}

class CardWriterTest : public testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("tavero_mkcard_" + std::to_string(::getpid()) + "_" +
                 testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // Two channels of tiny pictures, sound on channel 0, two short recordings a minute apart.
    CardSpec smallSpec(OutputKind kind = OutputKind::CardImage) {
        CardSpec plan;
        plan.kind = kind;
        plan.outPath =
            (m_dir / (kind == OutputKind::CardImage ? "card.img" : "backup.sd")).string();
        plan.diskId = 12345;
        plan.blockCount = 4;
        plan.zoneHours = 3;
        ChannelSpec first;
        first.channel = 0;
        first.width = 96;
        first.height = 64;
        first.fps = 10;
        first.gop = 10;
        first.videoFormat = 5;
        first.audio.kind = AudioKind::Tone;
        ChannelSpec second = first;
        second.channel = 2;
        second.width = 64;
        second.height = 48;
        second.fps = 8;
        second.gop = 8;
        second.audio.kind = AudioKind::None;
        plan.channels = {first, second};
        plan.recordings = {{{2024, 5, 1, 8, 0, 0}, 4}, {{2024, 5, 1, 8, 1, 0}, 3}};
        return plan;
    }

    Manifest write(const CardSpec& plan) {
        Manifest manifest;
        std::string error;
        EXPECT_TRUE(writeCard(plan, manifest, error)) << error;
        return manifest;
    }

    // Checks every unit trailer against the manifest; returns the numbers of units whose
    // checksum does not hold.
    std::set<uint32_t> checkUnits(const CardSpec& plan, const Manifest& manifest) {
        CardFile file(plan.outPath);
        std::set<uint32_t> bad;
        for (const ManifestUnit& unit : manifest.units) {
            const Bytes trailer = file.read(unit.fileOffset + kFrameAreaSize, kTrailerSize);
            EXPECT_EQ(le32(trailer.data()), kTrailerMagic);
            EXPECT_EQ(be32(trailer.data() + 4), unit.unitNo);
            EXPECT_EQ(PackedTime(std::to_array({trailer[8], trailer[9], trailer[10], trailer[11],
                                                trailer[12], trailer[13]})),
                      unit.packed);
            EXPECT_EQ(trailer[14], unit.channel);
            EXPECT_EQ(trailer[15] != 0, unit.recStart);
            EXPECT_EQ(trailer[16] != 0, unit.protect);
            EXPECT_EQ(trailer[17], unit.gCount);
            EXPECT_LE(trailer[17], 50);
            EXPECT_EQ(be16(trailer.data() + 22), unit.eventType);
            EXPECT_EQ(trailer[24] != 0, unit.channelOff);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(trailer.data() + 344)),
                      unit.gpsText);
            EXPECT_EQ(be32(trailer.data() + 504), plan.diskId);
            if (!checksumOk(trailer))
                bad.insert(unit.unitNo);
            const uint64_t base =
                plan.kind == OutputKind::CardImage ? kCardDataBase : kBackupDataBase;
            EXPECT_EQ(unit.fileOffset,
                      base + unit.slot * kBlockSize + unit.indexInBlock * kUnitSize);
        }
        return bad;
    }

    // Rebuilds each channel's stream from its units and compares every frame with the manifest.
    void checkFrames(const CardSpec& plan, const Manifest& manifest) {
        CardFile file(plan.outPath);
        for (const ManifestChannel& channel : manifest.channels) {
            Bytes stream;
            for (const ManifestUnit& unit : manifest.units) {
                if (unit.channel != channel.channel || unit.channelOff)
                    continue;
                const Bytes area = file.read(unit.fileOffset, kFrameAreaSize);
                stream.insert(stream.end(), area.begin(), area.end());
            }
            std::vector<ParsedFrame> media;
            for (ParsedFrame& frame : parseStream(stream, channel.channel)) {
                if (frame.kind <= 1)
                    media.push_back(std::move(frame));
            }
            ASSERT_EQ(media.size(), channel.frames.size()) << "channel " << int{channel.channel};
            for (size_t i = 0; i < media.size(); ++i) {
                const ManifestFrame& expected = channel.frames[i];
                EXPECT_EQ(media[i].kind, expected.media == FrameMedia::Video ? 0 : 1);
                EXPECT_EQ(media[i].key, expected.key);
                EXPECT_EQ(media[i].timeUs, expected.timestampUs);
                EXPECT_EQ(media[i].payload.size(), expected.size);
                EXPECT_EQ(payloadHash(media[i].payload), expected.hash) << "frame " << i;
            }
        }
    }

    fs::path m_dir;
};

TEST_F(CardWriterTest, SmallCardEndToEnd) {
    CardSpec plan = smallSpec();
    plan.events = {{1.5, EventType::GSensor, false}, {61, EventType::PushButton, true}};
    const Manifest manifest = write(plan);
    ASSERT_FALSE(manifest.units.empty());

    // Sized so that (size - 0x16000000) / 16 MiB - 8 gives blockCount back.
    EXPECT_EQ(fs::file_size(plan.outPath), 0x16000000u + (4u + 8u) * 0x1000000u);
    EXPECT_EQ((fs::file_size(plan.outPath) - 0x16000000) / 0x1000000 - 8, plan.blockCount);

    CardFile file(plan.outPath);
    for (uint64_t at : {kCardDiskInfoA, kCardDiskInfoB}) {
        const Bytes info = file.read(at, 512);
        EXPECT_EQ(le32(info.data()), kDiskInfoMagic);
        EXPECT_EQ(be16(info.data() + 12), 4);
        EXPECT_EQ(be32(info.data() + 504), 12345u);
        EXPECT_TRUE(checksumOk(info));
    }
    const Bytes config = file.read(kCardConfigSector, 512);
    EXPECT_EQ(le32(config.data() + 4), kConfigRecordMagic);
    EXPECT_EQ(be32(config.data() + 504), 12345u);
    EXPECT_TRUE(checksumOk(config));
    EXPECT_EQ(file.read(510, 2), (Bytes{0x55, 0xAA}));

    // Every slot of both copies has the magic; used ones match the manifest.
    const Bytes areaA = file.read(kCardIndexA, 4 * 512);
    EXPECT_EQ(areaA, file.read(kCardIndexB, 4 * 512));
    std::map<uint32_t, const ManifestSlot*> bySlot;
    for (const ManifestSlot& slot : manifest.slots)
        bySlot[slot.slot] = &slot;
    ASSERT_EQ(bySlot.size(), 2u);
    for (uint32_t n = 0; n < 4; ++n) {
        const Bytes record(areaA.begin() + n * 512, areaA.begin() + (n + 1) * 512);
        EXPECT_EQ(le32(record.data()), kIndexMagic);
        EXPECT_TRUE(checksumOk(record));
        EXPECT_EQ(be32(record.data() + 504), 12345u);
        const auto it = bySlot.find(n);
        if (it == bySlot.end()) {
            EXPECT_EQ(be32(record.data() + 4), 0u);
            continue;
        }
        EXPECT_EQ(record[227], 3) << "zoneHours";
        const ManifestSlot& slot = *it->second;
        EXPECT_EQ(be32(record.data() + 4), slot.seq);
        EXPECT_EQ(be32(record.data() + 200), slot.startUnit);
        EXPECT_EQ(be32(record.data() + 216), slot.endUnit);
        EXPECT_EQ(record[210], 1) << "each recording opens a block";
        EXPECT_EQ(record[213], slot.events.size());
        EXPECT_EQ(be16(record.data() + 228), 1);
    }
    EXPECT_EQ(bySlot[0]->seq, 1u);
    EXPECT_EQ(bySlot[1]->seq, 2u);
    EXPECT_EQ(bySlot[0]->startTime, (WallTime{2024, 5, 1, 8, 0, 0}));
    EXPECT_EQ(bySlot[1]->startTime, (WallTime{2024, 5, 1, 8, 1, 0}));
    EXPECT_EQ(bySlot[1]->startUnit, bySlot[0]->endUnit + 1);
    EXPECT_EQ(bySlot[0]->protect, 0);
    ASSERT_EQ(bySlot[0]->events.size(), 1u);
    EXPECT_EQ(bySlot[0]->events[0].type, 1);
    EXPECT_EQ(bySlot[1]->protect, 2) << "protected by the push button";

    // Units: numbered from 1 without gaps, one recording start each, events where recorded.
    EXPECT_TRUE(checkUnits(plan, manifest).empty());
    uint32_t expected = 1;
    size_t recStarts = 0;
    size_t samples = 0;
    for (const ManifestUnit& unit : manifest.units) {
        EXPECT_EQ(unit.unitNo, expected++);
        recStarts += unit.recStart ? 1 : 0;
        samples += unit.gCount;
        EXPECT_EQ(unit.gpsText.rfind("$GPRMC,", 0), 0u);
        if (unit.eventType != 0) {
            const ManifestSlot& slot = *bySlot[unit.slot];
            EXPECT_EQ(slot.events[0].unit, unit.unitNo);
        }
    }
    EXPECT_EQ(recStarts, 2u);
    EXPECT_EQ(samples, 70u) << "ten samples a second over 7 s";
    checkFrames(plan, manifest);
    for (const ManifestChannel& channel : manifest.channels) {
        for (const ManifestFrame& frame : channel.frames)
            EXPECT_TRUE(frame.intact);
    }
}

TEST_F(CardWriterTest, RawBackupEndToEnd) {
    CardSpec plan = smallSpec(OutputKind::RawBackup);
    const Manifest manifest = write(plan);
    ASSERT_EQ(manifest.slots.size(), 2u);
    const ManifestUnit& last = manifest.units.back();
    EXPECT_EQ(last.slot, 1u);
    EXPECT_EQ(fs::file_size(plan.outPath),
              0x2000000u + 0x1000000u + (last.indexInBlock + 1) * 16384u);

    CardFile file(plan.outPath);
    const Bytes index = file.read(0, 4 * 512);
    for (uint32_t n = 0; n < 2; ++n) {
        const Bytes record(index.begin() + n * 512, index.begin() + (n + 1) * 512);
        EXPECT_EQ(le32(record.data()), kIndexMagic);
        EXPECT_EQ(be32(record.data() + 4), n + 1);
        EXPECT_TRUE(checksumOk(record));
    }
    EXPECT_TRUE(allZero(Bytes(index.begin() + 1024, index.end()))) << "unused slots are zero";
    EXPECT_TRUE(allZero(file.read(65533ull * 512, 512)));
    const Bytes info = file.read(65534ull * 512, 512);
    EXPECT_EQ(le32(info.data()), kDiskInfoMagic);
    EXPECT_EQ(le32(info.data() + 4), kDiskInfoVersion) << "little-endian in the backup copy";
    EXPECT_EQ(info[12], 4);
    EXPECT_EQ(le32(info.data() + 504), 12345u);
    EXPECT_TRUE(checkUnits(plan, manifest).empty());
    checkFrames(plan, manifest);
}

// Hard cases: each row changes the plan and checks what the change promises.
struct HardCase {
    const char* name;
    std::function<void(CardSpec&)> change;
    std::function<void(const CardSpec&, const Manifest&, CardFile&)> check;
};

class HardCaseTest : public CardWriterTest, public testing::WithParamInterface<HardCase> {};

Bytes slotBytes(CardFile& file, uint64_t area, uint32_t slot) {
    return file.read(area + slot * 512ull, 512);
}

TEST_P(HardCaseTest, ProducesWhatItPromises) {
    CardSpec plan = smallSpec();
    GetParam().change(plan);
    const Manifest manifest = write(plan);
    ASSERT_FALSE(manifest.units.empty());
    CardFile file(plan.outPath);
    GetParam().check(plan, manifest, file);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HardCaseTest,
    testing::Values(
        HardCase{"BadChecksums",
                 [](CardSpec& s) {
                     s.hard.badChecksumUnits = {3, 5};
                 },
                 [](const CardSpec&, const Manifest& m, CardFile& file) {
                     for (const ManifestUnit& unit : m.units) {
                         const Bytes trailer = file.read(unit.fileOffset + kFrameAreaSize, 512);
                         const bool broken = unit.unitNo == 3 || unit.unitNo == 5;
                         EXPECT_EQ(checksumOk(trailer), !broken) << "unit " << unit.unitNo;
                         EXPECT_EQ(unit.badChecksum, broken);
                     }
                 }},
        HardCase{"IndexAZero", [](CardSpec& s) { s.hard.zeroIndexA = true; },
                 [](const CardSpec&, const Manifest& m, CardFile& file) {
                     EXPECT_TRUE(allZero(file.read(kCardIndexA, 4 * 512)));
                     EXPECT_TRUE(checksumOk(slotBytes(file, kCardIndexB, 0)));
                     EXPECT_FALSE(m.slots[0].inCopyA);
                     EXPECT_TRUE(m.slots[0].inCopyB);
                 }},
        HardCase{"BothIndexCopiesZero",
                 [](CardSpec& s) { s.hard.zeroIndexA = s.hard.zeroIndexB = true; },
                 [](const CardSpec&, const Manifest&, CardFile& file) {
                     EXPECT_TRUE(allZero(file.read(kCardIndexA, 4 * 512)));
                     EXPECT_TRUE(allZero(file.read(kCardIndexB, 4 * 512)));
                 }},
        HardCase{"CopyBNewer", [](CardSpec& s) { s.hard.copyAMissingLast = 1; },
                 [](const CardSpec&, const Manifest& m, CardFile& file) {
                     const Bytes a = slotBytes(file, kCardIndexA, 1);
                     const Bytes b = slotBytes(file, kCardIndexB, 1);
                     EXPECT_EQ(le32(a.data()), kIndexMagic);
                     EXPECT_EQ(be32(a.data() + 4), 0u) << "never written in copy A";
                     EXPECT_TRUE(checksumOk(a));
                     EXPECT_EQ(be32(b.data() + 4), 2u);
                     EXPECT_EQ(slotBytes(file, kCardIndexA, 0), slotBytes(file, kCardIndexB, 0));
                     EXPECT_FALSE(m.slots[1].inCopyA);
                 }},
        HardCase{"CutOffWithoutRecord", [](CardSpec& s) { s.hard.cutOff = CutOff::NoRecord; },
                 [](const CardSpec&, const Manifest& m, CardFile& file) {
                     ASSERT_EQ(m.slots.size(), 1u);
                     EXPECT_EQ(*m.lastBlockSlot, 1u);
                     EXPECT_EQ(be32(slotBytes(file, kCardIndexA, 1).data() + 4), 0u);
                     const auto inLast =
                         std::count_if(m.units.begin(), m.units.end(),
                                       [](const ManifestUnit& u) { return u.slot == 1; });
                     EXPECT_GT(inLast, 0) << "the block's units are still written";
                 }},
        HardCase{"CutOffWithEndUnitZero",
                 [](CardSpec& s) {
                     s.hard.cutOff = CutOff::EndUnitZero;
                     s.events = {{61, EventType::GSensor, true}};
                 },
                 [](const CardSpec&, const Manifest& m, CardFile& file) {
                     const Bytes record = slotBytes(file, kCardIndexA, 1);
                     EXPECT_EQ(be32(record.data() + 4), 2u);
                     EXPECT_NE(be32(record.data() + 200), 0u);
                     EXPECT_EQ(be32(record.data() + 216), 0u);
                     EXPECT_EQ(record[213], 0) << "no events recorded yet";
                     EXPECT_EQ(record[212], 0);
                     EXPECT_EQ(m.slots[1].endUnit, 0u);
                 }},
        HardCase{"SeqRestart", [](CardSpec& s) { s.hard.seqRestartRecording = 1; },
                 [](const CardSpec&, const Manifest& m, CardFile&) {
                     ASSERT_EQ(m.slots.size(), 2u);
                     EXPECT_EQ(m.slots[0].seq, 1u);
                     EXPECT_EQ(m.slots[1].seq, 1u);
                 }},
        HardCase{"DiskInfoBBroken", [](CardSpec& s) { s.hard.badDiskInfoB = true; },
                 [](const CardSpec&, const Manifest&, CardFile& file) {
                     EXPECT_TRUE(checksumOk(file.read(kCardDiskInfoA, 512)));
                     const Bytes b = file.read(kCardDiskInfoB, 512);
                     EXPECT_EQ(le32(b.data()), kDiskInfoMagic);
                     EXPECT_FALSE(checksumOk(b));
                 }},
        HardCase{"ChannelOff",
                 [](CardSpec& s) {
                     s.hard.channelOff = {{2, 1.0, 3.0}};
                 },
                 [](const CardSpec&, const Manifest& m, CardFile& file) {
                     size_t off = 0;
                     for (const ManifestUnit& unit : m.units) {
                         if (!unit.channelOff)
                             continue;
                         ++off;
                         EXPECT_EQ(unit.channel, 2);
                         EXPECT_GE(unit.timeUs, 1000000u);
                         EXPECT_LT(unit.timeUs, 3000000u);
                         EXPECT_TRUE(allZero(file.read(unit.fileOffset, kFrameAreaSize)));
                     }
                     EXPECT_EQ(off, 2u) << "one empty unit per second off";
                     const std::vector<ManifestFrame>& frames = m.channels[1].frames;
                     bool afterGap = false;
                     for (const ManifestFrame& frame : frames) {
                         if (frame.recording != 0)
                             continue;
                         EXPECT_FALSE(frame.timestampUs >= 1000000 && frame.timestampUs < 3000000);
                         if (frame.timestampUs >= 3000000 && !afterGap) {
                             EXPECT_TRUE(frame.key) << "the stream resumes at a key picture";
                             afterGap = true;
                         }
                     }
                 }}),
    [](const testing::TestParamInfo<HardCase>& param) { return std::string(param.param.name); });

TEST_F(CardWriterTest, HardCasesKeepStreamsReadable) {
    CardSpec plan = smallSpec();
    plan.hard.channelOff = {{0, 0.5, 2.5}};
    plan.gsensor.metaFrames = true;
    const Manifest manifest = write(plan);
    EXPECT_TRUE(checkUnits(plan, manifest).empty());
    checkFrames(plan, manifest);
}

// Writes an Annex-B file of large fake pictures (random bytes that never form a start code), so
// that a short recording fills several 16 MiB blocks without any encoding work.
fs::path writeBulkyStream(const fs::path& dir) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> byte(1, 255);
    Bytes stream;
    for (int picture = 0; picture < 60; ++picture) {
        if (picture % 30 == 0) {
            stream.insert(stream.end(), {0, 0, 0, 1, 0x67, 0x42, 0x00, 0x1E});
            stream.insert(stream.end(), {0, 0, 0, 1, 0x68, 0xCE, 0x38});
        }
        stream.insert(stream.end(),
                      {0, 0, 0, 1, static_cast<uint8_t>(picture % 30 ? 0x41 : 0x65), 0x88});
        for (int i = 0; i < 15000; ++i)
            stream.push_back(static_cast<uint8_t>(byte(random)));
    }
    const fs::path path = dir / "bulky.264";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(stream.data()),
               static_cast<std::streamsize>(stream.size()));
    return path;
}

TEST_F(CardWriterTest, RingWrapPartlyOverwritesTheOldestRecord) {
    CardSpec plan = smallSpec();
    plan.blockCount = 2;
    plan.channels.resize(1);
    plan.channels[0].source = VideoSource::File;
    plan.channels[0].filePath = writeBulkyStream(m_dir).string();
    plan.channels[0].fps = 120;
    plan.recordings = {{{2024, 5, 1, 8, 0, 0}, 25}};
    plan.gps.source = GpsSource::None;
    plan.hard.cutOff = CutOff::NoRecord;
    const Manifest manifest = write(plan);

    // Blocks 0 and 1 were filled, then block 0 again, partly, without its record.
    ASSERT_EQ(manifest.slots.size(), 2u);
    ASSERT_EQ(manifest.lastBlockSlot, 0u);
    const ManifestSlot& oldest = manifest.slots[0];
    EXPECT_EQ(oldest.seq, 1u);
    EXPECT_EQ(oldest.startUnit, 1u);
    EXPECT_EQ(oldest.endUnit, 1024u);
    EXPECT_EQ(manifest.slots[1].seq, 2u);
    const uint32_t newUnits = manifest.unitsOverwritten;
    ASSERT_GT(newUnits, 0u);
    ASSERT_LT(newUnits, 1024u);

    CardFile file(plan.outPath);
    for (uint32_t position : {0u, newUnits - 1, newUnits, 1023u}) {
        const Bytes trailer = file.read(kCardDataBase + position * kUnitSize + kFrameAreaSize, 512);
        const uint32_t unitNo = be32(trailer.data() + 4);
        const uint32_t expected = position < newUnits ? 2049 + position : 1 + position;
        EXPECT_EQ(unitNo, expected) << "unit position " << position;
        EXPECT_TRUE(checksumOk(trailer));
    }
    const auto lost =
        std::count_if(manifest.channels[0].frames.begin(), manifest.channels[0].frames.end(),
                      [](const ManifestFrame& f) { return !f.onCard; });
    EXPECT_GT(lost, 0);
    EXPECT_TRUE(checkUnits(plan, manifest).empty());
}

TEST_F(CardWriterTest, MetadataFramesCarryTheUnitsGpsText) {
    CardSpec plan = smallSpec();
    plan.gsensor.metaFrames = true;
    const Manifest manifest = write(plan);
    CardFile file(plan.outPath);
    Bytes stream;
    for (const ManifestUnit& unit : manifest.units) {
        if (unit.channel == 0) {
            const Bytes area = file.read(unit.fileOffset, kFrameAreaSize);
            stream.insert(stream.end(), area.begin(), area.end());
        }
    }
    std::set<std::string> gps;
    for (const ManifestUnit& unit : manifest.units)
        gps.insert(unit.gpsText);
    size_t texts = 0;
    size_t samples = 0;
    for (const ParsedFrame& frame : parseStream(stream, 0)) {
        if (frame.kind == 2) {
            ASSERT_EQ(frame.payload.size(), 12u);
            const int z = frame.payload[8] << 12 | frame.payload[9] << 8 | frame.payload[10] << 4 |
                          frame.payload[11];
            EXPECT_NEAR(z, 98, 10) << "gravity axis";
            ++samples;
        } else if (frame.kind == 3) {
            std::string text;
            for (size_t i = 0; i + 1 < frame.payload.size(); i += 2)
                text += static_cast<char>(frame.payload[i] << 4 | frame.payload[i + 1]);
            EXPECT_TRUE(gps.contains(text)) << text;
            ++texts;
        }
    }
    EXPECT_EQ(texts, 7u) << "one a second over 4 s + 3 s";
    EXPECT_EQ(samples, 7u);
}

TEST_F(CardWriterTest, RejectsWhatItCannotWrite) {
    struct Case {
        const char* what;
        std::function<void(CardSpec&)> change;
        const char* mentions;
    };
    const fs::path wav = m_dir / "cd.wav";
    {
        // A 44100 Hz stereo header with no samples is enough to be refused.
        const Bytes header = {'R', 'I', 'F',  'F',  36,  0,   0,    0,    'W', 'A', 'V',
                              'E', 'f', 'm',  't',  ' ', 16,  0,    0,    0,   1,   0,
                              2,   0,   0x44, 0xAC, 0,   0,   0x10, 0xB1, 2,   0,   4,
                              0,   16,  0,    'd',  'a', 't', 'a',  0,    0,   0,   0};
        std::ofstream(wav, std::ios::binary)
            .write(reinterpret_cast<const char*>(header.data()),
                   static_cast<std::streamsize>(header.size()));
    }
    const std::vector<Case> cases = {
        {"wav format",
         [&](CardSpec& s) {
             s.channels[0].audio.kind = AudioKind::Wav;
             s.channels[0].audio.wavPath = wav.string();
         },
         "8000 Hz mono 16-bit"},
        {"event in a gap",
         [](CardSpec& s) {
             s.events = {{30, EventType::Alarm, false}};
         },
         "outside"},
        {"cut-off on a backup",
         [](CardSpec& s) {
             s.kind = OutputKind::RawBackup;
             s.hard.cutOff = CutOff::NoRecord;
         },
         "card images only"},
        {"overlapping recordings",
         [](CardSpec& s) { s.recordings[1].start = {2024, 5, 1, 8, 0, 2}; }, "previous recording"},
        {"duplicate channel", [](CardSpec& s) { s.channels[1].channel = 0; }, "distinct"},
        {"missing h264",
         [](CardSpec& s) {
             s.channels[0].source = VideoSource::File;
             s.channels[0].filePath = "/nonexistent.264";
         },
         "/nonexistent.264"},
    };
    for (const Case& c : cases) {
        CardSpec plan = smallSpec();
        c.change(plan);
        Manifest manifest;
        std::string error;
        EXPECT_FALSE(writeCard(plan, manifest, error)) << c.what;
        EXPECT_NE(error.find(c.mentions), std::string::npos) << c.what << ": " << error;
    }
}

TEST_F(CardWriterTest, ManifestJsonNamesEveryUnit) {
    const CardSpec plan = smallSpec();
    const Manifest manifest = write(plan);
    std::string error;
    const fs::path json = m_dir / "manifest.json";
    ASSERT_TRUE(writeManifestJson(manifest, json.string(), error)) << error;
    std::ifstream in(json);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t units = 0;
    for (size_t at = text.find("{\"unit\":"); at != std::string::npos;
         at = text.find("{\"unit\":", at + 1))
        ++units;
    EXPECT_EQ(units, manifest.units.size());
    EXPECT_NE(text.find("\"diskId\":12345"), std::string::npos);
}

} // namespace
} // namespace tavero::sim
