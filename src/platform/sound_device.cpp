#include "platform/sound_device.h"

#include <SDL.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

namespace tavero::platform {

SoundOutput::~SoundOutput() = default;

double VolumeGain(int hundredthsDb) {
    if (hundredthsDb <= SoundOutput::kSilentVolume) {
        return 0.0;
    }
    if (hundredthsDb >= SoundOutput::kFullVolume) {
        return 1.0;
    }
    return std::pow(10.0, hundredthsDb / 2000.0);
}

namespace {

// SDL's audio subsystem, set up at most once per process and never shut down: several outputs
// may be open at once, and SDL's init count is not ours to balance.
bool InitSdlAudioOnce(std::string& error) {
    static std::once_flag once;
    static bool ok = false;
    static std::string failure;
    std::call_once(once, [] {
        ok = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
        if (!ok) {
            failure = std::string("SDL audio: ") + SDL_GetError();
        }
    });
    if (!ok) {
        error = failure;
    }
    return ok;
}

// One SDL audio device per output. SDL's audio thread runs the callback, which reads the ring at
// the play cursor; the writer's bytes reach the ring only in Unlock, under m_mutex, so the
// callback never reads bytes that are being written.
class SdlSoundOutput final : public SoundOutput {
public:
    SdlSoundOutput() = default;
    ~SdlSoundOutput() override {
        if (m_device != 0) {
            // Waits for a running callback; m_mutex must not be held here.
            SDL_CloseAudioDevice(m_device);
        }
    }

    bool Init() override {
        if (m_device != 0) {
            return true;
        }
        std::string error;
        if (!InitSdlAudioOnce(error)) {
            setError(error);
            return false;
        }
        SDL_AudioSpec want{};
        want.freq = kSampleRate;
        want.format = AUDIO_S16LSB; // the recorder's sample order
        want.channels = 1;
        want.samples = 256; // 32 ms per callback
        want.callback = &SdlSoundOutput::callback;
        want.userdata = this;
        SDL_AudioSpec have{};
        // No allowed changes: SDL converts to whatever the device plays.
        const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (device == 0) {
            setError(std::string("SDL audio device: ") + SDL_GetError());
            return false;
        }
        m_device = device;
        return true;
    }

    bool CreateBuffer() override {
        if (m_device == 0) {
            setError("no sound device");
            return false;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ring.assign(kBufferBytes, 0);
        m_play = 0;
        m_playing = false;
        return true;
    }

    void ReleaseBuffer() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_playing = false;
        m_play = 0;
        std::vector<std::uint8_t>().swap(m_ring);
    }

    bool Lock(std::uint32_t offset, std::uint32_t bytes, Region& region) override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_ring.empty()) {
                return false;
            }
        }
        if (offset >= kBufferBytes || bytes == 0 || bytes > kBufferBytes) {
            return false;
        }
        // The writer fills a staging copy; Unlock moves it into the ring under the lock.
        m_staging.resize(bytes);
        m_lockOffset = offset;
        const std::uint32_t first = std::min(bytes, kBufferBytes - offset);
        region = Region{m_staging.data(), first, nullptr, 0};
        if (first < bytes) {
            region.second = m_staging.data() + first;
            region.secondBytes = bytes - first;
        }
        return true;
    }

    void Unlock(const Region& region) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_ring.empty() || region.first != m_staging.data()) {
            return; // released in between, or not our region
        }
        std::memcpy(m_ring.data() + m_lockOffset, region.first, region.firstBytes);
        if (region.second != nullptr) {
            std::memcpy(m_ring.data(), region.second, region.secondBytes);
        }
    }

    bool positions(std::uint32_t& play, std::uint32_t& write) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_ring.empty()) {
            return false;
        }
        // The callback copies what it takes, so nothing past the play cursor is committed.
        play = m_play;
        write = m_play;
        return true;
    }

    bool Play() override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_ring.empty()) {
                return false;
            }
            m_playing = true;
        }
        if (!m_started) {
            // A device opens paused; it runs from the first Play on and plays silence while
            // stopped, so Play and Stop never wait for SDL's audio thread.
            SDL_PauseAudioDevice(m_device, 0);
            m_started = true;
        }
        return true;
    }

    void Stop() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_playing = false;
    }

    void SetPosition(std::uint32_t play) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_play = play % kBufferBytes;
    }

    void SetVolume(int hundredthsDb) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_gain = VolumeGain(hundredthsDb);
    }

    bool WaitNotification(int timeoutMs) override {
        std::unique_lock<std::mutex> lock(m_mutex);
        const bool signalled = m_notifyCv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                                   [this] { return m_notified; });
        m_notified = false;
        return signalled;
    }

    void SignalNotification() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_notified = true;
        m_notifyCv.notify_all();
    }

    std::string error() const override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_error;
    }

private:
    static void SDLCALL callback(void* userdata, Uint8* stream, int len) {
        static_cast<SdlSoundOutput*>(userdata)->fill(stream, static_cast<std::uint32_t>(len));
    }

    // SDL's audio thread.
    void fill(std::uint8_t* out, std::uint32_t len) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_playing || m_ring.empty()) {
            std::memset(out, 0, len);
            return;
        }
        const std::uint32_t start = m_play;
        std::uint32_t done = 0;
        while (done < len) {
            const std::uint32_t n = std::min(len - done, kBufferBytes - m_play);
            std::memcpy(out + done, m_ring.data() + m_play, n);
            done += n;
            m_play = (m_play + n) % kBufferBytes;
        }
        applyGain(out, len);
        // The cursor passed a block middle when one lies in (start, start + len], counted
        // without wrapping (the middle past the ring's end is block 0's).
        const std::uint32_t half = kBlockBytes / 2;
        const std::uint32_t firstMiddle =
            start < half ? half : ((start - half) / kBlockBytes + 1) * kBlockBytes + half;
        if (firstMiddle <= start + len) {
            m_notified = true;
            m_notifyCv.notify_all();
        }
    }

    // Under m_mutex.
    void applyGain(std::uint8_t* pcm, std::uint32_t len) const {
        if (m_gain >= 1.0) {
            return;
        }
        if (m_gain <= 0.0) {
            std::memset(pcm, 0, len);
            return;
        }
        for (std::uint32_t i = 0; i + 1 < len; i += 2) {
            const auto sample = static_cast<std::int16_t>(pcm[i] | (pcm[i + 1] << 8));
            const long scaled = std::lround(sample * m_gain);
            const auto clamped = static_cast<std::uint16_t>(
                static_cast<std::int16_t>(std::clamp(scaled, -32768L, 32767L)));
            pcm[i] = static_cast<std::uint8_t>(clamped);
            pcm[i + 1] = static_cast<std::uint8_t>(clamped >> 8);
        }
    }

    void setError(std::string text) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_error = std::move(text);
    }

    // Writer thread only (set in Init, used by the other writer calls and the destructor).
    SDL_AudioDeviceID m_device = 0;
    bool m_started = false;
    std::vector<std::uint8_t> m_staging;
    std::uint32_t m_lockOffset = 0;

    mutable std::mutex m_mutex; // guards everything below; the callback runs under it
    std::condition_variable m_notifyCv;
    std::vector<std::uint8_t> m_ring; // empty: no buffer
    std::uint32_t m_play = 0;
    bool m_playing = false;
    bool m_notified = false;
    double m_gain = 1.0;
    std::string m_error;
};

} // namespace

std::unique_ptr<SoundOutput> CreateSdlSoundOutput() {
    return std::make_unique<SdlSoundOutput>();
}

} // namespace tavero::platform
