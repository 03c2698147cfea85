#include "app/channel_grid.h"
#include "fake_player.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tavero::app {
namespace {

struct GridCase {
    int mode;
    int layout;
    Rect channel0;
    Rect channel3;
    Rect channel7;
    Rect mapDock;
    Rect mapModeDock;
};

class Grid : public testing::TestWithParam<GridCase> {};

TEST_P(Grid, PlacesChannelsAndMapAsTheTablesSay) {
    const GridCase& c = GetParam();
    const ChannelPlacement p = ComputeGrid(c.mode, c.layout, false);
    EXPECT_EQ(p.channels[0], c.channel0);
    EXPECT_EQ(p.channels[3], c.channel3);
    EXPECT_EQ(p.channels[7], c.channel7);
    EXPECT_EQ(p.mapDock, c.mapDock);
    EXPECT_EQ(ComputeGrid(c.mode, c.layout, true).mapDock, c.mapModeDock);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, Grid,
    testing::Values(GridCase{0,
                             8,
                             {514, 312, 942, 550},
                             {514, 567, 942, 805},
                             {953, 822, 1381, 1060},
                             {1393, 822, 1821, 1060},
                             {514, 312, 1381, 1060}},
                    GridCase{1,
                             8,
                             {386, 234, 707, 412},
                             {386, 425, 707, 603},
                             {714, 617, 1035, 795},
                             {1045, 617, 1366, 795},
                             {386, 234, 1035, 795}},
                    GridCase{2,
                             8,
                             {275, 166, 503, 292},
                             {275, 303, 503, 429},
                             {508, 439, 736, 565},
                             {743, 439, 971, 565},
                             {275, 166, 736, 565}},
                    // Four channels: 1 top left, 2 top right, 3 bottom left, 4 to 8 bottom right.
                    GridCase{0,
                             4,
                             {514, 326, 1167, 687},
                             {1179, 700, 1832, 1061},
                             {1179, 700, 1832, 1061},
                             {1179, 700, 1832, 1061},
                             {514, 326, 1832, 1061}},
                    GridCase{1,
                             4,
                             {386, 244, 873, 513},
                             {885, 525, 1372, 794},
                             {885, 525, 1372, 794},
                             {885, 525, 1372, 794},
                             {386, 244, 1372, 794}},
                    GridCase{2,
                             4,
                             {275, 173, 621, 365},
                             {630, 374, 976, 566},
                             {630, 374, 976, 566},
                             {630, 374, 976, 566},
                             {275, 173, 976, 566}}));

TEST(Grid, FourChannelLayoutNeverUsesTheUnusedThirdColumnOrRow) {
    for (int mode = 0; mode <= 2; ++mode) {
        const ChannelPlacement p = ComputeGrid(mode, kLayout4, false);
        EXPECT_THAT(p.inLayout,
                    testing::ElementsAre(true, true, true, true, false, false, false, false));
        EXPECT_EQ(p.channels[1], (Rect{p.channels[3].left, p.channels[0].top, p.channels[3].right,
                                       p.channels[0].bottom}));
        EXPECT_FALSE(p.recordingList.has_value());
        const PixelSize window = WindowSize(mode);
        for (const Rect& r : p.channels) {
            EXPECT_GT(r.left, 0);
            EXPECT_LE(r.right, window.width);
            EXPECT_LE(r.bottom, window.height);
        }
    }
}

TEST(Grid, EightCellsAndTheMapPlaceFitTheWindowWithoutOverlapping) {
    for (int mode = 0; mode <= 2; ++mode) {
        const ChannelPlacement p = ComputeGrid(mode, kLayout8, false);
        std::vector<Rect> cells(p.channels.begin(), p.channels.end());
        cells.push_back(p.mapDock);
        ASSERT_TRUE(p.recordingList.has_value());
        EXPECT_EQ(*p.recordingList, p.mapDock);
        const PixelSize window = WindowSize(mode);
        for (std::size_t a = 0; a < cells.size(); ++a) {
            EXPECT_LE(cells[a].right, window.width);
            EXPECT_LE(cells[a].bottom, window.height);
            for (std::size_t b = a + 1; b < cells.size(); ++b) {
                const bool apart =
                    cells[a].right <= cells[b].left || cells[b].right <= cells[a].left ||
                    cells[a].bottom <= cells[b].top || cells[b].bottom <= cells[a].top;
                EXPECT_TRUE(apart) << "mode " << mode << " cells " << a << ", " << b;
            }
        }
    }
}

TEST(Grid, SingleChannelTakesTheWholeChannelArea) {
    const ChannelPlacement p = ComputeGrid(0, kLayout1, false);
    EXPECT_EQ(p.channels[0], (Rect{514, 326, 1832, 1061}));
    EXPECT_THAT(p.inLayout,
                testing::ElementsAre(true, false, false, false, false, false, false, false));
}

TEST(Grid, DefaultRectanglesScaleByThreeQuartersBelowTheLargestMode) {
    EXPECT_EQ(DefaultChannelRects(0)[1], (Rect{776, 37, 1273, 410}));
    EXPECT_EQ(DefaultChannelRects(0)[6], (Rect{776, 215, 1272, 587}));
    EXPECT_EQ(DefaultChannelRects(1)[0], (Rect{203, 27, 575, 307}));
    EXPECT_EQ(DefaultChannelRects(2)[7], (Rect{582, 315, 954, 594}));
    EXPECT_EQ(WindowScale(0), 1.0);
    EXPECT_EQ(WindowScale(2), 0.75);
}

TEST(Window, BackgroundSizeAndCentring) {
    EXPECT_EQ(BackgroundBitmapId(0, 8, false), 134);
    EXPECT_EQ(BackgroundBitmapId(1, 8, false), 168);
    EXPECT_EQ(BackgroundBitmapId(2, 8, false), 229);
    EXPECT_EQ(BackgroundBitmapId(0, 4, false), 100);
    EXPECT_EQ(BackgroundBitmapId(2, 4, false), 102);
    EXPECT_EQ(BackgroundBitmapId(1, 1, false), 101);
    EXPECT_EQ(BackgroundBitmapId(0, 8, true), 1904);
    EXPECT_EQ(BackgroundBitmapId(2, 8, true), 1906);
    EXPECT_EQ(BackgroundBitmapId(0, 4, true), 1907);
    EXPECT_EQ(BackgroundBitmapId(2, 4, true), 1909);
    EXPECT_EQ(BackgroundBitmapId(7, 8, false), 134); // an unknown mode runs as mode 0
    EXPECT_EQ(WindowSize(1), (PixelSize{1440, 810}));
    EXPECT_EQ(WindowSize(-1), (PixelSize{1920, 1080}));
    EXPECT_EQ(CentredOrigin({1024, 576}, {1366, 768}), (PixelSize{171, 96}));
    EXPECT_EQ(CentredOrigin({1920, 1080}, {1024, 768}), (PixelSize{0, 0}));
}

TEST(Window, DetachedChannelTitle) {
    EXPECT_EQ(ChannelTitle(0, 1280, 720), "Channel-01 1280x720");
    EXPECT_EQ(ChannelTitle(7, 640, 480), "Channel-08 640x480");
}

struct LayoutCase {
    int current;
    int argument;
    bool applied;
    int layout;
};

class Layouts : public testing::TestWithParam<LayoutCase> {};

TEST_P(Layouts, ArgumentSetsOrSwitchesAndIsStored) {
    const LayoutCase& c = GetParam();
    const LayoutChange change = NextLayout(c.current, c.argument);
    EXPECT_EQ(change.applied, c.applied);
    EXPECT_EQ(change.layout, c.layout);
    EXPECT_EQ(change.storeChannel84.has_value(), c.applied);
    if (c.applied) {
        EXPECT_EQ(*change.storeChannel84, c.argument);
    }
}

INSTANTIATE_TEST_SUITE_P(Rule, Layouts,
                         testing::Values(LayoutCase{8, 4, true, 4}, LayoutCase{4, 8, true, 8},
                                         LayoutCase{8, 0, true, 4}, LayoutCase{4, 0, true, 8},
                                         LayoutCase{1, 0, true, 4}, LayoutCase{8, 5, false, 8},
                                         LayoutCase{4, -1, false, 4}, LayoutCase{8, 1, false, 8}));

TEST(Layouts, OnlyFourChannelsWinsOverTheStoredLayout) {
    const LayoutChange fixed = StartupLayout(kLayout8, 1, 8);
    EXPECT_EQ(fixed.layout, kLayout4);
    EXPECT_TRUE(fixed.hideLayoutButtons);
    const LayoutChange switched = StartupLayout(kLayout8, 0, 0);
    EXPECT_EQ(switched.layout, kLayout4);
    EXPECT_EQ(switched.storeChannel84, 0);
    EXPECT_FALSE(StartupLayout(kLayout8, 0, 5).applied);
}

TEST(Layouts, LayoutButtonsDoNothingInMapModeOrForTheShownLayout) {
    WindowState window;
    window.layout = kLayout8;
    window.mapMode = true;
    EXPECT_FALSE(LayoutButton(window, kLayout4).applied);
    window.mapMode = false;
    EXPECT_FALSE(LayoutButton(window, kLayout8).applied);
    EXPECT_EQ(LayoutButton(window, kLayout4).layout, kLayout4);
}

TEST(ChannelRefreshTest, HidesIdleChannelsAndKeepsOutOfLayoutOnesHidden) {
    test::FakePlayer player;
    player.idle = {0, 1, 0, 0, 0, 0, 1, 0};
    WindowState window;
    ChannelRefresh refresh;
    refresh.ArmFirstWait();
    EXPECT_EQ(refresh.delayMs(), 3000);
    VisibilityRefresh r = refresh.Run(player, window);
    using V = ChannelVisibility;
    EXPECT_THAT(r.channels, testing::ElementsAre(V::Show, V::Hide, V::Show, V::Show, V::Show,
                                                 V::Show, V::Hide, V::Show));
    EXPECT_TRUE(refresh.rerunOnTimer());
    EXPECT_EQ(refresh.delayMs(), 0);

    window.layout = kLayout4;
    player.idle = {};
    r = refresh.Run(player, window);
    EXPECT_THAT(r.channels, testing::ElementsAre(V::Show, V::Show, V::Show, V::Show, V::Hide,
                                                 V::Hide, V::Hide, V::Hide));
    EXPECT_FALSE(r.anyHidden);
    EXPECT_FALSE(refresh.rerunOnTimer());

    window.mapMode = true;
    window.layout = kLayout8;
    player.idle = {1, 0, 0, 0, 0, 0, 0, 0};
    r = refresh.Run(player, window);
    EXPECT_EQ(r.channels[0], V::Hide);
    EXPECT_EQ(r.channels[1], V::Keep); // the map covers the channel area
}

} // namespace
} // namespace tavero::app
