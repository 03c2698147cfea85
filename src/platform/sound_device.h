#pragma once
// Sound output: a looping ring of 16-bit mono PCM at 8000 Hz that a writer fills block by block
// ahead of a play cursor, with a notification each time the cursor passes the middle of a block.
// The interface knows nothing of the engine; the SDL implementation keeps SDL out of this header.

#include <cstdint>
#include <memory>
#include <string>

namespace tavero::platform {

// Threads: one writer thread (the channel's audio worker) calls Init, CreateBuffer, Lock,
// Unlock, positions, Play, WaitNotification and ReleaseBuffer. Stop, SetPosition, SetVolume and
// SignalNotification may come from any thread at any time; implementations guard their state.
class SoundOutput {
public:
    static constexpr int kSampleRate = 8000;
    static constexpr int kBytesPerSecond = 16000;      // mono, 16 bits
    static constexpr std::uint32_t kBlockBytes = 6144; // 0.384 s
    static constexpr std::uint32_t kBlockCount = 124;
    static constexpr std::uint32_t kBufferBytes = 0xBA000; // about 47.6 s
    static_assert(kBlockBytes * kBlockCount == kBufferBytes);
    static constexpr int kSilentVolume = -10000; // hundredths of a dB
    static constexpr int kFullVolume = 0;

    // What Lock hands out: bytes [offset, offset + bytes) of the ring, split in two where they
    // cross the ring's end (second is null then when they do not).
    struct Region {
        std::uint8_t* first = nullptr;
        std::uint32_t firstBytes = 0;
        std::uint8_t* second = nullptr;
        std::uint32_t secondBytes = 0;
    };

    SoundOutput() = default;
    SoundOutput(const SoundOutput&) = delete;
    SoundOutput& operator=(const SoundOutput&) = delete;
    virtual ~SoundOutput();

    // Opens the device; does nothing once it succeeded. False: no sound device (error() says why).
    [[nodiscard]] virtual bool Init() = 0;
    // Makes a silent ring of kBufferBytes, stopped with its play cursor at 0, notifications at
    // kBlockBytes * i + kBlockBytes / 2. Needs a successful Init.
    [[nodiscard]] virtual bool CreateBuffer() = 0;
    // Frees the ring; playback stops. CreateBuffer makes a new one.
    virtual void ReleaseBuffer() = 0;

    // Gives the caller bytes of the ring to write; false without a ring or when offset or bytes
    // lie outside it. Every successful Lock is followed by one Unlock with the same region.
    [[nodiscard]] virtual bool Lock(std::uint32_t offset, std::uint32_t bytes, Region& region) = 0;
    virtual void Unlock(const Region& region) = 0;
    // The play cursor, and the first byte the device has not yet taken for playing (the writer
    // must write at or past it). False without a ring.
    [[nodiscard]] virtual bool positions(std::uint32_t& play, std::uint32_t& write) = 0;

    // Starts looping playback at the play cursor; false without a ring.
    [[nodiscard]] virtual bool Play() = 0;
    // Plays silence from now on; the cursor stays where it is.
    virtual void Stop() = 0;
    virtual void SetPosition(std::uint32_t play) = 0;
    // Hundredths of a decibel, kSilentVolume (or less) to kFullVolume; kept across CreateBuffer.
    virtual void SetVolume(int hundredthsDb) = 0;

    // Waits at most timeoutMs for a notification and consumes it; false on timeout.
    [[nodiscard]] virtual bool WaitNotification(int timeoutMs) = 0;
    // Raises the notification as if the cursor had passed a block middle (ends a wait).
    virtual void SignalNotification() = 0;

    [[nodiscard]] virtual std::string error() const = 0;
};

// The amplitude factor of a volume in hundredths of a decibel: 1 at 0, 0 at -10000 or below;
// above 0 counts as 0 (outputs never amplify).
[[nodiscard]] double VolumeGain(int hundredthsDb);

// An output on the system's default sound device through SDL. Creating it opens nothing; Init
// does (SDL's audio subsystem is set up once per process, from whichever thread comes first).
[[nodiscard]] std::unique_ptr<SoundOutput> CreateSdlSoundOutput();

} // namespace tavero::platform
