// Where the main window puts its eight channel windows, the docked map and the recording list for
// each UI mode and channel layout, which full-window background it draws, and which channel
// windows it shows while a recording plays.
//
// Thread: plain functions and a small state object; UI thread.
#pragma once

#include "app/player_commands.h"
#include "app/window_state.h"

#include <array>
#include <optional>
#include <string>

namespace tavero::app {

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0; // exclusive
    int bottom = 0;
    [[nodiscard]] int width() const { return right - left; }
    [[nodiscard]] int height() const { return bottom - top; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct PixelSize {
    int width = 0;
    int height = 0;
    friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

// A UI mode outside 0..2 (a hand-edited "UIMode") runs as mode 0.
[[nodiscard]] int NormalUiMode(int uiMode);
// Size of the main window (its background bitmap) in a UI mode.
[[nodiscard]] PixelSize WindowSize(int uiMode);
// Top-left corner that centres the window on a screen (never above or left of the screen).
[[nodiscard]] PixelSize CentredOrigin(PixelSize window, PixelSize screen);
// Background bitmap id: 8 channels 134, 168, 229; 4 channels (and single) 100, 101, 102; with
// "isNoMark" the variants 1904..1906 and 1907..1909.
[[nodiscard]] int BackgroundBitmapId(int uiMode, int layout, bool noMark);

// The grid of one mode and layout: three columns, three rows and a cell size.
struct GridTable {
    std::array<int, 3> columns{};
    std::array<int, 3> rows{};
    int cellWidth = 0;
    int cellHeight = 0;
    // Cell k (0..8) at column k mod 3, row k div 3.
    [[nodiscard]] Rect cell(int k) const;
};
// Layout 8 or 4 (single-channel layout uses the 4 table).
[[nodiscard]] GridTable GridTableFor(int uiMode, int layout);

struct ChannelPlacement {
    std::array<Rect, kChannelCount> channels{};
    // Channels this layout shows; the others are hidden.
    std::array<bool, kChannelCount> inLayout{};
    Rect mapDock; // the docked map view's place
    // Where the recording list, the setting list and the map tab go; none when the layout
    // leaves them no room (they stay hidden; the source chooser lists the recordings).
    std::optional<Rect> recordingList;
};
[[nodiscard]] ChannelPlacement ComputeGrid(int uiMode, int layout, bool mapMode);

// Channel rectangles before the first layout is applied (mode 0; scaled by 0.75 otherwise).
[[nodiscard]] std::array<Rect, kChannelCount> DefaultChannelRects(int uiMode);
[[nodiscard]] double WindowScale(int uiMode);

// Title of a detached channel window: "Channel-%.2d %dx%d", channel from 0.
[[nodiscard]] std::string ChannelTitle(int channel, int width, int height);

// A change of the channel layout: the layout to apply and the "channel84" value to store.
struct LayoutChange {
    bool applied = false; // false: nothing changes (an argument other than 0, 4, 8)
    int layout = kLayout8;
    std::optional<int> storeChannel84;
    bool hideLayoutButtons = false; // "only4channel"
};
// ApplyLayout's rule: 4 and 8 set the layout; 0 switches (8 to 4, 4 to 8, single to 4). The
// argument itself is what "channel84" keeps.
[[nodiscard]] LayoutChange NextLayout(int currentLayout, int argument);
// Start-up: "only4channel" fixes layout 4 (stored as 4); otherwise "channel84" is applied.
[[nodiscard]] LayoutChange StartupLayout(int currentLayout, int only4channel, int channel84);
// "change to 4CH" / "change to 8CH": nothing in map mode or when the layout is already shown.
[[nodiscard]] LayoutChange LayoutButton(const WindowState& window, int layout);

enum class ChannelVisibility { Keep, Show, Hide };

struct VisibilityRefresh {
    std::array<ChannelVisibility, kChannelCount> channels{};
    bool anyHidden = false; // some channel had no picture: the next timer tick refreshes again
};

// Shows channel windows that have pictures and hides those whose channel is idle. Playback
// start asks for a first wait of 3 s, for the decoders to show their first pictures; the window
// runs Run() after delayMs() on its own thread (a single-shot timer).
class ChannelRefresh {
public:
    static constexpr int kFirstWaitMs = 3000;

    void ArmFirstWait() { m_pending = true; }
    // Applying a layout refreshes at once.
    void CancelFirstWait() { m_pending = false; }
    [[nodiscard]] int delayMs() const { return m_pending ? kFirstWaitMs : 0; }
    [[nodiscard]] VisibilityRefresh Run(PlayerCommands& player, const WindowState& window);
    // The last refresh hid a channel: the timer runs it again.
    [[nodiscard]] bool rerunOnTimer() const { return m_lastHidChannel; }

private:
    bool m_pending = false;
    bool m_lastHidChannel = false;
};

} // namespace tavero::app
