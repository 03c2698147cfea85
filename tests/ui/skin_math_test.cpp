// The skinned controls' arithmetic, without a window system.

#include "app/skin_math.h"

#include <gtest/gtest.h>

namespace tavero::app {
namespace {

TEST(SkinFrames, FrameWidthIsIntegerDivisionOfTheStrip) {
    EXPECT_EQ(skinFrameWidth(236, StripMask::None), 59);
    EXPECT_EQ(skinFrameWidth(236, StripMask::FifthFrame), 47);
    EXPECT_EQ(skinFrameWidth(3, StripMask::None), 0);
    EXPECT_EQ(skinFrameWidth(0, StripMask::None), 0);
    EXPECT_EQ(skinFrameWidth(-40, StripMask::FifthFrame), 0);
}

TEST(SkinFrames, DisabledWinsOverPressedWhichWinsOverHover) {
    struct Case {
        bool enabled, pressed, over;
        SkinFrame frame;
    };
    const Case cases[] = {
        {true, false, false, SkinFrame::Normal},    {true, false, true, SkinFrame::MouseOver},
        {true, true, false, SkinFrame::Pressed},    {true, true, true, SkinFrame::Pressed},
        {false, false, false, SkinFrame::Disabled}, {false, true, true, SkinFrame::Disabled},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(chooseSkinFrame(c.enabled, c.pressed, c.over), c.frame)
            << c.enabled << c.pressed << c.over;
    }
}

TEST(SkinSlider, MiddleOfATwelveStepTrackIsSix) {
    const int width = 290;
    EXPECT_EQ(
        sliderValue(0, 12, sliderFraction(SliderOrientation::Horizontal, width / 2, 0, width, 30)),
        6);
    EXPECT_EQ(sliderValue(0, 12, sliderFraction(SliderOrientation::Horizontal, 0, 0, width, 30)),
              0);
    EXPECT_EQ(
        sliderValue(0, 12, sliderFraction(SliderOrientation::Horizontal, width, 0, width, 30)), 12);
}

TEST(SkinSlider, ValuesRoundHalfUpAndMayLeaveTheRangeWhileCaptured) {
    EXPECT_EQ(sliderValue(0, 10, 0.04), 0);
    EXPECT_EQ(sliderValue(0, 10, 0.05), 1);
    EXPECT_EQ(sliderValue(0, 10, 0.96), 10);
    // A pointer dragged past either end reports values beyond the range; receivers clamp.
    EXPECT_EQ(sliderValue(0, 12, 2.0), 24);
    EXPECT_EQ(sliderValue(0, 12, -0.5), -5);
    // Recording times as the position slider's range.
    const int start = 1439294400;
    EXPECT_EQ(sliderValue(start, start + 600, 0.5), start + 300);
    EXPECT_EQ(sliderValue(5, 5, 0.7), 5);
}

TEST(SkinSlider, VerticalTracksGrowUpwards) {
    EXPECT_DOUBLE_EQ(sliderFraction(SliderOrientation::Vertical, 0, 0, 20, 200), 1.0);
    EXPECT_DOUBLE_EQ(sliderFraction(SliderOrientation::Vertical, 0, 200, 20, 200), 0.0);
    EXPECT_DOUBLE_EQ(sliderFraction(SliderOrientation::Vertical, 0, 50, 20, 200), 0.75);
    EXPECT_DOUBLE_EQ(sliderFraction(SliderOrientation::Horizontal, 10, 0, 0, 0), 0.0);
}

TEST(SkinSlider, ThumbStaysOnTheTrack) {
    EXPECT_EQ(sliderThumbOffset(350, 14, 0.0), 0);
    EXPECT_EQ(sliderThumbOffset(350, 14, 1.0), 336);
    EXPECT_EQ(sliderThumbOffset(350, 14, 0.5), 168);
    EXPECT_EQ(sliderThumbOffset(350, 14, 1.7), 336);
    EXPECT_EQ(sliderThumbOffset(350, 14, -0.2), 0);
    EXPECT_EQ(sliderThumbOffset(10, 14, 0.5), 0);
    EXPECT_DOUBLE_EQ(sliderFractionOfValue(0, 12, 3), 0.25);
    EXPECT_DOUBLE_EQ(sliderFractionOfValue(0, 12, 40), 1.0);
    EXPECT_DOUBLE_EQ(sliderFractionOfValue(7, 7, 7), 0.0);
}

TEST(SkinBitmapSlider, PositionFromPointerIsTruncatedAndLimited) {
    const SliderMargins margins{4, 0, 4, 0};
    // Track from x 12 (4 + 16 / 2) over 290 - 8 - 16 = 266 pixels.
    EXPECT_EQ(bitmapSliderPosition(12, 290, 16, margins, 0, 27), 0);
    EXPECT_EQ(bitmapSliderPosition(278, 290, 16, margins, 0, 27), 27);
    EXPECT_EQ(bitmapSliderPosition(145, 290, 16, margins, 0, 27), 13); // 13.5 truncated
    EXPECT_EQ(bitmapSliderPosition(-50, 290, 16, margins, 0, 27), 0);
    EXPECT_EQ(bitmapSliderPosition(900, 290, 16, margins, 0, 27), 27);
    // No track left: the minimum, never a division by zero.
    EXPECT_EQ(bitmapSliderPosition(10, 20, 16, margins, 3, 27), 3);
    EXPECT_EQ(bitmapSliderPosition(10, 290, 16, margins, 5, 5), 5);
}

TEST(SkinBitmapSlider, ThumbCentreRunsFromMarginToMargin) {
    const SliderMargins margins{4, 0, 4, 0};
    EXPECT_EQ(bitmapSliderThumbCentre(0, 290, 16, margins, 0, 27), 12);
    EXPECT_EQ(bitmapSliderThumbCentre(27, 290, 16, margins, 0, 27), 278);
    EXPECT_EQ(bitmapSliderThumbCentre(9, 290, 16, margins, 0, 27), 12 + 88);
    // Centres of growing positions never go back.
    int last = -1;
    for (int p = 0; p <= 27; ++p) {
        const int centre = bitmapSliderThumbCentre(p, 290, 16, margins, 0, 27);
        EXPECT_GT(centre, last);
        last = centre;
    }
}

TEST(SkinPanel, ThreeDoubleClicksReturnToTheGrid) {
    PanelState state = PanelState::Docked;
    state = nextPanelState(state);
    EXPECT_EQ(state, PanelState::Detached);
    state = nextPanelState(state);
    EXPECT_EQ(state, PanelState::FullScreen);
    state = nextPanelState(state);
    EXPECT_EQ(state, PanelState::Docked);
}

TEST(SkinPanel, TitleAndKeptRatio) {
    EXPECT_EQ(panelTitle(0, 1280, 720), "Channel-01 1280x720");
    EXPECT_EQ(panelTitle(7, 640, 360), "Channel-08 640x360");
    EXPECT_EQ(keepRatioClientHeight(640, 1280, 720, 500), 360);
    EXPECT_EQ(keepRatioClientHeight(701, 1280, 720, 500), 394);
    EXPECT_EQ(keepRatioClientHeight(640, 0, 0, 500), 500);
    EXPECT_EQ(keepRatioClientHeight(0, 1280, 720, 500), 500);
}

TEST(SkinSegments, DigitsUseSevenSegmentsLettersFourteen) {
    constexpr std::uint16_t sevenSegments = kSegTop | kSegUpperRight | kSegLowerRight | kSegBottom |
                                            kSegLowerLeft | kSegUpperLeft | kSegMiddleLeft |
                                            kSegMiddleRight;
    for (char c = '0'; c <= '9'; ++c) {
        EXPECT_NE(segmentMask(c), 0) << c;
        EXPECT_EQ(segmentMask(c) & ~sevenSegments, 0) << c;
    }
    EXPECT_EQ(segmentMask('8'), sevenSegments);
    EXPECT_EQ(segmentMask('1'), kSegUpperRight | kSegLowerRight);
    EXPECT_EQ(segmentMask('0') & (kSegMiddleLeft | kSegMiddleRight), 0);
    // Letters that cannot be told apart with seven segments use the inner ones.
    EXPECT_NE(segmentMask('M') & (kSegDiagUpperLeft | kSegDiagUpperRight), 0);
    EXPECT_NE(segmentMask('K') & kSegDiagLowerRight, 0);
    EXPECT_EQ(segmentMask('X'),
              kSegDiagUpperLeft | kSegDiagUpperRight | kSegDiagLowerLeft | kSegDiagLowerRight);
    EXPECT_NE(segmentMask('O'), segmentMask('D'));
    EXPECT_NE(segmentMask('B'), segmentMask('8'));
    EXPECT_EQ(segmentMask('k'), segmentMask('K'));
    for (char c = 'A'; c <= 'Z'; ++c) {
        EXPECT_NE(segmentMask(c), 0) << c;
    }
    EXPECT_EQ(segmentMask(' '), 0);
    EXPECT_EQ(segmentMask('?'), 0);
    EXPECT_EQ(segmentMask('-'), kSegMiddleLeft | kSegMiddleRight);
    EXPECT_EQ(segmentCellOf(':'), SegmentCell::Colon);
    EXPECT_EQ(segmentCellOf('.'), SegmentCell::Dot);
    EXPECT_EQ(segmentCellOf('0'), SegmentCell::Full);
    EXPECT_EQ(segmentCellOf(' '), SegmentCell::Full);
}

} // namespace
} // namespace tavero::app
