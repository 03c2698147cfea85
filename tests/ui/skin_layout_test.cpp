// The main window's control table: what a user would notice if it were wrong (controls on top
// of each other or of the channel pictures, off the window, fixed places moved).

#include "app/skin_layout.h"

#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string>

namespace tavero::app {
namespace {

bool visible(const SkinRect& r) {
    return r.x != kOutOfSightLeft;
}

TEST(SkinLayout, VisibleControlsNeitherOverlapNorLeaveTheWindow) {
    const auto controls = skinControls();
    for (int mode = 0; mode < kSkinModeCount; ++mode) {
        const SkinSize window = skinWindowSize(mode);
        for (std::size_t i = 0; i < controls.size(); ++i) {
            const SkinRect& a = controls[i].rect[mode];
            EXPECT_GT(a.w, 0) << controls[i].name;
            EXPECT_GT(a.h, 0) << controls[i].name;
            if (!visible(a)) {
                continue;
            }
            EXPECT_TRUE(a.x >= 0 && a.y >= 0 && a.right() <= window.w && a.bottom() <= window.h)
                << controls[i].name << " mode " << mode;
            for (std::size_t j = i + 1; j < controls.size(); ++j) {
                const SkinRect& b = controls[j].rect[mode];
                EXPECT_FALSE(visible(b) && skinRectsOverlap(a, b))
                    << controls[i].name << " and " << controls[j].name << " mode " << mode;
            }
        }
    }
}

TEST(SkinLayout, NoControlCoversAChannelCellInEitherLayout) {
    for (int mode = 0; mode < kSkinModeCount; ++mode) {
        for (int layout : {8, 4}) {
            const auto cells = backgroundCells(mode, layout);
            const SkinSize window = skinWindowSize(mode);
            for (const SkinRect& cell : cells) {
                EXPECT_LE(cell.right(), window.w);
                EXPECT_LE(cell.bottom(), window.h);
            }
            for (const SkinControl& c : skinControls()) {
                for (const SkinRect& cell : cells) {
                    EXPECT_FALSE(skinRectsOverlap(c.rect[mode], cell))
                        << c.name << " mode " << mode << " layout " << layout;
                }
            }
        }
    }
}

TEST(SkinLayout, FixedPlacesOfModeZero) {
    struct Fixed {
        const char* name;
        SkinRect rect;
    };
    const Fixed fixed[] = {
        {"Position", {70, 940, 350, 20}},     {"MarkBar", {58, 916, 374, 24}},
        {"Map", {1649, 30, 50, 42}},          {"DIT/MAP", {1699, 30, 50, 42}},
        {"Wifi Setting", {1749, 30, 50, 42}}, {"Speed display", {100, 470, 184, 84}},
        {"Compass", {140, 77, 216, 262}},     {"G-sensor", {75, 606, 354, 219}},
        {"Calendar", {1590, 110, 200, 180}},  {"Minute strip B", {1056, 157, 445, 16}},
    };
    for (const Fixed& f : fixed) {
        const SkinControl* c = findSkinControl(f.name);
        ASSERT_NE(c, nullptr) << f.name;
        EXPECT_EQ(c->rect[0], f.rect) << f.name;
    }
    const char* transport[] = {"PrevFile", "PrevFrame", "BackWardPlay", "Pause",
                               "Stop",     "Play",      "NextFrame",    "NextFile"};
    int x = 1033;
    for (const char* name : transport) {
        const SkinControl* c = findSkinControl(name);
        ASSERT_NE(c, nullptr) << name;
        EXPECT_EQ(c->rect[0], (SkinRect{x, 35, 59, 32})) << name;
        x += 59;
    }
}

TEST(SkinLayout, EveryBitmapOfAModeHasOneSize) {
    for (int mode = 0; mode < kSkinModeCount; ++mode) {
        std::map<int, SkinSize> sizes;
        std::set<std::string_view> names;
        for (const SkinControl& c : skinControls()) {
            EXPECT_TRUE(names.insert(c.name).second) << c.name;
            if (c.bitmapId[mode] == 0) {
                continue;
            }
            const SkinSize size{c.rect[mode].w, c.rect[mode].h};
            const auto [it, added] = sizes.emplace(c.bitmapId[mode], size);
            EXPECT_TRUE(added || it->second == size) << c.name << " mode " << mode;
        }
    }
}

TEST(SkinLayout, ModeDependentBitmaps) {
    EXPECT_EQ(backgroundBitmapId(0, 8, false), 134);
    EXPECT_EQ(backgroundBitmapId(2, 8, false), 229);
    EXPECT_EQ(backgroundBitmapId(1, 4, false), 101);
    EXPECT_EQ(backgroundBitmapId(0, 8, true), 1904);
    EXPECT_EQ(backgroundBitmapId(2, 4, true), 1909);
    EXPECT_EQ(backgroundBitmapId(7, 8, false), 134); // unknown modes read as mode 0
    EXPECT_EQ(unitBadgeBitmapId(0, 0), 1712);
    EXPECT_EQ(unitBadgeBitmapId(0, 1), 1711);
    EXPECT_EQ(unitBadgeBitmapId(0, 2), 1710);
    EXPECT_EQ(unitBadgeBitmapId(1, 5), 1722);
    EXPECT_EQ(unitBadgeBitmapId(2, 2), 1730);
    EXPECT_EQ(findSkinControl("Speed")->bitmapId, (std::array<int, 3>{181, 226, 234}));
    EXPECT_EQ(findSkinControl("Position")->bitmapId, (std::array<int, 3>{184, 225, 233}));
    EXPECT_EQ(findSkinControl("Volume")->bitmapId, (std::array<int, 3>{186, 224, 232}));
    EXPECT_EQ(findSkinControl("Volume level")->thumbId, (std::array<int, 3>{1611, 1612, 1613}));
    EXPECT_EQ(findSkinControl("nothing"), nullptr);
}

TEST(SkinLayout, GridCellsOfBothLayouts) {
    const auto eight = backgroundCells(0, 8);
    ASSERT_EQ(eight.size(), 9u);
    EXPECT_EQ(eight[0], (SkinRect{514, 312, 428, 238}));
    EXPECT_EQ(eight[8], (SkinRect{1393, 822, 428, 238}));
    const auto four = backgroundCells(1, 4);
    ASSERT_EQ(four.size(), 4u);
    EXPECT_EQ(four[1], (SkinRect{885, 244, 487, 269}));
    EXPECT_EQ(four[3], (SkinRect{885, 525, 487, 269}));
    // Cells of one grid never overlap.
    for (int mode = 0; mode < kSkinModeCount; ++mode) {
        for (int layout : {8, 4}) {
            const auto cells = backgroundCells(mode, layout);
            for (std::size_t i = 0; i < cells.size(); ++i) {
                for (std::size_t j = i + 1; j < cells.size(); ++j) {
                    EXPECT_FALSE(skinRectsOverlap(cells[i], cells[j]));
                }
            }
        }
    }
}

} // namespace
} // namespace tavero::app
