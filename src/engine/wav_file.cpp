#include "engine/wav_file.h"

#include "store/byte_io.h"

#include <algorithm>
#include <vector>

namespace tavero::engine {

namespace {

void StoreLe16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void StoreTag(std::uint8_t* p, const char (&tag)[5]) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(tag[i]);
    }
}

} // namespace

std::array<std::uint8_t, WavWriter::kHeaderBytes> WavWriter::Header(std::uint32_t dataBytes) {
    std::array<std::uint8_t, kHeaderBytes> h{};
    std::uint8_t* p = h.data();
    StoreTag(p, "RIFF");
    store::StoreLe32(p + 4, 36u + dataBytes);
    StoreTag(p + 8, "WAVE");
    StoreTag(p + 12, "fmt ");
    store::StoreLe32(p + 16, 16); // fmt chunk size
    StoreLe16(p + 20, 1);         // PCM
    StoreLe16(p + 22, 1);         // mono
    store::StoreLe32(p + 24, SoundOutput::kSampleRate);
    store::StoreLe32(p + 28, SoundOutput::kBytesPerSecond);
    StoreLe16(p + 32, 2);  // block alignment
    StoreLe16(p + 34, 16); // bits per sample
    StoreTag(p + 36, "data");
    store::StoreLe32(p + 40, dataBytes);
    return h;
}

WavWriter::~WavWriter() {
    if (isOpen()) {
        (void)Close();
    }
}

bool WavWriter::fail(WavError::Code code, std::string detail, std::uint64_t offset) {
    if (!m_failed) {
        m_error = WavError{code, std::move(detail), offset};
    }
    m_failed = true;
    return false;
}

bool WavWriter::Open(const std::string& path) {
    if (isOpen()) {
        (void)Close();
    }
    m_path = path;
    m_dataBytes = 0;
    m_failed = false;
    m_error = WavError{};
    if (!m_file.open(path, platform::OpenMode::ReadWriteCreate)) {
        return fail(WavError::Code::Open, path + ": " + m_file.error(), 0);
    }
    const auto header = Header(0);
    if (!m_file.truncate(0) || !m_file.writeAt(0, header.data(), header.size())) {
        fail(WavError::Code::Open, path + ": " + m_file.error(), 0);
        m_file.close();
        return false;
    }
    return true;
}

bool WavWriter::Write(std::span<const std::uint8_t> pcm) {
    if (!isOpen()) {
        return fail(WavError::Code::NotOpen, "no WAV file open", 0);
    }
    if (m_failed) {
        return false;
    }
    if (pcm.empty()) {
        return true;
    }
    const std::uint64_t offset = kHeaderBytes + std::uint64_t{m_dataBytes};
    if (pcm.size() > kMaxDataBytes - m_dataBytes) {
        return fail(WavError::Code::TooLong, m_path + ": the WAV format holds at most 4 GiB",
                    offset);
    }
    if (!m_file.writeAt(static_cast<std::int64_t>(offset), pcm.data(), pcm.size())) {
        fail(WavError::Code::Write, m_path + ": " + m_file.error(), offset);
        // A partial write may have left bytes behind the counted data; cut them off so the file
        // holds exactly what the header will claim.
        (void)m_file.truncate(static_cast<std::int64_t>(offset));
        return false;
    }
    m_dataBytes += static_cast<std::uint32_t>(pcm.size());
    return true;
}

bool WavWriter::WriteFill(std::uint8_t value, std::size_t count) {
    std::vector<std::uint8_t> chunk(std::min<std::size_t>(count, SoundOutput::kBlockBytes), value);
    while (count > 0) {
        const std::size_t n = std::min(count, chunk.size());
        if (!Write(std::span<const std::uint8_t>(chunk.data(), n))) {
            return false;
        }
        count -= n;
    }
    return true;
}

bool WavWriter::patchHeader(std::uint32_t riffPad) {
    auto header = Header(m_dataBytes);
    store::StoreLe32(header.data() + 4, 36u + m_dataBytes + riffPad);
    if (!m_file.writeAt(0, header.data(), header.size())) {
        return fail(WavError::Code::Write, m_path + ": " + m_file.error(), 0);
    }
    return true;
}

bool WavWriter::Flush() {
    if (!isOpen()) {
        return fail(WavError::Code::NotOpen, "no WAV file open", 0);
    }
    return patchHeader(0) && !m_failed;
}

bool WavWriter::Close() {
    if (!isOpen()) {
        return fail(WavError::Code::NotOpen, "no WAV file open", 0);
    }
    std::uint32_t pad = 0;
    if ((m_dataBytes & 1u) != 0) {
        const std::uint8_t zero = 0;
        const std::uint64_t offset = kHeaderBytes + std::uint64_t{m_dataBytes};
        if (m_file.writeAt(static_cast<std::int64_t>(offset), &zero, 1)) {
            pad = 1;
        } else {
            fail(WavError::Code::Write, m_path + ": " + m_file.error(), offset);
        }
    }
    const bool patched = patchHeader(pad);
    m_file.close();
    return patched && !m_failed;
}

WavTeeOutput::WavTeeOutput(std::unique_ptr<SoundOutput> device, std::string wavPath)
    : m_device(std::move(device)), m_wavPath(std::move(wavPath)) {}

WavTeeOutput::~WavTeeOutput() {
    std::lock_guard<std::mutex> lock(m_wavMutex);
    if (m_wav.isOpen()) {
        (void)m_wav.Close();
    }
}

bool WavTeeOutput::Init() {
    if (!m_device->Init()) {
        return false;
    }
    std::lock_guard<std::mutex> lock(m_wavMutex);
    if (!m_wav.isOpen() && m_wavError.empty() && !m_wav.Open(m_wavPath)) {
        m_wavError = m_wav.lastError().detail;
    }
    return true;
}

void WavTeeOutput::Unlock(const Region& region) {
    {
        std::lock_guard<std::mutex> lock(m_wavMutex);
        if (m_wav.isOpen() && m_wavError.empty()) {
            const bool ok =
                m_wav.Write(std::span<const std::uint8_t>(region.first, region.firstBytes)) &&
                (region.second == nullptr ||
                 m_wav.Write(std::span<const std::uint8_t>(region.second, region.secondBytes)));
            if (!ok) {
                m_wavError = m_wav.lastError().detail;
            }
        }
    }
    m_device->Unlock(region);
}

void WavTeeOutput::Stop() {
    m_device->Stop();
    std::lock_guard<std::mutex> lock(m_wavMutex);
    if (m_wav.isOpen() && !m_wav.Flush() && m_wavError.empty()) {
        m_wavError = m_wav.lastError().detail;
    }
}

std::string WavTeeOutput::error() const {
    {
        std::lock_guard<std::mutex> lock(m_wavMutex);
        if (!m_wavError.empty()) {
            return m_wavError;
        }
    }
    return m_device->error();
}

} // namespace tavero::engine
