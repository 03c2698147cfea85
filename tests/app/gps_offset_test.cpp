#include "app/gps_offset.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace tavero::app {
namespace {

// The offset file byte by byte: header, rows (longitude, 16 unused, count, first), cells
// (8 unused, latitude, 16 unused, longitude offset, latitude offset), little-endian.
class GridFile {
public:
    void putDouble(double v) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &v, 8);
        putInt(bits, 8);
    }
    void putInt(std::uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            data.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
    }
    struct RowSpec {
        double longitude;
        std::vector<std::array<double, 3>> cells; // latitude, longitude offset, latitude offset
    };
    static GridFile Make(double step, const std::vector<RowSpec>& rows) {
        GridFile f;
        for (char c : std::string("$GPSOFF", 7)) {
            f.data.push_back(static_cast<std::uint8_t>(c));
        }
        f.data.push_back(0);
        f.putDouble(step);
        std::size_t cells = 0;
        for (const RowSpec& r : rows) {
            cells += r.cells.size();
        }
        f.putInt(rows.size(), 8);
        f.putInt(cells, 8);
        std::size_t first = 0;
        for (const RowSpec& r : rows) {
            f.putDouble(r.longitude);
            f.putInt(0, 8);
            f.putInt(0, 8);
            f.putInt(r.cells.size(), 4);
            f.putInt(first, 4);
            first += r.cells.size();
        }
        for (const RowSpec& r : rows) {
            for (const auto& c : r.cells) {
                f.putInt(0, 8);
                f.putDouble(c[0]);
                f.putInt(0, 8);
                f.putInt(0, 8);
                f.putDouble(c[1]);
                f.putDouble(c[2]);
            }
        }
        return f;
    }
    std::vector<std::uint8_t> data;
};

GridFile Beijing() {
    return GridFile::Make(0.01, {{116.00, {{39.00, 0.0061, 0.0011}, {39.01, 0.0062, 0.0012}}},
                                 {116.01, {{39.00, 0.0063, 0.0013}}},
                                 {116.05, {{39.00, 0.0064, 0.0014}}}});
}

TEST(GpsOffsetGrid, PositionsSnapToTheirCellWithinOneStep) {
    GpsOffsetTable t;
    ASSERT_TRUE(t.Parse(Beijing().data));
    EXPECT_EQ(t.Lookup(116.0, 39.0), (GpsOffset{0.0061, 0.0011}));
    // Truncated toward zero onto the grid: 116.0049 -> 116.00, 39.0149 -> 39.01.
    EXPECT_EQ(t.Lookup(116.0049, 39.0149), (GpsOffset{0.0062, 0.0012}));
    EXPECT_EQ(t.Lookup(116.0199, 39.0), (GpsOffset{0.0063, 0.0013}));
    // Between rows: the first row at or above 116.02 is 116.05, three steps away.
    EXPECT_EQ(t.Lookup(116.025, 39.0), std::nullopt);
    // Above the last cell of the row, beyond the last row, below the first.
    EXPECT_EQ(t.Lookup(116.0, 39.05), std::nullopt);
    EXPECT_EQ(t.Lookup(117.0, 39.0), std::nullopt);
    EXPECT_EQ(t.Lookup(115.5, 39.0), std::nullopt);
    EXPECT_EQ(t.Lookup(116.0, 38.5), std::nullopt);
}

TEST(GpsOffsetGrid, OnlyAnExactWellFormedFileIsTaken) {
    GpsOffsetTable t;
    GridFile longer = Beijing();
    longer.data.push_back(0);
    EXPECT_FALSE(t.Parse(longer.data));
    EXPECT_TRUE(t.empty());
    EXPECT_EQ(t.Lookup(116.0, 39.0), std::nullopt);
    GridFile shorter = Beijing();
    shorter.data.pop_back();
    EXPECT_FALSE(t.Parse(shorter.data));
    GridFile magic = Beijing();
    magic.data[1] = 'X';
    EXPECT_FALSE(t.Parse(magic.data));
    // A row whose cells run past the cell table.
    GridFile pointing = Beijing();
    pointing.data[32 + 2 * 32 + 28] = 9;
    EXPECT_FALSE(t.Parse(pointing.data));
    // Counts that would overflow the length.
    GridFile huge = GridFile::Make(0.01, {});
    for (int i = 16; i < 24; ++i) {
        huge.data[static_cast<std::size_t>(i)] = 0xFF;
    }
    EXPECT_FALSE(t.Parse(huge.data));
    EXPECT_FALSE(t.Parse({}));
    // A step of 0 parses but finds nothing.
    EXPECT_TRUE(t.Parse(GridFile::Make(0, {{0, {{0, 1, 1}}}}).data));
    EXPECT_EQ(t.Lookup(0, 0), std::nullopt);

    test::TempFolder folder;
    EXPECT_FALSE(t.Load(folder.path() + "offset_min.bin"));
    const GridFile good = Beijing();
    folder.write("offset_min.bin",
                 std::string_view(reinterpret_cast<const char*>(good.data.data()), good.data.size()));
    EXPECT_TRUE(t.Load(folder.path() + "offset_min.bin"));
    EXPECT_NE(t.Lookup(116.0, 39.0), std::nullopt);
}

TEST(GpsOffsetGrid, NegativeCoordinatesTruncateTowardZero) {
    GpsOffsetTable t;
    ASSERT_TRUE(t.Parse(GridFile::Make(0.01, {{-0.01, {{-0.01, 1, 2}}}}).data));
    EXPECT_EQ(t.Lookup(-0.0199, -0.0199), (GpsOffset{1, 2}));
    // -0.005 truncates to 0: the first row at or above 0 is none.
    EXPECT_EQ(t.Lookup(-0.005, -0.0199), std::nullopt);
}

TEST(GpsOffsetGrid, FixedOffsetsShiftLatitudeByXAndLongitudeByY) {
    GpsOffsetTable grid;
    ASSERT_TRUE(grid.Parse(Beijing().data));
    EXPECT_EQ(MapOffsets(false, grid, 116.0, 39.0, "0.001", ""), (GpsOffset{0, 0.001}));
    EXPECT_EQ(MapOffsets(false, grid, 116.0, 39.0, "", "-0.002"), (GpsOffset{-0.002, 0}));
    EXPECT_EQ(MapOffsets(false, grid, 116.0, 39.0, "abc", "nan"), (GpsOffset{0, 0}));
    EXPECT_EQ(MapOffsets(true, grid, 116.0, 39.0, "0.001", "0.001"), (GpsOffset{0.0061, 0.0011}));
    EXPECT_EQ(MapOffsets(true, grid, 10.0, 50.0, "0.001", "0.001"), (GpsOffset{0, 0}));
}

TEST(HeadingSectors, TheThresholdsBelongToTheSectorBelow) {
    EXPECT_EQ(HeadingSector(349), "NNW");
    EXPECT_EQ(HeadingSector(349.5), "N");
    EXPECT_EQ(HeadingSector(11), "N");
    EXPECT_EQ(HeadingSector(11.5), "NNE");
    EXPECT_EQ(HeadingSector(0), "N");
    EXPECT_EQ(HeadingSector(90), "E");
    EXPECT_EQ(HeadingSector(180), "S");
    EXPECT_EQ(HeadingSector(270), "W");
    EXPECT_EQ(HeadingSector(102), "SEE");
    EXPECT_EQ(HeadingSector(-5), "N");
    EXPECT_EQ(HeadingIconPath(2, 20), "./image-speed/nne.png");
    EXPECT_EQ(HeadingIconPath(3, 300), "./image-idle/nww.png");
}

} // namespace
} // namespace tavero::app
