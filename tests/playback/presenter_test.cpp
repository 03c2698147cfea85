// The presenter's text: the speed label and the information lines.

#include <gtest/gtest.h>

#include "engine/presenter.h"

namespace tavero::engine {
namespace {

TEST(SpeedLabel, ReadsAsTheUserInterfaceOffersTheSpeeds) {
    EXPECT_EQ(SpeedLabel(1.0), "");
    EXPECT_EQ(SpeedLabel(1.1), "");
    EXPECT_EQ(SpeedLabel(-1.1), "");
    EXPECT_EQ(SpeedLabel(2.0), "2x");
    EXPECT_EQ(SpeedLabel(32.0), "32x");
    EXPECT_EQ(SpeedLabel(-1.0), "-1x");
    EXPECT_EQ(SpeedLabel(0.5), "1/2x");
    EXPECT_EQ(SpeedLabel(1.0 / 32), "1/32x");
    EXPECT_EQ(SpeedLabel(0.04166666), "1/24x");
}

TEST(SpeedLabel, SmallPicturesUseTheSmallOffsets) {
    const CropRect none;
    EXPECT_EQ(SpeedLabelPosition(640, 480, none).x, 42);
    EXPECT_EQ(SpeedLabelPosition(640, 480, none).y, 448);
    const TextPoint small = SpeedLabelPosition(640, 320, none);
    EXPECT_EQ(small.x, 30);
    EXPECT_EQ(small.y, 282);
    const CropRect crop{5, 0, 0, -20};
    EXPECT_EQ(SpeedLabelPosition(1280, 720, crop).x, 47);
    EXPECT_EQ(SpeedLabelPosition(1280, 720, crop).y, 668);
}

TEST(InfoLines, ShowTimeRatesAndQueues) {
    InfoState s;
    s.timeSeconds = 1714550400; // 2024-05-01 08:00:00 UTC (the tests run with TZ=UTC)
    s.ptsUs = 1500000;
    s.framesLastSecond = 25;
    s.bytesLastSecond = 65536;
    s.predictedPerGroup = 24;
    s.videoRecords = 7;
    s.videoBytes = 300 * 1024;
    s.audioRecords = 3;
    s.audioBytes = 2048;
    const auto lines = InfoLines(s);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "2024-05-01 08:00:00 pts = 1500000");
    EXPECT_EQ(lines[1], "fps: 25, bps:  512 kbps, P/I: 24");
    EXPECT_EQ(lines[2], "video: q =  7, c =  300 KB");
    EXPECT_EQ(lines[3], "audio: q =  3, c =    2 KB");
}

TEST(Presenter, KeepsThePictureAtItsSizeAndHandsItOnCropped) {
    struct Window : VideoWindow {
        void Present(int channel, const QImage& picture, const CropRect& crop) override {
            lastChannel = channel;
            size = picture.size();
            lastCrop = crop;
        }
        int lastChannel = -1;
        QSize size;
        CropRect lastCrop;
    } window;
    Presenter presenter;
    EXPECT_FALSE(presenter.Create(&window, 3, 0, 480));
    ASSERT_TRUE(presenter.Create(&window, 3, 704, 576));
    int pitch = 0;
    std::uint8_t* bits = presenter.LockSurface(pitch);
    ASSERT_NE(bits, nullptr);
    EXPECT_GE(pitch, 704 * 4);
    bits[0] = 0x7F;
    presenter.UnlockSurface();
    presenter.PresentCropped(CropRect{1, 2, -3, -4});
    EXPECT_EQ(window.lastChannel, 3);
    EXPECT_EQ(window.size, QSize(704, 576));
    EXPECT_EQ(window.lastCrop.bottom, -4);
    EXPECT_EQ(presenter.Snapshot().constBits()[0], 0x7F);
    presenter.Clear();
    EXPECT_EQ(presenter.Snapshot().constBits()[0], 0);
}

} // namespace
} // namespace tavero::engine
