#pragma once
// Text forms of GPS tracks: GPX 1.1 for map programs and CSV for spreadsheets. Both are built
// in memory (a recording's track is a few kilobytes per minute) so that the caller can write the
// file in one piece. Numbers are written with '.' whatever the locale.

#include "export/gps_track.h"

#include <string>
#include <string_view>
#include <vector>

namespace tavero::exporter {

// Our GPX extension elements (speed in km/h, course in degrees, G-sensor peaks, the clock the
// time came from) live in this namespace, bound to the prefix "tavero".
inline constexpr std::string_view kGpxExtensionNamespace = "urn:x-tavero-player:gpx-track:1";

// One <trk> per track, named "Recording N" with <number> N; one <trkseg> per segment; point
// times in UTC. A track without points is written as a <trk> without segments.
[[nodiscard]] std::string GpxDocument(const std::vector<GpsTrack>& tracks);

inline constexpr std::string_view kCsvHeader =
    "recording,segment,time_utc,time_source,latitude,longitude,speed_kmh,course_deg,"
    "g_peak_x,g_peak_y,g_peak_z,g_samples";

// The header line, then one line per point: recording number, segment number from 1, ISO 8601
// UTC time, "receiver" or "recorder", degrees, km/h, degrees, the peak |x|, |y|, |z| and the
// number of samples they were taken over. Lines end in "\n"; no field needs quoting.
[[nodiscard]] std::string CsvDocument(const std::vector<GpsTrack>& tracks);

// Decimal places written: about 0.1 mm of latitude, 1 m/h, 0.01 degree.
inline constexpr int kCoordinateDecimals = 9;
inline constexpr int kSpeedDecimals = 3;
inline constexpr int kCourseDecimals = 2;

} // namespace tavero::exporter
