#include "mkcard/audio_source.h"

#include <cmath>
#include <fstream>
#include <iterator>
#include <numbers>

namespace tavero::sim {

namespace {

uint32_t readLe32(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
           static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

uint16_t readLe16(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

} // namespace

void AudioSource::openTone(double frequencyHz) {
    m_wav.clear();
    m_toneHz = frequencyHz;
    m_position = 0;
}

bool AudioSource::openWav(const std::string& path, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open WAV file " + path;
        return false;
    }
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                     std::istreambuf_iterator<char>());
    if (bytes.size() < 12 || std::string(bytes.begin(), bytes.begin() + 4) != "RIFF" ||
        std::string(bytes.begin() + 8, bytes.begin() + 12) != "WAVE") {
        error = path + " is not a RIFF/WAVE file";
        return false;
    }
    bool formatOk = false;
    bool haveFormat = false;
    size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const std::string id(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                             bytes.begin() + static_cast<std::ptrdiff_t>(at + 4));
        const uint32_t size = readLe32(bytes, at + 4);
        const size_t body = at + 8;
        if (size > bytes.size() - body) {
            error = path + ": WAV chunk '" + id + "' runs past the end of the file";
            return false;
        }
        if (id == "fmt " && size >= 16) {
            haveFormat = true;
            formatOk = readLe16(bytes, body) == 1 && readLe16(bytes, body + 2) == 1 &&
                       readLe32(bytes, body + 4) == kAudioSampleRate &&
                       readLe16(bytes, body + 14) == 16;
        } else if (id == "data") {
            if (!haveFormat || !formatOk) {
                error = path + ": WAV must be 8000 Hz mono 16-bit PCM";
                return false;
            }
            m_wav.clear();
            for (size_t i = 0; i + 1 < size; i += 2)
                m_wav.push_back(static_cast<int16_t>(readLe16(bytes, body + i)));
            if (m_wav.empty()) {
                error = path + ": WAV has no samples";
                return false;
            }
            m_toneHz = 0;
            m_position = 0;
            return true;
        }
        at = body + size + (size & 1); // chunks are padded to even sizes
    }
    error = path + ": WAV has no data chunk";
    return false;
}

void AudioSource::read(size_t count, std::vector<int16_t>& out) {
    out.reserve(out.size() + count);
    for (size_t i = 0; i < count; ++i, ++m_position) {
        if (!m_wav.empty()) {
            out.push_back(m_wav[m_position % m_wav.size()]);
            continue;
        }
        // Amplitude about a quarter of full scale; the phase runs on across recordings.
        const double phase =
            2.0 * std::numbers::pi * m_toneHz * static_cast<double>(m_position) / kAudioSampleRate;
        out.push_back(static_cast<int16_t>(std::lround(8000.0 * std::sin(phase))));
    }
}

std::vector<uint8_t> pcmPayload(std::span<const int16_t> samples) {
    std::vector<uint8_t> payload;
    payload.reserve(samples.size() * 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        int16_t sample = samples[i];
        if (i % 2 == 1 && sample == 512 && samples[i - 1] == 0)
            sample = 513;
        const auto bits = static_cast<uint16_t>(sample);
        payload.push_back(static_cast<uint8_t>(bits));
        payload.push_back(static_cast<uint8_t>(bits >> 8));
    }
    return payload;
}

} // namespace tavero::sim
