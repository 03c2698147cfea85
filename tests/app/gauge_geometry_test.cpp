#include "app/gauge_geometry.h"

#include <cmath>
#include <gtest/gtest.h>

namespace tavero::app {
namespace {

std::deque<store::GSample> Samples(int count, std::int16_t y) {
    return std::deque<store::GSample>(static_cast<std::size_t>(count), store::GSample{0, y, 0});
}

TEST(GSensorGraph, GeometryAndHistoryLimitPerMode) {
    EXPECT_EQ(GSensorGraphFor(0).origin, (Point{75, 606}));
    EXPECT_EQ(GSensorGraphFor(0).historyLimit(), 294);
    EXPECT_EQ(GSensorGraphFor(1).historyLimit(), 204);
    EXPECT_EQ(GSensorGraphFor(2).historyLimit(), 129);
    EXPECT_EQ(GSensorGraphFor(1).backgroundBitmap, 223);
    EXPECT_EQ(GSensorGraphFor(2).height, 116);
}

TEST(GSensorGraph, FullScaleSampleIsKPixelsFromTheMiddle) {
    const GSensorGraphGeometry g = GSensorGraphFor(0); // H 219: middle 109, k 62
    std::deque<store::GSample> samples{{0, 512, 0}, {0, -512, 0}, {0, 0, 0}};
    const std::vector<Point> y = GSensorCurve(g, samples, GAxis::Y);
    ASSERT_EQ(y.size(), 4u);
    EXPECT_EQ(y[0], (Point{40, 47})); // the move to the first sample
    EXPECT_EQ(y[1], (Point{41, 47})); // and a line to it again
    EXPECT_EQ(y[2], (Point{42, 171}));
    EXPECT_EQ(y[3], (Point{43, 109}));
    EXPECT_EQ(GSensorCurve(g, samples, GAxis::X)[2], (Point{42, 109}));
}

TEST(GSensorGraph, OnlyTheOldestWidthLess40SamplesAreDrawn) {
    const GSensorGraphGeometry g = GSensorGraphFor(2); // W 189: 149 samples drawn
    const std::vector<Point> points = GSensorCurve(g, Samples(400, 100), GAxis::Y);
    ASSERT_EQ(points.size(), 150u);
    EXPECT_EQ(points.back().x, 189);
    EXPECT_TRUE(GSensorCurve(g, {}, GAxis::Z).empty());
}

TEST(GSensorGraph, HistoryDropsTheOldestAndZeroesImplausibleSamples) {
    GSensorHistory history;
    for (int i = 0; i < 300; ++i) {
        history.Append(store::GSample{static_cast<std::int16_t>(i), 0, 0}, 294);
    }
    ASSERT_EQ(history.samples().size(), 294u);
    EXPECT_EQ(history.samples().front().x, 6);
    EXPECT_EQ(history.samples().back().x, 299);

    history.Clear();
    history.Append(store::GSample{360, -360, 5}, 10);
    history.Append(store::GSample{1, -361, 5}, 10);
    EXPECT_EQ(history.samples()[0], (store::GSample{360, -360, 5}));
    EXPECT_EQ(history.samples()[1], (store::GSample{0, 0, 0}));
}

TEST(GSensorGraph, TrailerSamplesUpToItsCountAndTheModesLimit) {
    store::UnitTrailer trailer;
    trailer.gCount = 200; // more than the 50 slots
    for (auto& s : trailer.gSamples) {
        s = store::GSample{1, 2, 3};
    }
    GSensorHistory history;
    history.Append(trailer, 2);
    EXPECT_EQ(history.samples().size(), 50u);
    history.Append(trailer, 2);
    history.Append(trailer, 2);
    EXPECT_EQ(history.samples().size(), 129u);
    EXPECT_FALSE(DrawsGSensorGraph(true));
}

TEST(Compass, PlacesNeedleAndTextsByTheCompassWidth) {
    const CompassGeometry c0 = CompassFor(0);
    EXPECT_EQ(c0.backgroundBitmap, 216);
    EXPECT_EQ(c0.needleBitmap, 104);
    EXPECT_DOUBLE_EQ(c0.pivot().x, 105 * 216.0 / 210);
    EXPECT_EQ(c0.latitudeAt(), (Point{43, 192}));
    EXPECT_EQ(c0.longitudeAt(), (Point{43, 216}));
    EXPECT_EQ(c0.fontTenthsOfPoint(), 214);
    const CompassGeometry c2 = CompassFor(2);
    EXPECT_EQ(c2.divisor, 216);
    EXPECT_DOUBLE_EQ(c2.pivot().y, 87 * 119.0 / 216);
    EXPECT_EQ(c2.needle, (PixelSize{17, 76}));
    EXPECT_EQ(NeedleRotationDegrees(90), 90);
    EXPECT_EQ(NeedleRotationDegrees(0), 0);
    EXPECT_EQ(NeedleRotationDegrees(std::nan("")), 0);
}

TEST(Compass, PositionTextsFillNineCharacters) {
    EXPECT_EQ(LatitudeText(-3.5), " 3.500000 S");
    EXPECT_EQ(LatitudeText(33.5), "33.500000 N");
    EXPECT_EQ(LatitudeText(0), " 0.000000 N");
    EXPECT_EQ(LongitudeText(-122.25), "122.250000 W");
    EXPECT_EQ(LongitudeText(8.5), " 8.500000 E");
}

TEST(SpeedDisplay, ConvertsByUnitAndPicksTheBadge) {
    EXPECT_EQ(SpeedDisplayText(100, kSpeedUnitKmh), "100");
    EXPECT_EQ(SpeedDisplayText(100, kSpeedUnitMph), " 62");
    EXPECT_EQ(SpeedDisplayText(100, kSpeedUnitKnots), " 54");
    EXPECT_EQ(SpeedDisplayText(0, 9), "  0");
    EXPECT_EQ(UnitBadgeBitmap(kSpeedUnitKmh, 0), 1712);
    EXPECT_EQ(UnitBadgeBitmap(kSpeedUnitMph, 1), 1721);
    EXPECT_EQ(UnitBadgeBitmap(kSpeedUnitKnots, 2), 1730);
    EXPECT_EQ(UnitBadgeBitmap(7, 2), 1732);
    EXPECT_EQ(UnitBadgePosition(1), (Point{240, 400}));
    EXPECT_EQ(SpeedDisplayFor(2).size, (PixelSize{97, 46}));
}

TEST(PaintThrottleTest, AtMostOneRepaintPer150Ms) {
    PaintThrottle throttle;
    EXPECT_TRUE(throttle.Due(1000));
    EXPECT_FALSE(throttle.Due(1100));
    EXPECT_FALSE(throttle.Due(1150));
    EXPECT_TRUE(throttle.Due(1151));
    EXPECT_EQ(throttle.lastPaintTick(), 1151);
}

} // namespace
} // namespace tavero::app
