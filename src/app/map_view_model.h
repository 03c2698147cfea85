// What the map view keeps and hands to its page, apart from the browser that shows the page:
// the values of the page's hidden input elements, the rules that change them (a new position, a
// unit's time, a clear, a route reset), when a script call may go out, what the page's
// "OnSelectRoad" asks of the window, and where the view goes when the Map button is pressed.
//
// Thread: UI thread only.
#pragma once

#include "app/gps_offset.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavero::app {

// How positions are corrected before they reach the page.
struct MapOffsetSettings {
    bool automatic = true;      // "GPS_Offset_Auto" 1: the offset grid
    std::string fixedX;         // "GPS_Offset_X": added to the latitude
    std::string fixedY;         // "GPS_Offset_Y": added to the longitude
    const GpsOffsetTable* grid = nullptr; // "offset_min.bin"; null: empty
};

// The values of the page's input elements, all written before each script call.
struct MapPageValues {
    double longitude = 0; // "map_lng"
    double latitude = 0;  // "map_lat"
    double offsetLongitude = 0; // "offset_lng"
    double offsetLatitude = 0;  // "offset_lat"
    std::string status = "stopped"; // "map_status"
    double speedKmh = 0;  // "SpeedBar"
    double heading = 0;   // "AngleBar"
    std::int32_t index = -1;    // "Index": a change starts a new track
    std::int32_t videoTime = 0; // "videoTime"
};

// Element id and text, in the order they are written.
using MapElementValues = std::vector<std::pair<std::string, std::string>>;

// A number as the page reads it back: the shortest text that gives the same double.
[[nodiscard]] std::string MapNumberText(double value);

class MapViewModel {
public:
    [[nodiscard]] const MapPageValues& values() const { return m_values; }
    [[nodiscard]] MapElementValues ElementValues() const;

    // A unit trailer's GPS sentence: decoded, corrected and marked "running". False when the
    // sentence cannot be decoded; the values are then unchanged and the page is not touched.
    bool UpdatePosition(std::string_view sentence, const MapOffsetSettings& offsets);
    // The current unit's time in seconds.
    void SetUnitTime(std::int64_t seconds);
    // "stopped", the next track number, offsets, speed and heading 0 (the position stays).
    void ClearMap();
    // After a route reset's clear: no position until the next sentence.
    void ForgetPosition();

    // Script calls are skipped once the page said it cannot show a map, before it has loaded
    // and while it has no location.
    [[nodiscard]] bool MayCallScript(bool pageLoaded, bool locationEmpty) const {
        return !m_suppressed && pageLoaded && !locationEmpty;
    }
    [[nodiscard]] bool suppressed() const { return m_suppressed; }

    // The page's call back into the program.
    struct SelectRoad {
        bool mapUnavailable = false; // -1: no more script calls; the map tab stops showing it
        bool seek = false;           // otherwise: clear the history and the map, seek, reset
        std::int64_t seconds = 0;
    };
    SelectRoad OnSelectRoad(std::int32_t argument);

private:
    MapPageValues m_values;
    bool m_suppressed = false;
};

// Where the view is after a press on the Map button.
struct MapPlacement {
    bool shown = false;
    bool floating = false;
    friend bool operator==(const MapPlacement&, const MapPlacement&) = default;
};
// In the 1- and 4-channel layouts a hidden view comes up floating and a shown one goes (docked
// again) unless map mode keeps it; in the 8-channel layout and in map mode the view is shown and
// each press switches it between docked and floating.
[[nodiscard]] MapPlacement MapPlacementAfterMapButton(int layout, MapPlacement now, bool mapMode);

// When playback starts the view is docked and shown in the 8-channel layout; the 4-channel
// layout has no cell to spare for it and the 1-channel layout's one cell is the video's.
[[nodiscard]] bool MapShownWhenPlaying(int layout);

// The map's tile server ("MapTileUrl", an OpenStreetMap-style template with {z}, {x} and {y});
// an empty or unusable setting gives OpenStreetMap's own.
inline constexpr std::string_view kDefaultMapTileUrl =
    "https://tile.openstreetmap.org/{z}/{x}/{y}.png";
[[nodiscard]] std::string MapTileUrl(std::string_view configured);
// The attribution shown with the tiles: the configured text, else OpenStreetMap's for its own
// servers and the server's host name for others.
[[nodiscard]] std::string MapTileAttribution(std::string_view tileUrl,
                                             std::string_view configured);

} // namespace tavero::app
