// The engine playing simulator cards headless: speeds, single steps, disabled channels,
// backward play and the facade's values.

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include "card_fixture.h"
#include "engine/picture_hash.h"
#include "engine/video_ctx.h"
#include "engine/video_decoder.h"
#include "mkcard/card_writer.h"
#include "picture_window.h"
#include "platform/drive_table.h"

namespace tavero {
namespace {

using testing::PictureWindow;

class Playback : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new testing::TempDir();
        sim::CardSpec plan;
        plan.outPath = (*s_dir / "card.img").string();
        plan.blockCount = 8;
        sim::ChannelSpec c0;
        c0.channel = 0;
        c0.width = 320;
        c0.height = 240;
        c0.fps = 20;
        c0.gop = 10;
        sim::ChannelSpec c1 = c0;
        c1.channel = 1;
        c1.width = 160;
        c1.height = 96;
        plan.channels = {c0, c1};
        plan.recordings = {{{2024, 5, 1, 8, 0, 0}, 6}, {{2024, 5, 1, 8, 10, 0}, 6}};
        std::string error;
        ASSERT_TRUE(sim::writeCard(plan, s_manifest, error)) << error;
        s_image = plan.outPath;
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override {
        m_control = testing::OpenUnpaced(m_sink, m_window, 4, s_image);
        ASSERT_NE(engine::PlayerLoadIndex(m_control.get()), nullptr);
    }
    void TearDown() override {
        m_control.reset();
        platform::ClearDrivePaths();
    }
    store::IndexRecord* record(std::size_t n) { return m_control->box().index().fullList()[n]; }
    // Pictures of channel 0 the simulator wrote, in order.
    static std::size_t pictureCount(std::uint32_t recording, bool keysOnly) {
        std::size_t n = 0;
        for (const auto& f : s_manifest.channels[0].frames) {
            n += f.media == sim::FrameMedia::Video && f.recording == recording &&
                 (!keysOnly || f.key);
        }
        return n;
    }

    static testing::TempDir* s_dir;
    static std::string s_image;
    static sim::Manifest s_manifest;
    engine::RecordingSink m_sink;
    PictureWindow m_window;
    testing::ControlPtr m_control;
};

testing::TempDir* Playback::s_dir = nullptr;
std::string Playback::s_image;
sim::Manifest Playback::s_manifest;

TEST_F(Playback, NormalSpeedShowsEveryPictureAndAnnouncesTheSize) {
    ASSERT_TRUE(engine::PlayerPlay(m_control.get(), record(0), 0));
    ASSERT_TRUE(testing::WaitForChannelEnds(m_sink, {0, 1}, 60000));
    const auto shown = m_window.shown(0);
    // All but the predicted pictures of the very first group (the queue waits for a key picture
    // after a start).
    EXPECT_GE(shown.size() + 10, pictureCount(0, false) + pictureCount(1, false));
    for (std::size_t i = 1; i < shown.size(); ++i) {
        EXPECT_EQ(shown[i].width, 320);
    }
    EXPECT_EQ(engine::PlayerGetVideoWidth(m_control.get(), 0), 320u);
    EXPECT_EQ(engine::PlayerGetVideoHeight(m_control.get(), 1), 96u);
    EXPECT_EQ(engine::PlayerIsChannelIdle(m_control.get(), 0), 0);
    EXPECT_EQ(engine::PlayerIsChannelIdle(m_control.get(), 5), 1) << "a channel without pictures";
    const std::int64_t zero = 0;
    const std::int64_t one = 1;
    EXPECT_TRUE(m_sink.WaitFor(engine::kMsgVideoSize, 0, &zero));
    EXPECT_TRUE(m_sink.WaitFor(engine::kMsgVideoSize, 0, &one));
    EXPECT_GT(m_sink.Count(engine::kMsgUnitTrailer), 0u) << "trailer items reach the video worker";
    // Each shown picture is presented on the worker's next pass.
    EXPECT_GE(m_window.presented(0) + 1, static_cast<int>(shown.size()));
}

TEST_F(Playback, FastForwardShowsKeyPicturesOnly) {
    for (const double speed : {2.0, 16.0}) {
        m_sink.Clear();
        PictureWindow window;
        for (int c = 0; c < engine::kChannelCount; ++c) {
            engine::PlayerSetVideoWindow(m_control.get(), &window, c);
        }
        engine::PlayerSetSpeed(m_control.get(), speed);
        ASSERT_TRUE(engine::PlayerPlay(m_control.get(), record(0), 0));
        ASSERT_TRUE(testing::WaitForChannelEnds(m_sink, {0}, 60000)) << speed;
        engine::PlayerClose(m_control.get());
        const auto shown = window.shown(0);
        ASSERT_FALSE(shown.empty()) << speed;
        for (const auto& p : shown) {
            EXPECT_TRUE(p.key) << "speed " << speed << " showed a predicted picture";
        }
        const std::size_t keys = pictureCount(0, true) + pictureCount(1, true);
        if (speed == 2.0) {
            EXPECT_EQ(shown.size(), keys);
        } else {
            // Above 8 only every (speed / 4)-th group's key picture: a quarter at 16.
            EXPECT_LE(shown.size(), keys / 4 + 1);
        }
    }
}

TEST_F(Playback, SingleStepShowsOnePictureThenPauses) {
    // One channel: every channel's worker pauses the control after its own step, so with two
    // the other one's step may end this one's before it has a picture.
    engine::PlayerEnableVideo(m_control.get(), 0, 1);
    engine::PlayerSetSpeed(m_control.get(), 1.1);
    ASSERT_TRUE(engine::PlayerPlay(m_control.get(), record(0), 0));
    for (int i = 0; i < 500 && !m_control->paused.load(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(m_control->paused.load());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(m_window.shown(0).size(), 1u);
    // The next step shows one more.
    engine::PlayerPause(m_control.get(), 0);
    for (int i = 0; i < 500 && m_window.shown(0).size() < 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(m_window.shown(0).size(), 2u);
    EXPECT_TRUE(m_control->paused.load());
}

TEST_F(Playback, DisabledChannelShowsNothingAndKeepsItsQueueEmpty) {
    engine::PlayerEnableVideo(m_control.get(), 0, 1);
    ASSERT_TRUE(engine::PlayerPlay(m_control.get(), record(0), 0));
    ASSERT_TRUE(testing::WaitForChannelEnds(m_sink, {0}, 60000));
    EXPECT_TRUE(m_window.shown(1).empty());
    EXPECT_LE(m_control->slot(1)->video.recordCount(), 1u);
    EXPECT_EQ(engine::PlayerIsChannelIdle(m_control.get(), 1), 1);
    EXPECT_FALSE(m_window.shown(0).empty());
}

TEST_F(Playback, BackwardPlayShowsKeyPicturesNewestFirstOneGroupBehind) {
    engine::PlayerSetSpeed(m_control.get(), -1.0);
    ASSERT_TRUE(engine::PlayerPlay(m_control.get(), record(1), 0));
    ASSERT_TRUE(testing::WaitForChannelEnds(m_sink, {0}, 60000));
    const auto shown = m_window.shown(0);
    ASSERT_GT(shown.size(), 2u);
    // Time stamps fall within each recording (they restart at each recording's start).
    int rises = 0;
    for (std::size_t i = 1; i < shown.size(); ++i) {
        EXPECT_TRUE(shown[i].key);
        rises += shown[i].ptsUs >= shown[i - 1].ptsUs ? 1 : 0;
    }
    EXPECT_LE(rises, 1);
    // The very first key picture read backwards only opens its group; the engine shows it
    // when the next (older) one arrives, so no picture is newer than the reader's first.
    EXPECT_LT(shown.size(), pictureCount(0, true) + pictureCount(1, true) + 1);
}

TEST(PlaybackChannels, AllEightChannelsShowTheirPictures) {
    testing::TempDir dir;
    sim::CardSpec plan;
    plan.outPath = (dir / "card.img").string();
    plan.blockCount = 8;
    for (std::uint8_t c = 0; c < 8; ++c) {
        sim::ChannelSpec channel;
        channel.channel = c;
        channel.width = 64 + 16 * c; // each channel its own size
        channel.height = 48;
        channel.fps = 10;
        channel.gop = 5;
        plan.channels.push_back(channel);
    }
    plan.recordings = {{{2024, 5, 1, 8, 0, 0}, 3}};
    sim::Manifest manifest;
    std::string error;
    ASSERT_TRUE(sim::writeCard(plan, manifest, error)) << error;
    engine::RecordingSink sink;
    PictureWindow window;
    testing::ControlPtr control = testing::OpenUnpaced(sink, window, 4, plan.outPath);
    ASSERT_TRUE(engine::PlayerPlay(control.get(), engine::PlayerLoadIndex(control.get()), 0));
    ASSERT_TRUE(testing::WaitForChannelEnds(sink, {0, 1, 2, 3, 4, 5, 6, 7}, 60000));
    for (int c = 0; c < 8; ++c) {
        const auto shown = window.shown(c);
        ASSERT_FALSE(shown.empty()) << "channel " << c;
        EXPECT_EQ(shown.back().width, 64 + 16 * c);
    }
    platform::ClearDrivePaths();
}

TEST_F(Playback, HardwareDecodingFallsBackToTheSamePictures) {
    ASSERT_TRUE(engine::PlayerPlay(m_control.get(), record(0), 0));
    ASSERT_TRUE(testing::WaitForChannelEnds(m_sink, {0}, 60000));
    engine::PlayerClose(m_control.get());
    const auto software = m_window.shown(0);

    // This machine has no hardware decoder (or has one): the pictures are the same either way.
    m_sink.Clear();
    PictureWindow window;
    engine::PlayerSetVideoWindow(m_control.get(), &window, 0);
    engine::PlayerEnableDxva2(m_control.get(), 1, 0);
    engine::PlayerOpen(m_control.get(), "car2://4");
    ASSERT_TRUE(engine::PlayerPlay(m_control.get(), engine::PlayerLoadIndex(m_control.get()), 0));
    ASSERT_TRUE(testing::WaitForChannelEnds(m_sink, {0}, 60000));
    const auto hardware = window.shown(0);
    ASSERT_EQ(hardware.size(), software.size());
    for (std::size_t i = 0; i < software.size(); ++i) {
        EXPECT_EQ(hardware[i].md5, software[i].md5) << i;
    }
}

TEST_F(Playback, RapidControlChangesNeverHangAndCloseEndsInTime) {
    m_control->unpaced = false;
    ASSERT_TRUE(engine::PlayerPlay(m_control.get(), record(0), 0));
    const std::int64_t start = record(0)->startSeconds();
    const double speeds[] = {2.0, -1.0, 0.5, 1.1, 1.0, 16.0, -1.1, 1.0 / 32, 1.0};
    for (int i = 0; i < 60; ++i) {
        switch (i % 5) {
        case 0:
            engine::PlayerSetSpeed(m_control.get(), speeds[(i / 5) % std::size(speeds)]);
            break;
        case 1:
            engine::PlayerSeek(m_control.get(), static_cast<std::int32_t>(start + i % 12));
            break;
        case 2:
            engine::PlayerPause(m_control.get(), 1);
            break;
        case 3:
            engine::PlayerPause(m_control.get(), 0);
            break;
        default:
            engine::PlayerRepaint(m_control.get());
            engine::PlayerTick(m_control.get(), 1);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
    const auto before = std::chrono::steady_clock::now();
    engine::PlayerClose(m_control.get());
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    EXPECT_EQ(engine::PlayerGetTime(m_control.get(), 0), 0u) << "closing clears the seek";
}

TEST_F(Playback, FacadeValuesWithoutPlaying) {
    // A pending seek is what the channels report until the reader takes it.
    engine::PlayerSeek(m_control.get(), 1714550405);
    EXPECT_EQ(engine::PlayerGetTime(m_control.get(), 3), 1714550405u);
    // Volume: -2700 and below are silence.
    engine::PlayerSetVolume(m_control.get(), -2700, 0);
    EXPECT_EQ(m_control->settings[0].volume.load(), -10000);
    engine::PlayerSetVolume(m_control.get(), -2699, 2);
    EXPECT_EQ(m_control->settings[2].volume.load(), -2699);
    engine::PlayerSetVolume(m_control.get(), 0, 9); // no such channel: ignored
    EXPECT_EQ(engine::PlayerIsChannelIdle(m_control.get(), 0), 1) << "no worker has run";
    EXPECT_EQ(engine::PlayerGetPath(m_control.get()), "car2://4");
    EXPECT_FALSE(engine::PlayerProbeDrive(m_control.get(), 4)) << "not the older layout";
    EXPECT_FALSE(engine::PlayerProbeDrive(m_control.get(), 9)) << "no such drive";
}

TEST_F(Playback, CloseEndsQuicklyWhileEveryChannelPlaysPaced) {
    m_control->unpaced = false;
    for (int round = 0; round < 5; ++round) {
        ASSERT_TRUE(engine::PlayerPlay(m_control.get(), record(0), 0));
        std::this_thread::sleep_for(std::chrono::milliseconds(30 * round));
        const auto start = std::chrono::steady_clock::now();
        engine::PlayerClose(m_control.get());
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took, std::chrono::seconds(5)) << "round " << round;
        engine::PlayerOpen(m_control.get(), "car2://4");
        ASSERT_NE(engine::PlayerLoadIndex(m_control.get()), nullptr);
    }
}

} // namespace
} // namespace tavero

// Hardware decoders hand back NV12; its hash and stored copies must be those of the same picture
// decoded in software (planar 4:2:0), so swscale makes the NV12 form here.
TEST(PictureHash, Nv12PictureHashesLikeItsPlanarForm) {
    constexpr int kWidth = 34; // odd chroma width: 17
    constexpr int kHeight = 18;
    AVFrame* planar = av_frame_alloc();
    AVFrame* nv12 = av_frame_alloc();
    ASSERT_NE(planar, nullptr);
    ASSERT_NE(nv12, nullptr);
    planar->format = AV_PIX_FMT_YUV420P;
    nv12->format = AV_PIX_FMT_NV12;
    for (AVFrame* f : {planar, nv12}) {
        f->width = kWidth;
        f->height = kHeight;
        ASSERT_EQ(av_frame_get_buffer(f, 0), 0);
    }
    for (int p = 0; p < 3; ++p) {
        const int h = p == 0 ? kHeight : kHeight / 2;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < planar->linesize[p]; ++x) {
                planar->data[p][y * planar->linesize[p] + x] =
                    static_cast<std::uint8_t>(x * 7 + y * 13 + p * 50);
            }
        }
    }
    SwsContext* sws = sws_getContext(kWidth, kHeight, AV_PIX_FMT_YUV420P, kWidth, kHeight,
                                     AV_PIX_FMT_NV12, SWS_POINT, nullptr, nullptr, nullptr);
    ASSERT_NE(sws, nullptr);
    sws_scale(sws, planar->data, planar->linesize, 0, kHeight, nv12->data, nv12->linesize);
    sws_freeContext(sws);

    std::vector<std::uint8_t> chromaA;
    std::vector<std::uint8_t> chromaB;
    tavero::engine::YuvPicture a;
    tavero::engine::YuvPicture b;
    ASSERT_TRUE(tavero::engine::VideoDecoder::AsYuv(*planar, a, chromaA));
    ASSERT_TRUE(tavero::engine::VideoDecoder::AsYuv(*nv12, b, chromaB));
    EXPECT_TRUE(chromaA.empty()) << "planar pictures are not copied";
    EXPECT_EQ(tavero::engine::YuvPictureMd5(a), tavero::engine::YuvPictureMd5(b));

    nv12->format = AV_PIX_FMT_RGB24; // anything else is refused
    EXPECT_FALSE(tavero::engine::VideoDecoder::AsYuv(*nv12, b, chromaB));
    av_frame_free(&planar);
    av_frame_free(&nv12);
}
