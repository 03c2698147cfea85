#include "app/gauge_geometry.h"

#include "store/metadata.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tavero::app {
namespace {

constexpr std::array<GSensorGraphGeometry, 3> kGraphs = {{
    {{75, 606}, 354, 219, 180, 40},
    {{55, 455}, 264, 164, 223, 40},
    {{38, 320}, 189, 116, 231, 40},
}};

constexpr std::array<CompassGeometry, 3> kCompasses = {{
    {{140, 77}, 216, 262, 216, 210, 104, {32, 142}},
    {{100, 60}, 161, 192, 222, 210, 105, {23, 107}},
    {{77, 44}, 119, 138, 230, 216, 106, {17, 76}},
}};

constexpr std::array<SpeedDisplayGeometry, 3> kSpeedDisplays = {{
    {{100, 470}, {184, 84}},
    {{82, 353}, {137, 63}},
    {{60, 250}, {97, 46}},
}};

constexpr std::array<Point, 3> kBadgePositions = {{{310, 540}, {240, 400}, {170, 280}}};

constexpr double kKmhPerMile = 1.609;

std::size_t ModeIndex(int uiMode) {
    return static_cast<std::size_t>(NormalUiMode(uiMode));
}

int Component(const store::GSample& s, GAxis axis) {
    switch (axis) {
    case GAxis::X:
        return s.x;
    case GAxis::Y:
        return s.y;
    case GAxis::Z:
        return s.z;
    }
    return 0;
}

std::string CoordinateText(double value, char positive, char negative) {
    char text[48];
    std::snprintf(text, sizeof text, "%9.6f %c", std::fabs(value),
                  value >= 0 ? positive : negative);
    return text;
}

} // namespace

GSensorGraphGeometry GSensorGraphFor(int uiMode) {
    return kGraphs[ModeIndex(uiMode)];
}

void GSensorHistory::Append(const store::UnitTrailer& trailer, int uiMode) {
    const int limit = GSensorGraphFor(uiMode).historyLimit();
    const int count = trailer.sampleCount();
    for (int i = 0; i < count; ++i) {
        Append(trailer.gSamples[static_cast<std::size_t>(i)], limit);
    }
}

void GSensorHistory::Append(store::GSample sample, int limit) {
    m_samples.push_back(store::PlausibleSample(sample));
    while (static_cast<int>(m_samples.size()) > limit && !m_samples.empty()) {
        m_samples.pop_front();
    }
}

std::vector<Point> GSensorCurve(const GSensorGraphGeometry& graph,
                                const std::deque<store::GSample>& samples, GAxis axis) {
    std::vector<Point> points;
    if (samples.empty()) {
        return points;
    }
    const int mid = graph.height / 2;
    const int k = static_cast<int>(graph.height / 3.5);
    const std::size_t n =
        std::min(samples.size(), static_cast<std::size_t>(std::max(0, graph.drawnSamples())));
    points.reserve(n + 1);
    int column = graph.leftMargin;
    const int first = Component(samples.front(), axis) * k;
    points.push_back({column, static_cast<int>(mid - first / 512.0)});
    for (std::size_t i = 0; i < n; ++i) {
        ++column;
        const int product = Component(samples[i], axis) * k;
        points.push_back({column, mid - static_cast<int>(product / 512.0)});
    }
    return points;
}

Point CompassGeometry::latitudeAt() const {
    return {static_cast<int>(0.2 * width), static_cast<int>(0.89 * width)};
}

Point CompassGeometry::longitudeAt() const {
    return {static_cast<int>(0.2 * width), width};
}

CompassGeometry CompassFor(int uiMode) {
    return kCompasses[ModeIndex(uiMode)];
}

double NeedleRotationDegrees(double heading) {
    if (!std::isfinite(heading)) {
        return 0;
    }
    return heading;
}

std::string LatitudeText(double latitude) {
    return CoordinateText(latitude, 'N', 'S');
}

std::string LongitudeText(double longitude) {
    return CoordinateText(longitude, 'E', 'W');
}

SpeedDisplayGeometry SpeedDisplayFor(int uiMode) {
    return kSpeedDisplays[ModeIndex(uiMode)];
}

double SpeedInUnit(double kmh, std::uint32_t speedUnit) {
    switch (speedUnit) {
    case kSpeedUnitMph:
        return kmh / kKmhPerMile;
    case kSpeedUnitKnots:
        return kmh / store::kKmhPerKnot;
    default:
        return kmh;
    }
}

std::string SpeedDisplayText(double kmh, std::uint32_t speedUnit) {
    char text[48];
    std::snprintf(text, sizeof text, "%3.0f", SpeedInUnit(kmh, speedUnit));
    return text;
}

int UnitBadgeBitmap(std::uint32_t speedUnit, int uiMode) {
    const int base = speedUnit == kSpeedUnitMph ? 1711 : speedUnit == kSpeedUnitKnots ? 1710 : 1712;
    return base + 10 * NormalUiMode(uiMode);
}

Point UnitBadgePosition(int uiMode) {
    return kBadgePositions[ModeIndex(uiMode)];
}

bool PaintThrottle::Due(std::int64_t nowMs) {
    if (nowMs - m_lastPaintMs <= kIntervalMs) {
        return false;
    }
    m_lastPaintMs = nowMs;
    return true;
}

} // namespace tavero::app
