#include "mkcard/recording_builder.h"

#include "mkcard/pattern_encoder.h"

#include <algorithm>
#include <cmath>

namespace tavero::sim {

namespace {

constexpr uint32_t kMicrosPerSecond = 1000000;
constexpr uint32_t kGSamplesPerUnitMax = static_cast<uint32_t>(kMaxGSamplesPerUnit);

uint32_t frameTimeUs(uint64_t index, int fps) {
    return static_cast<uint32_t>(index * kMicrosPerSecond / static_cast<uint64_t>(fps));
}

} // namespace

int64_t RecordingBuilder::recordingOffsetSec(size_t r) const {
    return wallToSeconds(m_spec.recordings[r].start) - wallToSeconds(m_spec.recordings[0].start);
}

bool RecordingBuilder::prepare(Manifest& manifest, std::string& error) {
    m_manifest = &manifest;
    uint64_t recorded = 0;
    for (const RecordingSpec& recording : m_spec.recordings) {
        m_recordedBefore.push_back(recorded);
        recorded += recording.durationSec;
    }
    m_filePictures.resize(m_spec.channels.size());
    m_patternFrames.assign(m_spec.channels.size(), 0);
    m_audio.resize(m_spec.channels.size());
    for (size_t c = 0; c < m_spec.channels.size(); ++c) {
        const ChannelSpec& channel = m_spec.channels[c];
        if (channel.source == VideoSource::File) {
            std::vector<Picture>& pictures = m_filePictures[c];
            if (!splitAnnexBFile(channel.filePath, pictures, error))
                return false;
            // A recording must open on a key picture; leading pictures that depend on earlier
            // ones are of no use to a reader.
            const auto firstKey = std::find_if(pictures.begin(), pictures.end(),
                                               [](const Picture& p) { return p.key; });
            if (firstKey == pictures.end()) {
                error = channel.filePath + " holds no key (IDR) picture";
                return false;
            }
            pictures.erase(pictures.begin(), firstKey);
        }
        if (channel.audio.kind == AudioKind::Tone)
            m_audio[c].openTone(channel.audio.toneHz);
        else if (channel.audio.kind == AudioKind::Wav &&
                 !m_audio[c].openWav(channel.audio.wavPath, error))
            return false;

        ManifestChannel entry;
        entry.channel = channel.channel;
        if (channel.source == VideoSource::Pattern) {
            entry.width = channel.width;
            entry.height = channel.height;
        }
        entry.fps = channel.fps;
        entry.videoFormat = channel.videoFormat;
        entry.audio = channel.audio.kind != AudioKind::None;
        manifest.channels.push_back(std::move(entry));
    }
    if (m_spec.gps.source == GpsSource::NmeaFile)
        return m_gps.openNmeaFile(m_spec.gps.nmeaPath, error);
    m_gps.openGenerated();
    return true;
}

std::vector<RecordingBuilder::OffSpan> RecordingBuilder::offSpans(uint8_t channel, size_t r) const {
    const double offset = static_cast<double>(recordingOffsetSec(r));
    const double duration = m_spec.recordings[r].durationSec;
    std::vector<OffSpan> spans;
    for (const ChannelOffSpan& span : m_spec.hard.channelOff) {
        if (span.channel != channel)
            continue;
        const double from = std::max(0.0, span.fromSec - offset);
        const double to = std::min(duration, span.toSec - offset);
        if (to > from)
            spans.push_back({static_cast<uint32_t>(std::llround(from * kMicrosPerSecond)),
                             static_cast<uint32_t>(std::llround(to * kMicrosPerSecond))});
    }
    std::sort(spans.begin(), spans.end(),
              [](const OffSpan& a, const OffSpan& b) { return a.fromUs < b.fromUs; });
    std::vector<OffSpan> merged;
    for (const OffSpan& span : spans) {
        if (!merged.empty() && span.fromUs <= merged.back().toUs)
            merged.back().toUs = std::max(merged.back().toUs, span.toUs);
        else
            merged.push_back(span);
    }
    return merged;
}

bool RecordingBuilder::videoItems(size_t c, size_t r, uint32_t durationUs,
                                  std::vector<StreamItem>& items, std::string& error) {
    const ChannelSpec& channel = m_spec.channels[c];
    const auto frameCount = static_cast<uint32_t>(
        uint64_t{durationUs} * static_cast<uint64_t>(channel.fps) / kMicrosPerSecond);
    std::vector<Picture> pictures;
    if (channel.source == VideoSource::Pattern) {
        PatternParams params;
        params.channel = channel.channel;
        params.width = channel.width;
        params.height = channel.height;
        params.fps = channel.fps;
        params.gop = channel.gop;
        params.bitrateKbps = channel.bitrateKbps;
        params.firstFrame = m_patternFrames[c];
        if (!encodePattern(params, frameCount, pictures, error))
            return false;
        if (pictures.size() != frameCount) {
            error = "the H.264 encoder returned " + std::to_string(pictures.size()) +
                    " pictures for " + std::to_string(frameCount) + " frames";
            return false;
        }
        m_patternFrames[c] += frameCount;
    } else {
        // Each recording replays the file from its first key picture.
        const std::vector<Picture>& source = m_filePictures[c];
        for (uint32_t i = 0; i < frameCount; ++i)
            pictures.push_back(source[i % source.size()]);
    }

    const std::vector<OffSpan> spans = offSpans(channel.channel, r);
    bool waitForKey = false;
    for (uint32_t i = 0; i < pictures.size(); ++i) {
        const uint32_t time = frameTimeUs(i, channel.fps);
        const bool off = std::any_of(spans.begin(), spans.end(), [time](const OffSpan& s) {
            return time >= s.fromUs && time < s.toUs;
        });
        // After a switched-off stretch the stream resumes at a key picture, as a reader resets
        // the channel there.
        if (off) {
            waitForKey = true;
            continue;
        }
        if (waitForKey && !pictures[i].key)
            continue;
        waitForKey = false;
        StreamItem item;
        item.kind = FrameKind::Video;
        item.timeUs = time;
        item.key = pictures[i].key;
        item.payload = std::move(pictures[i].bytes);
        items.push_back(std::move(item));
    }
    return true;
}

void RecordingBuilder::audioItems(size_t c, size_t r, uint32_t durationUs,
                                  std::vector<StreamItem>& items) {
    const ChannelSpec& channel = m_spec.channels[c];
    if (channel.audio.kind == AudioKind::None)
        return;
    constexpr size_t kSamplesPerFrame = kAudioFrameBytes / 2;
    const uint64_t totalSamples = uint64_t{durationUs} * kAudioSampleRate / kMicrosPerSecond;
    const std::vector<OffSpan> spans = offSpans(channel.channel, r);
    for (uint64_t first = 0; first < totalSamples; first += kSamplesPerFrame) {
        std::vector<int16_t> samples;
        m_audio[c].read(kSamplesPerFrame, samples);
        const auto time = static_cast<uint32_t>(first * kMicrosPerSecond / kAudioSampleRate);
        const bool off = std::any_of(spans.begin(), spans.end(), [time](const OffSpan& s) {
            return time >= s.fromUs && time < s.toUs;
        });
        if (off)
            continue;
        StreamItem item;
        item.kind = FrameKind::Audio;
        item.timeUs = time;
        item.payload = pcmPayload(samples);
        items.push_back(std::move(item));
    }
}

void RecordingBuilder::metaItems(size_t r, uint32_t durationUs,
                                 const std::vector<TimedSample>& samples,
                                 std::vector<StreamItem>& items) {
    const std::vector<OffSpan> spans = offSpans(0, r);
    for (uint32_t time = 0; time < durationUs; time += kMicrosPerSecond) {
        const bool off = std::any_of(spans.begin(), spans.end(), [time](const OffSpan& s) {
            return time >= s.fromUs && time < s.toUs;
        });
        if (off)
            continue;
        const auto sample = std::find_if(samples.begin(), samples.end(),
                                         [time](const TimedSample& s) { return s.timeUs >= time; });
        if (sample != samples.end()) {
            StreamItem item;
            item.kind = FrameKind::GSample;
            item.timeUs = time;
            const auto payload = encodeGSampleFrame(sample->sample);
            item.payload.assign(payload.begin(), payload.end());
            items.push_back(std::move(item));
        }
        const std::string text = gpsText(r, time);
        if (!text.empty()) {
            StreamItem item;
            item.kind = FrameKind::Text;
            item.timeUs = time;
            item.payload = encodeTextFrame(text);
            items.push_back(std::move(item));
        }
    }
}

std::string RecordingBuilder::gpsText(size_t r, uint32_t timeUs) {
    if (m_spec.gps.source == GpsSource::None)
        return {};
    const uint32_t second = timeUs / kMicrosPerSecond;
    const int64_t wall = wallToSeconds(m_spec.recordings[r].start) + second;
    const WallTime utc = secondsToWall(wall - int64_t{m_spec.zoneHours} * 3600);
    return m_gps.sentence(m_recordedBefore[r] + second, utc);
}

bool RecordingBuilder::channelDrafts(size_t c, size_t r, std::vector<StreamItem> items,
                                     RecordingDrafts& out, std::vector<UnitDraft>& drafts,
                                     std::string& error) {
    const ChannelSpec& channel = m_spec.channels[c];
    std::stable_sort(items.begin(), items.end(),
                     [](const StreamItem& a, const StreamItem& b) { return a.timeUs < b.timeUs; });
    ManifestChannel& manifestChannel = m_manifest->channels[c];
    for (StreamItem& item : items) {
        if (item.kind != FrameKind::Video && item.kind != FrameKind::Audio)
            continue;
        ManifestFrame frame;
        frame.media = item.kind == FrameKind::Video ? FrameMedia::Video : FrameMedia::Audio;
        frame.recording = static_cast<uint32_t>(r);
        frame.size = static_cast<uint32_t>(item.payload.size());
        frame.key = item.key;
        frame.timestampUs = item.timeUs;
        frame.hash = payloadHash(item.payload);
        item.frameRef = static_cast<int>(manifestChannel.frames.size());
        manifestChannel.frames.push_back(frame);
    }

    ChannelStream& stream = out.streams[c];
    stream.channel = channel.channel;
    std::vector<StreamItem> segment;
    auto flush = [&]() {
        const size_t before = stream.areaCount();
        if (!appendSegment(segment, stream, error))
            return false;
        for (size_t area = before; area < stream.areaCount(); ++area) {
            UnitDraft draft;
            draft.channel = channel.channel;
            draft.timeUs = stream.areaTimeUs[area];
            draft.stream = c;
            draft.area = area;
            drafts.push_back(std::move(draft));
        }
        segment.clear();
        return true;
    };
    // A switched-off channel leaves one empty unit per second, flagged channelOff.
    auto emitOff = [&](const OffSpan& span) {
        for (uint64_t time = span.fromUs; time < span.toUs; time += kMicrosPerSecond) {
            UnitDraft draft;
            draft.channel = channel.channel;
            draft.timeUs = static_cast<uint32_t>(time);
            draft.channelOff = true;
            drafts.push_back(std::move(draft));
        }
    };
    const std::vector<OffSpan> spans = offSpans(channel.channel, r);
    size_t nextSpan = 0;
    for (StreamItem& item : items) {
        while (nextSpan < spans.size() && item.timeUs >= spans[nextSpan].fromUs) {
            if (!flush())
                return false;
            emitOff(spans[nextSpan++]);
        }
        segment.push_back(std::move(item));
    }
    if (!flush())
        return false;
    for (; nextSpan < spans.size(); ++nextSpan)
        emitOff(spans[nextSpan]);
    return true;
}

bool RecordingBuilder::build(size_t r, Manifest& manifest, RecordingDrafts& out,
                             std::string& error) {
    m_manifest = &manifest;
    const RecordingSpec& recording = m_spec.recordings[r];
    const uint32_t durationUs = recording.durationSec * kMicrosPerSecond;
    const double offset = static_cast<double>(recordingOffsetSec(r));
    auto inRecording = [&](const EventSpec& event) {
        return event.offsetSec >= offset && event.offsetSec < offset + recording.durationSec;
    };

    std::vector<uint32_t> spikes;
    for (const EventSpec& event : m_spec.events) {
        if (event.type == EventType::GSensor && inRecording(event))
            spikes.push_back(
                static_cast<uint32_t>(std::llround((event.offsetSec - offset) * kMicrosPerSecond)));
    }
    std::vector<TimedSample> samples;
    if (m_spec.gsensor.enabled)
        samples = makeGSamples(durationUs, spikes, static_cast<uint32_t>(r + 1));

    out.streams.assign(m_spec.channels.size(), ChannelStream{});
    out.units.clear();
    std::vector<std::vector<UnitDraft>> perChannel(m_spec.channels.size());
    for (size_t c = 0; c < m_spec.channels.size(); ++c) {
        std::vector<StreamItem> items;
        if (!videoItems(c, r, durationUs, items, error))
            return false;
        audioItems(c, r, durationUs, items);
        if (m_spec.gsensor.metaFrames && m_spec.channels[c].channel == 0)
            metaItems(r, durationUs, samples, items);
        if (!channelDrafts(c, r, std::move(items), out, perChannel[c], error))
            return false;
    }

    // Interleave the channels by unit time, keeping each channel's own order; ties go to the
    // channel listed first.
    std::vector<size_t> next(perChannel.size(), 0);
    for (;;) {
        size_t best = perChannel.size();
        for (size_t c = 0; c < perChannel.size(); ++c) {
            if (next[c] < perChannel[c].size() &&
                (best == perChannel.size() ||
                 perChannel[c][next[c]].timeUs < perChannel[best][next[best]].timeUs))
                best = c;
        }
        if (best == perChannel.size())
            break;
        out.units.push_back(std::move(perChannel[best][next[best]++]));
    }
    if (out.units.empty()) {
        error = "recording " + std::to_string(r + 1) + " produced no units";
        return false;
    }

    // An event marks the first unit at or after its moment that carries no other event.
    for (const EventSpec& event : m_spec.events) {
        if (!inRecording(event))
            continue;
        const auto target =
            static_cast<uint32_t>(std::llround((event.offsetSec - offset) * kMicrosPerSecond));
        auto unit = std::find_if(out.units.begin(), out.units.end(), [target](const UnitDraft& u) {
            return u.timeUs >= target && u.eventType == 0;
        });
        if (unit == out.units.end()) {
            unit = std::find_if(out.units.rbegin(), out.units.rend(), [](const UnitDraft& u) {
                       return u.eventType == 0;
                   }).base();
            if (unit == out.units.begin()) {
                error = "no unit left to carry an event in recording " + std::to_string(r + 1);
                return false;
            }
            --unit;
        }
        unit->eventType = static_cast<uint16_t>(event.type);
        unit->protect = event.protect;
    }

    // Each unit carries the samples taken from its own time up to the next unit's.
    size_t sample = 0;
    for (size_t u = 0; u < out.units.size(); ++u) {
        const uint32_t end = u + 1 < out.units.size() ? out.units[u + 1].timeUs : durationUs;
        while (sample < samples.size() && samples[sample].timeUs < end) {
            if (out.units[u].samples.size() < kGSamplesPerUnitMax)
                out.units[u].samples.push_back(samples[sample].sample);
            ++sample;
        }
        out.units[u].gpsText = gpsText(r, out.units[u].timeUs);
    }
    return true;
}

} // namespace tavero::sim
