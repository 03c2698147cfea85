// The reader's frame parser on bytes a damaged card may hold.

#include "engine/audio_queue.h"
#include "engine/frame_parser.h"
#include "engine/video_queue.h"

#include <array>
#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

namespace tavero::engine {
namespace {

// A video header as the recorder lays it out: sync, kind 0, the length in 7-bit groups
// (bytes 5..9), the channel in byte 15, the picture type in byte 16.
std::array<std::uint8_t, 32> VideoHeader(std::uint32_t length, bool key) {
    std::array<std::uint8_t, 32> h{};
    h[3] = 2;
    h[5] = static_cast<std::uint8_t>(length >> 28 & 0x0F);
    h[6] = static_cast<std::uint8_t>(length >> 21 & 0x7F);
    h[7] = static_cast<std::uint8_t>(length >> 14 & 0x7F);
    h[8] = static_cast<std::uint8_t>(length >> 7 & 0x7F);
    h[9] = static_cast<std::uint8_t>(length & 0x7F);
    h[16] = key ? 0 : 1;
    return h;
}

TEST(FrameParser, ASyncPatternInsideAHeaderDoesNotStallTheReader) {
    // 40000 bytes spell 00 00 00 02 in header bytes 4..7. The recorder breaks such patterns;
    // on a damaged card they stay, and the reader must not take them for the next frame.
    constexpr std::uint32_t kLength = 40000;
    std::vector<std::uint8_t> unit;
    const auto first = VideoHeader(kLength, true);
    ASSERT_EQ((std::array<std::uint8_t, 4>{first[4], first[5], first[6], first[7]}),
              (std::array<std::uint8_t, 4>{0, 0, 0, 2}));
    unit.insert(unit.end(), first.begin(), first.end());
    unit.insert(unit.end(), kLength, 0x11);
    const auto second = VideoHeader(100, true);
    unit.insert(unit.end(), second.begin(), second.end());
    unit.insert(unit.end(), 100, 0x22);
    unit.insert(unit.end(), 200, 0x00); // padding to the unit's end

    CVBuffer2 video;
    CABuffer2 audio;
    ASSERT_TRUE(video.Init(std::size_t{512} << 10, std::size_t{64} << 10, false));
    ASSERT_TRUE(audio.Init(std::size_t{64} << 10, std::size_t{16} << 10, false));
    ChannelParse c;
    c.video = &video;
    c.audio = &audio;
    int waits = 0;
    c.keepGoing = [&waits] { return ++waits < 20; };
    c.ResetForDirection(1);
    c.stamp.speed = 1.0;
    ASSERT_TRUE(ParseForward(c, unit)) << "the parser waited for room that never comes";

    FrameRecord r;
    ASSERT_TRUE(video.Pop(r));
    EXPECT_EQ(r.size, kLength);
    EXPECT_EQ(r.payload[0], 0x11);
    EXPECT_EQ(r.kind, kKindKeyFrame);
}

} // namespace
} // namespace tavero::engine
