#include "engine/source_box_ctx.h"

#include "engine/ozu_ctrl.h"
#include "store/byte_io.h"
#include "store/checksum.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>

namespace tavero::engine {
namespace {

using store::IndexRecord;
using store::kUnitSize;

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int SpeedSign(double speed) {
    return speed < 0 ? -1 : 1;
}

} // namespace

CSourceBoxCtx::CSourceBoxCtx(COzuCtrl* owner) : CSourceCtx(owner), m_unit(kUnitSize) {
    for (int c = 0; c < static_cast<int>(m_channels.size()); ++c) {
        m_channels[static_cast<std::size_t>(c)].channel = c;
    }
}

CSourceBoxCtx::~CSourceBoxCtx() {
    Stop(10000);
    if (hasThread()) {
        // Everything the thread uses dies with this object: wait for it, however long a
        // failing card blocks its read.
        Stop(-1);
    }
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
    if (hasThread()) {
        return; // still reading: the source stays open until the thread has ended
    }
    m_index.Close();
    m_backupList.clear();
    m_current = nullptr;
    m_startEvent = 0;
    m_rangeStart = m_rangeEnd = 0;
    m_exportFlag = false;
}

void CSourceBoxCtx::Close() {
    Stop(10000);
    if (!hasThread()) {
        m_index.Close();
    }
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
        // A record asked for twice is copied once: the walk goes from a record to the one
        // after it, and a second copy would send it back.
        if (records[i] != nullptr &&
            std::find(m_backupList.begin(), m_backupList.end(), records[i]) == m_backupList.end()) {
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

void CSourceBoxCtx::Flush() {
    m_reposition = true;
}

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
                m_outcome.error =
                    "cannot write " + control->exportPath + ": " + m_writer.LastError();
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
    setCurrentTime(0);
    setStartTime(list.front()->startSeconds());
    setEndTime(list.back()->endSeconds());
    SleepMs(10);
    m_busy = false;
    return CSourceCtx::Start();
}

void CSourceBoxCtx::Stop(int timeoutMs) {
    CSourceCtx::Stop(timeoutMs);
    if (hasThread()) {
        return; // the thread outlived the timeout and still uses all of this
    }
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
    const std::uint32_t generation = owner()->seekGeneration.load();
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
                StampProducerData(end, 0, generation);
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

CSourceBoxCtx::WalkPosition CSourceBoxCtx::startPosition(IndexRecord* record) {
    COzuCtrl* control = owner();
    WalkPosition p{record, 0};
    if (m_startEvent >= 1 && m_startEvent <= store::kMaxRecordEvents &&
        record->events[static_cast<std::size_t>(m_startEvent - 1)].type != 0) {
        const auto& e = record->events[static_cast<std::size_t>(m_startEvent - 1)];
        p.v = static_cast<std::int64_t>(e.unit) - record->startUnit;
        control->clock = store::PackedTimeToSeconds(e.time);
    } else {
        control->clock = record->startSeconds();
    }
    if (p.v < 0 || p.v > static_cast<std::int64_t>(record->endUnit - record->startUnit)) {
        p.v = 0;
    }
    return p;
}

int CSourceBoxCtx::Run() {
    prepareChannels();
    COzuCtrl* control = owner();
    const bool exporting = IsExporting();
    const auto& list = m_backupList.empty() ? walkList() : m_backupList;
    if (!list.empty()) {
        IndexRecord* first = m_current.load();
        if (std::find(list.begin(), list.end(), first) == list.end()) {
            first = list.front();
        }
        m_current = first;
        m_pos = startPosition(first);
        m_lastSeen = -1;
        m_searching = 0;
        for (;;) {
            const WalkEnd end = walk(list);
            if (exporting || end != WalkEnd::EndOfData || !running() || !control->playing) {
                break;
            }
            // End of the data while playing: every channel learns it, then the thread waits
            // for the user to seek back into the recordings (the walk starts from where it
            // ended, so a seek in either direction finds its way).
            pushEndMarkers();
            while (running() && control->seekTarget.load() == 0) {
                SleepMs(10);
            }
            if (!running()) {
                break;
            }
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

CSourceBoxCtx::UnitCheck CSourceBoxCtx::checkTrailer(const WalkPosition& p,
                                                     store::UnitTrailer& trailer) {
    store::CStoReader& reader = m_index.reader();
    std::array<std::uint8_t, store::kTrailerSize> bytes{};
    if (!reader.Seek(p.record->dataAddress + p.v * kUnitSize +
                         static_cast<std::int64_t>(store::kFrameAreaSize),
                     store::SeekOrigin::Begin) ||
        !reader.Read(bytes.data(), bytes.size())) {
        return UnitCheck::ReadFailed;
    }
    if (!store::ValidateTrailer(bytes, p.record->diskId)) {
        return UnitCheck::Invalid;
    }
    trailer = store::TrailerToHost(bytes);
    return trailer.unitNo == p.record->startUnit + p.v ? UnitCheck::Counts : UnitCheck::Invalid;
}

bool CSourceBoxCtx::step(WalkPosition& p, int direction) const {
    if (direction > 0) {
        if (p.v + 1 <= static_cast<std::int64_t>(p.record->endUnit) - p.record->startUnit) {
            ++p.v;
            return true;
        }
        IndexRecord* next = neighbour(p.record, +1);
        if (next == nullptr) {
            return false;
        }
        p = WalkPosition{next, 0};
        return true;
    }
    if (p.v > 0) {
        --p.v;
        return true;
    }
    IndexRecord* previous = neighbour(p.record, -1);
    if (previous == nullptr) {
        return false;
    }
    p = WalkPosition{previous, static_cast<std::int64_t>(previous->endUnit) - previous->startUnit};
    return true;
}

CSourceBoxCtx::SeekOutcome CSourceBoxCtx::searchTarget(std::int32_t target) {
    COzuCtrl* control = owner();
    // Forwards the walk resumes at the first unit at or after the target, backwards at the
    // last unit at or before it: both are where "later than" flips along the walk.
    const bool backwards = control->speed.load() < 0;
    const auto later = [&](std::int64_t t) { return backwards ? t > target : t >= target; };
    WalkPosition p = m_pos;
    if (p.record == nullptr) {
        return SeekOutcome::EndOfData;
    }
    // Whole records first, in one direction only: a target in the time between two records
    // must not send the walk back and forth between them.
    int hop = 0;
    for (;;) {
        IndexRecord* r = p.record;
        if (target > r->endSeconds() && hop >= 0) {
            if (IndexRecord* next = neighbour(r, +1)) {
                p = WalkPosition{next, 0};
                hop = +1;
                continue;
            }
        } else if (target < r->startSeconds() && hop <= 0) {
            if (IndexRecord* previous = neighbour(r, -1)) {
                p = WalkPosition{previous, static_cast<std::int64_t>(previous->endUnit) -
                                               previous->startUnit};
                hop = -1;
                continue;
            }
        }
        break;
    }
    // Then unit by unit (trailers only), in the direction the first counting unit gives, until
    // the answer flips. A unit that does not count is passed over. When nothing ahead counts
    // (the empty block after the last recording), the walk looks back from where it started.
    std::optional<WalkPosition> lastLater;   // the earliest "later" unit met so far
    std::optional<WalkPosition> lastEarlier; // the latest "not later" unit met so far
    const WalkPosition from = p;
    store::UnitTrailer trailer;
    for (int pass = 0; pass < 2; ++pass) {
        int direction = pass == 0 ? 0 : -1;
        p = from;
        if (pass == 1 && !step(p, -1)) {
            break;
        }
        for (;;) {
            if (!running() || !control->playing.load()) {
                return SeekOutcome::Stopped;
            }
            if (control->seekTarget.load() != target) {
                return SeekOutcome::Superseded;
            }
            const UnitCheck check = checkTrailer(p, trailer);
            if (check == UnitCheck::ReadFailed) {
                break; // the data ends here
            }
            if (check == UnitCheck::Counts) {
                const bool isLater = later(store::PackedTimeToSeconds(trailer.unitTime));
                if (isLater) {
                    lastLater = p;
                } else {
                    lastEarlier = p;
                }
                if (direction == 0) {
                    direction = isLater ? -1 : +1;
                } else if (isLater == (direction > 0)) {
                    break; // flipped
                }
            }
            if (!step(p, direction == 0 ? +1 : direction)) {
                break;
            }
        }
        if (lastLater || lastEarlier) {
            break;
        }
    }
    const std::optional<WalkPosition>& answer = backwards ? lastEarlier : lastLater;
    if (!answer) {
        // No unit lies on that side of the target: the end of the data in that direction.
        m_pos = p;
        return SeekOutcome::EndOfData;
    }
    m_pos = *answer;
    return SeekOutcome::Found;
}

void CSourceBoxCtx::resetForSeek(double speed) {
    COzuCtrl* control = owner();
    // Records read before the seek are stale: the workers drop them by their generation, and
    // the queues forget them.
    control->seekGeneration.fetch_add(1);
    for (ChannelParse& c : m_channels) {
        c.ResetForDirection(SpeedSign(speed));
        c.holeEpoch = m_holeEpoch;
        c.lastSpeed = 0; // nothing read at another speed waits in the queues any more
    }
    ResetChannels();
    m_lastSeen = -1;
}

void CSourceBoxCtx::channelSwitchedOff(int channel, int sign, bool exporting) {
    ChannelParse& c = m_channels[static_cast<std::size_t>(channel)];
    if (c.direction != sign) {
        c.ResetForDirection(sign);
    } else {
        c.DropPartial();
    }
    if (exporting || c.video == nullptr) {
        return;
    }
    if (!c.hidden) {
        c.hidden = true;
        c.offPending = true;
    }
    if (!c.offPending) {
        return;
    }
    // The pictures already queued are still shown; the worker clears and hides the channel's
    // picture when it gets to this point of the stream. With every side slot taken (a paused
    // worker) the mark waits for the next switched-off unit; the reader never waits for it,
    // since the other channels must go on.
    FrameRecord off;
    off.kind = kKindSideRecord;
    off.value = kSideChannelOff;
    off.speed = owner()->speed.load();
    off.timeSeconds = currentTime();
    StampProducerData(off, 0, owner()->seekGeneration.load());
    const std::uint8_t none[1] = {0};
    if (c.video->PushSide(off, none)) {
        c.offPending = false;
    }
}

CSourceBoxCtx::WalkEnd CSourceBoxCtx::walk(const std::vector<IndexRecord*>& list) {
    COzuCtrl* control = owner();
    const bool exporting = IsExporting();
    // A list exported to AVI files walks its records like playback does; only a raw backup
    // copies whole units.
    const bool rawBackup = !m_backupList.empty() && !control->exportAvi.load();
    std::size_t backupPosition =
        rawBackup ? static_cast<std::size_t>(std::find(list.begin(), list.end(), m_pos.record) -
                                             list.begin())
                  : 0;
    bool recordOk = true;

    while (running() && (exporting || control->playing)) {
        WalkPosition& p = m_pos;
        IndexRecord* const record = p.record;
        m_current = record;
        if (m_reposition.exchange(false)) {
            // Pause, speed or play: the sound starts afresh; the pictures already queued
            // stay, so that playing on after a pause continues where the picture stood.
            ResetChannels();
        }
        if (const std::int32_t target = exporting ? 0 : control->seekTarget.load(); target != 0) {
            const SeekOutcome found = searchTarget(target);
            if (found == SeekOutcome::Superseded) {
                continue;
            }
            if (found == SeekOutcome::Stopped) {
                return WalkEnd::Stopped;
            }
            resetForSeek(control->speed.load());
            std::int32_t expected = target;
            // A newer target set meanwhile stays for the next pass.
            (void)control->seekTarget.compare_exchange_strong(expected, 0);
            if (found == SeekOutcome::EndOfData) {
                return WalkEnd::EndOfData;
            }
            continue;
        }

        store::CStoReader& reader = m_index.reader();
        const std::int64_t unitAt = record->dataAddress + p.v * kUnitSize;
        bool present = true;
        if (!reader.Seek(unitAt, store::SeekOrigin::Begin) ||
            !reader.Read(m_unit.data(), kUnitSize)) {
            // A raw backup file ends with the last unit that was copied into it: a record of
            // which nothing (or only a start) was copied has its block missing or cut short.
            // Its remaining units are passed over like damaged ones; a card that cannot be read
            // ends the data.
            if (m_index.kind() != store::SourceKind::BackupFile ||
                unitAt + kUnitSize <= reader.Size()) {
                SleepMs(1);
                return WalkEnd::EndOfData;
            }
            present = false;
            const bool forwards = exporting || control->speed.load() >= 0;
            p.v = forwards ? static_cast<std::int64_t>(record->endUnit) - record->startUnit : 0;
        }
        const std::int64_t recordStart = record->startSeconds();
        const std::int64_t recordEnd = record->endSeconds();
        const auto trailerBytes = std::span(m_unit).subspan(store::kFrameAreaSize);
        bool counts = present && store::ValidateTrailer(trailerBytes, record->diskId);
        store::UnitTrailer trailer;
        if (counts) {
            trailer = store::TrailerToHost(trailerBytes);
            counts = trailer.unitNo == record->startUnit + p.v;
        }
        bool skip = false;
        if (counts) {
            setCurrentTime(store::PackedTimeToSeconds(trailer.unitTime));
            if (m_rangeEnd != 0 && m_rangeEnd != recordEnd && currentTime() > m_rangeEnd) {
                return WalkEnd::ExportDone;
            }
            if (m_rangeStart != 0 && m_rangeStart != recordStart && currentTime() < m_rangeStart) {
                skip = true;
            }
        }
        if (counts && !skip) {
            takeOverTrailer(trailer);
            if (rawBackup) {
                if (!writeBackupUnit()) {
                    recordOk = false;
                    break;
                }
            } else {
                const double speed = control->speed.load();
                const int sign = SpeedSign(speed);
                if (m_lastSeen >= 0 &&
                    static_cast<std::int64_t>(trailer.unitNo) != m_lastSeen + sign) {
                    // A hole in the numbering: the channels whose streams span it lose their
                    // frame in progress (see processUnit), nothing already queued.
                    ++m_holeEpoch;
                    control->clock = currentTime();
                }
                m_lastSeen = trailer.unitNo;
                if (trailer.channel < kChannelCount) {
                    if (trailer.channelOff != 0) {
                        channelSwitchedOff(trailer.channel, sign, exporting);
                    } else if (!processUnit(trailer)) {
                        return running() ? WalkEnd::EndOfData : WalkEnd::Stopped;
                    }
                }
            }
        } else if (!counts && rawBackup && present) {
            if (!m_writer.Seek(kUnitSize, store::SeekOrigin::Current)) {
                recordOk = false;
                break;
            }
        }

        // On to the next unit in the direction of play.
        const int direction = exporting || control->speed.load() >= 0 ? +1 : -1;
        if (direction > 0 &&
            p.v + 1 <= static_cast<std::int64_t>(record->endUnit) - record->startUnit) {
            ++p.v;
            continue;
        }
        if (direction < 0 && p.v > 0) {
            --p.v;
            continue;
        }
        if (direction > 0) {
            // End of the record forwards.
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
                return exporting ? WalkEnd::ExportDone : WalkEnd::EndOfData;
            }
            if (rawBackup) {
                ++m_rawBlock;
                if (!m_writer.Seek(store::kBackupDataBase +
                                       std::int64_t{m_rawBlock} * store::kDataBlockSize,
                                   store::SeekOrigin::Begin)) {
                    break;
                }
            }
            p = WalkPosition{next, 0};
            continue;
        }
        // End of the record backwards.
        IndexRecord* previous = neighbour(record, -1);
        if (previous == nullptr) {
            return WalkEnd::EndOfData;
        }
        p = WalkPosition{previous,
                         static_cast<std::int64_t>(previous->endUnit) - previous->startUnit};
    }
    if (!running()) {
        return WalkEnd::Stopped;
    }
    return exporting ? WalkEnd::ExportDone : WalkEnd::EndOfData;
}

void CSourceBoxCtx::takeOverTrailer(store::UnitTrailer& trailer) {
    COzuCtrl* control = owner();
    if (IsExporting()) {
        {
            std::lock_guard guard(m_trailerLock);
            m_lastTrailer = store::TrailerToHostImage(trailer);
        }
        control->Notify(kMsgUnitTrailer, 0);
        control->clock = currentTime();
        return;
    }
    if (m_firstTrailerCount++ == 0) {
        store::UnitTrailer first = trailer;
        first.gCount = 0;
        first.gSamples = {};
        const auto bytes = store::TrailerToHostImage(first);
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
    // The channel's pictures are back; its worker shows the window with the next picture (a
    // switch-off mark that never found a slot is dropped: the pictures simply go on).
    c.hidden = false;
    c.offPending = false;
    const double speed = control->speed.load();
    const int sign = SpeedSign(speed);
    if (sign != c.direction) {
        c.ResetForDirection(sign);
        c.holeEpoch = m_holeEpoch;
    } else if (c.holeEpoch != m_holeEpoch) {
        // Units went missing since this channel's last one: its frame in progress may lack
        // bytes. The pictures already queued stay.
        c.DropPartial();
        c.holeEpoch = m_holeEpoch;
    }
    if (speed != 1.0 && c.audio != nullptr && c.audio->queuedBytes() > 0) {
        c.audio->Flush(); // sound only plays at normal speed
    }
    if (speed == 1.0 && c.lastSpeed != 1.0 && c.lastSpeed != 0) {
        // Back to normal speed: the pictures read ahead at the other speed go first, so that the
        // sound starts with them. A paused worker does not drain its queue, and a seek has
        // emptied it: neither waits.
        while (running() && control->seekTarget.load() == 0 && !control->paused.load() &&
               c.video->recordCount() > static_cast<std::size_t>(trailer.fps)) {
            SleepMs(10);
        }
    }
    c.lastSpeed = speed;
    const std::uint32_t generation = control->seekGeneration.load();
    c.stamp = UnitStamp{trailer.fps, speed, currentTime(), trailer.unitNo, generation};
    m_videoFormat = trailer.videoFormat;
    if (!exporting) {
        // The trailer goes ahead of the unit's frames, for the video worker's position and
        // G-sensor display; it is left out when the queue has no slot for it.
        FrameRecord item;
        item.kind = kKindTrailer;
        item.value = static_cast<std::int32_t>(m_samplesBeforeUnit);
        item.speed = speed;
        item.timeSeconds = currentTime();
        StampProducerData(item, trailer.unitNo, generation);
        const auto image = store::TrailerToHostImage(trailer);
        (void)c.video->PushSide(item, image);
    }
    const auto area = std::span<const std::uint8_t>(m_unit).first(store::kFrameAreaSize);
    const bool ok = speed >= 0 ? ParseForward(c, area) : ParseBackward(c, area);
    return ok && control->playing.load();
}

void CSourceBoxCtx::ExportPicture(int channel, std::uint32_t kind,
                                  std::span<const std::uint8_t> payload, std::int64_t ptsUs,
                                  const UnitStamp& stamp) {
    COzuCtrl* control = owner();
    ExportOutput* output = control->exportOutput();
    if (output == nullptr || !control->exportTicked[static_cast<std::size_t>(channel)].load()) {
        return;
    }
    if (!output->HasFileOpen(channel)) {
        output->SetChannelHeader(channel, ExportHeader::Channel(output->ChannelHeader(channel),
                                                                m_videoFormat, currentTime()));
    }
    output->Write(channel,
                  ExportHeader::Picture(static_cast<std::uint32_t>(payload.size()), stamp.fps,
                                        kind == kKindKeyFrame, currentTime()),
                  payload, ptsUs);
}

void CSourceBoxCtx::ExportSound(int /*channel*/, std::span<const std::uint8_t> payload,
                                std::int64_t ptsUs, const UnitStamp& /*stamp*/) {
    COzuCtrl* control = owner();
    ExportOutput* output = control->exportOutput();
    if (output == nullptr) {
        return;
    }
    // The recorder keeps one sound track; every exported channel's file carries it.
    const ExportHeader header =
        ExportHeader::Sound(static_cast<std::uint32_t>(payload.size()), currentTime());
    for (int c = 0; c < kChannelCount; ++c) {
        if (control->exportTicked[static_cast<std::size_t>(c)].load()) {
            output->WriteAudio(c, header, payload, ptsUs);
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
        if (m_lastAudioPts != 0 &&
            (ptsUs - m_lastAudioPts > 1000000 || m_lastAudioPts - ptsUs > 1000000)) {
            m_resync = true;
        }
        m_lastAudioPts = ptsUs;
    }
    FrameRecord record = c.audioRecord;
    record.size = static_cast<std::uint32_t>(payload.size());
    record.kind = kKindAudio;
    record.timeSeconds = currentTime();
    record.ptsUs = m_audioReady ? ptsUs : m_lastAudioPts;
    for (;;) {
        FrameRecord room = record;
        room.size = 0;
        std::uint8_t* destination =
            c.audio->EnsureRoom(room, static_cast<std::int64_t>(payload.size()));
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
    if (ExportOutput* output = owner()->exportOutput();
        output != nullptr && owner()->exportAvi.load()) {
        output->Reset();
    }
    m_current = nullptr;
    m_startEvent = 0;
    m_backupList.clear();
    m_recordComplete.clear();
    m_rangeStart = m_rangeEnd = 0;
}

} // namespace tavero::engine
