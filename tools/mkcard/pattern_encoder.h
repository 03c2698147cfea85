// Moving test pictures for one channel, encoded in-process with libavcodec's libx264 encoder.
//
// Each channel gets its own colours, bar motion and block pattern so that a viewer can tell the
// channels apart at a glance; the frame number is drawn as a row of binary blocks.
#pragma once

#include "mkcard/annexb_splitter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tavero::sim {

struct PatternParams {
    uint8_t channel = 0;
    int width = 640;
    int height = 480;
    int fps = 25;
    int gop = 25;            // key picture interval in frames
    int bitrateKbps = 0;     // 0: a modest rate from the picture size
    uint32_t firstFrame = 0; // frame counter drawn into the first picture
};

// Encodes frameCount pictures (one per video frame, no B pictures, the first one a key picture
// with SPS and PPS). Fails with a clear text when libx264 is not available.
[[nodiscard]] bool encodePattern(const PatternParams& params, uint32_t frameCount,
                                 std::vector<Picture>& out, std::string& error);

} // namespace tavero::sim
