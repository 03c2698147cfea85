#include "app/map_view_model.h"

#include "app/channel_grid.h"
#include "store/metadata.h"

#include <array>
#include <charconv>
#include <cmath>

namespace tavero::app {

std::string MapNumberText(double value) {
    if (!std::isfinite(value)) {
        return "0";
    }
    std::array<char, 64> buffer{};
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    if (ec != std::errc{}) {
        return "0";
    }
    return std::string(buffer.data(), end);
}

MapElementValues MapViewModel::ElementValues() const {
    const MapPageValues& v = m_values;
    return {
        {"map_lng", MapNumberText(v.longitude)},
        {"map_lat", MapNumberText(v.latitude)},
        {"offset_lng", MapNumberText(v.offsetLongitude)},
        {"offset_lat", MapNumberText(v.offsetLatitude)},
        {"map_status", v.status},
        {"SpeedBar", MapNumberText(v.speedKmh)},
        {"AngleBar", MapNumberText(v.heading)},
        {"Index", std::to_string(v.index)},
        {"videoTime", std::to_string(v.videoTime)},
    };
}

bool MapViewModel::UpdatePosition(std::string_view sentence, const MapOffsetSettings& offsets) {
    // The decoder leaves the fields it reached before a failure written; decode aside so a
    // sentence that fails half-way changes nothing.
    store::GpsFix fix;
    if (!store::ParseRmc(sentence, fix)) {
        return false;
    }
    m_values.latitude = fix.latitude;
    m_values.longitude = fix.longitude;
    m_values.speedKmh = fix.speed;
    m_values.heading = fix.course;
    static const GpsOffsetTable kEmpty;
    const GpsOffset o =
        MapOffsets(offsets.automatic, offsets.grid != nullptr ? *offsets.grid : kEmpty,
                   fix.longitude, fix.latitude, offsets.fixedX, offsets.fixedY);
    m_values.offsetLongitude = o.longitude;
    m_values.offsetLatitude = o.latitude;
    m_values.status = "running";
    return true;
}

void MapViewModel::SetUnitTime(std::int64_t seconds) {
    const double t = static_cast<double>(seconds) - m_values.speedKmh / 3.6;
    // The page never uses it; keep a nonsense speed from overflowing the integer.
    m_values.videoTime = std::isfinite(t) && std::fabs(t) < 2147483647.0
                             ? static_cast<std::int32_t>(t)
                             : 0;
}

void MapViewModel::ClearMap() {
    m_values.status = "stopped";
    // Wraps like the 32-bit counter it is, instead of overflowing.
    m_values.index = static_cast<std::int32_t>(static_cast<std::uint32_t>(m_values.index) + 1U);
    m_values.offsetLongitude = 0;
    m_values.offsetLatitude = 0;
    m_values.speedKmh = 0;
    m_values.heading = 0;
}

void MapViewModel::ForgetPosition() {
    m_values.longitude = 0;
    m_values.latitude = 0;
}

MapViewModel::SelectRoad MapViewModel::OnSelectRoad(std::int32_t argument) {
    SelectRoad out;
    if (argument == -1) {
        m_suppressed = true;
        out.mapUnavailable = true;
        return out;
    }
    out.seek = true;
    out.seconds = argument;
    return out;
}

MapPlacement MapPlacementAfterMapButton(int layout, MapPlacement now, bool mapMode) {
    if (layout == kLayout8 || mapMode) {
        return MapPlacement{true, now.shown ? !now.floating : now.floating};
    }
    if (!now.shown) {
        return MapPlacement{true, true};
    }
    return MapPlacement{false, false};
}

bool MapShownWhenPlaying(int layout) { return layout == kLayout8; }

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace

std::string MapTileUrl(std::string_view configured) {
    const std::string_view url = Trimmed(configured);
    const bool scheme =
        StartsWith(url, "https://") || StartsWith(url, "http://") || StartsWith(url, "file://");
    const bool placeholders = url.find("{z}") != std::string_view::npos &&
                              url.find("{x}") != std::string_view::npos &&
                              url.find("{y}") != std::string_view::npos;
    // Quotes or angle brackets have no business in a URL and would break the page's markup.
    const bool plain = url.find_first_of("\"'<>\\") == std::string_view::npos;
    if (!scheme || !placeholders || !plain) {
        return std::string(kDefaultMapTileUrl);
    }
    return std::string(url);
}

std::string MapTileAttribution(std::string_view tileUrl, std::string_view configured) {
    if (const std::string_view text = Trimmed(configured); !text.empty()) {
        return std::string(text);
    }
    std::string_view rest = tileUrl.substr(tileUrl.find("://") == std::string_view::npos
                                               ? 0
                                               : tileUrl.find("://") + 3);
    const std::string_view host = rest.substr(0, rest.find('/'));
    if (host.ends_with("openstreetmap.org") || host.empty()) {
        return "\u00a9 OpenStreetMap contributors";
    }
    return "Map tiles: " + std::string(host);
}

} // namespace tavero::app
