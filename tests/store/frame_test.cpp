// Unit trailers and frame headers decoded from bytes laid out by hand.

#include "card_fixture.h"
#include "store/frame_header.h"
#include "store/unit_trailer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <gtest/gtest.h>

namespace tavero::store {
namespace {

using Header = std::array<std::uint8_t, kFrameHeaderSize>;

Header SyncHeader(std::uint8_t kind) {
    Header h{};
    h[3] = 2;
    h[4] = kind;
    return h;
}

TEST(FrameHeader, PayloadLengthIsBuiltFromSevenBitGroups) {
    Header h = SyncHeader(0);
    h[5] = 0x00, h[6] = 0x00, h[7] = 0x01, h[8] = 0x00, h[9] = 0x05;
    EXPECT_EQ(DecodePayloadLength(h), 16389u);
    h[5] = 0xFF, h[6] = 0xFF, h[7] = 0xFF, h[8] = 0xFF, h[9] = 0xFF; // high bits are ignored
    EXPECT_EQ(DecodePayloadLength(h), 0xFFFFFFFFu);
}

TEST(FrameHeader, TimestampIsSignExtendedFromBit31) {
    Header h = SyncHeader(0);
    h[18] = 0x01;
    EXPECT_EQ(DecodeTimestamp(h, 0), -2147483648LL);
    // The same header read as audio takes its fields from byte 16: byte 18 is then bits 23..17.
    EXPECT_EQ(DecodeTimestamp(h, 1), 1 << 17);
    EXPECT_EQ(DecodeTimestamp(h, 2), 0);
}

TEST(FrameHeader, BothTimestampGroupsAreCombined) {
    const std::uint32_t t = 40'000'123; // microseconds
    Header h = SyncHeader(1);
    std::uint8_t* b = h.data() + 16;
    b[0] = static_cast<std::uint8_t>((t >> 31) & 1);
    b[1] = (t >> 24) & 0x7F;
    b[2] = (t >> 17) & 0x7F;
    b[3] = (t >> 10) & 0x7F;
    b[4] = (t >> 3) & 0x7F;
    b[5] = (t >> 28) & 0x0F;
    b[6] = (t >> 21) & 0x7F;
    b[7] = (t >> 14) & 0x7F;
    b[8] = (t >> 7) & 0x7F;
    b[9] = t & 0x7F;
    EXPECT_EQ(DecodeTimestamp(h, 1), 40'000'123);
    // Either group alone still yields what it carries.
    Header second = h;
    second[16] = second[17] = second[18] = second[19] = second[20] = 0;
    EXPECT_EQ(DecodeTimestamp(second, 1), 40'000'123);
}

TEST(FrameHeader, ItemCodes) {
    struct Case {
        std::uint8_t kind, byte15, byte16;
        ItemCode code;
        std::uint8_t channel;
    };
    const Case cases[] = {
        {0x00, 0x02, 0x00, kItemKeyPicture, 2}, {0xF0, 0x13, 0x01, kItemPicture, 3},
        {0x00, 0x00, 0x02, kItemNone, 0},       {0x01, 0x01, 0x07, kItemAudio, 1},
        {0x02, 0x00, 0x00, kItemGSensor, 0},    {0x03, 0x00, 0x00, kItemText, 0},
        {0x04, 0x00, 0x00, kItemNone, 0},       {0x09, 0x00, 0x00, kItemNone, 0},
    };
    for (const Case& c : cases) {
        Header h = SyncHeader(c.kind);
        h[15] = c.byte15;
        h[16] = c.byte16;
        const FrameHeader f = ParseFrameHeader(h);
        EXPECT_EQ(ItemCodeFor(f), c.code) << int(c.kind) << "/" << int(c.byte16);
        EXPECT_EQ(f.channel, c.channel);
    }
    EXPECT_TRUE(IsFrameSync(SyncHeader(0).data()));
    const std::uint8_t startCode[4] = {0, 0, 0, 1};
    EXPECT_FALSE(IsFrameSync(startCode));
}

TEST(FramePayloads, NibbleCodedTextAndSamples) {
    const std::uint8_t text[] = {0x04, 0x01, 0x02, 0x04};
    EXPECT_EQ(DecodeTextPayload(text), "A$");
    const std::uint8_t odd[] = {0xF4, 0xE1, 0x07}; // high nibbles ignored, odd byte dropped
    EXPECT_EQ(DecodeTextPayload(odd), "A");
    std::vector<std::uint8_t> longText(400, 0x04);
    EXPECT_EQ(DecodeTextPayload(longText).size(), 160u);

    const std::uint8_t sample[] = {0x0F, 0x0F, 0x0F, 0x0E, 0x00, 0x00,
                                   0x01, 0x02, 0x00, 0x01, 0x00, 0x00};
    const GSample s = DecodeGFrame(sample);
    EXPECT_EQ(s.x, -2);
    EXPECT_EQ(s.y, 0x12);
    EXPECT_EQ(s.z, 0x100);
    const std::uint8_t shortPayload[] = {0x01, 0x02, 0x03, 0x04, 0x05};
    EXPECT_EQ(DecodeGFrame(shortPayload), (GSample{0x1234, 0, 0}));
}

class TrailerValidation : public ::testing::Test {
protected:
    testing::TestTrailer m_trailer{.unitNo = 77,
                                   .time = {2015, 7, 15, 12, 34, 56},
                                   .channel = 6,
                                   .recStart = 1,
                                   .protect = 1,
                                   .eventType = 2,
                                   .diskId = 10005,
                                   .gps = "$GPRMC,1"};
};

TEST_F(TrailerValidation, ConvertsEveryField) {
    testing::Bytes512 b = testing::TrailerBytes(m_trailer);
    b[17] = 2;
    b[44] = 0xFF, b[45] = 0xFE; // sample 0 X = -2
    b[44 + 6 * 49 + 5] = 9;     // sample 49 Z = 9
    b[19] = 7;
    b[24] = 1;
    testing::Seal(b);
    ASSERT_TRUE(ValidateTrailer(b, 10005));
    const UnitTrailer t = TrailerToHost(b);
    EXPECT_EQ(t.unitNo, 77u);
    EXPECT_EQ(t.unitTime.year(), 2015);
    EXPECT_EQ(t.channel, 6);
    EXPECT_EQ(t.recStartFlag, 1);
    EXPECT_EQ(t.protectFlag, 1);
    EXPECT_EQ(t.gCount, 2);
    EXPECT_EQ(t.videoFormat, 7);
    EXPECT_EQ(t.fps, 25);
    EXPECT_EQ(t.eventType, 2);
    EXPECT_EQ(t.channelOff, 1);
    EXPECT_EQ(t.gSamples[0].x, -2);
    EXPECT_EQ(t.gSamples[49].z, 9);
    EXPECT_EQ(t.gps(), "$GPRMC,1");
    EXPECT_EQ(t.diskId, 10005u);
    const auto back = TrailerToDisk(t);
    EXPECT_TRUE(std::equal(back.begin(), back.end(), b.begin()));
}

TEST_F(TrailerValidation, HostImageSwapsOnlyTheConvertedFields) {
    testing::Bytes512 disk = testing::TrailerBytes(m_trailer);
    disk[17] = 1;
    disk[44] = 0x12, disk[45] = 0x34; // sample 0 X
    testing::Seal(disk);
    const auto host = TrailerToHostImage(TrailerToHost(disk));
    // Expected: the card's bytes with unit number, event type, every sample word and the disk
    // identifier byte-swapped (this machine is little-endian), all else as stored.
    testing::Bytes512 expected = disk;
    const auto swap = [&](std::size_t at, std::size_t width) {
        std::reverse(expected.begin() + static_cast<std::ptrdiff_t>(at),
                     expected.begin() + static_cast<std::ptrdiff_t>(at + width));
    };
    swap(4, 4);
    swap(22, 2);
    for (std::size_t at = 44; at < 44 + 300; at += 2) {
        swap(at, 2);
    }
    swap(504, 4);
    ASSERT_EQ(std::endian::native, std::endian::little);
    EXPECT_TRUE(std::equal(host.begin(), host.end(), expected.begin()));
    const UnitTrailer back = TrailerFromHostImage(host);
    EXPECT_EQ(back.unitNo, 77u);
    EXPECT_EQ(back.eventType, 2);
    EXPECT_EQ(back.gSamples[0].x, 0x1234);
    EXPECT_EQ(back.diskId, 10005u);
    EXPECT_EQ(back.gps(), "$GPRMC,1");
    EXPECT_EQ(back.magic, kTrailerMagic);
}

TEST_F(TrailerValidation, RejectsWhatTheRecorderDidNotWrite) {
    const testing::Bytes512 good = testing::TrailerBytes(m_trailer);
    EXPECT_FALSE(ValidateTrailer(good, 10000)) << "another card's disk identifier";
    testing::Bytes512 bad = good;
    bad[300] ^= 1;
    EXPECT_FALSE(ValidateTrailer(bad, 10005)) << "checksum";
    m_trailer.unitNo = 0;
    EXPECT_FALSE(ValidateTrailer(testing::TrailerBytes(m_trailer), 10005)) << "unit number 0";
    testing::Bytes512 magic = good;
    magic[0] = 0x38;
    testing::Seal(magic);
    EXPECT_FALSE(ValidateTrailer(magic, 10005)) << "magic";
    EXPECT_FALSE(ValidateTrailer(std::span(good).first(100), 10005)) << "short";
}

TEST_F(TrailerValidation, UnterminatedGpsTextIsCutAt160) {
    testing::Bytes512 b = testing::TrailerBytes(m_trailer);
    std::fill(b.begin() + 344, b.begin() + 504, 'x');
    const UnitTrailer t = TrailerToHost(b);
    EXPECT_EQ(t.gps().size(), 160u);
    b[17] = 200; // more samples than exist
    EXPECT_EQ(TrailerToHost(b).sampleCount(), 50);
}

} // namespace
} // namespace tavero::store
