#include "app/skin_math.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace tavero::app {

int skinFrameWidth(int stripWidth, StripMask mask) {
    if (stripWidth <= 0) {
        return 0;
    }
    return stripWidth / (mask == StripMask::FifthFrame ? kMaskedStripFrames : kOpaqueStripFrames);
}

SkinFrame chooseSkinFrame(bool enabled, bool pressedOrChecked, bool mouseOver) {
    if (!enabled) {
        return SkinFrame::Disabled;
    }
    if (pressedOrChecked) {
        return SkinFrame::Pressed;
    }
    return mouseOver ? SkinFrame::MouseOver : SkinFrame::Normal;
}

double sliderFraction(SliderOrientation orientation, int x, int y, int width, int height) {
    if (orientation == SliderOrientation::Horizontal) {
        return width > 0 ? static_cast<double>(x) / width : 0.0;
    }
    return height > 0 ? static_cast<double>(height - y) / height : 0.0;
}

int sliderValue(int minimum, int maximum, double fraction) {
    const double span = static_cast<double>(maximum) - static_cast<double>(minimum);
    // Truncation toward zero after adding 0.5, as the owner's arithmetic expects; far outside
    // fractions are limited first so that the conversion cannot overflow.
    const double offset = std::clamp(span * fraction + 0.5, -2.0e9, 2.0e9);
    const double value =
        static_cast<double>(minimum) + static_cast<double>(static_cast<long long>(offset));
    return static_cast<int>(std::clamp(value, -2147483648.0, 2147483647.0));
}

double sliderFractionOfValue(int minimum, int maximum, int value) {
    if (maximum == minimum) {
        return 0.0;
    }
    const double fraction =
        (static_cast<double>(value) - minimum) / (static_cast<double>(maximum) - minimum);
    return std::clamp(fraction, 0.0, 1.0);
}

int sliderThumbOffset(int trackExtent, int thumbExtent, double fraction) {
    const int room = trackExtent - thumbExtent;
    if (room <= 0) {
        return 0;
    }
    return std::clamp(static_cast<int>(room * fraction), 0, room);
}

namespace {

int trackLength(int clientWidth, int thumbWidth, const SliderMargins& margins) {
    return clientWidth - margins.left - margins.right - thumbWidth;
}

} // namespace

int bitmapSliderPosition(int x, int clientWidth, int thumbWidth, const SliderMargins& margins,
                         int minimum, int maximum) {
    const int length = trackLength(clientWidth, thumbWidth, margins);
    if (length <= 0 || maximum <= minimum) {
        return minimum;
    }
    const double along = static_cast<double>(x - margins.left - thumbWidth / 2) / length;
    const double position =
        static_cast<double>(minimum) + along * (static_cast<double>(maximum) - minimum);
    const double limited =
        std::clamp(position, static_cast<double>(minimum), static_cast<double>(maximum));
    return static_cast<int>(limited);
}

int bitmapSliderThumbCentre(int position, int clientWidth, int thumbWidth,
                            const SliderMargins& margins, int minimum, int maximum) {
    const int start = margins.left + thumbWidth / 2;
    const int length = trackLength(clientWidth, thumbWidth, margins);
    if (length <= 0 || maximum <= minimum) {
        return start;
    }
    const double along =
        (static_cast<double>(position) - minimum) / (static_cast<double>(maximum) - minimum);
    return start + static_cast<int>(along * length);
}

PanelState nextPanelState(PanelState state) {
    switch (state) {
    case PanelState::Docked:
        return PanelState::Detached;
    case PanelState::Detached:
        return PanelState::FullScreen;
    case PanelState::FullScreen:
        break;
    }
    return PanelState::Docked;
}

std::string panelTitle(int channelIndex, int pictureWidth, int pictureHeight) {
    char text[64];
    std::snprintf(text, sizeof text, "Channel-%.2d %dx%d", channelIndex + 1, pictureWidth,
                  pictureHeight);
    return text;
}

int keepRatioClientHeight(int clientWidth, int pictureWidth, int pictureHeight, int currentHeight) {
    if (pictureWidth <= 0 || pictureHeight <= 0 || clientWidth <= 0) {
        return currentHeight;
    }
    const long long height = static_cast<long long>(clientWidth) * pictureHeight / pictureWidth;
    return static_cast<int>(std::min<long long>(height, 1 << 20));
}

SegmentCell segmentCellOf(char c) {
    if (c == ':') {
        return SegmentCell::Colon;
    }
    if (c == '.') {
        return SegmentCell::Dot;
    }
    return SegmentCell::Full;
}

namespace {

constexpr std::uint16_t kMiddle = kSegMiddleLeft | kSegMiddleRight;

constexpr std::array<std::uint16_t, 10> kDigits = {
    kSegTop | kSegUpperRight | kSegLowerRight | kSegBottom | kSegLowerLeft | kSegUpperLeft,
    kSegUpperRight | kSegLowerRight,
    kSegTop | kSegUpperRight | kMiddle | kSegLowerLeft | kSegBottom,
    kSegTop | kSegUpperRight | kMiddle | kSegLowerRight | kSegBottom,
    kSegUpperLeft | kMiddle | kSegUpperRight | kSegLowerRight,
    kSegTop | kSegUpperLeft | kMiddle | kSegLowerRight | kSegBottom,
    kSegTop | kSegUpperLeft | kMiddle | kSegLowerLeft | kSegLowerRight | kSegBottom,
    kSegTop | kSegUpperRight | kSegLowerRight,
    kSegTop | kSegUpperRight | kSegLowerRight | kSegBottom | kSegLowerLeft | kSegUpperLeft |
        kMiddle,
    kSegTop | kSegUpperRight | kSegLowerRight | kSegBottom | kSegUpperLeft | kMiddle,
};

constexpr std::uint16_t kOuter =
    kSegTop | kSegUpperRight | kSegLowerRight | kSegBottom | kSegLowerLeft | kSegUpperLeft;
constexpr std::uint16_t kLeft = kSegUpperLeft | kSegLowerLeft;
constexpr std::uint16_t kRight = kSegUpperRight | kSegLowerRight;
constexpr std::uint16_t kCentre = kSegCentreUpper | kSegCentreLower;

constexpr std::array<std::uint16_t, 26> kLetters = {
    kSegTop | kLeft | kRight | kMiddle,                                              // A
    kSegTop | kRight | kSegBottom | kCentre | kSegMiddleRight,                       // B
    kSegTop | kLeft | kSegBottom,                                                    // C
    kSegTop | kRight | kSegBottom | kCentre,                                         // D
    kSegTop | kLeft | kSegBottom | kSegMiddleLeft,                                   // E
    kSegTop | kLeft | kSegMiddleLeft,                                                // F
    kSegTop | kLeft | kSegBottom | kSegLowerRight | kSegMiddleRight,                 // G
    kLeft | kRight | kMiddle,                                                        // H
    kSegTop | kSegBottom | kCentre,                                                  // I
    kRight | kSegBottom | kSegLowerLeft,                                             // J
    kLeft | kSegMiddleLeft | kSegDiagUpperRight | kSegDiagLowerRight,                // K
    kLeft | kSegBottom,                                                              // L
    kLeft | kRight | kSegDiagUpperLeft | kSegDiagUpperRight,                         // M
    kLeft | kRight | kSegDiagUpperLeft | kSegDiagLowerRight,                         // N
    kOuter,                                                                          // O
    kSegTop | kLeft | kSegUpperRight | kMiddle,                                      // P
    kOuter | kSegDiagLowerRight,                                                     // Q
    kSegTop | kLeft | kSegUpperRight | kMiddle | kSegDiagLowerRight,                 // R
    kSegTop | kSegUpperLeft | kMiddle | kSegLowerRight | kSegBottom,                 // S
    kSegTop | kCentre,                                                               // T
    kLeft | kRight | kSegBottom,                                                     // U
    kLeft | kSegDiagLowerLeft | kSegDiagUpperRight,                                  // V
    kLeft | kRight | kSegDiagLowerLeft | kSegDiagLowerRight,                         // W
    kSegDiagUpperLeft | kSegDiagUpperRight | kSegDiagLowerLeft | kSegDiagLowerRight, // X
    kSegDiagUpperLeft | kSegDiagUpperRight | kSegCentreLower,                        // Y
    kSegTop | kSegBottom | kSegDiagUpperRight | kSegDiagLowerLeft,                   // Z
};

} // namespace

std::uint16_t segmentMask(char c) {
    if (c >= '0' && c <= '9') {
        return kDigits[static_cast<std::size_t>(c - '0')];
    }
    if (c >= 'A' && c <= 'Z') {
        return kLetters[static_cast<std::size_t>(c - 'A')];
    }
    if (c >= 'a' && c <= 'z') {
        return kLetters[static_cast<std::size_t>(c - 'a')];
    }
    if (c == '-') {
        return kMiddle;
    }
    return 0;
}

} // namespace tavero::app
