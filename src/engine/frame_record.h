#pragma once
// The in-memory description of one queued payload, passed between the source thread and a
// channel's video or audio worker. Always copied whole; the payload itself stays in the queue's
// data area and is never copied before decoding.

#include <array>
#include <cstdint>
#include <cstring>

namespace tavero::engine {

// Kinds the queues and workers tell apart (the frame stream's item codes plus the queue's own).
enum FrameKind : std::uint32_t {
    kKindIgnored = 0,
    kKindEnd = 1,             // end of the data: queued to every channel
    kKindSequenceHeader = 16, // start of a decodable group
    kKindKeyFrame = 17,
    kKindFrame = 18,
    kKindOtherFrame = 19,
    kKindSideRecord = 21,   // uses no ring space accounting
    kKindAudio = 64,        // 16-bit PCM, 8000 Hz mono
    kKindAlwaysQueued = 80, // video record that passes the key-frame gate
    kKindTrailer = 81,      // a 512-byte unit trailer; no ring space accounting
};

struct FrameRecord {
    std::uint8_t* payload = nullptr; // start inside the queue's data area
    std::uint32_t size = 0;          // payload bytes
    std::uint32_t kind = kKindIgnored;
    // Kind-dependent: frames per second of the stream for video frames (0 when unknown), the
    // G-sensor sample index for unit trailers.
    std::int32_t value = 0;
    double speed = 1.0;           // speed at which the frame was read; negative = backwards
    std::int64_t timeSeconds = 0; // wall-clock time of the frame, seconds since 1970
    std::uint32_t lastTime = 0;   // taken over by the video worker as its last time value
    std::array<std::uint8_t, 12> producerData{}; // see RecordUnitNo and RecordGeneration
    std::int64_t ptsUs = 0;                      // presentation time stamp in microseconds
};

// The box reader's producer data: the unit the record came from (bytes 0-3) and the seek
// generation it was read in (bytes 4-7), so that a worker can tell records read before a seek
// from those read after it.
[[nodiscard]] inline std::uint32_t RecordUnitNo(const FrameRecord& r) {
    std::uint32_t v = 0;
    std::memcpy(&v, r.producerData.data(), sizeof v);
    return v;
}
[[nodiscard]] inline std::uint32_t RecordGeneration(const FrameRecord& r) {
    std::uint32_t v = 0;
    std::memcpy(&v, r.producerData.data() + 4, sizeof v);
    return v;
}
inline void StampProducerData(FrameRecord& r, std::uint32_t unitNo, std::uint32_t generation) {
    std::memcpy(r.producerData.data(), &unitNo, sizeof unitNo);
    std::memcpy(r.producerData.data() + 4, &generation, sizeof generation);
}

// Values of a side record (kind 21) in the video queue: what the worker does when it gets there.
enum SideAction : std::int32_t {
    kSideChannelOff = 1, // the recorder switched the camera off: clear and hide the picture
};

} // namespace tavero::engine
