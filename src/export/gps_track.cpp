#include "export/gps_track.h"

#include "export/gps_time.h"
#include "store/byte_io.h"
#include "store/card_layout.h"
#include "store/metadata.h"
#include "store/sto_reader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace tavero::exporter {
namespace {

// A decoded fix that cannot be a place on earth (minutes of 60 or more, an infinite speed) is
// damage, not a position: writing it would put a spike into the track.
bool PlausibleFix(const store::GpsFix& fix) {
    return std::isfinite(fix.latitude) && std::isfinite(fix.longitude) &&
           std::isfinite(fix.speed) && std::isfinite(fix.course) && std::fabs(fix.latitude) <= 90 &&
           std::fabs(fix.longitude) <= 180;
}

} // namespace

std::size_t GpsTrack::pointCount() const {
    std::size_t count = 0;
    for (const GpsSegment& segment : segments) {
        count += segment.points.size();
    }
    return count;
}

GpsPoint* GpsTrackBuilder::recentPoint(const std::string& sentence) {
    if (m_track.segments.empty()) {
        return nullptr;
    }
    std::vector<GpsPoint>& points = m_track.segments.back().points;
    const std::size_t look = std::min(points.size(), kRecentPoints);
    for (std::size_t i = 0; i < look; ++i) {
        GpsPoint& point = points[points.size() - 1 - i];
        if (point.sentence == sentence) {
            return &point;
        }
    }
    return nullptr;
}

void GpsTrackBuilder::addPeaks(GpsPoint& point, const store::UnitTrailer& trailer) const {
    const int count = trailer.sampleCount();
    for (int i = 0; i < count; ++i) {
        const store::GSample s =
            store::PlausibleSample(trailer.gSamples[static_cast<std::size_t>(i)]);
        point.g.x = std::max(point.g.x, std::abs(int{s.x}));
        point.g.y = std::max(point.g.y, std::abs(int{s.y}));
        point.g.z = std::max(point.g.z, std::abs(int{s.z}));
        ++point.g.samples;
    }
}

void GpsTrackBuilder::addUnit(const store::UnitTrailer& trailer, std::uint8_t zoneHours) {
    ++m_track.units;
    std::string text = trailer.gps();
    store::GpsFix fix;
    if (text.empty() || !store::ParseRmc(text, fix) || !PlausibleFix(fix)) {
        ++m_track.unitsWithoutFix;
        m_gap = true;
        return;
    }
    // Every channel's units carry the sentence of their moment, so one fix arrives many times.
    if (GpsPoint* same = recentPoint(text)) {
        addPeaks(*same, trailer);
        return;
    }
    GpsPoint point;
    // The receiver's own date and time win over the unit time: they are UTC from the satellites,
    // while the recorder's clock is whatever the user last set, may drift, and knows its zone only
    // in whole hours. The unit time is the fallback for sentences without a usable date.
    if (RmcUtcMs(text, point.utcMs)) {
        point.timeSource = GpsTimeSource::Receiver;
    } else if (RecorderTimeToUtcMs(trailer.unitTime, zoneHours, point.utcMs)) {
        point.timeSource = GpsTimeSource::Recorder;
    } else {
        // No instant at all: the point could be neither ordered nor written with a time.
        ++m_track.unitsWithoutFix;
        m_gap = true;
        return;
    }
    point.latitude = fix.latitude;
    point.longitude = fix.longitude;
    point.speedKmh = fix.speed;
    point.course = fix.course;
    point.firstUnit = trailer.unitNo;
    point.sentence = std::move(text);
    addPeaks(point, trailer);

    if (!m_gap && !m_track.segments.empty()) {
        // Points of a segment are kept in time order.
        std::vector<GpsPoint>& points = m_track.segments.back().points;
        const std::int64_t last = points.back().utcMs;
        if (point.utcMs >= last && point.utcMs - last <= kMaxFixStepMs) {
            points.push_back(std::move(point));
            return;
        }
        if (point.utcMs < last && last - point.utcMs <= kReorderWindowMs) {
            const auto at =
                std::upper_bound(points.begin(), points.end(), point.utcMs,
                                 [](std::int64_t t, const GpsPoint& p) { return t < p.utcMs; });
            points.insert(at, std::move(point));
            return;
        }
    }
    m_track.segments.emplace_back();
    m_track.segments.back().points.push_back(std::move(point));
    m_gap = false;
}

GpsTrack GpsTrackBuilder::finish() {
    GpsTrack track = std::move(m_track);
    m_track = GpsTrack{};
    m_gap = true;
    return track;
}

bool GpsTrackReader::read(const store::RecordingEntry& entry, GpsTrack& out) {
    m_error.clear();
    if (!m_index.IsOpen()) {
        m_error = "the source is not open";
        return false;
    }
    if (entry.firstRecord == nullptr) {
        m_error = "no such recording";
        return false;
    }
    GpsTrackBuilder builder;
    bool endOfData = false;
    // The records of the recording are those from its first up to where its chain stopped.
    for (const store::IndexRecord* record = entry.firstRecord;
         record != nullptr && record != entry.next && !endOfData;
         record = m_index.NextRecord(record)) {
        readRecord(*record, builder, endOfData);
    }
    out = builder.finish();
    out.number = entry.number;
    out.startSeconds = entry.start;
    return true;
}

void GpsTrackReader::readRecord(const store::IndexRecord& record, GpsTrackBuilder& builder,
                                bool& endOfData) {
    store::CStoReader& reader = m_index.reader();
    // A record describes one data block; a damaged end unit must not send the walk through
    // billions of units of other blocks.
    std::uint32_t span = record.endUnit >= record.startUnit ? record.endUnit - record.startUnit : 0;
    span = std::min(span, store::kUnitsPerBlock - 1);
    const std::int64_t size = reader.Size();
    std::array<std::uint8_t, store::kTrailerSize> bytes{};
    for (std::uint32_t v = 0; v <= span; ++v) {
        const std::int64_t at = record.dataAddress + std::int64_t{v} * store::kUnitSize +
                                static_cast<std::int64_t>(store::kFrameAreaSize);
        if (size >= 0 && at + static_cast<std::int64_t>(store::kTrailerSize) > size) {
            endOfData = true; // the follow-on record of a card reaches past the last unit
            return;
        }
        if (!reader.Seek(at, store::SeekOrigin::Begin) ||
            !reader.Read(bytes.data(), store::kTrailerSize)) {
            if (size < 0) {
                endOfData = true; // no size to tell the end from damage
                return;
            }
            builder.countUnreadable();
            continue;
        }
        if (!store::ValidateTrailer(bytes, record.diskId)) {
            // Never-written units (no magic, such as the rest of the block being filled) are not
            // damage worth counting.
            if (store::LoadLe32(bytes.data()) == store::kTrailerMagic) {
                builder.countSkipped();
            }
            continue;
        }
        const store::UnitTrailer trailer = store::TrailerToHost(bytes);
        if (trailer.unitNo != record.startUnit + v) {
            builder.countSkipped(); // left over from an earlier lap of the card
            continue;
        }
        builder.addUnit(trailer, record.zoneHours);
    }
}

} // namespace tavero::exporter
