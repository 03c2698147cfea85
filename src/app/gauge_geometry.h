// The gauges' geometry: the G-sensor graph (its history, and samples turned into pixels), the
// compass (needle turn and texts), the speed display with its unit badge, and the limit of one
// gauge repaint per 150 ms. Drawing itself is the window's; everything it places comes from here.
//
// Thread: plain values and functions; UI thread.
#pragma once

#include "app/channel_grid.h"
#include "store/unit_trailer.h"

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace tavero::app {

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct PointF {
    double x = 0;
    double y = 0;
};

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// ---- G-sensor graph -------------------------------------------------------------------------

enum class GAxis { X = 0, Y = 1, Z = 2 };
// Curve colours: x red, y green, z blue.
inline constexpr std::array<Rgb, 3> kCurveColours = {{{255, 0, 0}, {0, 255, 0}, {0, 64, 255}}};

struct GSensorGraphGeometry {
    Point origin; // in the main window
    int width = 0;
    int height = 0;
    int backgroundBitmap = 0;
    int leftMargin = 40; // the curves start at this column
    // Samples the main window keeps: the graph width less 60.
    [[nodiscard]] int historyLimit() const { return width - 60; }
    // Samples drawn: the graph width less the margin.
    [[nodiscard]] int drawnSamples() const { return width - leftMargin; }
};
[[nodiscard]] GSensorGraphGeometry GSensorGraphFor(int uiMode);
// The graph is not drawn in map mode; the compass is.
[[nodiscard]] inline bool DrawsGSensorGraph(bool mapMode) {
    return !mapMode;
}

// The samples of the playing recording, oldest first, bounded for the graph of the UI mode.
class GSensorHistory {
public:
    void Clear() { m_samples.clear(); }
    // Appends the trailer's samples; a sample with any axis beyond 360 in magnitude is kept as
    // zeros. The oldest are dropped beyond historyLimit() of the mode's graph.
    void Append(const store::UnitTrailer& trailer, int uiMode);
    void Append(store::GSample sample, int limit);
    [[nodiscard]] const std::deque<store::GSample>& samples() const { return m_samples; }

private:
    std::deque<store::GSample> m_samples;
};

// One axis as a polyline in graph coordinates (0, 0 at the graph's top left): a move to the
// first point, then lines to the others. At most drawnSamples() samples, oldest first; a value
// of 512 lies trunc(H / 3.5) pixels above the middle line. Empty history: no points.
[[nodiscard]] std::vector<Point> GSensorCurve(const GSensorGraphGeometry& graph,
                                              const std::deque<store::GSample>& samples,
                                              GAxis axis);

// ---- compass --------------------------------------------------------------------------------

struct CompassGeometry {
    Point origin;
    int width = 0; // the background bitmap's size is the compass size
    int height = 0;
    int backgroundBitmap = 0;
    int divisor = 210;
    int needleBitmap = 0;
    PixelSize needle;

    [[nodiscard]] double scale() const { return static_cast<double>(width) / divisor; }
    // The needle turns about this point (compass coordinates), centred on it.
    [[nodiscard]] PointF pivot() const { return {105 * scale(), 87 * scale()}; }
    // Font size of the position texts, in tenths of a point.
    [[nodiscard]] int fontTenthsOfPoint() const { return width - 2; }
    // Where the latitude and longitude texts start; both rows follow the compass width.
    [[nodiscard]] Point latitudeAt() const;
    [[nodiscard]] Point longitudeAt() const;
};
[[nodiscard]] CompassGeometry CompassFor(int uiMode);
inline constexpr Rgb kCompassTextColour{255, 0, 0};

// Degrees clockwise that the needle bitmap turns for a heading (degrees clockwise from north);
// 0 keeps the bitmap's own orientation. Not a number turns nothing.
[[nodiscard]] double NeedleRotationDegrees(double heading);
// "%9.6f %c": " 3.500000 S", "33.500000 N".
[[nodiscard]] std::string LatitudeText(double latitude);
[[nodiscard]] std::string LongitudeText(double longitude);

// ---- speed display --------------------------------------------------------------------------

inline constexpr std::uint32_t kSpeedUnitKmh = 0;
inline constexpr std::uint32_t kSpeedUnitMph = 1;
inline constexpr std::uint32_t kSpeedUnitKnots = 2;
inline constexpr Rgb kSpeedDigitColour{0, 255, 0};
inline constexpr Rgb kSpeedBackground{0x10, 0x10, 0x18};

struct SpeedDisplayGeometry {
    Point origin;
    PixelSize size;
};
[[nodiscard]] SpeedDisplayGeometry SpeedDisplayFor(int uiMode);
[[nodiscard]] double SpeedInUnit(double kmh, std::uint32_t speedUnit);
// "%3.0f" of the speed in the unit: "  0", " 62", "120".
[[nodiscard]] std::string SpeedDisplayText(double kmh, std::uint32_t speedUnit);
// Badge bitmap: 1712 km/h (and unknown units), 1711 mph, 1710 knots, plus 10 per UI mode.
[[nodiscard]] int UnitBadgeBitmap(std::uint32_t speedUnit, int uiMode);
[[nodiscard]] Point UnitBadgePosition(int uiMode);

// At most one gauge repaint per 150 ms after unit trailers.
class PaintThrottle {
public:
    static constexpr std::int64_t kIntervalMs = 150;
    // True (and remembers nowMs) when more than 150 ms passed since the last repaint.
    [[nodiscard]] bool Due(std::int64_t nowMs);
    [[nodiscard]] std::int64_t lastPaintTick() const { return m_lastPaintMs; }

private:
    std::int64_t m_lastPaintMs = 0;
};

} // namespace tavero::app
