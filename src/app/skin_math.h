// Arithmetic of the skinned controls: which frame of a skin strip a button shows, how a pointer
// position becomes a slider value and where the thumb goes, the channel window's state cycle and
// title, and the segment patterns of the segment display. Plain functions, so that the rules can
// be checked without a window system.
//
// Thread: pure functions; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace tavero::app {

// Messages a skinned slider sends to its owner: (message, slider's message id, value).
inline constexpr int kMsgSliderPressed = 3072;
inline constexpr int kMsgSliderReleased = 3073;
inline constexpr int kMsgSliderMoved = 3074;
// The bitmap slider's message: (message, control id, position).
inline constexpr int kMsgBitmapSliderMoved = 10449;

// A skin strip is one row of equal frames: normal, mouse over, pressed or checked, disabled; a
// strip with a transparency mask has the mask as a fifth frame.
inline constexpr int kOpaqueStripFrames = 4;
inline constexpr int kMaskedStripFrames = 5;

enum class SkinFrame : int { Normal = 0, MouseOver = 1, Pressed = 2, Disabled = 3 };

enum class StripMask { None, FifthFrame };

// Width of one frame; integer division, so a strip whose width is not a multiple of the frame
// count loses its last pixels. 0 for an empty strip.
[[nodiscard]] int skinFrameWidth(int stripWidth, StripMask mask);

// The frame a button shows: disabled wins over pressed or checked, which wins over mouse over.
[[nodiscard]] SkinFrame chooseSkinFrame(bool enabled, bool pressedOrChecked, bool mouseOver);

enum class SliderOrientation { Horizontal, Vertical };

// Fraction of the track under the pointer: x / width for a horizontal slider, (height - y) /
// height for a vertical one (so up is more). Not limited to 0..1: a captured pointer may leave
// the control. 0 when the extent is empty.
[[nodiscard]] double sliderFraction(SliderOrientation orientation, int x, int y, int width,
                                    int height);

// Value for a fraction: minimum + (maximum - minimum) x fraction, rounded by adding 0.5 and
// truncating. Fractions outside 0..1 give values outside the range; receivers clamp.
[[nodiscard]] int sliderValue(int minimum, int maximum, double fraction);

// Fraction for a value set by the owner, limited to 0..1; 0 for an empty range.
[[nodiscard]] double sliderFractionOfValue(int minimum, int maximum, int value);

// Offset of the thumb's leading edge along the track: (track - thumb) x fraction, kept on the
// track (0 .. track - thumb; 0 when the thumb is larger than the track).
[[nodiscard]] int sliderThumbOffset(int trackExtent, int thumbExtent, double fraction);

// Pixels of the bitmap slider's client area that the thumb's centre never enters.
struct SliderMargins {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// Bitmap slider position under the pointer's x: minimum + (x - left - thumb / 2) / (width -
// left - right - thumb) x (maximum - minimum), truncated, then limited to the range. The
// minimum when the track has no length.
[[nodiscard]] int bitmapSliderPosition(int x, int clientWidth, int thumbWidth,
                                       const SliderMargins& margins, int minimum, int maximum);

// Where the bitmap slider's thumb centre is drawn for a position (x in the client area).
[[nodiscard]] int bitmapSliderThumbCentre(int position, int clientWidth, int thumbWidth,
                                          const SliderMargins& margins, int minimum, int maximum);

// A channel window is docked in the main window's grid, a free window, or covers the screen;
// double-clicks cycle through the three in that order.
enum class PanelState : int { Docked = 0, Detached = 1, FullScreen = 2 };

[[nodiscard]] PanelState nextPanelState(PanelState state);

// Title of a detached channel window: "Channel-01 1280x720" for channel index 0.
[[nodiscard]] std::string panelTitle(int channelIndex, int pictureWidth, int pictureHeight);

// Client height that keeps the picture's aspect ratio at a client width; `currentHeight` when the
// picture size is unknown.
[[nodiscard]] int keepRatioClientHeight(int clientWidth, int pictureWidth, int pictureHeight,
                                        int currentHeight);

// Segment display cells. Segment bits of one character cell: the seven outer segments of a digit
// (top, upper right, lower right, bottom, lower left, upper left, the middle bar in two halves)
// and, for letters, the two centre verticals and the four diagonals.
enum Segment : std::uint16_t {
    kSegTop = 1u << 0,
    kSegUpperRight = 1u << 1,
    kSegLowerRight = 1u << 2,
    kSegBottom = 1u << 3,
    kSegLowerLeft = 1u << 4,
    kSegUpperLeft = 1u << 5,
    kSegMiddleLeft = 1u << 6,
    kSegMiddleRight = 1u << 7,
    kSegDiagUpperLeft = 1u << 8, // from the top left corner to the centre
    kSegCentreUpper = 1u << 9,   // centre vertical, upper half
    kSegDiagUpperRight = 1u << 10,
    kSegDiagLowerLeft = 1u << 11,
    kSegCentreLower = 1u << 12,
    kSegDiagLowerRight = 1u << 13,
};

enum class SegmentCell { Full, Colon, Dot };

// The cell a character takes: ':' and '.' are narrow cells, everything else a full one.
[[nodiscard]] SegmentCell segmentCellOf(char c);

// Lit segments of a character: digits with seven segments, letters (either case) with fourteen,
// '-' as the middle bar; anything else lights nothing.
[[nodiscard]] std::uint16_t segmentMask(char c);

} // namespace tavero::app
