// The demo card: what a short day of driving with a four-camera recorder leaves on its card.
#include "mkcard/card_writer.h"

namespace tavero::sim {

CardSpec demoCardSpec(const std::string& outPath) {
    CardSpec plan;
    plan.kind = OutputKind::CardImage;
    plan.outPath = outPath;
    plan.diskId = 10000;
    plan.blockCount = 32;
    plan.zoneHours = 2;
    plan.gsensor.metaFrames = true;

    // Two front/rear HD cameras and two cabin cameras, each with its own look.
    for (uint8_t c = 0; c < 4; ++c) {
        ChannelSpec channel;
        channel.channel = c;
        const bool hd = c < 2;
        channel.width = hd ? 1280 : 640;
        channel.height = hd ? 720 : 480;
        channel.fps = hd ? 25 : 30;
        channel.gop = channel.fps;
        channel.bitrateKbps = hd ? 550 : 250; // each trip fits one 16 MiB block
        channel.videoFormat = hd ? 0 : 1;
        plan.channels.push_back(channel);
    }
    plan.channels[0].audio.kind = AudioKind::Tone;
    plan.channels[0].audio.toneHz = 440;

    // Three one-minute trips with stops of four and six minutes between them.
    plan.recordings = {
        {{2024, 5, 1, 8, 0, 0}, 60},
        {{2024, 5, 1, 8, 5, 0}, 60},
        {{2024, 5, 1, 8, 12, 0}, 60},
    };
    // A jolt right after the second trip starts (listed as a G-sensor event, not protected) and
    // the driver pressing the button during the third (protected).
    plan.events = {
        {300 + 1, EventType::GSensor, false},
        {720 + 20, EventType::PushButton, true},
    };
    return plan;
}

} // namespace tavero::sim
