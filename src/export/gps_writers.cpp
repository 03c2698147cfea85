#include "export/gps_writers.h"

#include "export/gps_time.h"

namespace tavero::exporter {
namespace {

std::string_view TimeSourceName(GpsTimeSource source) {
    return source == GpsTimeSource::Receiver ? "receiver" : "recorder";
}

void AppendGpxPoint(std::string& out, const GpsPoint& p) {
    out += "      <trkpt lat=\"";
    out += FormatFixed(p.latitude, kCoordinateDecimals);
    out += "\" lon=\"";
    out += FormatFixed(p.longitude, kCoordinateDecimals);
    out += "\">\n        <time>";
    out += FormatIsoUtc(p.utcMs);
    out += "</time>\n        <extensions>\n          <tavero:speed>";
    out += FormatFixed(p.speedKmh, kSpeedDecimals);
    out += "</tavero:speed>\n          <tavero:course>";
    out += FormatFixed(p.course, kCourseDecimals);
    out += "</tavero:course>\n          <tavero:gpeak x=\"";
    out += std::to_string(p.g.x);
    out += "\" y=\"";
    out += std::to_string(p.g.y);
    out += "\" z=\"";
    out += std::to_string(p.g.z);
    out += "\" samples=\"";
    out += std::to_string(p.g.samples);
    out += "\"/>\n          <tavero:clock>";
    out += TimeSourceName(p.timeSource);
    out += "</tavero:clock>\n        </extensions>\n      </trkpt>\n";
}

} // namespace

std::string GpxDocument(const std::vector<GpsTrack>& tracks) {
    std::string out;
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<gpx version=\"1.1\" creator=\"Tavero Player\"\n";
    out += "     xmlns=\"http://www.topografix.com/GPX/1/1\"\n";
    out += "     xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n";
    out += "     xmlns:tavero=\"";
    out += kGpxExtensionNamespace;
    out += "\"\n";
    out += "     xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
           "http://www.topografix.com/GPX/1/1/gpx.xsd\">\n";
    for (const GpsTrack& track : tracks) {
        out += "  <trk>\n    <name>Recording ";
        out += std::to_string(track.number);
        out += "</name>\n    <number>";
        out += std::to_string(track.number);
        out += "</number>\n";
        for (const GpsSegment& segment : track.segments) {
            out += "    <trkseg>\n";
            for (const GpsPoint& point : segment.points) {
                AppendGpxPoint(out, point);
            }
            out += "    </trkseg>\n";
        }
        out += "  </trk>\n";
    }
    out += "</gpx>\n";
    return out;
}

std::string CsvDocument(const std::vector<GpsTrack>& tracks) {
    std::string out(kCsvHeader);
    out += '\n';
    for (const GpsTrack& track : tracks) {
        for (std::size_t s = 0; s < track.segments.size(); ++s) {
            for (const GpsPoint& p : track.segments[s].points) {
                out += std::to_string(track.number);
                out += ',';
                out += std::to_string(s + 1);
                out += ',';
                out += FormatIsoUtc(p.utcMs);
                out += ',';
                out += TimeSourceName(p.timeSource);
                out += ',';
                out += FormatFixed(p.latitude, kCoordinateDecimals);
                out += ',';
                out += FormatFixed(p.longitude, kCoordinateDecimals);
                out += ',';
                out += FormatFixed(p.speedKmh, kSpeedDecimals);
                out += ',';
                out += FormatFixed(p.course, kCourseDecimals);
                out += ',';
                out += std::to_string(p.g.x);
                out += ',';
                out += std::to_string(p.g.y);
                out += ',';
                out += std::to_string(p.g.z);
                out += ',';
                out += std::to_string(p.g.samples);
                out += '\n';
            }
        }
    }
    return out;
}

} // namespace tavero::exporter
