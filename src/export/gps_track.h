#pragma once
// The GPS track of a recording: the fixes its unit trailers carry, in play order, each with its
// UTC time, speed, course and the peak G-sensor readings of the units that carried it, split into
// segments wherever the receiver lost its fix or the time jumps.
// GpsTrackBuilder and GpsTrackReader are plain objects owned by one thread at a time.

#include "store/record_index.h"
#include "store/recording_entry.h"
#include "store/unit_trailer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tavero::exporter {

// Peak magnitudes of the G-sensor samples (recorder raw units) of the units that carried one
// fix. Samples that consumers treat as implausible (any axis above the plausibility limit) count
// as 0, 0, 0, as the player's gauges do.
struct GPeak {
    int x = 0;
    int y = 0;
    int z = 0;
    int samples = 0; // samples looked at, over all units carrying the fix
};

enum class GpsTimeSource {
    Receiver, // the sentence's own UTC date and time
    Recorder, // the unit time, the recorder's wall clock shifted by the record's zone offset
};

struct GpsPoint {
    std::int64_t utcMs = 0; // milliseconds since 1970, UTC
    GpsTimeSource timeSource = GpsTimeSource::Receiver;
    double latitude = 0;  // degrees, north positive
    double longitude = 0; // degrees, east positive
    double speedKmh = 0;
    double course = 0; // degrees, as the receiver gave it
    GPeak g;
    std::uint32_t firstUnit = 0; // unit number of the first unit carrying the fix
    std::string sentence;        // the text the fix was decoded from; equal text is the same fix
};

struct GpsSegment {
    std::vector<GpsPoint> points;
};

struct GpsTrack {
    std::int32_t number = 0;       // the recording's list number, from 1
    std::int64_t startSeconds = 0; // the recording's start as the list shows it (recorder clock)
    std::vector<GpsSegment> segments;

    // What the walk saw, for the caller's messages.
    std::uint64_t units = 0;           // valid unit trailers in sequence
    std::uint64_t unitsWithoutFix = 0; // of those, no sentence, status V or unparsable
    std::uint64_t skippedUnits = 0;    // damaged trailers or units out of sequence
    std::uint64_t unreadableUnits = 0; // read failures inside the medium

    [[nodiscard]] std::size_t pointCount() const;
};

// Next fix more than this after the previous one starts a new segment: a few missed 1 Hz fixes
// stay one line, a recording resumed after a pause does not draw a straight line over the gap.
inline constexpr std::int64_t kMaxFixStepMs = 15000;
// Channels' units are written as each one fills, so a unit carrying an older sentence may follow
// a newer one; a fix up to this much older than the last is put in its place instead of
// breaking the segment.
inline constexpr std::int64_t kReorderWindowMs = 5000;
// How far back a sentence is looked for among the points already taken.
inline constexpr std::size_t kRecentPoints = 32;

// Turns unit trailers, fed in play order, into a track.
class GpsTrackBuilder {
public:
    // zoneHours: the hour offset of the index record the unit belongs to.
    void addUnit(const store::UnitTrailer& trailer, std::uint8_t zoneHours);
    void countSkipped() { ++m_track.skippedUnits; }
    void countUnreadable() { ++m_track.unreadableUnits; }
    [[nodiscard]] GpsTrack finish();

private:
    // The point of the current segment carrying this sentence, or null.
    GpsPoint* recentPoint(const std::string& sentence);
    void addPeaks(GpsPoint& point, const store::UnitTrailer& trailer) const;

    GpsTrack m_track;
    bool m_gap = true; // the next new fix starts a segment
};

// Walks the units of one recording of an opened index and builds its track.
class GpsTrackReader {
public:
    explicit GpsTrackReader(store::RecordIndex& index) : m_index(index) {}

    // False only when the entry is not a recording of this index (no first record) or the
    // index is not open; see lastError(). Damaged or unreadable units are counted, not fatal:
    // what can be read of a damaged card is still exported.
    [[nodiscard]] bool read(const store::RecordingEntry& entry, GpsTrack& out);
    [[nodiscard]] const std::string& lastError() const { return m_error; }

private:
    void readRecord(const store::IndexRecord& record, GpsTrackBuilder& builder, bool& endOfData);

    store::RecordIndex& m_index;
    std::string m_error;
};

} // namespace tavero::exporter
