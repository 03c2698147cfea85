// Channel sound for the simulator: 8000 Hz mono 16-bit PCM, either a generated tone or the
// samples of a WAV file (looped). Owned by one thread.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tavero::sim {

inline constexpr int kAudioSampleRate = 8000;
inline constexpr size_t kAudioFrameBytes = 1024; // 512 samples, 64 ms per audio frame

class AudioSource {
public:
    void openTone(double frequencyHz);
    // Accepts only 8000 Hz, mono, 16-bit PCM WAV files.
    [[nodiscard]] bool openWav(const std::string& path, std::string& error);

    // The next count samples, continuing where the previous call stopped.
    void read(size_t count, std::vector<int16_t>& out);

private:
    std::vector<int16_t> m_wav;
    double m_toneHz = 0;
    uint64_t m_position = 0; // samples handed out so far
};

// Little-endian PCM payload of one audio frame. A reader finds frame headers by looking for
// 00 00 00 02 at every 4-byte boundary of the stream, and the payload starts on such a
// boundary; so a sample pair (0, 512), whose bytes are exactly that pattern, has its second
// sample nudged to 513 — an error of one step in 32768, inaudible.
[[nodiscard]] std::vector<uint8_t> pcmPayload(std::span<const int16_t> samples);

} // namespace tavero::sim
