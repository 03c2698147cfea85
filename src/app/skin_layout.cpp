#include "app/skin_layout.h"

#include <algorithm>

namespace tavero::app {

namespace {

using K = SkinControlKind;
using G = SkinGroup;

// Rows in three columns: UI mode 0 (1920 x 1080), 1 (1440 x 810), 2 (1024 x 576). Modes 1 and 2
// follow mode 0 scaled by 0.75 and 0.533, with sizes rounded so that rows of buttons keep one
// step and nothing touches the channel grid.
// clang-format off
constexpr SkinControl kControls[] = {
    // Window buttons, top right.
    {"Mini", 1028, K::Button, G::WindowButtons,
     {{{1836, 8, 36, 30}, {1377, 6, 27, 23}, {978, 4, 20, 17}}},
     {135, 135, 135}, {}, {}},
    {"Close", 1029, K::Button, G::WindowButtons,
     {{{1876, 8, 36, 30}, {1407, 6, 27, 23}, {1000, 4, 20, 17}}},
     {136, 136, 136}, {}, {}},

    // Functions: choosing a source, card tools, the channel layout.
    {"Playback", 1033, K::Button, G::Functions,
     {{{534, 30, 50, 42}, {400, 22, 37, 32}, {285, 16, 27, 22}}},
     {150, 150, 150}, {}, {}},
    {"Backup", 1030, K::Button, G::Functions,
     {{{588, 30, 50, 42}, {441, 22, 37, 32}, {314, 16, 27, 22}}},
     {153, 153, 153}, {}, {}},
    {"Format", 1034, K::Button, G::Functions,
     {{{642, 30, 50, 42}, {482, 22, 37, 32}, {343, 16, 27, 22}}},
     {154, 154, 154}, {}, {}},
    {"Configuration", 1031, K::Button, G::Functions,
     {{{696, 30, 50, 42}, {523, 22, 37, 32}, {372, 16, 27, 22}}},
     {151, 151, 151}, {}, {}},
    {"change to 4CH", 1553, K::Button, G::Functions,
     {{{776, 30, 50, 42}, {582, 22, 37, 32}, {414, 16, 27, 22}}},
     {1543, 1543, 1543}, {}, {}},
    {"change to 8CH", 1554, K::Button, G::Functions,
     {{{830, 30, 50, 42}, {623, 22, 37, 32}, {443, 16, 27, 22}}},
     {1544, 1544, 1544}, {}, {}},

    // Transport: 59 x 32 from x 1033 at y 35 in mode 0, one button's width apart.
    {"PrevFile", 1020, K::Button, G::Transport,
     {{{1033, 35, 59, 32}, {775, 26, 44, 24}, {551, 19, 32, 18}}},
     {141, 141, 141}, {}, {}},
    {"PrevFrame", 1021, K::Button, G::Transport,
     {{{1092, 35, 59, 32}, {819, 26, 44, 24}, {583, 19, 32, 18}}},
     {143, 143, 143}, {}, {}},
    {"BackWardPlay", 1022, K::Button, G::Transport,
     {{{1151, 35, 59, 32}, {863, 26, 44, 24}, {615, 19, 32, 18}}},
     {145, 145, 145}, {}, {}},
    {"Pause", 1023, K::Button, G::Transport,
     {{{1210, 35, 59, 32}, {907, 26, 44, 24}, {647, 19, 32, 18}}},
     {147, 147, 147}, {}, {}},
    {"Stop", 1024, K::Button, G::Transport,
     {{{1269, 35, 59, 32}, {951, 26, 44, 24}, {679, 19, 32, 18}}},
     {148, 148, 148}, {}, {}},
    {"Play", 1025, K::Button, G::Transport,
     {{{1328, 35, 59, 32}, {995, 26, 44, 24}, {711, 19, 32, 18}}},
     {146, 146, 146}, {}, {}},
    {"NextFrame", 1026, K::Button, G::Transport,
     {{{1387, 35, 59, 32}, {1039, 26, 44, 24}, {743, 19, 32, 18}}},
     {144, 144, 144}, {}, {}},
    {"NextFile", 1027, K::Button, G::Transport,
     {{{1446, 35, 59, 32}, {1083, 26, 44, 24}, {775, 19, 32, 18}}},
     {142, 142, 142}, {}, {}},
    {"SnapShot", 1099, K::Button, G::Transport,
     {{{1525, 35, 59, 32}, {1144, 26, 44, 24}, {813, 19, 32, 18}}},
     {188, 188, 188}, {}, {}},

    // Map and network, fixed in mode 0.
    {"Map", 1032, K::Button, G::Network,
     {{{1649, 30, 50, 42}, {1237, 22, 37, 32}, {879, 16, 27, 22}}},
     {1549, 1549, 1549}, {}, {}},
    {"DIT/MAP", 1048, K::Button, G::Network,
     {{{1699, 30, 50, 42}, {1274, 22, 37, 32}, {906, 16, 27, 22}}},
     {1835, 1835, 1835}, {}, {}},
    {"Wifi Setting", 1035, K::Button, G::Network,
     {{{1749, 30, 50, 42}, {1311, 22, 37, 32}, {933, 16, 27, 22}}},
     {1832, 1832, 1832}, {}, {}},

    // Instruments of the left column, fixed in every mode.
    {"Compass", 0, K::Compass, G::Instruments,
     {{{140, 77, 216, 262}, {100, 60, 161, 192}, {77, 44, 119, 138}}},
     {216, 222, 230}, {104, 105, 106}, {}},
    {"Speed display", 0, K::SegmentDisplay, G::Instruments,
     {{{100, 470, 184, 84}, {82, 353, 137, 63}, {60, 250, 97, 46}}},
     {}, {}, {}},
    {"Speed unit", 0, K::UnitBadge, G::Instruments,
     {{{310, 540, 96, 30}, {240, 400, 72, 22}, {170, 280, 52, 16}}},
     {1712, 1722, 1732}, {}, {}},
    {"G-sensor", 0, K::Graph, G::Instruments,
     {{{75, 606, 354, 219}, {55, 455, 264, 164}, {38, 320, 189, 116}}},
     {180, 223, 231}, {}, {}},

    // The playback deck under the graph: marks, position, speed ladder, volume.
    {"Markin", 1401, K::Button, G::Deck,
     {{{58, 858, 59, 32}, {44, 644, 44, 24}, {31, 457, 32, 18}}},
     {1306, 1306, 1306}, {}, {}},
    {"Markout", 1412, K::Button, G::Deck,
     {{{123, 858, 59, 32}, {92, 644, 44, 24}, {66, 457, 32, 18}}},
     {1307, 1307, 1307}, {}, {}},
    {"MarkBar", 5, K::MarkBar, G::Deck,
     {{{58, 916, 374, 24}, {44, 687, 280, 18}, {31, 489, 199, 13}}},
     {1574, 1574, 1574},
     {kBmpMarkInThumb, kBmpMarkInThumb, kBmpMarkInThumb},
     {kBmpMarkOutThumb, kBmpMarkOutThumb, kBmpMarkOutThumb}},
    {"Position", 1, K::Slider, G::Deck,
     {{{70, 940, 350, 20}, {52, 705, 264, 15}, {37, 502, 187, 11}}},
     {184, 225, 233}, {183, 1292, 1293}, {}},
    {"<<", 1040, K::Button, G::Deck,
     {{{58, 976, 36, 30}, {44, 732, 27, 23}, {31, 518, 22, 18}}},
     {kBmpSpeedDown, kBmpSpeedDown, kBmpSpeedDown}, {}, {}},
    {"Speed", 3, K::Slider, G::Deck,
     {{{100, 976, 290, 30}, {75, 732, 217, 23}, {56, 518, 150, 18}}},
     {181, 226, 234}, {219, 1290, 1291}, {}},
    {">>", 1041, K::Button, G::Deck,
     {{{396, 976, 36, 30}, {297, 732, 27, 23}, {208, 518, 22, 18}}},
     {kBmpSpeedUp, kBmpSpeedUp, kBmpSpeedUp}, {}, {}},
    {"Min", 1225, K::Button, G::Deck,
     {{{58, 1024, 36, 30}, {44, 768, 27, 23}, {31, 542, 22, 18}}},
     {239, 239, 239}, {}, {}},
    {"Volume level", 0, K::BitmapSlider, G::Deck,
     {{{100, 1024, 290, 30}, {75, 768, 217, 23}, {56, 542, 150, 18}}},
     {1614, 1615, 1616}, {1611, 1612, 1613}, {}},
    {"Max", 1226, K::Button, G::Deck,
     {{{396, 1024, 36, 30}, {297, 768, 27, 23}, {208, 542, 22, 18}}},
     {240, 240, 240}, {}, {}},
    // The skinned volume slider is kept out of sight; the bitmap slider above is the one shown.
    {"Volume", 2, K::Slider, G::Deck,
     {{{kOutOfSightLeft, 1024, 290, 30}, {kOutOfSightLeft, 768, 217, 23},
       {kOutOfSightLeft, 542, 150, 18}}},
     {186, 224, 232}, {185, 185, 185}, {}},

    // Day view, fixed in every mode.
    {"Calendar", 1000, K::Calendar, G::DayView,
     {{{1590, 110, 200, 180}, {1183, 92, 156, 124}, {825, 42, 190, 120}}},
     {}, {}, {}},
    {"Hour strip A", 1501, K::DayStrip, G::DayView,
     {{{610, 237, 283, 16}, {457, 177, 212, 12}, {327, 127, 149, 10}}},
     {}, {}, {}},
    {"Hour strip B", 1502, K::DayStrip, G::DayView,
     {{{893, 237, 311, 16}, {669, 177, 228, 12}, {476, 127, 163, 10}}},
     {}, {}, {}},
    {"Minute strip A", 1503, K::DayStrip, G::DayView,
     {{{610, 157, 445, 16}, {457, 118, 336, 12}, {327, 83, 236, 10}}},
     {}, {}, {}},
    {"Minute strip B", 1504, K::DayStrip, G::DayView,
     {{{1056, 157, 445, 16}, {793, 118, 334, 12}, {563, 83, 237, 10}}},
     {}, {}, {}},

    // Tabs of the map cell (recording list, setting list, map), right of the grid in both
    // layouts.
    {"Recording list", 1671, K::Button, G::Tabs,
     {{{1840, 830, 68, 56}, {1380, 623, 52, 42}, {981, 445, 38, 30}}},
     {kBmpRecordListTab, kBmpRecordListTab, kBmpRecordListTab}, {}, {}},
    {"Setting list", 1690, K::Button, G::Tabs,
     {{{1840, 892, 68, 56}, {1380, 669, 52, 42}, {981, 479, 38, 30}}},
     {kBmpSettingListTab, kBmpSettingListTab, kBmpSettingListTab}, {}, {}},
    {"Map view", 1673, K::Button, G::Tabs,
     {{{1840, 954, 68, 56}, {1380, 715, 52, 42}, {981, 513, 38, 30}}},
     {kBmpMapTab, kBmpMapTab, kBmpMapTab}, {}, {}},
};
// clang-format on

struct GridTable {
    std::array<int, 3> columns;
    std::array<int, 3> rows;
    SkinSize cell;
};

// Channel grid per mode, for 8 and for 4 channels (the third column and row of the 4-channel
// grids are never used).
constexpr GridTable kGrid8[kSkinModeCount] = {
    {{514, 953, 1393}, {312, 567, 822}, {428, 238}},
    {{386, 714, 1045}, {234, 425, 617}, {321, 178}},
    {{275, 508, 743}, {166, 303, 439}, {228, 126}},
};
constexpr GridTable kGrid4[kSkinModeCount] = {
    {{514, 1179, 4000}, {326, 700, 4000}, {653, 361}},
    {{386, 885, 0}, {244, 525, 0}, {487, 269}},
    {{275, 630, 0}, {173, 374, 0}, {346, 192}},
};

constexpr SkinSize kWindowSizes[kSkinModeCount] = {{1920, 1080}, {1440, 810}, {1024, 576}};
constexpr int kBackground8[kSkinModeCount] = {134, 168, 229};
constexpr int kBackground4[kSkinModeCount] = {100, 101, 102};
constexpr int kBackground8NoMark[kSkinModeCount] = {1904, 1905, 1906};
constexpr int kBackground4NoMark[kSkinModeCount] = {1907, 1908, 1909};
constexpr int kCornerEllipse[kSkinModeCount] = {28, 22, 16};

} // namespace

bool skinRectsOverlap(const SkinRect& a, const SkinRect& b) {
    return a.x < b.right() && b.x < a.right() && a.y < b.bottom() && b.y < a.bottom();
}

std::span<const SkinControl> skinControls() {
    return kControls;
}

const SkinControl* findSkinControl(std::string_view name) {
    const auto it = std::find_if(std::begin(kControls), std::end(kControls),
                                 [name](const SkinControl& c) { return c.name == name; });
    return it == std::end(kControls) ? nullptr : &*it;
}

int validSkinMode(int mode) {
    return mode >= 0 && mode < kSkinModeCount ? mode : 0;
}

SkinSize skinWindowSize(int mode) {
    return kWindowSizes[validSkinMode(mode)];
}

int backgroundBitmapId(int mode, int layout, bool noMark) {
    const int m = validSkinMode(mode);
    if (layout == 8) {
        return noMark ? kBackground8NoMark[m] : kBackground8[m];
    }
    return noMark ? kBackground4NoMark[m] : kBackground4[m];
}

int unitBadgeBitmapId(int mode, int speedUnit) {
    const int base = speedUnit == 1 ? 1711 : speedUnit == 2 ? 1710 : 1712;
    return base + 10 * validSkinMode(mode);
}

int windowCornerEllipse(int mode) {
    return kCornerEllipse[validSkinMode(mode)];
}

std::vector<SkinRect> backgroundCells(int mode, int layout) {
    const int m = validSkinMode(mode);
    std::vector<SkinRect> cells;
    if (layout == 8) {
        const GridTable& g = kGrid8[m];
        for (std::size_t k = 0; k < 9; ++k) {
            cells.push_back({g.columns[k % 3], g.rows[k / 3], g.cell.w, g.cell.h});
        }
        return cells;
    }
    const GridTable& g = kGrid4[m];
    for (std::size_t k = 0; k < 4; ++k) {
        cells.push_back({g.columns[k % 2], g.rows[k / 2], g.cell.w, g.cell.h});
    }
    return cells;
}

} // namespace tavero::app
