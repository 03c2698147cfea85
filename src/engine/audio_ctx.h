#pragma once
// CAudioCtx: one channel's audio worker. It takes the channel's audio frame records and streams
// their PCM samples into the looping ring of a sound output, 6144 bytes at a time. Channel 0's
// worker also keeps the control's playback clock and anchors the clock the video channels follow.
//
// Unpaced mode (command-line tool, tests): no output, no blocks; every PCM record goes straight
// into "chN.wav" (N = channel index) in a folder as fast as records arrive.

#include "engine/frame_record.h"
#include "engine/sound_output.h"
#include "engine/thread_base.h"
#include "engine/tick_source.h"
#include "engine/wav_file.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace tavero::engine {

class CABuffer2;
class COzuCtrl;

// Decodes from data (count bytes, codec code) into out, at most outBytes; outBytes becomes the
// bytes produced, the result is the input bytes consumed. PCM (kKindAudio) copies whole samples,
// min(count, outBytes) rounded down to even; a record's dangling odd last byte is consumed
// without output, so the samples that follow keep their alignment. Any other code is silence:
// all of outBytes becomes fill and the whole input counts as consumed.
std::uint32_t DecodeAudio(std::uint8_t* out, std::uint32_t& outBytes, const std::uint8_t* data,
                          std::uint32_t count, std::uint32_t codec, std::uint8_t fill);

// The volume the engine applies for a requested one (hundredths of a dB): -2700 and below is
// silence (-10000); the rest is kept within -10000..0.
[[nodiscard]] int EngineVolume(int hundredthsDb);

// True when the write position (start of the block just written) lies behind both device cursors,
// taking the ring's wrap into account: the device has already played past where the writer is.
// A writer legitimately runs at most a few blocks ahead, so "behind" means more than half a ring
// ahead of a cursor.
[[nodiscard]] bool WriterBehind(std::uint32_t write, std::uint32_t play, std::uint32_t deviceWrite);

enum class AudioTimeCheck {
    Play, // decode it
    Mute, // too far from the playback clock: silence instead
    Hold, // 2 to 5 s ahead of the clock: keep it for a later block
};
// The rule for a worker of a channel other than 0: d = clock - record time (seconds, low 32
// bits, wrap-safe); mute when d > 2 or d < -5, hold when -5 <= d < -1.
[[nodiscard]] AudioTimeCheck CheckAudioTime(std::int64_t clockSeconds, std::int64_t recordSeconds);

// Owned by the player control, one per channel, created with it. StartWith, Start, Stop,
// SetOutputFactory and SetUnpacedWavFolder belong to the controlling thread; SetVolume,
// RebaseClock, SetPaused and Discard may come from any thread (atomics, the rebase under
// m_rebaseMutex). Everything else, the output's writer side included, is the worker thread's
// while it runs and the controlling thread's otherwise.
class CAudioCtx final : public CMyThread {
public:
    static constexpr std::uint32_t kBlockBytes = SoundOutput::kBlockBytes;
    static constexpr std::uint32_t kBufferBytes = SoundOutput::kBufferBytes;
    static constexpr int kStartDelayMs = 200;
    static constexpr int kNotifyTimeoutMs = 1000;
    static constexpr int kRetryMs = 10;
    // The worker's own media base and start tick move on together by this much of run time.
    static constexpr std::int64_t kBaseMoveMs = 300'000;
    static constexpr std::int64_t kBaseMoveUs = 300'000'000;
    // Silence in 16-bit signed PCM.
    static constexpr std::uint8_t kSilenceByte = 0;

    // The factory makes the output at the first StartWith that needs one (empty: the system's
    // sound device); ticks default to the system's.
    explicit CAudioCtx(COzuCtrl& owner, SoundOutputFactory factory = {},
                       const TickSource* ticks = nullptr);
    ~CAudioCtx() override;

    // Takes effect when the worker next makes its output (once per worker).
    void SetOutputFactory(SoundOutputFactory factory) { m_factory = std::move(factory); }
    // Non-empty: the next StartWith runs unpaced into folder/chN.wav; empty: back to the output.
    void SetUnpacedWavFolder(std::string folder) {
        m_unpacedMode = !folder.empty();
        m_wavFolder = std::move(folder);
    }
    // Unpaced without WAV files (headless runs that want no sound): the next StartWith takes the
    // records and drops them, and never opens a sound device.
    void SetUnpacedSilent() {
        m_unpacedMode = true;
        m_wavFolder.clear();
    }
    // Unpaced mode writes only the sound of the first durationUs microseconds of the channel's
    // records (by their time stamps); 0 writes everything.
    void SetUnpacedDurationUs(std::int64_t durationUs) { m_unpacedDurationUs = durationUs; }

    // Starts streaming the channel's queue. True without a thread when the channel's sound is
    // off, or when there is no sound device (the queue then drops its audio). False when the
    // output's ring cannot be made, the WAV file of unpaced mode cannot be created, or a thread
    // of this worker is still running.
    [[nodiscard]] bool StartWith(int channel, CABuffer2* queue);
    // StartWith channel 0 without a queue: the output plays silence.
    [[nodiscard]] bool Start() override;
    // Ends the thread (waiting at most timeoutMs), then stops the output and rewinds it. The
    // ring is kept for the next start. In unpaced mode the thread first writes what is still
    // queued, then finalises the WAV file.
    void Stop(int timeoutMs) override;
    int Run() override;

    void SetVolume(int hundredthsDb);
    [[nodiscard]] int volume() const { return m_volume.load(); }
    // The sound was repositioned: channel 0's worker anchors the channels' clock base at media
    // time mediaTimeUs, latencyMs after the next block with sound is written. The control's own
    // pending rebase (COzuCtrl::RebaseAudioClock) is taken the same way.
    void RebaseClock(std::int64_t mediaTimeUs, int latencyMs);
    // Set by the channel's video worker while paused: records are left queued, silence plays.
    void SetPaused(bool paused) { m_paused.store(paused); }
    [[nodiscard]] bool paused() const { return m_paused.load(); }
    // After a seek: the worker drops what it has and makes a fresh ring before its next block.
    void Discard() { m_discard.store(true); }

    [[nodiscard]] int channel() const { return m_channel; }
    [[nodiscard]] bool hasOutput() const { return m_output != nullptr; }
    // Lag of the sound behind real time (ms; negative: ahead) since the worker's media base.
    [[nodiscard]] std::int64_t lagMs() const { return m_lagMs.load(); }
    // PCM bytes and records taken from the queue since the media base was set.
    [[nodiscard]] std::uint64_t bytesDecoded() const { return m_bytes.load(); }
    [[nodiscard]] std::uint32_t recordsDecoded() const { return m_records.load(); }
    [[nodiscard]] std::uint64_t blocksWritten() const { return m_blocks.load(); }
    // Why the output or the WAV file failed; empty when nothing did.
    [[nodiscard]] std::string lastError() const;

private:
    int runStreaming();
    int runUnpaced();
    // Fills one block; true when it holds sound from a record.
    bool fillBlock(std::uint8_t* block);
    void takeRecord();
    void dropRecord();
    void accountRecord(const FrameRecord& record);
    void resetClockFields();
    // Channel 0: applies a pending rebase after a block with sound.
    void applyRebase();
    // The time check of a PCM record; channel 0 sets the playback clock instead.
    AudioTimeCheck checkTime(std::int64_t recordSeconds);
    void writeUnpaced(const FrameRecord& record);
    void setError(std::string text);

    COzuCtrl& m_owner;
    const TickSource& m_ticks;
    SoundOutputFactory m_factory;
    std::string m_wavFolder;

    // Set by StartWith before the thread starts.
    int m_channel = 0;
    CABuffer2* m_queue = nullptr;
    std::unique_ptr<SoundOutput> m_output;
    bool m_outputReady = false;           // Init succeeded
    std::atomic<bool> m_hasBuffer{false}; // read by Stop after a timed-out wait
    bool m_unpaced = false;
    bool m_unpacedMode = false; // what the next StartWith runs; set by the controlling thread
    WavWriter m_wav;            // unpaced mode
    std::int64_t m_unpacedDurationUs = 0;
    std::int64_t m_unpacedFirstPtsUs = -1; // time stamp of the first record written

    std::atomic<int> m_volume{0};
    std::atomic<bool> m_paused{false};
    std::atomic<bool> m_discard{false};

    std::mutex m_rebaseMutex; // guards the three fields below
    bool m_rebasePending = false;
    std::int64_t m_rebaseMediaUs = 0;
    int m_rebaseLatencyMs = 0;

    // The worker's current record: what is left of it and how it decodes.
    FrameRecord m_record;
    bool m_haveRecord = false;
    const std::uint8_t* m_recordData = nullptr;
    std::uint32_t m_recordLeft = 0;
    std::uint32_t m_codec = 0;

    // Clock fields of the current audio run; -1: unset.
    std::int64_t m_mediaBaseUs = -1;
    std::int64_t m_startTickMs = -1;
    std::atomic<std::int64_t> m_lagMs{0};
    std::atomic<std::uint64_t> m_bytes{0};
    std::atomic<std::uint32_t> m_records{0};
    std::atomic<std::uint64_t> m_blocks{0};

    mutable std::mutex m_errorMutex;
    std::string m_error; // guarded by m_errorMutex
};

} // namespace tavero::engine
