#pragma once
// The stream-copy export as the source reader sees it: during an AVI export the reader hands
// every completed picture and sound frame of the chosen channels to the channel's export worker
// instead of queueing it for playback. The workers themselves (the AVI files) live above the
// engine; the player control only holds this interface.
//
// Threads: the source thread calls Write, WriteAudio, HasFileOpen and SetChannelHeader while an
// export runs; the controlling thread calls Reset (at close). Implementations serialise them.

#include <array>
#include <cstdint>
#include <span>

namespace tavero::engine {

// The 16-byte header the reader builds for each frame it hands over, as four host-order words:
// magic, payload size << 8, flags (bits 2-6 frames per second, 0x2000 not a key picture, 0x4000
// and 0x8000 a picture), time (seconds since 1970, low 32 bits).
struct ExportHeader {
    std::array<std::uint32_t, 4> words{};

    static constexpr std::uint32_t kMagic = 0xA5010000;
    static constexpr std::uint32_t kNotKey = 0x2000;
    static constexpr std::uint32_t kVideo = 0x4000 | 0x8000;

    [[nodiscard]] std::uint32_t payloadSize() const { return words[1] >> 8; }
    [[nodiscard]] bool isVideo() const { return (words[2] & 0x4000) != 0; }
    [[nodiscard]] bool isKey() const { return (words[2] & kNotKey) == 0; }
    [[nodiscard]] int fps() const { return static_cast<int>((words[2] >> 2) & 0x1F); }
    [[nodiscard]] std::uint32_t time() const { return words[3]; }
    // Channel header: the stream's resolution code (bits 8-11 of the third word).
    [[nodiscard]] int resolutionCode() const { return static_cast<int>((words[2] >> 8) & 0xF); }
    // Channel header: the audio type (bits 2-3 of the second word); 2 is 16-bit PCM.
    [[nodiscard]] int audioType() const { return static_cast<int>((words[1] >> 2) & 0x3); }

    static ExportHeader Picture(std::uint32_t size, int fps, bool key, std::int64_t timeSeconds);
    static ExportHeader Sound(std::uint32_t size, std::int64_t timeSeconds);
    // The channel's stream description, from the previous one (its second word's low byte is
    // kept), the recorder's video format code (0..15) of the current unit and the time.
    static ExportHeader Channel(const ExportHeader& previous, int videoFormat,
                                std::int64_t timeSeconds);
};

// Resolution code of a recorder video format code; codes outside 0..15 give 0.
[[nodiscard]] int ResolutionCodeOfVideoFormat(int videoFormat);

class ExportOutput {
public:
    virtual ~ExportOutput() = default;
    // True while the channel's worker has a file open (the reader refreshes the channel header
    // before every picture of a channel without one).
    [[nodiscard]] virtual bool HasFileOpen(int channel) const = 0;
    virtual void SetChannelHeader(int channel, const ExportHeader& header) = 0;
    [[nodiscard]] virtual ExportHeader ChannelHeader(int channel) const = 0;
    // A picture or a sound frame with its time stamp (µs, the frame header's; pictures and sound
    // share one clock).
    virtual void Write(int channel, const ExportHeader& header,
                       std::span<const std::uint8_t> payload, std::int64_t ptsUs) = 0;
    virtual void WriteAudio(int channel, const ExportHeader& header,
                            std::span<const std::uint8_t> payload, std::int64_t ptsUs) = 0;
    // Closes every open file and starts the file numbering again (the control closes).
    virtual void Reset() = 0;
};

} // namespace tavero::engine
