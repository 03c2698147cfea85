// Fuzz target: the reader's frame parser over a channel's queues, forwards and backwards: the
// input is cut into unit frame areas (the last one short), so frames start in one unit and end
// in another, and what the parser queues is taken out as the workers would take it.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "engine/audio_queue.h"
#include "engine/frame_parser.h"
#include "engine/video_queue.h"
#include "store/unit_trailer.h"

using namespace tavero::engine;

namespace {

class NoHandOver final : public AudioHandOver {
public:
    bool HandAudio(int, std::span<const std::uint8_t>, std::int64_t) override { return true; }
    void PictureQueued(int) override {}
    void TextDecoded(const std::string&) override {}
    void ExportPicture(int, std::uint32_t, std::span<const std::uint8_t>, std::int64_t,
                       const UnitStamp&) override {}
    void ExportSound(int, std::span<const std::uint8_t>, std::int64_t, const UnitStamp&) override {}
};

struct Queues {
    Queues() {
        (void)video.Init(std::size_t{512} << 10, std::size_t{64} << 10, false);
        (void)audio.Init(std::size_t{256} << 10, std::size_t{16} << 10, false);
    }
    CVBuffer2 video;
    CABuffer2 audio;
    NoHandOver handOver;
};

Queues g_queues;

void Drain() {
    FrameRecord r;
    while (g_queues.video.Pop(r)) {
    }
    while (g_queues.audio.Pop(r)) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const bool backwards = (data[0] & 1) != 0;
    // Small units keep runs fast; the parser sees the same kinds of boundaries.
    const std::size_t unit = std::min<std::size_t>(tavero::store::kFrameAreaSize, 512 + data[0] * 8);
    ChannelParse c;
    c.channel = 0;
    c.video = &g_queues.video;
    c.audio = &g_queues.audio;
    c.handOver = &g_queues.handOver;
    // Asked only while the parser waits for room: the workers take what is queued. A parser
    // that still finds no room after that is stuck on the input, as a reader would be on a
    // card holding these bytes: a finding.
    int waits = 0;
    c.keepGoing = [&waits] {
        Drain();
        if (++waits > 50) {
            std::fprintf(stderr, "the parser waits for room that never comes\n");
            std::abort();
        }
        return true;
    };
    c.ResetForDirection(backwards ? -1 : 1);
    const std::span<const std::uint8_t> bytes(data + 1, size - 1);
    std::vector<std::span<const std::uint8_t>> units;
    for (std::size_t at = 0; at < bytes.size(); at += unit) {
        units.push_back(bytes.subspan(at, std::min(unit, bytes.size() - at)));
    }
    if (backwards) {
        std::reverse(units.begin(), units.end());
    }
    std::uint32_t unitNo = 1;
    for (const auto& area : units) {
        c.stamp.unitNo = unitNo++;
        c.stamp.speed = backwards ? -1.0 : 1.0;
        waits = 0; // a stall is many waits within one unit
        const bool ok = backwards ? ParseBackward(c, area) : ParseForward(c, area);
        Drain();
        if (!ok) {
            break;
        }
    }
    c.DropPartial();
    Drain();
    return 0;
}
