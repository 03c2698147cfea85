// GPS sentences and G-sensor samples as the recorder logs them.
#pragma once

#include "mkcard/card_format.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tavero::sim {

struct GpsFix {
    double latitudeDeg = 0;  // north positive
    double longitudeDeg = 0; // east positive
    double speedKmh = 0;
    double courseDeg = 0;
};

// A complete "$GPRMC" sentence with status A, ddmm.mmmm / dddmm.mmmm positions and its checksum;
// utc supplies the time and date fields.
[[nodiscard]] std::string formatRmc(const WallTime& utc, const GpsFix& fix);

// One GPS sentence per recorded second: either a generated drive or the RMC lines of a file.
class GpsTrack {
public:
    // A deterministic drive: pulls away, cruises, turns, slows down and stops, repeating.
    void openGenerated();
    // Takes the RMC sentences ($GPRMC or $GNRMC, up to the first blank or tab) in file order.
    [[nodiscard]] bool openNmeaFile(const std::string& path, std::string& error);

    // Sentence for the given second counted over all recordings; utc is the wall clock of that
    // second minus the zone offset (used only by the generated drive). Files loop.
    [[nodiscard]] std::string sentence(uint64_t recordedSecond, const WallTime& utc);

    // Position of the generated drive at a recorded second.
    [[nodiscard]] GpsFix generatedFix(uint64_t recordedSecond);

private:
    std::vector<std::string> m_lines;
    std::vector<GpsFix> m_fixes; // generated drive, extended on demand
};

struct TimedSample {
    uint32_t timeUs = 0; // from the recording's start
    GSample sample;
};

// About ten samples a second of small noise around gravity on Z, with a clear spike at each of
// spikeTimesUs. No axis is ever exactly 2: a sample frame codes each axis as four nibble bytes
// on a 4-byte boundary, and 00 00 00 02 there would read as a frame header.
[[nodiscard]] std::vector<TimedSample>
makeGSamples(uint32_t durationUs, std::span<const uint32_t> spikeTimesUs, uint32_t seed);

} // namespace tavero::sim
