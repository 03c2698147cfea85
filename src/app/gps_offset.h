// Corrections of GPS positions before they are drawn on the map: the offset grid of
// "offset_min.bin" (a table of longitude rows, each with latitude cells holding a longitude and a
// latitude offset), or two fixed offsets from the settings; and the sixteen heading sectors that
// pick the car marker's icon.
//
// Thread: any; a table is read-only once parsed.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavero::app {

struct GpsOffset {
    double longitude = 0;
    double latitude = 0;
    friend bool operator==(const GpsOffset&, const GpsOffset&) = default;
};

class GpsOffsetTable {
public:
    // The file's bytes: accepted only with the magic "$GPSOFF", a length of exactly
    // 32 + 32 x rows + 48 x cells bytes, and every row's cells inside the cell table; anything
    // else leaves the table empty (false).
    bool Parse(std::span<const std::uint8_t> bytes);
    // Reads the file; a missing or malformed one leaves the table empty (false).
    bool Load(const std::string& path);

    // The cell of a position: both coordinates snapped to the grid (truncated toward zero), the
    // first row at or above the longitude and its first cell at or above the latitude, each no
    // further than one step away. None outside the grid or when the table is empty.
    [[nodiscard]] std::optional<GpsOffset> Lookup(double longitude, double latitude) const;

    [[nodiscard]] bool empty() const { return m_rows.empty(); }
    [[nodiscard]] double step() const { return m_step; }

private:
    struct Row {
        double longitude = 0;
        std::uint32_t cellCount = 0;
        std::uint32_t firstCell = 0;
    };
    struct Cell {
        double latitude = 0;
        GpsOffset offset;
    };
    double m_step = 0;
    std::vector<Row> m_rows;
    std::vector<Cell> m_cells;
};

// The offsets given to the map page for a position: from the grid when "GPS_Offset_Auto" is on
// (none found: 0, 0), else "GPS_Offset_X" shifts the latitude and "GPS_Offset_Y" the longitude
// (text that is not a number gives 0).
[[nodiscard]] GpsOffset MapOffsets(bool automatic, const GpsOffsetTable& table, double longitude,
                                   double latitude, std::string_view fixedX,
                                   std::string_view fixedY);

// The heading sector of a course in degrees: "N", "NNE", ... "NNW" (16 names, the design's
// thresholds: above 349 N, above 326 NNW, ..., above 11 NNE, otherwise N).
[[nodiscard]] std::string_view HeadingSector(double degrees);
// The icon of a sector for icon sets 2 ("./image-speed/nne.png") and 3 ("./image-idle/...").
[[nodiscard]] std::string HeadingIconPath(int iconSet, double degrees);

} // namespace tavero::app
