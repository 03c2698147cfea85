#include "app/gps_offset.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace tavero::app {
namespace {

constexpr std::size_t kHeaderBytes = 32;
constexpr std::size_t kRowBytes = 32;
constexpr std::size_t kCellBytes = 48;
constexpr char kMagic[8] = {'$', 'G', 'P', 'S', 'O', 'F', 'F', '\0'};

double Double(std::span<const std::uint8_t> b, std::size_t at) {
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) {
        bits = bits << 8 | b[at + static_cast<std::size_t>(i)];
    }
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::uint64_t U64(std::span<const std::uint8_t> b, std::size_t at) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) {
        v = v << 8 | b[at + static_cast<std::size_t>(i)];
    }
    return v;
}

std::uint32_t U32(std::span<const std::uint8_t> b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = v << 8 | b[at + static_cast<std::size_t>(i)];
    }
    return v;
}

double Decimal(std::string_view text) {
    const std::string s(text);
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (end == s.c_str() || !std::isfinite(v)) {
        return 0;
    }
    return v;
}

} // namespace

bool GpsOffsetTable::Parse(std::span<const std::uint8_t> bytes) {
    m_step = 0;
    m_rows.clear();
    m_cells.clear();
    if (bytes.size() < kHeaderBytes || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
        return false;
    }
    const std::uint64_t rows = U64(bytes, 16);
    const std::uint64_t cells = U64(bytes, 24);
    // The exact length, without overflowing on absurd counts.
    const std::uint64_t room = bytes.size() - kHeaderBytes;
    if (rows > room / kRowBytes || cells > room / kCellBytes ||
        rows * kRowBytes + cells * kCellBytes != room) {
        return false;
    }
    std::vector<Row> rowTable;
    rowTable.reserve(static_cast<std::size_t>(rows));
    for (std::uint64_t r = 0; r < rows; ++r) {
        const std::size_t at = kHeaderBytes + static_cast<std::size_t>(r) * kRowBytes;
        Row row{Double(bytes, at), U32(bytes, at + 24), U32(bytes, at + 28)};
        if (std::uint64_t{row.firstCell} + row.cellCount > cells) {
            return false; // a row pointing past the cell table is a damaged file
        }
        rowTable.push_back(row);
    }
    std::vector<Cell> cellTable;
    cellTable.reserve(static_cast<std::size_t>(cells));
    const std::size_t cellBase = kHeaderBytes + static_cast<std::size_t>(rows) * kRowBytes;
    for (std::uint64_t c = 0; c < cells; ++c) {
        const std::size_t at = cellBase + static_cast<std::size_t>(c) * kCellBytes;
        cellTable.push_back(Cell{Double(bytes, at + 8),
                                 GpsOffset{Double(bytes, at + 32), Double(bytes, at + 40)}});
    }
    m_step = Double(bytes, 8);
    m_rows = std::move(rowTable);
    m_cells = std::move(cellTable);
    return true;
}

bool GpsOffsetTable::Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        Parse({});
        return false;
    }
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    return Parse(bytes);
}

std::optional<GpsOffset> GpsOffsetTable::Lookup(double longitude, double latitude) const {
    const double s = m_step;
    if (m_rows.empty() || s == 0 || !std::isfinite(s)) {
        return std::nullopt;
    }
    const double x = s * std::trunc(longitude / s);
    const double y = s * std::trunc(latitude / s);
    const auto row = std::find_if(m_rows.begin(), m_rows.end(),
                                  [x](const Row& r) { return r.longitude >= x; });
    if (row == m_rows.end() || std::fabs(row->longitude - x) > s) {
        return std::nullopt;
    }
    const auto first = m_cells.begin() + row->firstCell;
    const auto last = first + row->cellCount;
    const auto cell = std::find_if(first, last, [y](const Cell& c) { return c.latitude >= y; });
    if (cell == last || std::fabs(cell->latitude - y) > s) {
        return std::nullopt;
    }
    return cell->offset;
}

GpsOffset MapOffsets(bool automatic, const GpsOffsetTable& table, double longitude,
                     double latitude, std::string_view fixedX, std::string_view fixedY) {
    if (automatic) {
        return table.Lookup(longitude, latitude).value_or(GpsOffset{});
    }
    // "X" is the latitude's offset, "Y" the longitude's, as the settings have always meant.
    return GpsOffset{Decimal(fixedY), Decimal(fixedX)};
}

std::string_view HeadingSector(double a) {
    struct Sector {
        double above;
        std::string_view name;
    };
    static constexpr Sector kSectors[] = {
        {349, "N"},   {326, "NNW"}, {304, "NW"},  {281, "NWW"}, {259, "W"},   {236, "SWW"},
        {214, "SW"},  {191, "SSW"}, {169, "S"},   {146, "SSE"}, {124, "SE"},  {101, "SEE"},
        {79, "E"},    {56, "NEE"},  {34, "NE"},   {11, "NNE"},
    };
    for (const Sector& s : kSectors) {
        if (a > s.above) {
            return s.name;
        }
    }
    return "N";
}

std::string HeadingIconPath(int iconSet, double degrees) {
    std::string name(HeadingSector(degrees));
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::string(iconSet == 3 ? "./image-idle/" : "./image-speed/") + name + ".png";
}

} // namespace tavero::app
