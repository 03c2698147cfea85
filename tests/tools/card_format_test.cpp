// Byte-exact checks of the on-card structures. Expected bytes are spelled out by hand from the
// format tables, never produced by the encoders under test.
#include "mkcard/audio_source.h"
#include "mkcard/card_format.h"
#include "mkcard/sensor_data.h"

#include <array>
#include <cstring>
#include <ctime>
#include <gtest/gtest.h>
#include <vector>

namespace tavero::sim {
namespace {

using Sector = std::array<uint8_t, kSectorSize>;

uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<uint32_t>(p[3]) << 24;
}

// Reference checksum written straight from the definition.
uint32_t referenceChecksum(const Sector& block) {
    uint32_t sum = 0;
    for (size_t i = 0; i < 127; ++i)
        sum ^= le32(block.data() + 4 * i);
    return sum;
}

void expectBytes(const Sector& block, size_t offset, std::vector<uint8_t> expected) {
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(block[offset + i], expected[i]) << "at byte " << offset + i;
}

TEST(BlockChecksum, XorsTheFirst127LittleEndianWords) {
    Sector block{};
    block[0] = 0x01, block[1] = 0x02, block[2] = 0x03, block[3] = 0x04;
    block[4] = 0x10, block[5] = 0x20, block[6] = 0x30, block[7] = 0x40;
    block[504] = 0xF0;              // word 126 still counts
    block[508] = block[511] = 0xAA; // the checksum word itself does not
    EXPECT_EQ(blockChecksum(block), 0x44332211u ^ 0xF0u);
    sealBlock(block);
    expectBytes(block, 508, {0xE1, 0x22, 0x33, 0x44});
}

TEST(PackedTime, MatchesTheRecorderEncoding) {
    const PackedTime packed = packTime({2015, 7, 15, 12, 34, 56});
    EXPECT_EQ(packed, (PackedTime{0xD7, 0x07, 0x0F, 0x0C, 0x22, 0x38}));
}

TEST(PackedTime, CalendarArithmeticAgreesWithTimegm) {
    for (const WallTime& time : {WallTime{1970, 1, 1, 0, 0, 0}, WallTime{2000, 2, 29, 23, 59, 59},
                                 WallTime{2024, 12, 31, 12, 0, 0}, WallTime{1900, 3, 1, 1, 2, 3},
                                 WallTime{2055, 6, 30, 6, 7, 8}}) {
        std::tm tm{};
        tm.tm_year = time.year - 1900;
        tm.tm_mon = time.month - 1;
        tm.tm_mday = time.day;
        tm.tm_hour = time.hour;
        tm.tm_min = time.minute;
        tm.tm_sec = time.second;
        const int64_t seconds = wallToSeconds(time);
        EXPECT_EQ(seconds, static_cast<int64_t>(timegm(&tm))) << formatWallTime(time);
        EXPECT_EQ(secondsToWall(seconds), time) << formatWallTime(time);
    }
    EXPECT_FALSE(isValidWallTime({2023, 2, 29, 0, 0, 0}));
    EXPECT_FALSE(isValidWallTime({1799, 12, 31, 0, 0, 0}));
    EXPECT_FALSE(isValidWallTime({2056, 1, 1, 0, 0, 0}));
}

struct HeaderCase {
    const char* name;
    FrameHeaderFields fields;
    std::array<uint8_t, 32> expected;
};

class FrameHeaderTest : public testing::TestWithParam<HeaderCase> {};

TEST_P(FrameHeaderTest, EncodesExactBytes) {
    std::array<uint8_t, 32> header{};
    ASSERT_TRUE(encodeFrameHeader(GetParam().fields, header));
    EXPECT_EQ(header, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FrameHeaderTest,
    testing::Values(
        // Length 16389 and time stamp 1234567 µs = 0x12D687 on a predicted picture of channel 3.
        HeaderCase{"video",
                   {FrameKind::Video, 16389, 3, PictureType::Predicted, 1234567},
                   {0, 0, 0,    2,    0,    0x00, 0x00, 0x01, 0x00, 0x05, 0,    0,    0, 0, 0, 3,
                    1, 0, 0x00, 0x00, 0x09, 0x35, 0x50, 0x00, 0x00, 0x4B, 0x2D, 0x07, 0, 0, 0, 0}},
        // Bit 31 travels in both groups: byte 0 bit 0 and the top nibble of the second group.
        HeaderCase{"key picture, top bit",
                   {FrameKind::Video, 1, 0, PictureType::Key, 0x80000000u},
                   {0, 0, 0,    2, 0, 0, 0, 0,    0, 1, 0, 0, 0, 0, 0, 0,
                    0, 0, 0x01, 0, 0, 0, 0, 0x08, 0, 0, 0, 0, 0, 0, 0, 0}},
        // Audio carries its time stamp from byte 16; 0xFFFFFFFF length shows the 4-bit top group.
        HeaderCase{"audio",
                   {FrameKind::Audio, 0xFFFFFFFFu, 7, PictureType::Key, 1234567},
                   {0,    0,    0,    2,    1,    0x0F, 0x7F, 0x7F, 0x7F, 0x7F, 0, 0, 0, 0, 0, 7,
                    0x00, 0x00, 0x09, 0x35, 0x50, 0x00, 0x00, 0x4B, 0x2D, 0x07, 0, 0, 0, 0, 0, 0}},
        // Channel 2 and a 32 KiB length would put 00 00 00 02 at bytes 12 and 4; the spare top
        // bit of each group's first byte breaks it.
        HeaderCase{"false syncs broken",
                   {FrameKind::Video, 32768, 2, PictureType::Key, 0x02000000},
                   {0,    0, 0, 2, 0x80, 0, 0, 2, 0,    0, 0, 0, 0x80, 0, 0, 2,
                    0x80, 0, 0, 2, 0,    0, 0, 0, 0x10, 0, 0, 0, 0,    0, 0, 0}},
        // Metadata frames carry no time stamp even when one is given.
        HeaderCase{"text",
                   {FrameKind::Text, 4, 1, PictureType::Predicted, 999},
                   {0, 0, 0, 2, 3, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 1,
                    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}),
    [](const testing::TestParamInfo<HeaderCase>& param) {
        std::string name = param.param.name;
        for (char& c : name)
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

TEST(Trailer, FixedFieldsSamplesAndText) {
    TrailerFields fields;
    fields.unitNo = 0x01020304;
    fields.unitTime = packTime({2024, 5, 1, 8, 0, 9});
    fields.channel = 6;
    fields.recStart = true;
    fields.protect = true;
    fields.eventType = 8;
    fields.videoFormat = 13;
    fields.fps = 30;
    fields.channelOff = true;
    fields.samples = {{1, -2, 300}, {-32768, 0, 32767}};
    fields.gpsText = "$GPRMC,X";
    fields.diskId = 10000;
    Sector trailer{};
    ASSERT_TRUE(encodeTrailer(fields, trailer));

    Sector expected{};
    const std::vector<std::pair<size_t, std::vector<uint8_t>>> parts = {
        {0, {0x37, 0x24, 0x06, 0x83, 0x01, 0x02, 0x03, 0x04, 224, 5, 1, 8, 0, 9, 6, 1, 1, 2}},
        {19, {13, 30, 0, 0x00, 0x08, 1}},
        {44, {0x00, 0x01, 0xFF, 0xFE, 0x01, 0x2C, 0x80, 0x00, 0x00, 0x00, 0x7F, 0xFF}},
        {344, {'$', 'G', 'P', 'R', 'M', 'C', ',', 'X'}},
        {504, {0x00, 0x00, 0x27, 0x10}},
    };
    for (const auto& [offset, bytes] : parts)
        std::memcpy(expected.data() + offset, bytes.data(), bytes.size());
    const uint32_t sum = referenceChecksum(expected);
    for (size_t i = 0; i < 4; ++i)
        expected[508 + i] = static_cast<uint8_t>(sum >> (8 * i));
    EXPECT_EQ(trailer, expected);
}

TEST(Trailer, KeepsAtMost50SamplesAnd159TextCharacters) {
    TrailerFields fields;
    fields.samples.assign(60, GSample{7, 7, 7});
    fields.gpsText.assign(300, 'x');
    Sector trailer{};
    ASSERT_TRUE(encodeTrailer(fields, trailer));
    EXPECT_EQ(trailer[17], 50);
    EXPECT_EQ(trailer[44 + 49 * 6 + 5], 7);
    EXPECT_EQ(trailer[344], 'x') << "text starts right after the 50th sample";
    EXPECT_EQ(trailer[344 + 158], 'x');
    EXPECT_EQ(trailer[344 + 159], 0);
}

TEST(IndexRecord, LaysOutEveryField) {
    IndexRecordFields fields;
    fields.seq = 0x0A0B0C0D;
    fields.events = {{1000, packTime({2024, 5, 1, 8, 0, 1}), 1},
                     {0x01020304, packTime({2024, 5, 1, 8, 0, 2}), 8}};
    fields.startUnit = 999;
    fields.startTime = packTime({2024, 5, 1, 8, 0, 0});
    fields.recStart = true;
    fields.protect = 2;
    fields.endUnit = 2022;
    fields.endTime = packTime({2024, 5, 1, 8, 0, 59});
    fields.zoneHours = 9;
    fields.diskId = 0x11223344;
    Sector record{};
    ASSERT_TRUE(encodeIndexRecord(fields, record));

    Sector expected{};
    const std::vector<std::pair<size_t, std::vector<uint8_t>>> parts = {
        {0, {0x76, 0x23, 0x85, 0x49, 0x0A, 0x0B, 0x0C, 0x0D}},
        {8, {0x00, 0x00, 0x03, 0xE8, 224, 5, 1, 8, 0, 1, 0x00, 0x01}},
        {20, {0x01, 0x02, 0x03, 0x04, 224, 5, 1, 8, 0, 2, 0x00, 0x08}},
        {200, {0x00, 0x00, 0x03, 0xE7, 224, 5, 1, 8, 0, 0, 1, 0, 2, 2}},
        {216, {0x00, 0x00, 0x07, 0xE6, 224, 5, 1, 8, 0, 59}},
        {227, {9, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0}},
        {504, {0x11, 0x22, 0x33, 0x44}},
    };
    for (const auto& [offset, bytes] : parts)
        std::memcpy(expected.data() + offset, bytes.data(), bytes.size());
    const uint32_t sum = referenceChecksum(expected);
    for (size_t i = 0; i < 4; ++i)
        expected[508 + i] = static_cast<uint8_t>(sum >> (8 * i));
    EXPECT_EQ(record, expected);

    fields.events.assign(17, IndexEvent{});
    EXPECT_FALSE(encodeIndexRecord(fields, record)) << "17 events cannot be stored";
}

TEST(IndexRecord, UnwrittenCardSlotHasMagicSeqZeroAndDiskId) {
    Sector slot{};
    ASSERT_TRUE(encodeUnwrittenCardSlot(10000, slot));
    expectBytes(slot, 0, {0x76, 0x23, 0x85, 0x49, 0, 0, 0, 0});
    expectBytes(slot, 504, {0x00, 0x00, 0x27, 0x10});
    EXPECT_EQ(le32(slot.data() + 508), referenceChecksum(slot));
}

TEST(DiskInfo, CardFormAndBackupCopy) {
    const DiskInfoFields fields{127, packTime({2024, 4, 30, 7, 0, 0}), 10005};
    Sector card{};
    ASSERT_TRUE(encodeDiskInfo(fields, card));
    expectBytes(card, 0, {0x24, 0x41, 0x96, 0x78, 0x10, 0,  0, 0, 0, 0, 0,
                          0,    0x00, 0x7F, 224,  4,    30, 7, 0, 0, 0});
    expectBytes(card, 504, {0x00, 0x00, 0x27, 0x15});
    EXPECT_EQ(le32(card.data() + 508), referenceChecksum(card));

    // The backup keeps the in-memory form: fields little-endian, the card's checksum word.
    Sector backup{};
    ASSERT_TRUE(encodeBackupDiskInfo(fields, backup));
    expectBytes(backup, 0, {0x24, 0x41, 0x96, 0x78, 0,   0, 0,  0x10, 0, 0,
                            0,    0,    0x7F, 0x00, 224, 4, 30, 7,    0, 0});
    expectBytes(backup, 504, {0x15, 0x27, 0x00, 0x00});
    expectBytes(backup, 508, {card[508], card[509], card[510], card[511]});
}

TEST(ConfigSector, DefaultSectorWithBothChecksums) {
    Sector sector{};
    ASSERT_TRUE(encodeDefaultConfigSector(10000, sector));
    expectBytes(sector, 0,
                {0xAB, 0xAB, 0xAB, 0xAB, 0x55, 0xAA, 0xCD, 0xAB, 0, 0, 0, 0, 0, 0, 0, 15});
    for (size_t word = 0; word < 12; ++word)
        expectBytes(sector, 24 + 4 * word, {0, 0, 0, 10});
    uint32_t inner = 0;
    for (size_t at = 4; at <= 100; at += 4)
        inner ^= le32(sector.data() + at);
    EXPECT_EQ(le32(sector.data() + 104), inner);
    expectBytes(sector, 504, {0x00, 0x00, 0x27, 0x10});
    EXPECT_EQ(le32(sector.data() + 508), referenceChecksum(sector));
}

TEST(BootSectors, PartitionTableAndFatSignatures) {
    const std::vector<BootSector> sectors = makeBootSectors();
    ASSERT_EQ(sectors.size(), 4u);
    EXPECT_EQ(sectors[0].offset, 0u);
    const std::vector<uint8_t> table = {0x00, 0x01, 0x01, 0x00, 0x06, 0x3F, 0x20, 0x2F,
                                        0x20, 0x00, 0x00, 0x00, 0xE0, 0x7F, 0x01, 0x00};
    EXPECT_TRUE(std::equal(table.begin(), table.end(), sectors[0].bytes.begin() + 446));
    EXPECT_TRUE(std::all_of(sectors[0].bytes.begin() + 462, sectors[0].bytes.begin() + 510,
                            [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(sectors[0].bytes[510], 0x55);
    EXPECT_EQ(sectors[0].bytes[511], 0xAA);
    EXPECT_EQ(sectors[1].offset, 32u * 512);
    EXPECT_EQ(std::string(sectors[1].bytes.begin() + 3, sectors[1].bytes.begin() + 11), "MSDOS5.0");
    EXPECT_EQ(sectors[2].offset, 40u * 512);
    EXPECT_EQ(sectors[3].offset, 232u * 512);
    EXPECT_EQ(le32(sectors[3].bytes.data()), 0xFFFFFFF8u);
}

TEST(MetadataFrames, NibbleCoding) {
    EXPECT_EQ(encodeTextFrame("A$"), (std::vector<uint8_t>{0x04, 0x01, 0x02, 0x04}));
    const auto sample = encodeGSampleFrame({0x1234, -1, 5});
    EXPECT_EQ(sample, (std::array<uint8_t, 12>{1, 2, 3, 4, 15, 15, 15, 15, 0, 0, 0, 5}));
}

TEST(Pcm, LittleEndianAndNeverAFrameSync) {
    const std::vector<int16_t> samples = {0x0102, -2, 0, 512, 512, 0};
    EXPECT_EQ(pcmPayload(samples), (std::vector<uint8_t>{0x02, 0x01, 0xFE, 0xFF, 0x00, 0x00, 0x01,
                                                         0x02, 0x00, 0x02, 0x00, 0x00}));
}

TEST(Rmc, FormatsFieldsWithLeadingZerosAndChecksum) {
    const std::string sentence =
        formatRmc({2024, 5, 1, 6, 7, 8}, {-3.5, -8.0 - 0.5 / 60.0, 18.52, 270.0});
    EXPECT_EQ(sentence.substr(0, sentence.find('*')),
              "$GPRMC,060708.00,A,0330.0000,S,00800.5000,W,10.0,270.0,010524,,,A");
    uint8_t sum = 0;
    for (size_t i = 1; i < sentence.find('*'); ++i)
        sum ^= static_cast<uint8_t>(sentence[i]);
    char expected[4];
    std::snprintf(expected, sizeof expected, "%02X", sum);
    EXPECT_EQ(sentence.substr(sentence.find('*') + 1), expected);
    // Minutes that round up to 60 carry into the degrees.
    const std::string carry = formatRmc({2024, 5, 1, 0, 0, 0}, {47.9999999, 8.0, 0, 0});
    EXPECT_NE(carry.find(",4800.0000,N,"), std::string::npos) << carry;
}

TEST(GSamples, TenPerSecondNoTwoAndASpikeAtEvents) {
    const std::vector<uint32_t> spikes = {1500000};
    const auto samples = makeGSamples(3000000, spikes, 1);
    ASSERT_EQ(samples.size(), 30u);
    int peak = 0;
    for (const TimedSample& s : samples) {
        EXPECT_NE(s.sample.x, 2);
        EXPECT_NE(s.sample.y, 2);
        EXPECT_NE(s.sample.z, 2);
        EXPECT_LE(std::abs(s.sample.x), 360);
        EXPECT_LE(std::abs(s.sample.z), 360);
        if (s.timeUs < 1000000) {
            EXPECT_LT(std::abs(s.sample.x), 10);
        }
        peak = std::max(peak, static_cast<int>(s.sample.x));
    }
    EXPECT_GT(peak, 200);
}

} // namespace
} // namespace tavero::sim
