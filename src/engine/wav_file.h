#pragma once
// WAV files of the recorder's sound (8000 Hz, mono, 16-bit PCM): a plain writer, and a sound
// output that plays through a device and appends every block written to it to a WAV file.

#include "engine/sound_output.h"
#include "platform/raw_file.h"

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>

namespace tavero::engine {

struct WavError {
    enum class Code {
        None,
        Open,    // the file could not be created
        Write,   // a write failed (disk full, I/O error); what was written before is kept
        TooLong, // the data would pass the format's 4 GiB size field
        NotOpen,
    };
    Code code = Code::None;
    std::string detail;
    std::uint64_t offset = 0; // file offset of a failed write
};

// One file, one thread at a time. The header's sizes are patched by Flush and Close and only
// ever count bytes that were written in full, so the file never claims more data than it holds;
// until the first Flush it claims none. After a failed write the writer refuses further data
// (the first error is kept) but Flush and Close still make the file valid up to that point.
class WavWriter {
public:
    static constexpr std::size_t kHeaderBytes = 44;
    // Largest data size the header's 32-bit RIFF size can describe (with its pad byte).
    static constexpr std::uint32_t kMaxDataBytes = 0xFFFFFFFFu - 36u - 1u;

    WavWriter() = default;
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;
    // Closes an open file; a failure here goes unreported (call Close to learn of it).
    ~WavWriter();

    // Creates or empties the file and writes a header that claims no data.
    [[nodiscard]] bool Open(const std::string& path);
    // Appends PCM bytes; false with lastError() on failure (the bytes then count as not written).
    [[nodiscard]] bool Write(std::span<const std::uint8_t> pcm);
    // Appends count bytes of the given value.
    [[nodiscard]] bool WriteFill(std::uint8_t value, std::size_t count);
    // Patches the header to the data written so far.
    [[nodiscard]] bool Flush();
    // Flush, a pad byte after odd data as the format asks, and close. True only when every
    // write since Open succeeded.
    [[nodiscard]] bool Close();

    [[nodiscard]] bool isOpen() const { return m_file.isOpen(); }
    [[nodiscard]] std::uint32_t dataBytes() const { return m_dataBytes; }
    [[nodiscard]] const std::string& path() const { return m_path; }
    [[nodiscard]] const WavError& lastError() const { return m_error; }

    // The 44-byte header of a file with dataBytes of PCM data.
    [[nodiscard]] static std::array<std::uint8_t, kHeaderBytes> Header(std::uint32_t dataBytes);

private:
    bool fail(WavError::Code code, std::string detail, std::uint64_t offset);
    bool patchHeader(std::uint32_t riffPad);

    platform::RawFile m_file;
    std::string m_path;
    std::uint32_t m_dataBytes = 0;
    bool m_failed = false;
    WavError m_error;
};

// A device output whose every unlocked region is also appended to a WAV file, in the order
// written; the device's volume does not apply to the file. The file is created by Init (after
// the device opened), its header patched by Stop, and it is closed with the output. A failing
// file does not stop the sound: the file's error is kept in error() and writing to it stops.
// Threads as SoundOutput; the file is guarded by its own lock.
class WavTeeOutput final : public SoundOutput {
public:
    WavTeeOutput(std::unique_ptr<SoundOutput> device, std::string wavPath);
    ~WavTeeOutput() override;

    [[nodiscard]] bool Init() override;
    [[nodiscard]] bool CreateBuffer() override { return m_device->CreateBuffer(); }
    void ReleaseBuffer() override { m_device->ReleaseBuffer(); }
    [[nodiscard]] bool Lock(std::uint32_t offset, std::uint32_t bytes, Region& region) override {
        return m_device->Lock(offset, bytes, region);
    }
    void Unlock(const Region& region) override;
    [[nodiscard]] bool positions(std::uint32_t& play, std::uint32_t& write) override {
        return m_device->positions(play, write);
    }
    [[nodiscard]] bool Play() override { return m_device->Play(); }
    void Stop() override;
    void SetPosition(std::uint32_t play) override { m_device->SetPosition(play); }
    void SetVolume(int hundredthsDb) override { m_device->SetVolume(hundredthsDb); }
    [[nodiscard]] bool WaitNotification(int timeoutMs) override {
        return m_device->WaitNotification(timeoutMs);
    }
    void SignalNotification() override { m_device->SignalNotification(); }
    [[nodiscard]] std::string error() const override;

private:
    const std::unique_ptr<SoundOutput> m_device;
    const std::string m_wavPath;
    mutable std::mutex m_wavMutex; // guards m_wav and m_wavError
    WavWriter m_wav;
    std::string m_wavError;
};

} // namespace tavero::engine
