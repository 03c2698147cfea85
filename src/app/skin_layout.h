// Where the main window's controls sit in each UI mode, which skin bitmap each one wears, and the
// channel cells the window backgrounds are drawn around. The skin generator draws its bitmaps to
// these sizes and the main window places its controls by the same rows, so that backgrounds and
// controls line up.
//
// Rectangles are in main-window pixels (left, top, width, height). A left edge of
// kOutOfSightLeft puts a control out of sight in that mode (the window hides it); its size still
// sizes its bitmaps.
//
// Thread: immutable data; any thread may read it.
#pragma once

#include <array>
#include <span>
#include <string_view>
#include <vector>

namespace tavero::app {

inline constexpr int kSkinModeCount = 3;
inline constexpr int kOutOfSightLeft = -99;

struct SkinRect {
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    [[nodiscard]] constexpr int right() const { return x + w; }  // one past the last column
    [[nodiscard]] constexpr int bottom() const { return y + h; } // one past the last row
    [[nodiscard]] constexpr bool operator==(const SkinRect&) const = default;
};

struct SkinSize {
    int w = 0;
    int h = 0;
    [[nodiscard]] constexpr bool operator==(const SkinSize&) const = default;
};

[[nodiscard]] bool skinRectsOverlap(const SkinRect& a, const SkinRect& b);

enum class SkinControlKind {
    Button,         // a skin strip of four frames
    Slider,         // one-thumb skinned slider: a track strip of four frames and a thumb
    MarkBar,        // two-thumb skinned slider
    BitmapSlider,   // channel bitmap and thumb bitmap
    SegmentDisplay, // drawn by the control itself, no bitmap
    UnitBadge,      // a bitmap the window draws at its own size
    Graph,          // G-sensor graph background
    Compass,        // compass background, with the needle as its "thumb"
    DayStrip,       // hour and minute strips of the day view, drawn by their control
    Calendar,       // month calendar of the day view
};

// Controls that belong together sit on one panel of the background.
enum class SkinGroup {
    WindowButtons,
    Functions,
    Transport,
    Network,
    Instruments,
    Deck,
    DayView,
    Tabs,
};

struct SkinControl {
    std::string_view name; // the English tooltip, also the row's key
    int commandId;         // command id, or a slider's message id; 0 when it has none
    SkinControlKind kind;
    SkinGroup group;
    std::array<SkinRect, kSkinModeCount> rect;
    std::array<int, kSkinModeCount> bitmapId; // strip, track, channel or background; 0 none
    std::array<int, kSkinModeCount> thumbId;  // thumb, mark 0's thumb or the needle; 0 none
    std::array<int, kSkinModeCount> thumb2Id; // mark 1's thumb; 0 none
};

// Every row, in a fixed order.
[[nodiscard]] std::span<const SkinControl> skinControls();

// The row with this name; null when none.
[[nodiscard]] const SkinControl* findSkinControl(std::string_view name);

// Modes outside 0..2 are read as mode 0 by the functions below.
[[nodiscard]] int validSkinMode(int mode);

// Size of the main window (its background bitmap) in a UI mode.
[[nodiscard]] SkinSize skinWindowSize(int mode);

// Full-window background for a UI mode and a channel layout (8, or anything else for 4), with or
// without the brand mark.
[[nodiscard]] int backgroundBitmapId(int mode, int layout, bool noMark);

// Unit badge under the speed display: km/h (units 0 and any unknown), miles per hour (1) or
// knots (2).
[[nodiscard]] int unitBadgeBitmapId(int mode, int speedUnit);

// Corner ellipse of the main window's rounded region (width = height).
[[nodiscard]] int windowCornerEllipse(int mode);

// The cells of the channel grid drawn on the background: for layout 8 the eight channel cells
// and the map cell (index 8), for layout 4 the four cells of the 2 x 2 grid (the last one shared
// by channels 4 to 8 and the map).
[[nodiscard]] std::vector<SkinRect> backgroundCells(int mode, int layout);

// Bitmap ids this program's skin adds for controls that need a look of their own.
inline constexpr int kBmpSpeedDown = 2001;
inline constexpr int kBmpSpeedUp = 2002;
inline constexpr int kBmpRecordListTab = 2003;
inline constexpr int kBmpSettingListTab = 2004;
inline constexpr int kBmpMapTab = 2005;
inline constexpr int kBmpMarkInThumb = 2006;
inline constexpr int kBmpMarkOutThumb = 2007;

} // namespace tavero::app
