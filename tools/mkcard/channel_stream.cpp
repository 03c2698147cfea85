#include "mkcard/channel_stream.h"

#include <limits>

namespace tavero::sim {

namespace {

// A reader parses a header only when at least 64 bytes of the stream follow it within the data
// it holds; a segment's closing header must therefore not sit in the last bytes of an area.
constexpr size_t kReaderLookahead = 64;

// Largest payload the 7-bit length groups can carry (4 + 4 × 7 bits).
constexpr uint64_t kMaxPayload = std::numeric_limits<uint32_t>::max();

void appendHeader(ChannelStream& stream, const FrameHeaderFields& fields) {
    const size_t at = stream.bytes.size();
    stream.bytes.resize(at + kFrameHeaderSize);
    // The span is exactly 32 bytes; encodeFrameHeader cannot fail on it.
    (void)encodeFrameHeader(fields, std::span(stream.bytes).subspan(at, kFrameHeaderSize));
}

void padTo(ChannelStream& stream, size_t multiple) {
    const size_t rest = stream.bytes.size() % multiple;
    if (rest != 0)
        stream.bytes.resize(stream.bytes.size() + multiple - rest, 0);
}

} // namespace

bool appendSegment(std::span<const StreamItem> items, ChannelStream& stream, std::string& error) {
    if (items.empty())
        return true;
    const size_t firstArea = stream.areaCount();
    // Header offset (within the stream) and time of every frame, to stamp the areas.
    std::vector<std::pair<size_t, uint32_t>> starts;
    starts.reserve(items.size() + 1);
    for (const StreamItem& item : items) {
        if (item.payload.size() > kMaxPayload) {
            error = "frame payload too large for the length field";
            return false;
        }
        const size_t at = stream.bytes.size();
        FrameHeaderFields fields;
        fields.kind = item.kind;
        fields.payloadLength = static_cast<uint32_t>(item.payload.size());
        fields.channel = stream.channel;
        fields.pictureType = item.key ? PictureType::Key : PictureType::Predicted;
        fields.timestampUs =
            item.kind == FrameKind::Video || item.kind == FrameKind::Audio ? item.timeUs : 0;
        appendHeader(stream, fields);
        stream.bytes.insert(stream.bytes.end(), item.payload.begin(), item.payload.end());
        const size_t end = stream.bytes.size();
        padTo(stream, 4);
        starts.emplace_back(at, item.timeUs);
        if (item.frameRef >= 0)
            stream.placements.push_back(
                {item.frameRef, at / kFrameAreaSize, (end - 1) / kFrameAreaSize});
    }

    const size_t room = kFrameAreaSize - stream.bytes.size() % kFrameAreaSize;
    if (room != kFrameAreaSize && room <= kFrameHeaderSize + kReaderLookahead)
        padTo(stream, kFrameAreaSize);
    FrameHeaderFields closing;
    closing.kind = FrameKind::Other;
    closing.channel = stream.channel;
    starts.emplace_back(stream.bytes.size(), items.back().timeUs);
    appendHeader(stream, closing);
    padTo(stream, kFrameAreaSize);

    // Each area takes the time of the first frame whose header starts in it, or else the time
    // of the frame running through it.
    size_t next = 0;
    uint32_t running = starts.front().second;
    for (size_t area = firstArea; area < stream.areaCount(); ++area) {
        const size_t areaEnd = (area + 1) * kFrameAreaSize;
        bool stamped = false;
        uint32_t time = running;
        while (next < starts.size() && starts[next].first < areaEnd) {
            if (!stamped) {
                time = starts[next].second;
                stamped = true;
            }
            running = starts[next].second;
            ++next;
        }
        stream.areaTimeUs.push_back(time);
    }
    return true;
}

} // namespace tavero::sim
