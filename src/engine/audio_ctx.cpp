#include "engine/audio_ctx.h"

#include "engine/audio_queue.h"
#include "engine/ozu_ctrl.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace tavero::engine {

std::uint32_t DecodeAudio(std::uint8_t* out, std::uint32_t& outBytes, const std::uint8_t* data,
                          std::uint32_t count, std::uint32_t codec, std::uint8_t fill) {
    if (codec != kKindAudio) {
        std::memset(out, fill, outBytes);
        return count;
    }
    const std::uint32_t n = std::min(count, outBytes) & ~1u;
    if (n > 0) {
        std::memcpy(out, data, n);
    }
    outBytes = n;
    // An odd record ends in half a sample; consume it once everything before it is out.
    return count - n == 1 ? count : n;
}

int EngineVolume(int hundredthsDb) {
    if (hundredthsDb <= -2700) {
        return SoundOutput::kSilentVolume;
    }
    return std::clamp(hundredthsDb, SoundOutput::kSilentVolume, SoundOutput::kFullVolume);
}

bool WriterBehind(std::uint32_t write, std::uint32_t play, std::uint32_t deviceWrite) {
    constexpr std::uint32_t n = SoundOutput::kBufferBytes;
    const std::uint32_t aheadOfPlay = (write % n + n - play % n) % n;
    const std::uint32_t aheadOfDevice = (write % n + n - deviceWrite % n) % n;
    return aheadOfPlay >= n / 2 && aheadOfDevice >= n / 2;
}

AudioTimeCheck CheckAudioTime(std::int64_t clockSeconds, std::int64_t recordSeconds) {
    // The record's time counts by its low 32 bits; the difference is taken modulo 2^32.
    const auto d = static_cast<std::int32_t>(static_cast<std::uint32_t>(clockSeconds) -
                                             static_cast<std::uint32_t>(recordSeconds));
    if (d > 2 || d < -5) {
        return AudioTimeCheck::Mute;
    }
    if (d < -1) {
        return AudioTimeCheck::Hold;
    }
    return AudioTimeCheck::Play;
}

CAudioCtx::CAudioCtx(COzuCtrl& owner, SoundOutputFactory factory, const TickSource* ticks)
    : m_owner(owner), m_ticks(ticks != nullptr ? *ticks : SystemTicks()),
      m_factory(std::move(factory)) {}

CAudioCtx::~CAudioCtx() {
    Stop(-1);
}

std::string CAudioCtx::lastError() const {
    std::lock_guard<std::mutex> lock(m_errorMutex);
    return m_error;
}

void CAudioCtx::setError(std::string text) {
    std::lock_guard<std::mutex> lock(m_errorMutex);
    m_error = std::move(text);
}

bool CAudioCtx::Start() {
    return StartWith(0, nullptr);
}

bool CAudioCtx::StartWith(int channel, CABuffer2* queue) {
    if (running()) {
        return false;
    }
    if (hasThread()) {
        // A thread whose Stop timed out: collect it if it has ended since.
        CMyThread::Stop(0);
        if (hasThread()) {
            return false;
        }
    }
    m_channel = channel;
    m_queue = queue;
    resetClockFields();
    dropRecord();
    m_discard.store(false);
    if (channel < 0 || channel >= kChannelCount ||
        !m_owner.audioEnabled[static_cast<std::size_t>(channel)].load()) {
        return true;
    }
    setError({});
    m_unpaced = m_unpacedMode;
    if (m_unpaced && !m_wavFolder.empty()) {
        const std::string path =
            (std::filesystem::path(m_wavFolder) / ("ch" + std::to_string(channel) + ".wav"))
                .string();
        if (!m_wav.Open(path)) {
            setError(m_wav.lastError().detail);
            return false;
        }
    } else if (!m_unpaced) {
        if (!m_output) {
            m_output = m_factory ? m_factory(channel) : CreateDeviceOutput(channel);
        }
        if (!m_outputReady) {
            m_outputReady = m_output != nullptr && m_output->Init();
        }
        if (!m_outputReady) {
            setError(m_output != nullptr ? m_output->error() : "no sound output");
            if (m_queue != nullptr) {
                m_queue->SetDropFlag(true);
            }
            return true;
        }
        if (!m_hasBuffer) {
            m_hasBuffer = m_output->CreateBuffer();
            if (!m_hasBuffer) {
                setError(m_output->error());
                return false;
            }
        }
        m_output->SetVolume(m_volume.load());
    }
    m_paused.store(false);
    if (m_queue != nullptr) {
        m_queue->SetDropFlag(false);
    }
    if (!CMyThread::Start()) {
        setError("the audio thread could not be started");
        if (m_unpaced) {
            (void)m_wav.Close();
        }
        return false;
    }
    return true;
}

void CAudioCtx::Stop(int timeoutMs) {
    // Clear the running flag first, so that the wait the notification ends is the last one.
    CMyThread::Stop(0);
    if (m_output) {
        m_output->SignalNotification();
    }
    CMyThread::Stop(timeoutMs);
    if (m_output && m_hasBuffer) {
        m_output->Stop();
        m_output->SetPosition(0);
    }
}

void CAudioCtx::SetVolume(int hundredthsDb) {
    const int v = EngineVolume(hundredthsDb);
    m_volume.store(v);
    if (m_output) {
        m_output->SetVolume(v);
    }
}

void CAudioCtx::RebaseClock(std::int64_t mediaTimeUs, int latencyMs) {
    std::lock_guard<std::mutex> lock(m_rebaseMutex);
    m_rebaseMediaUs = mediaTimeUs;
    m_rebaseLatencyMs = latencyMs;
    m_rebasePending = true;
}

int CAudioCtx::Run() {
    return m_unpaced ? runUnpaced() : runStreaming();
}

void CAudioCtx::resetClockFields() {
    m_mediaBaseUs = -1;
    m_startTickMs = -1;
    m_lagMs.store(0);
    m_bytes.store(0);
    m_records.store(0);
}

void CAudioCtx::dropRecord() {
    m_haveRecord = false;
    m_recordData = nullptr;
    m_recordLeft = 0;
    m_codec = 0;
}

int CAudioCtx::runStreaming() {
    SleepWhileRunning(kStartDelayMs);
    SoundOutput& out = *m_output;
    out.SetPosition(0);
    std::uint32_t write = 0;
    bool playing = false;
    while (running()) {
        if (m_discard.exchange(false)) {
            out.ReleaseBuffer();
            m_hasBuffer = false;
            write = 0;
            // The new ring is not playing: it starts again after its first block.
            playing = false;
            dropRecord();
            resetClockFields();
        }
        if (!m_hasBuffer) {
            m_hasBuffer = out.CreateBuffer();
            if (!m_hasBuffer) {
                // Keep the producer from waiting on a queue nobody drains; try again shortly.
                setError(out.error());
                if (m_queue != nullptr) {
                    m_queue->SetDropFlag(true);
                }
                SleepWhileRunning(kRetryMs);
                continue;
            }
            out.SetVolume(m_volume.load());
            if (m_queue != nullptr) {
                m_queue->SetDropFlag(false);
            }
        }

        SoundOutput::Region region;
        const bool locked = out.Lock(write, kBlockBytes, region);
        const bool whole = locked && region.second == nullptr && region.firstBytes == kBlockBytes;
        bool heldSound = false;
        if (whole) {
            heldSound = fillBlock(region.first);
        }
        if (locked) {
            out.Unlock(region);
        }
        if (whole) {
            std::uint32_t play = 0;
            std::uint32_t deviceWrite = 0;
            if (out.positions(play, deviceWrite) && WriterBehind(write, play, deviceWrite)) {
                write = (write + kBlockBytes) % kBufferBytes; // underrun: skip a block ahead
            }
            write = (write + kBlockBytes) % kBufferBytes;
            m_blocks.fetch_add(1);
        }
        if (heldSound && m_channel == 0) {
            applyRebase();
        }
        if (playing) {
            (void)out.WaitNotification(kNotifyTimeoutMs);
        } else if (whole) {
            playing = out.Play();
        }
        if (!whole) {
            SleepWhileRunning(kRetryMs);
        }
    }
    return 0;
}

bool CAudioCtx::fillBlock(std::uint8_t* block) {
    bool heldSound = false;
    std::uint32_t pos = 0;
    while (kBlockBytes - pos >= 2) {
        if (m_recordLeft == 0) {
            takeRecord();
        }
        std::uint32_t codec = m_codec;
        if (m_haveRecord && codec == kKindAudio) {
            const AudioTimeCheck check = checkTime(m_record.timeSeconds);
            if (check == AudioTimeCheck::Hold) {
                // The record stays current for a later block; the rest of this one is silence
                // rather than whatever the ring held from its last lap.
                break;
            }
            if (check == AudioTimeCheck::Mute) {
                codec = 0;
            }
        }
        std::uint32_t produced = kBlockBytes - pos;
        const std::uint32_t consumed =
            DecodeAudio(block + pos, produced, m_recordData, m_recordLeft, codec, kSilenceByte);
        if (codec == kKindAudio && produced > 0) {
            heldSound = true;
        }
        m_recordData += consumed;
        m_recordLeft -= consumed;
        pos += produced;
    }
    std::memset(block + pos, kSilenceByte, kBlockBytes - pos);
    return heldSound;
}

void CAudioCtx::takeRecord() {
    dropRecord();
    if (m_paused.load() || m_queue == nullptr || !m_queue->Pop(m_record)) {
        return; // codec 0: silence for the rest of the block
    }
    m_haveRecord = true;
    m_codec = m_record.kind;
    m_recordData = m_record.payload;
    m_recordLeft = m_record.payload != nullptr ? m_record.size : 0;
    if (m_codec == kKindAudio) {
        accountRecord(m_record);
    }
}

void CAudioCtx::accountRecord(const FrameRecord& record) {
    const std::int64_t now = m_ticks.nowMs();
    m_bytes.fetch_add(record.size);
    m_records.fetch_add(1);
    if (m_startTickMs < 0) {
        m_startTickMs = now;
    }
    if (m_mediaBaseUs < 0) {
        // The first time stamp of the run becomes its base; counting starts over from here.
        m_mediaBaseUs = record.ptsUs;
        m_startTickMs = now;
        m_bytes.store(record.size);
        m_records.store(1);
        m_lagMs.store(0);
        return;
    }
    const std::int64_t advanceMs = (record.ptsUs - m_mediaBaseUs) / 1000;
    m_lagMs.store((now - m_startTickMs) - advanceMs);
    // Keep the numbers small on long runs; the lag does not change.
    while (now - m_startTickMs >= kBaseMoveMs) {
        m_mediaBaseUs += kBaseMoveUs;
        m_startTickMs += kBaseMoveMs;
    }
}

AudioTimeCheck CAudioCtx::checkTime(std::int64_t recordSeconds) {
    if (m_channel == 0) {
        m_owner.clock.store(recordSeconds);
        return AudioTimeCheck::Play;
    }
    return CheckAudioTime(m_owner.clock.load(), recordSeconds);
}

void CAudioCtx::applyRebase() {
    std::int64_t mediaUs = 0;
    int latencyMs = 0;
    bool pending = false;
    {
        std::lock_guard<std::mutex> lock(m_rebaseMutex);
        if (m_rebasePending) {
            pending = true;
            mediaUs = m_rebaseMediaUs;
            latencyMs = m_rebaseLatencyMs;
            m_rebasePending = false;
            m_rebaseLatencyMs = 0;
        }
    }
    if (m_owner.rebasePending.exchange(false)) {
        // The control's request is the later one when both exist: the reader sets it last.
        pending = true;
        mediaUs = m_owner.rebaseMediaUs.load();
        latencyMs = m_owner.rebaseLatencyMs.exchange(0);
    }
    if (!pending) {
        return;
    }
    m_owner.channelClock.SetAudioClockBase(m_ticks.nowMs() + latencyMs, mediaUs);
}

int CAudioCtx::runUnpaced() {
    m_unpacedFirstPtsUs = -1;
    std::size_t drainLeft = 0;
    bool stopping = false;
    while (true) {
        if (!stopping && !running()) {
            // Write what was queued before the stop, and nothing that comes after.
            stopping = true;
            drainLeft = m_queue != nullptr ? m_queue->recordCount() : 0;
        }
        if (m_discard.exchange(false)) {
            dropRecord();
            resetClockFields();
        }
        if (!stopping && m_paused.load()) {
            SleepWhileRunning(kRetryMs);
            continue;
        }
        FrameRecord record;
        if (m_queue != nullptr && (!stopping || drainLeft > 0) && m_queue->Pop(record)) {
            if (stopping) {
                --drainLeft;
            }
            writeUnpaced(record);
            continue;
        }
        if (stopping) {
            break;
        }
        SleepWhileRunning(2);
    }
    if (m_wav.isOpen() && !m_wav.Close()) {
        setError(m_wav.lastError().detail);
    }
    return 0;
}

void CAudioCtx::writeUnpaced(const FrameRecord& record) {
    if (record.kind != kKindAudio || record.payload == nullptr) {
        return;
    }
    if (m_unpacedFirstPtsUs < 0) {
        m_unpacedFirstPtsUs = record.ptsUs;
    }
    if (m_unpacedDurationUs > 0 &&
        std::llabs(record.ptsUs - m_unpacedFirstPtsUs) >= m_unpacedDurationUs) {
        return;
    }
    m_bytes.fetch_add(record.size);
    m_records.fetch_add(1);
    if (!m_wav.isOpen()) {
        return; // unpaced without files: the sound is taken and dropped
    }
    const std::uint32_t samples = record.size & ~1u; // whole samples only
    bool ok = true;
    if (checkTime(record.timeSeconds) == AudioTimeCheck::Mute) {
        ok = m_wav.WriteFill(kSilenceByte, samples);
    } else {
        ok = m_wav.Write(std::span<const std::uint8_t>(record.payload, samples));
    }
    if (!ok && lastError().empty()) {
        setError(m_wav.lastError().detail);
    }
}

} // namespace tavero::engine
