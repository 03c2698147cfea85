#include "app/channel_grid.h"

#include <algorithm>
#include <cstdio>

namespace tavero::app {
namespace {

struct GridRow {
    GridTable layout8;
    GridTable layout4;
};

// Columns, rows and cell size per UI mode. In the 4-channel tables the third column and row
// (4000 or 0) are never used.
constexpr std::array<GridRow, 3> kGrids = {{
    {{{514, 953, 1393}, {312, 567, 822}, 428, 238},
     {{514, 1179, 4000}, {326, 700, 4000}, 653, 361}},
    {{{386, 714, 1045}, {234, 425, 617}, 321, 178}, {{386, 885, 0}, {244, 525, 0}, 487, 269}},
    {{{275, 508, 743}, {166, 303, 439}, 228, 126}, {{275, 630, 0}, {173, 374, 0}, 346, 192}},
}};

constexpr std::array<Rect, kChannelCount> kDefaultRects = {{
    {271, 37, 767, 410},
    {776, 37, 1273, 410},
    {271, 420, 767, 793},
    {776, 420, 1273, 793},
    {271, 215, 767, 587},
    {776, 37, 1273, 410},
    {776, 215, 1272, 587},
    {776, 420, 1273, 793},
}};

constexpr std::array<PixelSize, 3> kWindowSizes = {{{1920, 1080}, {1440, 810}, {1024, 576}}};

Rect Span(const Rect& a, const Rect& b) {
    return Rect{a.left, a.top, b.right, b.bottom};
}

} // namespace

int NormalUiMode(int uiMode) {
    return uiMode >= 0 && uiMode <= 2 ? uiMode : 0;
}

PixelSize WindowSize(int uiMode) {
    return kWindowSizes[static_cast<std::size_t>(NormalUiMode(uiMode))];
}

PixelSize CentredOrigin(PixelSize window, PixelSize screen) {
    return PixelSize{std::max(0, (screen.width - window.width) / 2),
                     std::max(0, (screen.height - window.height) / 2)};
}

int BackgroundBitmapId(int uiMode, int layout, bool noMark) {
    const int mode = NormalUiMode(uiMode);
    if (layout == kLayout8) {
        return noMark ? 1904 + mode : std::array{134, 168, 229}[static_cast<std::size_t>(mode)];
    }
    return noMark ? 1907 + mode : 100 + mode;
}

Rect GridTable::cell(int k) const {
    const int x = columns[static_cast<std::size_t>(k % 3)];
    const int y = rows[static_cast<std::size_t>(k / 3)];
    return Rect{x, y, x + cellWidth, y + cellHeight};
}

GridTable GridTableFor(int uiMode, int layout) {
    const GridRow& row = kGrids[static_cast<std::size_t>(NormalUiMode(uiMode))];
    return layout == kLayout8 ? row.layout8 : row.layout4;
}

ChannelPlacement ComputeGrid(int uiMode, int layout, bool mapMode) {
    ChannelPlacement p;
    if (layout == kLayout8) {
        const GridTable g = GridTableFor(uiMode, kLayout8);
        for (int i = 0; i < kChannelCount; ++i) {
            p.channels[static_cast<std::size_t>(i)] = g.cell(i);
            p.inLayout[static_cast<std::size_t>(i)] = true;
        }
        p.mapDock = mapMode ? Span(g.cell(0), g.cell(7)) : g.cell(8);
        p.recordingList = g.cell(8);
        return p;
    }
    // Two by two: channel 1 top left, 2 top right, 3 bottom left, 4 to 8 bottom right.
    const GridTable g = GridTableFor(uiMode, kLayout4);
    const Rect topLeft = g.cell(0);
    const Rect topRight = g.cell(1);
    const Rect bottomLeft = g.cell(3);
    const Rect bottomRight = g.cell(4);
    p.channels = {topLeft,     topRight,    bottomLeft,  bottomRight,
                  bottomRight, bottomRight, bottomRight, bottomRight};
    p.mapDock = mapMode ? Span(topLeft, bottomRight) : bottomRight;
    if (layout == kLayout1) {
        p.channels[0] = Span(topLeft, bottomRight);
        p.inLayout[0] = true;
    } else {
        p.inLayout = {true, true, true, true, false, false, false, false};
    }
    // The four cells fill the whole channel area: the lists have no place of their own here.
    return p;
}

double WindowScale(int uiMode) {
    return NormalUiMode(uiMode) == 0 ? 1.0 : 0.75;
}

std::array<Rect, kChannelCount> DefaultChannelRects(int uiMode) {
    const double s = WindowScale(uiMode);
    std::array<Rect, kChannelCount> rects = kDefaultRects;
    for (Rect& r : rects) {
        r = Rect{static_cast<int>(r.left * s), static_cast<int>(r.top * s),
                 static_cast<int>(r.right * s), static_cast<int>(r.bottom * s)};
    }
    return rects;
}

std::string ChannelTitle(int channel, int width, int height) {
    char text[64];
    std::snprintf(text, sizeof text, "Channel-%.2d %dx%d", channel + 1, width, height);
    return text;
}

LayoutChange NextLayout(int currentLayout, int argument) {
    LayoutChange change;
    if (argument == kLayout4 || argument == kLayout8) {
        change.layout = argument;
    } else if (argument == 0) {
        change.layout = currentLayout == kLayout8 ? kLayout4 : kLayout8;
        if (currentLayout == kLayout1) {
            change.layout = kLayout4;
        }
    } else {
        change.layout = currentLayout;
        return change;
    }
    change.applied = true;
    change.storeChannel84 = argument;
    return change;
}

LayoutChange StartupLayout(int currentLayout, int only4channel, int channel84) {
    if (only4channel != 0) {
        LayoutChange change = NextLayout(currentLayout, kLayout4);
        change.hideLayoutButtons = true;
        return change;
    }
    return NextLayout(currentLayout, channel84);
}

LayoutChange LayoutButton(const WindowState& window, int layout) {
    if (window.mapMode || window.layout == layout) {
        LayoutChange none;
        none.layout = window.layout;
        return none;
    }
    return NextLayout(window.layout, layout);
}

VisibilityRefresh ChannelRefresh::Run(PlayerCommands& player, const WindowState& window) {
    m_pending = false;
    VisibilityRefresh r;
    for (int i = 0; i < kChannelCount; ++i) {
        auto& v = r.channels[static_cast<std::size_t>(i)];
        if (player.IsChannelIdle(i) != 0) {
            v = ChannelVisibility::Hide;
            r.anyHidden = true;
        } else {
            v = window.mapMode ? ChannelVisibility::Keep : ChannelVisibility::Show;
        }
        const bool outOfLayout =
            (window.layout == kLayout4 && i >= 4) || (window.layout == kLayout1 && i >= 1);
        if (outOfLayout) {
            v = ChannelVisibility::Hide;
        }
    }
    m_lastHidChannel = r.anyHidden;
    return r;
}

} // namespace tavero::app
