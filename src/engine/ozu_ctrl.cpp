#include "engine/ozu_ctrl.h"

#include "engine/audio_ctx.h"
#include "engine/video_ctx.h"
#include "engine/wav_file.h"
#include "platform/create_path.h"

#include <filesystem>
#include <vector>

namespace tavero::engine {

COzuCtrl::COzuCtrl(NotificationSink* sink) : m_sink(sink), m_box(this) {
    audioEnabled[0] = true;
    for (int c = 0; c < kChannelCount; ++c) {
        exportIncluded[static_cast<std::size_t>(c)] = true;
        exportTicked[static_cast<std::size_t>(c)] = true;
    }
}

COzuCtrl::~COzuCtrl() {
    Close();
}

void COzuCtrl::Notify(std::uint32_t message, std::int64_t lParam) {
    if (NotificationSink* sink = m_sink.load()) {
        sink->Post(message, this, lParam);
    }
}

ChannelSlot::ChannelSlot(COzuCtrl& owner, int channel)
    : pacer(channel), video(kVideoQueueRecords), audio(0),
      videoWorker(std::make_unique<CVideoCtx>(owner, channel)),
      audioWorker(
          std::make_unique<CAudioCtx>(owner, [&owner](int c) -> std::unique_ptr<SoundOutput> {
              if (owner.soundOutputFactory) {
                  return owner.soundOutputFactory(c);
              }
              if (!owner.soundFolder.empty()) {
                  const std::string wav = owner.soundFolder + "/ch" + std::to_string(c) + ".wav";
                  return std::make_unique<WavTeeOutput>(CreateDeviceOutput(c), wav);
              }
              return CreateDeviceOutput(c);
          })) {}

ChannelSlot::~ChannelSlot() = default;

std::string COzuCtrl::soundError() const {
    for (const auto& slot : m_slots) {
        if (slot) {
            std::string error = slot->audioWorker->lastError();
            if (!error.empty()) {
                return error;
            }
        }
    }
    return {};
}

void COzuCtrl::SetVolume(int channel, int volume) {
    if (channel < 0 || channel >= kChannelCount) {
        return;
    }
    settings[static_cast<std::size_t>(channel)].volume = volume <= -2700 ? -10000 : volume;
    if (ChannelSlot* s = slot(channel)) {
        s->audioWorker->SetVolume(volume);
    }
}

void COzuCtrl::RebaseAudioClock(std::int64_t mediaTimeUs, int latencyMs) {
    rebaseMediaUs = mediaTimeUs;
    rebaseLatencyMs = latencyMs;
    rebasePending = true;
}

void COzuCtrl::Open(const std::string& path) {
    Close();
    m_box.ForgetSource();
    m_source = DetectSource(path);
    if (m_source.type == kSourceCard) {
        m_box.SetSource(m_source.path, CardDriveNumber(m_source));
    } else if (m_source.type == kSourceBackupFile) {
        m_box.SetSource(m_source.path, -1);
    }
}

void COzuCtrl::Close() {
    playing = false;
    for (auto& slot : m_slots) {
        if (slot) {
            slot->video.Release();
            slot->audio.Release();
        }
    }
    m_box.Stop(10000);
    for (auto& slot : m_slots) {
        if (slot) {
            slot->videoWorker->Stop(10000);
            slot->audioWorker->Stop(10000);
        }
    }
    for (auto& e : ended) {
        e = false;
    }
    exportTargetSet = false;
    exportPath.clear();
    exportAvi = false;
    if (m_exportOutput != nullptr) {
        m_exportOutput->Reset();
    }
    resetState();
}

void COzuCtrl::resetState() {
    clock = 0;
    rebasePending = false;
    speed = 1.0;
    seekTarget = 0;
    paused = false;
    for (int c = 0; c < kChannelCount; ++c) {
        currentTime[static_cast<std::size_t>(c)] = 0;
        frameCount[static_cast<std::size_t>(c)] = 0;
        byteCount[static_cast<std::size_t>(c)] = 0;
        if (m_slots[static_cast<std::size_t>(c)]) {
            m_slots[static_cast<std::size_t>(c)]->pacer.ResetTimes();
        }
    }
}

bool COzuCtrl::ensureSlots() {
    for (int c = 0; c < kChannelCount; ++c) {
        auto& slot = m_slots[static_cast<std::size_t>(c)];
        if (!slot) {
            slot = std::make_unique<ChannelSlot>(*this, c);
            channelClock.Attach(c, &slot->pacer);
        }
    }
    return true;
}

store::IndexRecord* COzuCtrl::LoadIndex() {
    if (!IsPlayable(m_source.type)) {
        return nullptr;
    }
    return m_box.OpenIndex();
}

store::IndexRecord* COzuCtrl::NextEntry(const store::IndexRecord* record) {
    return m_box.NextRecord(record);
}

store::IndexRecord* COzuCtrl::CurrentEntry() {
    return m_box.currentRecord();
}

bool COzuCtrl::Play(store::IndexRecord* entry, int parameter) {
    m_lastError.clear();
    for (auto& slot : m_slots) {
        if (slot) {
            slot->pacer.ResetTimes();
        }
    }
    // The channels choose their clock afresh: a master or "follow the sound" of the last play
    // would pace this one wrongly when its sound settings differ.
    channelClock.Restart();
    m_box.Flush();
    m_box.MarkRestart();
    if (playing) {
        return true; // the running reader repositions itself
    }
    if (!IsPlayable(m_source.type) || !ensureSlots()) {
        m_lastError = "the source cannot be played";
        return false;
    }
    playing = true;
    for (int c = 0; c < kChannelCount; ++c) {
        ChannelSlot& slot = *m_slots[static_cast<std::size_t>(c)];
        if (!slot.video.Init(kPlayVideoArea, kPlayVideoMargin, true) ||
            !slot.audio.Init(kAudioArea, kAudioMargin, true)) {
            m_lastError = "cannot reserve memory for playback";
            Close();
            return false;
        }
        if (!runWorkers.load()) {
            continue;
        }
        // A channel without an audio worker (sound off, no device) drops its sound oldest first.
        slot.audio.SetDropFlag(true);
        if (!slot.videoWorker->Start()) {
            m_lastError = "cannot start the video worker of channel " + std::to_string(c + 1);
            Close();
            return false;
        }
        if (!unpaced.load()) {
            slot.audioWorker->SetUnpacedWavFolder({});
        } else if (soundFolder.empty()) {
            slot.audioWorker->SetUnpacedSilent();
        } else {
            slot.audioWorker->SetUnpacedWavFolder(soundFolder);
        }
        slot.audioWorker->SetUnpacedDurationUs(unpacedSoundDurationUs);
        if (!slot.audioWorker->StartWith(c, &slot.audio)) {
            m_lastError = slot.audioWorker->lastError().empty()
                              ? "cannot start the sound of channel " + std::to_string(c + 1)
                              : slot.audioWorker->lastError();
            Close();
            return false;
        }
        slot.audioWorker->SetVolume(settings[static_cast<std::size_t>(c)].volume.load());
    }
    if (!m_box.SetStart(entry, parameter) || !m_box.Start()) {
        m_lastError = "cannot start reading the source";
        Close();
        return false;
    }
    return true;
}

void COzuCtrl::Pause(bool value) {
    paused = value;
    m_box.Flush();
}

void COzuCtrl::SetSpeed(double value) {
    const double old = speed.load();
    if ((old >= 0) != (value >= 0) && currentTime[0].load() != 0 && seekTarget.load() == 0) {
        // A change of direction restarts the reader from what channel 0 shows (or from where a
        // seek not yet taken goes).
        seekTarget = static_cast<std::int32_t>(currentTime[0].load());
    }
    speed = value;
    if (value == 1.0) {
        m_box.Flush();
    }
    for (auto& slot : m_slots) {
        if (slot) {
            slot->video.SetSpeed(value);
        }
    }
}

void COzuCtrl::Seek(std::int32_t seconds) {
    seekTarget = seconds;
    m_box.Flush();
    for (auto& slot : m_slots) {
        if (slot) {
            slot->audioWorker->Discard();
        }
    }
}

std::uint32_t COzuCtrl::GetTime(int channel) const {
    const std::int32_t target = seekTarget.load();
    if (target != 0) {
        return static_cast<std::uint32_t>(target);
    }
    if (channel < 0 || channel >= kChannelCount) {
        return 0;
    }
    return static_cast<std::uint32_t>(currentTime[static_cast<std::size_t>(channel)].load());
}

void COzuCtrl::Tick(int step) {
    for (int c = 0; c < kChannelCount; ++c) {
        latchedFrames[static_cast<std::size_t>(c)] =
            frameCount[static_cast<std::size_t>(c)].exchange(0);
        latchedBytes[static_cast<std::size_t>(c)] =
            byteCount[static_cast<std::size_t>(c)].exchange(0);
    }
    if (speed.load() >= 0) {
        clock += step;
    } else {
        clock -= step;
    }
}

std::uint32_t COzuCtrl::GetElapsed() const {
    return static_cast<std::uint32_t>(clock.load());
}

bool COzuCtrl::GetUnitTrailer(std::uint8_t* trailer512) {
    return m_box.GetLastTrailer(trailer512);
}

void COzuCtrl::SelectChannel(int channel, bool included, bool ticked) {
    if (channel < 0 || channel >= kChannelCount) {
        return;
    }
    exportIncluded[static_cast<std::size_t>(channel)] = included;
    exportTicked[static_cast<std::size_t>(channel)] = ticked;
}

void COzuCtrl::EnableAudio(int channel, bool enabled) {
    if (channel >= 0 && channel < kChannelCount) {
        audioEnabled[static_cast<std::size_t>(channel)] = enabled;
    }
}

bool COzuCtrl::setExportTarget(const std::string& outputPath, std::int64_t duration) {
    if (outputPath.empty()) {
        m_lastError = "no output path given";
        return false;
    }
    if (!platform::CreatePath(outputPath)) {
        m_lastError = "cannot create the folders of " + outputPath;
        return false;
    }
    std::string path = outputPath;
    const bool avi = path.size() >= 4 && path.compare(path.size() - 4, 4, ".avi") == 0;
    if (avi) {
        path.resize(path.size() - 4);
    }
    exportPath = path;
    exportAvi = avi;
    exportDuration = duration;
    exportTargetSet = true;
    return true;
}

bool COzuCtrl::prepareExport(const std::string& outputPath, std::int64_t duration) {
    if (playing) {
        Close(); // an export never runs beside playback
    }
    if (!IsPlayable(m_source.type)) {
        m_lastError = "the source cannot be exported";
        return false;
    }
    if (!setExportTarget(outputPath, duration) || !ensureSlots()) {
        return false;
    }
    if (exportAvi && m_exportOutput == nullptr) {
        m_lastError = "AVI export is not available here";
        return false;
    }
    // Nothing is queued for playback: the queues only hold the reader's windows.
    for (auto& slot : m_slots) {
        if (!slot->video.Init(kExportVideoArea, kExportVideoMargin, false) ||
            !slot->audio.Init(kAudioArea, kAudioMargin, false)) {
            m_lastError = "cannot reserve memory for the export";
            return false;
        }
    }
    return true;
}

bool COzuCtrl::startExport() {
    playing = true;
    if (!m_box.Start()) {
        m_lastError = m_box.backupOutcome().error.empty() ? "cannot start the export"
                                                          : m_box.backupOutcome().error;
        Close();
        return false;
    }
    return true;
}

bool COzuCtrl::ExportList(const std::string& outputPath, store::IndexRecord* const* records,
                          int count) {
    m_lastError.clear();
    if (!prepareExport(outputPath, 0)) {
        Close();
        return false;
    }
    if (!m_box.SetBackupList(records, count)) {
        m_lastError = "no record to export";
        Close();
        return false;
    }
    return startExport();
}

bool COzuCtrl::ExportRange(const std::string& outputPath, store::IndexRecord* entry, int parameter,
                           std::int64_t start, std::int64_t end) {
    m_lastError.clear();
    if (entry == nullptr || start > end) {
        m_lastError = "nothing to export";
        Close();
        return false;
    }
    if (!prepareExport(outputPath, end - start)) {
        Close();
        return false;
    }
    if (!exportAvi) {
        // A raw backup copies whole records: every record of the walk that overlaps the range.
        std::vector<store::IndexRecord*> records;
        for (store::IndexRecord* r = entry; r != nullptr; r = m_box.NextRecord(r)) {
            if (r->startSeconds() > end) {
                break;
            }
            if (r->endSeconds() >= start) {
                records.push_back(r);
            }
        }
        if (!m_box.SetBackupList(records.data(), static_cast<int>(records.size()))) {
            m_lastError = "no record in the time range";
            Close();
            return false;
        }
        return startExport();
    }
    if (!m_box.SetExportRange(entry, parameter, start, end)) {
        m_lastError = "cannot read the recording index";
        Close();
        return false;
    }
    return startExport();
}

} // namespace tavero::engine
