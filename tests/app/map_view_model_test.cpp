// What the map view hands its page, and where the Map button puts it.

#include "app/map_view_model.h"

#include <gtest/gtest.h>

namespace tavero::app {
namespace {

constexpr const char* kFix = "$GPRMC,123519,A,3934.2574,N,11633.4835,E,30.0,84.4,230394,,,A*6A";

TEST(MapViewModel, WritesEveryElementInOneGoWithNumbersThatReadBackExactly) {
    MapViewModel m;
    EXPECT_EQ(m.ElementValues(),
              (MapElementValues{{"map_lng", "0"},
                                {"map_lat", "0"},
                                {"offset_lng", "0"},
                                {"offset_lat", "0"},
                                {"map_status", "stopped"},
                                {"SpeedBar", "0"},
                                {"AngleBar", "0"},
                                {"Index", "-1"},
                                {"videoTime", "0"}}));
    const MapOffsetSettings fixed{false, "0.001", "", nullptr};
    ASSERT_TRUE(m.UpdatePosition(kFix, fixed));
    const MapElementValues v = m.ElementValues();
    EXPECT_EQ(v[0].second, MapNumberText(116.0 + 33.4835 / 60));
    EXPECT_DOUBLE_EQ(std::stod(v[0].second), 116.0 + 33.4835 / 60);
    EXPECT_EQ(v[2].second, "0");     // "GPS_Offset_Y" empty
    EXPECT_EQ(v[3].second, "0.001"); // "GPS_Offset_X" is the latitude's
    EXPECT_EQ(v[4].second, "running");
    EXPECT_EQ(v[5].second, MapNumberText(30.0 * 1.852));
    EXPECT_EQ(v[6].second, "84.4");
}

TEST(MapViewModel, AnUndecodableSentenceChangesNothing) {
    MapViewModel m;
    ASSERT_TRUE(m.UpdatePosition(kFix, {}));
    const MapPageValues before = m.values();
    // Status V, and a sentence cut off after its latitude (the decoder had reached it).
    for (const char* bad : {"$GPRMC,123519,V,3934.2574,N,11633.4835,E,1,2,230394,,,N*00",
                            "$GPRMC,123519,A,4000.0000,N,11633.48", "", "no sentence*"}) {
        EXPECT_FALSE(m.UpdatePosition(bad, {})) << bad;
        EXPECT_EQ(m.values().latitude, before.latitude) << bad;
        EXPECT_EQ(m.values().longitude, before.longitude) << bad;
        EXPECT_EQ(m.values().speedKmh, before.speedKmh) << bad;
    }
}

TEST(MapViewModel, ClearsCountTracksAndAResetForgetsThePosition) {
    MapViewModel m;
    ASSERT_TRUE(m.UpdatePosition(kFix, MapOffsetSettings{false, "0.5", "0.25", nullptr}));
    m.SetUnitTime(1000);
    EXPECT_EQ(m.values().videoTime, 984); // 1000 - 55.56 km/h / 3.6 = 984.57, truncated
    m.ClearMap();
    EXPECT_EQ(m.values().index, 0);
    EXPECT_EQ(m.values().status, "stopped");
    EXPECT_EQ(m.values().offsetLatitude, 0);
    EXPECT_EQ(m.values().speedKmh, 0);
    EXPECT_NE(m.values().latitude, 0) << "a clear keeps the position";
    m.ForgetPosition();
    EXPECT_EQ(m.values().latitude, 0);
    EXPECT_EQ(m.values().longitude, 0);
    m.ClearMap();
    EXPECT_EQ(m.values().index, 1);
}

TEST(MapViewModel, ThePageCanSwitchItsScriptCallsOffOrAskForASeek) {
    MapViewModel m;
    EXPECT_FALSE(m.MayCallScript(false, false)) << "not loaded";
    EXPECT_FALSE(m.MayCallScript(true, true)) << "no location";
    EXPECT_TRUE(m.MayCallScript(true, false));
    const MapViewModel::SelectRoad seek = m.OnSelectRoad(95);
    EXPECT_TRUE(seek.seek);
    EXPECT_EQ(seek.seconds, 95);
    EXPECT_TRUE(m.MayCallScript(true, false));
    EXPECT_TRUE(m.OnSelectRoad(-1).mapUnavailable);
    EXPECT_FALSE(m.MayCallScript(true, false));
}

TEST(MapButton, TogglesInSmallLayoutsAndSwitchesDockingInLayout8AndMapMode) {
    const MapPlacement hidden{false, false}, docked{true, false}, floating{true, true};
    for (int layout : {1, 4}) {
        EXPECT_EQ(MapPlacementAfterMapButton(layout, hidden, false), floating) << layout;
        EXPECT_EQ(MapPlacementAfterMapButton(layout, floating, false), hidden) << layout;
        EXPECT_EQ(MapPlacementAfterMapButton(layout, docked, false), hidden) << layout;
        EXPECT_EQ(MapPlacementAfterMapButton(layout, docked, true), floating) << layout;
    }
    EXPECT_EQ(MapPlacementAfterMapButton(8, docked, false), floating);
    EXPECT_EQ(MapPlacementAfterMapButton(8, floating, false), docked);
    EXPECT_EQ(MapPlacementAfterMapButton(8, hidden, false), docked);
    EXPECT_TRUE(MapShownWhenPlaying(8));
    EXPECT_FALSE(MapShownWhenPlaying(4));
}

TEST(MapTiles, OnlyAUsableTemplateReplacesOpenStreetMapsServer) {
    EXPECT_EQ(MapTileUrl(""), kDefaultMapTileUrl);
    EXPECT_EQ(MapTileUrl(" https://tiles.example.net/{z}/{x}/{y}.png "),
              "https://tiles.example.net/{z}/{x}/{y}.png");
    EXPECT_EQ(MapTileUrl("file:///srv/tiles/{z}/{x}/{y}.png"), "file:///srv/tiles/{z}/{x}/{y}.png");
    EXPECT_EQ(MapTileUrl("https://tiles.example.net/{z}/{x}.png"), kDefaultMapTileUrl);
    EXPECT_EQ(MapTileUrl("javascript:alert(1)//{z}{x}{y}"), kDefaultMapTileUrl);
    EXPECT_EQ(MapTileUrl("https://x/{z}/{x}/{y}.png\"><script>"), kDefaultMapTileUrl);

    EXPECT_EQ(MapTileAttribution(std::string(kDefaultMapTileUrl), ""),
              "\u00a9 OpenStreetMap contributors");
    EXPECT_EQ(MapTileAttribution("https://tiles.example.net/{z}/{x}/{y}.png", ""),
              "Map tiles: tiles.example.net");
    EXPECT_EQ(MapTileAttribution("https://tiles.example.net/{z}/{x}/{y}.png", " Ours "), "Ours");
}

} // namespace
} // namespace tavero::app
