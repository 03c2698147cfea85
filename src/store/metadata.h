#pragma once
// Decoders of the measurements the recorder stores beside pictures and sound: the GPS fix (an
// NMEA RMC sentence) and the G-sensor samples.

#include "store/frame_header.h"
#include "store/unit_trailer.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace tavero::store {

struct GpsFix {
    double latitude = 0;  // degrees, north positive
    double longitude = 0; // degrees, east positive
    double speed = 0;     // km/h
    double course = 0;    // degrees, as in the sentence
};

inline constexpr double kKmhPerKnot = 1.852;

// Finds "$GPRMC" (else "$GNRMC") in text and decodes it. False when there is no such sentence,
// no '*', mode indicator 'N', status other than 'A', a malformed position or hemisphere, or
// when the sentence ends before its position fields. Each out pointer may be null; out values
// are only written where their field was reached.
[[nodiscard]] bool ParseRmc(std::string_view text, double* latitude, double* longitude,
                            double* speedKmh, double* course);
[[nodiscard]] bool ParseRmc(std::string_view text, GpsFix& fix);

// The three running lists of G-sensor samples of what is being played.
struct GSampleLists {
    std::vector<std::int32_t> x;
    std::vector<std::int32_t> y;
    std::vector<std::int32_t> z;

    [[nodiscard]] std::size_t size() const { return x.size(); }
    void clear() {
        x.clear();
        y.clear();
        z.clear();
    }
};

// Appends the trailer's first gCount samples; a zero axis value repeats that axis' last value.
void AppendGSamples(const UnitTrailer& trailer, GSampleLists& lists);

// Consumers treat a sample with any axis magnitude above this as 0, 0, 0.
inline constexpr int kMaxPlausibleSample = 360;
[[nodiscard]] GSample PlausibleSample(GSample s);

} // namespace tavero::store
