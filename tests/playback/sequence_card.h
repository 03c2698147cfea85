#pragma once
// A card for sequences of user actions: three recordings with time between them, the first one
// closed in the index with the second one's start time (its units end earlier), a camera
// switched off for a while, sound on channel 0 and, when the corpus is there, a B-frame stream
// on channel 1.

#include "mkcard/card_writer.h"

#include <cstdint>
#include <string>

namespace tavero::testing {

struct SequenceCard {
    std::string image;
    sim::Manifest manifest;
    std::int64_t start[3] = {}; // recording starts, seconds as the engine reads them
    std::int64_t end[3] = {};   // the last unit's time of each recording
    std::int64_t offFrom = 0;   // channel 1 switched off over [offFrom, offTo)
    std::int64_t offTo = 0;
    bool bFrames = false; // channel 1 carries the corpus's B-frame stream
};

// Writes the card to path; false with error.
[[nodiscard]] bool MakeSequenceCard(const std::string& path, int secondsPerRecording,
                                    SequenceCard& card, std::string& error);

} // namespace tavero::testing
