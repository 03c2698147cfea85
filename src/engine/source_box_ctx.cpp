#include "engine/source_box_ctx.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "engine/ozu_ctrl.h"
#include "store/byte_io.h"
#include "store/checksum.h"

namespace tavero::engine {
namespace {

using store::IndexRecord;
using store::kUnitSize;

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

int SpeedSign(double speed) { return speed < 0 ? -1 : 1; }

} // namespace

CSourceBoxCtx::CSourceBoxCtx(COzuCtrl* owner) : CSourceCtx(owner), m_unit(kUnitSize) {
    for (int c = 0; c < static_cast<int>(m_channels.size()); ++c) {
        m_channels[static_cast<std::size_t>(c)].channel = c;
    }
}

CSourceBoxCtx::~CSourceBoxCtx() {
    Stop(10000);
    m_writer.Close();
}

void CSourceBoxCtx::SetSource(const std::string& path, int cardDrive) {
    ForgetSource();
    if (cardDrive >= 0) {
        m_index.SetCardSource(cardDrive);
    } else {
        m_index.SetBackupFileSource(path);
    }
}

void CSourceBoxCtx::ForgetSource() {
    Stop(10000);
    m_index.Close();
    m_backupList.clear();
    m_current = nullptr;
    m_startEvent = 0;
    m_rangeStart = m_rangeEnd = 0;
    m_exportFlag = false;
}

void CSourceBoxCtx::Close() {
    Stop(10000);
    m_index.Close();
}

bool CSourceBoxCtx::SetStart(IndexRecord* record, int eventNumber) {
    m_samples.clear();
    if (running()) {
        return false;
    }
    m_current = record;
    m_startEvent = eventNumber;
    return true;
}

bool CSourceBoxCtx::SetExportRange(IndexRecord* record, int eventNumber, std::int64_t start,
                                   std::int64_t end) {
    if (running() || m_index.OpenIndex() == nullptr) {
        return false;
    }
    m_current = record;
    m_startEvent = eventNumber;
    m_rangeStart = start;
    m_rangeEnd = end;
    m_exportFlag = true;
    return true;
}

bool CSourceBoxCtx::SetBackupList(IndexRecord* const* records, int count) {
    if (running() || records == nullptr || count <= 0 || records[0] == nullptr ||
        records[0]->magic != store::kIndexMagic) {
        return false;
    }
    for (int i = 0; i < count; ++i) {
        if (records[i] != nullptr) {
            m_backupList.push_back(records[i]);
        }
    }
    m_exportFlag = true;
    return !m_backupList.empty();
}

bool CSourceBoxCtx::GetLastTrailer(std::uint8_t* trailer512) {
    std::lock_guard guard(m_trailerLock);
    if (!m_index.IsOpen()) {
        std::memset(trailer512, 0, 4);
        return false;
    }
    std::memcpy(trailer512, m_lastTrailer.data(), m_lastTrailer.size());
    return store::LoadLe32(trailer512) == store::kTrailerMagic;
}

void CSourceBoxCtx::SetLatestTrailer(const std::uint8_t* trailer512) {
    std::lock_guard guard(m_trailerLock);
    std::memcpy(m_lastTrailer.data(), trailer512, m_lastTrailer.size());
}

void CSourceBoxCtx::ResetChannels() {
    COzuCtrl* control = owner();
    for (int c = 0; c < kChannelCount; ++c) {
        if (ChannelSlot* slot = control->slot(c)) {
            slot->audio.Trim();
            slot->pacer.ResetTimes();
        }
    }
    m_samples.clear();
    m_resync = true;
    SleepMs(1);
}

bool CSourceBoxCtx::IsExporting() const {
    return !m_backupList.empty() || (m_rangeStart != 0 && m_rangeEnd != 0);
}

void CSourceBoxCtx::Flush() { m_reposition = true; }

BackupOutcome CSourceBoxCtx::backupOutcome() const {
    std::lock_guard guard(m_outcomeLock);
    return m_outcome;
}

std::string CSourceBoxCtx::gpsTextFromFrames() const {
    std::lock_guard guard(m_trailerLock);
    return m_gpsText;
}

const std::vector<IndexRecord*>& CSourceBoxCtx::walkList() const {
    return m_index.playList().empty() ? m_index.fullList() : m_index.playList();
}

IndexRecord* CSourceBoxCtx::neighbour(const IndexRecord* r, int direction) const {
    const auto& list = m_backupList.empty() ? walkList() : m_backupList;
    const auto it = std::find(list.begin(), list.end(), r);
    if (it == list.end()) {
        return nullptr;
    }
    if (direction > 0) {
        return it + 1 == list.end() ? nullptr : *(it + 1);
    }
    return it == list.begin() ? nullptr : *(it - 1);
}

bool CSourceBoxCtx::Start() {
    m_busy = true;
    COzuCtrl* control = owner();
    {
        std::lock_guard guard(m_outcomeLock);
        m_outcome = BackupOutcome{};
    }
    m_writeFailed = false;
    m_writeError.clear();
    m_writtenUnits = 0;
    m_rawBlock = 0;
    m_audioReady = false;
    m_resync = true;
    if (IsExporting()) {
        m_index.SetPlayList({});
        if (!control->exportAvi) {
            // A backup file is written from nothing: an older file of the same name must not
            // leave index records of its own behind.
            if (!m_writer.OpenFile(control->exportPath, store::StoAccess::ReadWrite) ||
                !m_writer.Truncate() ||
                !m_writer.Seek(store::kBackupDataBase, store::SeekOrigin::Begin)) {
                std::lock_guard guard(m_outcomeLock);
                m_outcome.finished = true;
                m_outcome.error = "cannot write " + control->exportPath + ": " + m_writer.LastError();
                m_writer.Close();
                m_busy = false;
                return false;
            }
            m_recordComplete.assign(m_backupList.size(), 0);
        }
    } else if (m_index.OpenIndex() == nullptr) {
        m_busy = false;
        return false;
    }
    const auto& list = m_backupList.empty() ? walkList() : m_backupList;
    if (list.empty()) {
        m_busy = false;
        return false;
    }
    m_currentTime = 0;
    m_startTime = list.front()->startSeconds();
    m_endTime = list.back()->endSeconds();
    SleepMs(10);
    m_busy = false;
    return CSourceCtx::Start();
}

void CSourceBoxCtx::Stop(int timeoutMs) {
    CSourceCtx::Stop(timeoutMs);
    FinishBackup();
    m_current = nullptr;
    m_startEvent = 0;
    m_index.SetPlayList({});
}

void CSourceBoxCtx::prepareChannels() {
    COzuCtrl* control = owner();
    for (ChannelParse& c : m_channels) {
        ChannelSlot* slot = control->slot(c.channel);
        c.video = slot != nullptr ? &slot->video : nullptr;
        c.audio = slot != nullptr ? &slot->audio : nullptr;
        c.handOver = this;
        c.keepGoing = [this, control] { return running() && control->playing.load(); };
        c.direction = 0;
        c.lastSpeed = 0;
        c.hidden = false;
        c.exportCopy = IsExporting() && control->exportAvi.load();
        if (slot != nullptr) {
            slot->hidden = false;
        }
        c.audioRecord = FrameRecord{};
        if (c.audio != nullptr) {
            std::uint8_t* writePosition = nullptr;
            c.audio->Reset(writePosition);
            c.audioRecord.payload = writePosition;
        }
    }
}

void CSourceBoxCtx::pushEndMarkers() {
    for (ChannelParse& c : m_channels) {
        if (c.video == nullptr) {
            continue;
        }
        // An end marker carries no payload; it only needs a place the queue accepts, which
        // after reading backwards may not be the window's.
        std::uint8_t* const places[] = {c.windowStart, c.video->areaStart(),
                                        c.video->areaEnd() - c.video->margin()};
        bool queued = false;
        for (int attempt = 0; attempt < 100 && !queued && running(); ++attempt) {
            for (std::uint8_t* place : places) {
                FrameRecord end;
                end.kind = kKindEnd;
                end.payload = place;
                end.size = 0;
                end.speed = owner()->speed.load();
                if (place != nullptr && c.video->Push(end)) {
                    queued = true;
                    break;
                }
            }
            if (!queued) {
                SleepMs(10);
            }
        }
    }
}

int CSourceBoxCtx::Run() {
    prepareChannels();
    COzuCtrl* control = owner();
    const bool exporting = IsExporting();
    for (;;) {
        const auto& list = m_backupList.empty() ? walkList() : m_backupList;
        if (list.empty()) {
            break;
        }
        if (std::find(list.begin(), list.end(), m_current) == list.end()) {
            m_current = list.front();
        }
        playRecords(list);
        if (exporting || !running() || !control->playing) {
            break;
        }
        // End of the data while playing: every channel learns it, then the thread waits for
        // the user to seek back into the recordings.
        pushEndMarkers();
        control->Notify(kMsgEndOfStream, -1);
        while (running() && control->seekTarget.load() == 0) {
            SleepMs(10);
        }
        if (!running()) {
            break;
        }
    }
    if (exporting) {
        m_exportFlag = false;
        FinishBackup();
        control->Notify(kMsgEndOfStream, -1);
    }
    control->exportTargetSet = false;
    return 0;
}

bool CSourceBoxCtx::playRecords(const std::vector<IndexRecord*>& list) {
    COzuCtrl* control = owner();
    const bool exporting = IsExporting();
    // A list exported to AVI files walks its records like playback does; only a raw backup
    // copies whole units.
    const bool rawBackup = !m_backupList.empty() && !control->exportAvi.load();
    IndexRecord* record = m_current;
    std::size_t backupPosition =
        rawBackup ? static_cast<std::size_t>(std::find(list.begin(), list.end(), record) - list.begin())
                  : 0;
    std::int64_t v = 0;
    if (m_startEvent >= 1 && m_startEvent <= store::kMaxRecordEvents &&
        record->events[static_cast<std::size_t>(m_startEvent - 1)].type != 0) {
        const auto& e = record->events[static_cast<std::size_t>(m_startEvent - 1)];
        v = static_cast<std::int64_t>(e.unit) - record->startUnit;
        control->clock = store::PackedTimeToSeconds(e.time);
    } else {
        control->clock = record->startSeconds();
    }
    if (v < 0 || v > static_cast<std::int64_t>(record->endUnit - record->startUnit)) {
        v = 0;
    }
    bool recordOk = true;
    std::int64_t lastSeen = 0;
    bool continuing = false; // this record was reached by playing on from the one before

    for (;;) { // record loop
        m_current = record;
        store::CStoReader& reader = m_index.reader();
        const std::int64_t recordStart = record->startSeconds();
        const std::int64_t recordEnd = record->endSeconds();
        // Playing on into the next record keeps the last unit number seen: when the numbering
        // runs on, the channels' partly parsed frames and queued pictures stay; a jump in the
        // numbering still resets them. After a seek or at the start the walk begins afresh.
        if (!continuing) {
            lastSeen = record->startUnit == 1 ? 0 : -1;
        }
        continuing = false;
        bool stepped = false;
        bool restartRecord = false;
        bool leave = false;

        while (running() && (exporting || control->playing)) { // unit loop
            if (m_reposition.exchange(false)) {
                // Pause, speed or play: the sound starts afresh; the pictures already queued
                // stay, so that playing on after a pause continues where the picture stood.
                ResetChannels();
            }
            // Seek requests that leave the record.
            const std::int32_t target = exporting ? 0 : control->seekTarget.load();
            if (target != 0 && target > recordEnd) {
                IndexRecord* next = neighbour(record, +1);
                if (next != nullptr && next->startSeconds() <= target) {
                    record = next;
                    v = 0;
                    ResetChannels();
                    restartRecord = true;
                    break;
                }
                control->seekTarget = 0;
            } else if (target != 0 && target < recordStart) {
                IndexRecord* previous = neighbour(record, -1);
                if (previous != nullptr && previous->endSeconds() >= target) {
                    record = previous;
                    v = 0;
                    ResetChannels();
                    restartRecord = true;
                    break;
                }
                control->seekTarget = 0;
            }

            // Positions are computed from the record, so stepping backwards needs no bookkeeping.
            if (!reader.Seek(record->dataAddress + v * kUnitSize, store::SeekOrigin::Begin) ||
                !reader.Read(m_unit.data(), kUnitSize)) {
                SleepMs(1);
                leave = true; // end of the data
                break;
            }
            const auto trailerBytes = std::span(m_unit).subspan(store::kFrameAreaSize);
            bool counts = store::ValidateTrailer(trailerBytes, record->diskId);
            store::UnitTrailer trailer;
            if (counts) {
                trailer = store::TrailerToHost(trailerBytes);
                counts = trailer.unitNo == record->startUnit + v;
            }
            bool skip = false;
            if (counts) {
                m_currentTime = store::PackedTimeToSeconds(trailer.unitTime);
                const std::int32_t pending = exporting ? 0 : control->seekTarget.load();
                if (pending != 0) {
                    if (m_currentTime < pending && v != 2047) {
                        stepped = true;
                        skip = true;
                    } else if (m_currentTime > pending && v > 0 && !stepped) {
                        --v;
                        continue;
                    } else {
                        control->seekTarget = 0; // reached
                    }
                }
                if (!skip && m_rangeEnd != 0 && m_rangeEnd != recordEnd && m_currentTime > m_rangeEnd) {
                    leave = true; // the export range is done
                    break;
                }
                if (!skip && m_rangeStart != 0 && m_rangeStart != recordStart &&
                    m_currentTime < m_rangeStart) {
                    skip = true;
                }
            }
            if (counts && !skip) {
                takeOverTrailer(trailer);
                if (rawBackup) {
                    if (!writeBackupUnit()) {
                        recordOk = false;
                        leave = true;
                        break;
                    }
                } else {
                    const double speed = control->speed.load();
                    const int sign = SpeedSign(speed);
                    const std::int64_t expected = lastSeen + sign;
                    if (static_cast<std::int64_t>(trailer.unitNo) != expected) {
                        for (ChannelParse& c : m_channels) {
                            c.ResetForDirection(sign);
                        }
                        control->clock = m_currentTime;
                    }
                    lastSeen = trailer.unitNo;
                    if (trailer.channel < kChannelCount) {
                        ChannelParse& c = m_channels[trailer.channel];
                        if (trailer.channelOff != 0) {
                            c.ResetForDirection(sign);
                            if (!exporting) {
                                c.hidden = true;
                                if (ChannelSlot* slot = control->slot(trailer.channel)) {
                                    slot->hidden = true;
                                }
                            }
                        } else if (!processUnit(trailer)) {
                            leave = true;
                            break;
                        }
                    }
                }
            } else if (!counts) {
                if (!exporting) {
                    control->seekTarget = 0;
                }
                if (rawBackup && !m_writer.Seek(kUnitSize, store::SeekOrigin::Current)) {
                    recordOk = false;
                    leave = true;
                    break;
                }
            }
            // Step to the next unit in the direction of play.
            if (exporting || control->speed.load() >= 0) {
                ++v;
            } else {
                --v;
            }
            if (v >= 0 && record->endUnit >= record->startUnit + v) {
                continue;
            }
            if (v >= 0) {
                // End of the record forwards.
                v = 0;
                if (rawBackup) {
                    if (backupPosition < m_recordComplete.size()) {
                        m_recordComplete[backupPosition] = recordOk ? 1 : 0;
                    }
                    ++backupPosition;
                    recordOk = true;
                }
                IndexRecord* next = neighbour(record, +1);
                // A fresh start of the recorder's numbering ends continuous play; a backup of
                // chosen records copies every one of them.
                if (next == nullptr || (!rawBackup && next->seq == 1)) {
                    leave = true;
                    break;
                }
                record = next;
                if (rawBackup) {
                    ++m_rawBlock;
                    if (!m_writer.Seek(store::kBackupDataBase +
                                           std::int64_t{m_rawBlock} * store::kDataBlockSize,
                                       store::SeekOrigin::Begin)) {
                        leave = true;
                        break;
                    }
                }
                continuing = true;
                restartRecord = true;
                break;
            }
            // End of the record backwards.
            IndexRecord* previous = neighbour(record, -1);
            if (previous == nullptr) {
                leave = true;
                break;
            }
            record = previous;
            v = static_cast<std::int64_t>(record->endUnit) - record->startUnit;
            continuing = true;
            restartRecord = true;
            break;
        }
        if (restartRecord && !leave) {
            continue;
        }
        return true;
    }
}

void CSourceBoxCtx::takeOverTrailer(store::UnitTrailer& trailer) {
    COzuCtrl* control = owner();
    const auto disk = std::span(m_unit).subspan(store::kFrameAreaSize, store::kTrailerSize);
    if (IsExporting()) {
        {
            std::lock_guard guard(m_trailerLock);
            std::memcpy(m_lastTrailer.data(), disk.data(), disk.size());
        }
        control->Notify(kMsgUnitTrailer, 0);
        control->clock = m_currentTime;
        return;
    }
    if (m_firstTrailerCount++ == 0) {
        store::UnitTrailer first = trailer;
        first.gCount = 0;
        first.gSamples = {};
        const auto bytes = store::TrailerToDisk(first);
        std::lock_guard guard(m_trailerLock);
        m_lastTrailer = bytes;
    }
    m_samplesBeforeUnit = m_samples.size();
    store::AppendGSamples(trailer, m_samples);
}

bool CSourceBoxCtx::writeBackupUnit() {
    // The unit buffer still holds the unit as read; it is written back unchanged.
    if (!m_writer.Write(m_unit.data(), kUnitSize)) {
        m_writeFailed = true;
        m_writeError = m_writer.LastError().empty() ? "write failed" : m_writer.LastError();
        return false;
    }
    ++m_writtenUnits;
    return true;
}

bool CSourceBoxCtx::processUnit(const store::UnitTrailer& trailer) {
    COzuCtrl* control = owner();
    ChannelParse& c = m_channels[trailer.channel];
    if (c.video == nullptr) {
        return false;
    }
    control->byteCount[trailer.channel] += static_cast<std::uint32_t>(kUnitSize);
    const bool exporting = IsExporting();
    if (!exporting && c.hidden) {
        c.hidden = false;
        if (ChannelSlot* slot = control->slot(trailer.channel)) {
            slot->hidden = false;
        }
    }
    const double speed = control->speed.load();
    const int sign = SpeedSign(speed);
    if (sign != c.direction) {
        c.ResetForDirection(sign);
    }
    if (speed != 1.0 && c.audio != nullptr && c.audio->queuedBytes() > 0) {
        c.audio->Flush(); // sound only plays at normal speed
    }
    if (speed == 1.0 && c.lastSpeed != 1.0 && c.lastSpeed != 0) {
        while (running() && c.video->recordCount() > static_cast<std::size_t>(trailer.fps)) {
            SleepMs(10);
        }
    }
    c.lastSpeed = speed;
    c.stamp = UnitStamp{trailer.fps, speed, m_currentTime, trailer.unitNo};
    m_videoFormat = trailer.videoFormat;
    if (!exporting) {
        // The trailer goes ahead of the unit's frames, for the video worker's position and
        // G-sensor display; it is left out when the queue has no slot for it.
        FrameRecord item;
        item.kind = kKindTrailer;
        item.value = static_cast<std::int32_t>(m_samplesBeforeUnit);
        item.speed = speed;
        item.timeSeconds = m_currentTime;
        std::memcpy(item.producerData.data(), &trailer.unitNo, sizeof trailer.unitNo);
        (void)c.video->PushSide(
            item, std::span<const std::uint8_t>(m_unit).subspan(store::kFrameAreaSize, store::kTrailerSize));
    }
    const auto area = std::span<const std::uint8_t>(m_unit).first(store::kFrameAreaSize);
    const bool ok = speed >= 0 ? ParseForward(c, area) : ParseBackward(c, area);
    return ok && control->playing.load();
}

void CSourceBoxCtx::ExportPicture(int channel, std::uint32_t kind,
                                  std::span<const std::uint8_t> payload, const UnitStamp& stamp) {
    COzuCtrl* control = owner();
    ExportOutput* output = control->exportOutput();
    if (output == nullptr || !control->exportTicked[static_cast<std::size_t>(channel)].load()) {
        return;
    }
    if (!output->HasFileOpen(channel)) {
        output->SetChannelHeader(channel, ExportHeader::Channel(output->ChannelHeader(channel),
                                                                m_videoFormat, m_currentTime));
    }
    output->Write(channel,
                  ExportHeader::Picture(static_cast<std::uint32_t>(payload.size()), stamp.fps,
                                        kind == kKindKeyFrame, m_currentTime),
                  payload);
}

void CSourceBoxCtx::ExportSound(int /*channel*/, std::span<const std::uint8_t> payload,
                                const UnitStamp& /*stamp*/) {
    COzuCtrl* control = owner();
    ExportOutput* output = control->exportOutput();
    if (output == nullptr) {
        return;
    }
    // The recorder keeps one sound track; every exported channel's file carries it.
    const ExportHeader header =
        ExportHeader::Sound(static_cast<std::uint32_t>(payload.size()), m_currentTime);
    for (int c = 0; c < kChannelCount; ++c) {
        if (control->exportTicked[static_cast<std::size_t>(c)].load()) {
            output->WriteAudio(c, header, payload);
        }
    }
}

bool CSourceBoxCtx::HandAudio(int channel, std::span<const std::uint8_t> payload,
                              std::int64_t ptsUs) {
    COzuCtrl* control = owner();
    const double speed = control->speed.load();
    if (speed != 1.0 || !control->audioEnabled[static_cast<std::size_t>(channel)]) {
        m_resync = true;
        m_audioReady = false;
        return true;
    }
    ChannelParse& c = m_channels[static_cast<std::size_t>(channel)];
    if (c.audio == nullptr) {
        return true;
    }
    if (m_audioReady) {
        if (m_lastAudioPts != 0 && (ptsUs - m_lastAudioPts > 1000000 || m_lastAudioPts - ptsUs > 1000000)) {
            m_resync = true;
        }
        m_lastAudioPts = ptsUs;
    }
    FrameRecord record = c.audioRecord;
    record.size = static_cast<std::uint32_t>(payload.size());
    record.kind = kKindAudio;
    record.timeSeconds = m_currentTime;
    record.ptsUs = m_audioReady ? ptsUs : m_lastAudioPts;
    for (;;) {
        FrameRecord room = record;
        room.size = 0;
        std::uint8_t* destination = c.audio->EnsureRoom(room, static_cast<std::int64_t>(payload.size()));
        if (destination != nullptr) {
            std::memcpy(destination, payload.data(), payload.size());
            record.payload = destination;
            if (c.audio->Push(record)) {
                c.audioRecord.payload = record.payload;
                break;
            }
        }
        if (!running() || !control->playing.load()) {
            return false;
        }
        SleepMs(1);
    }
    m_audioBytes += payload.size();
    if (m_resync && m_audioReady) {
        m_resync = false;
        control->RebaseAudioClock(ptsUs, -static_cast<int>(payload.size() / 16));
    }
    return true;
}

void CSourceBoxCtx::PictureQueued(int channel) {
    if (owner()->audioEnabled[static_cast<std::size_t>(channel)]) {
        m_audioReady = true;
    }
}

void CSourceBoxCtx::TextDecoded(const std::string& text) {
    std::lock_guard guard(m_trailerLock);
    m_gpsText = text.substr(0, store::kGpsTextSize);
}

void CSourceBoxCtx::FinishBackup() {
    if (m_writer.IsOpen()) {
        std::uint32_t written = 0;
        bool ok = !m_writeFailed;
        std::string error = m_writeError;
        if (m_writer.Seek(0, store::SeekOrigin::Begin)) {
            for (std::size_t i = 0; i < m_backupList.size(); ++i) {
                // Only records whose units all reached the file are indexed: an index record
                // must never point at data that is not there.
                if (i >= m_recordComplete.size() || m_recordComplete[i] == 0) {
                    ok = false;
                    break;
                }
                IndexRecord copy = *m_backupList[i];
                const auto bytes = store::SerializeIndexRecord(copy);
                if (!m_writer.Write(bytes.data(), store::kSectorSize)) {
                    ok = false;
                    error = "cannot write the index: " + m_writer.LastError();
                    break;
                }
                ++written;
            }
        } else {
            ok = false;
            error = "cannot write the index";
        }
        if (ok && m_index.kind() == store::SourceKind::Card) {
            const auto info = store::SerializeDiskInfoForBackup(m_index.diskInfo());
            if (!m_writer.Seek(store::kBackupDiskInfoOffset, store::SeekOrigin::Begin) ||
                !m_writer.Write(info.data(), store::kSectorSize)) {
                ok = false;
                error = "cannot write the disk information copy: " + m_writer.LastError();
            }
        }
        if (ok && !m_writer.Sync()) {
            ok = false;
            error = "cannot flush the backup file to disk: " + m_writer.LastError();
        }
        m_writer.Close();
        std::lock_guard guard(m_outcomeLock);
        m_outcome.finished = true;
        m_outcome.ok = ok;
        m_outcome.error = ok ? std::string() : (error.empty() ? "the backup ended early" : error);
        m_outcome.recordsWritten = written;
        m_outcome.recordsWanted = static_cast<std::uint32_t>(m_backupList.size());
        m_outcome.unitsWritten = m_writtenUnits;
    }
    // The export's files are complete when the owner hears of the end.
    if (ExportOutput* output = owner()->exportOutput(); output != nullptr && owner()->exportAvi.load()) {
        output->Reset();
    }
    m_current = nullptr;
    m_startEvent = 0;
    m_backupList.clear();
    m_recordComplete.clear();
    m_rangeStart = m_rangeEnd = 0;
}

} // namespace tavero::engine
