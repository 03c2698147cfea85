// Builds everything one recording puts on the card, before unit numbers and blocks are known:
// the frame stream of every channel and the list of units in the order the recorder writes them
// (all channels interleaved by time), each with its trailer contents.
//
// Owned by the thread running writeCard().
#pragma once

#include "mkcard/annexb_splitter.h"
#include "mkcard/audio_source.h"
#include "mkcard/card_writer.h"
#include "mkcard/channel_stream.h"
#include "mkcard/sensor_data.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tavero::sim {

struct UnitDraft {
    uint8_t channel = 0;
    uint32_t timeUs = 0; // from the recording's start
    bool channelOff = false;
    size_t stream = 0; // index into RecordingDrafts::streams (unused when channelOff)
    size_t area = 0;   // area of that stream
    uint16_t eventType = 0;
    bool protect = false;
    std::vector<GSample> samples; // at most 50
    std::string gpsText;
};

struct RecordingDrafts {
    std::vector<ChannelStream> streams; // one per channel of the card, in plan order
    std::vector<UnitDraft> units;       // write order
};

class RecordingBuilder {
public:
    explicit RecordingBuilder(const CardSpec& plan) : m_spec(plan) {}

    // Checks and loads the inputs (H.264 files, WAV files, NMEA file). Fills the channel list of
    // the manifest.
    [[nodiscard]] bool prepare(Manifest& manifest, std::string& error);

    // Builds recording r. Frames go to the manifest channels (same order as plan.channels).
    [[nodiscard]] bool build(size_t r, Manifest& manifest, RecordingDrafts& out,
                             std::string& error);

private:
    struct OffSpan {
        uint32_t fromUs = 0;
        uint32_t toUs = 0;
    };

    [[nodiscard]] bool videoItems(size_t c, size_t r, uint32_t durationUs,
                                  std::vector<StreamItem>& items, std::string& error);
    void audioItems(size_t c, size_t r, uint32_t durationUs, std::vector<StreamItem>& items);
    void metaItems(size_t r, uint32_t durationUs, const std::vector<TimedSample>& samples,
                   std::vector<StreamItem>& items);
    [[nodiscard]] std::vector<OffSpan> offSpans(uint8_t channel, size_t r) const;
    [[nodiscard]] bool channelDrafts(size_t c, size_t r, std::vector<StreamItem> items,
                                     RecordingDrafts& out, std::vector<UnitDraft>& drafts,
                                     std::string& error);
    [[nodiscard]] std::string gpsText(size_t r, uint32_t timeUs);
    [[nodiscard]] int64_t recordingOffsetSec(size_t r) const; // wall clock after recording 0

    const CardSpec& m_spec;
    std::vector<std::vector<Picture>> m_filePictures; // per channel, file inputs only
    std::vector<uint32_t> m_patternFrames;            // frames drawn so far, per channel
    std::vector<AudioSource> m_audio;
    GpsTrack m_gps;
    std::vector<uint64_t> m_recordedBefore; // seconds recorded before each recording
    Manifest* m_manifest = nullptr;
};

} // namespace tavero::sim
