// The demo card: what a short day of driving with a four-camera recorder leaves on its card.
#include "mkcard/card_writer.h"

namespace tavero::sim {

CardSpec demoCardSpec(const std::string& outPath) {
    CardSpec spec;
    spec.kind = OutputKind::CardImage;
    spec.outPath = outPath;
    spec.diskId = 10000;
    spec.blockCount = 32;
    spec.zoneHours = 2;
    spec.gsensor.metaFrames = true;

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
        spec.channels.push_back(channel);
    }
    spec.channels[0].audio.kind = AudioKind::Tone;
    spec.channels[0].audio.toneHz = 440;

    // Three one-minute trips with stops of four and six minutes between them.
    spec.recordings = {
        {{2024, 5, 1, 8, 0, 0}, 60},
        {{2024, 5, 1, 8, 5, 0}, 60},
        {{2024, 5, 1, 8, 12, 0}, 60},
    };
    // A jolt right after the second trip starts (listed as a G-sensor event, not protected) and
    // the driver pressing the button during the third (protected).
    spec.events = {
        {300 + 1, EventType::GSensor, false},
        {720 + 20, EventType::PushButton, true},
    };
    return spec;
}

} // namespace tavero::sim
