// The presenter's text: the speed label and the information lines.

#include "engine/presenter.h"

#include <QGuiApplication>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>

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

// Red pixels (the label's colour) inside the rectangle.
int RedPixels(const QImage& image, const QRect& area) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            n += qRed(p) > 128 && qGreen(p) < 64 && qBlue(p) < 64;
        }
    }
    return n;
}

TEST(Presenter, DrawsTheSpeedLabelAndInformationLinesIntoThePicture) {
    // Text needs fonts, which need a GUI application; headless, the offscreen platform serves.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "presenter_test";
    static char* argv[] = {name, nullptr};
    static auto* app = new QGuiApplication(argc, argv);
    (void)app;

    Presenter presenter;
    ASSERT_TRUE(presenter.Create(nullptr, 0, 320, 240));
    presenter.Clear();
    OverlaySettings settings;
    presenter.DrawText(settings, InfoState{}, 1.0, CropRect{});
    EXPECT_EQ(RedPixels(presenter.Snapshot(), QRect(0, 0, 320, 240)), 0) << "nothing at speed 1";

    presenter.DrawText(settings, InfoState{}, 2.0, CropRect{});
    const QImage labelled = presenter.Snapshot();
    // The small picture's label starts at (30, 202) and is 24 pixels high.
    EXPECT_GT(RedPixels(labelled, QRect(30, 202, 60, 30)), 20);
    EXPECT_EQ(RedPixels(labelled, QRect(0, 0, 320, 190)), 0);

    presenter.Clear();
    settings.showInfo = true;
    settings.infoColour = 0x00FF0000; // blue as 0x00BBGGRR
    presenter.DrawText(settings, InfoState{}, 1.0, CropRect{});
    const QImage info = presenter.Snapshot();
    int blue = 0;
    for (int y = 60; y < 60 + 4 * 24; ++y) {
        for (int x = 10; x < 320; ++x) {
            blue += qBlue(info.pixel(x, y)) > 128 && qRed(info.pixel(x, y)) < 64;
        }
    }
    EXPECT_GT(blue, 100) << "four lines from (10, 60) down";
    EXPECT_EQ(RedPixels(info, QRect(0, 0, 320, 240)), 0);
}

} // namespace
} // namespace tavero::engine
