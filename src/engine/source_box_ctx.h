#pragma once
// CSourceBoxCtx: the source worker for the recorder's own storage (a card or a raw backup file).
// Its thread walks the recording index record by record and the data blocks unit by unit,
// forwards or backwards, follows seek requests, and hands every unit's frames and trailer to the
// per-channel queues; in export mode it copies whole units into a raw backup file instead.
//
// Threads: the controlling thread calls everything but Run; SetStart, SetExportRange and
// SetBackupList refuse while the thread runs. Run is the source thread. The last unit trailer is
// guarded by m_trailerLock (the video workers copy into it too); everything else is owned by the
// source thread while it runs and by the controlling thread otherwise.

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "engine/frame_parser.h"
#include "engine/thread_base.h"
#include "store/metadata.h"
#include "store/record_index.h"
#include "store/unit_trailer.h"

namespace tavero::engine {

class COzuCtrl;

// How a raw backup ended, for the caller that asked for it.
struct BackupOutcome {
    bool finished = false;        // the export ran to its end (or stopped) and the file is closed
    bool ok = false;              // every unit that counted was written, and the index too
    std::string error;            // why not
    std::uint32_t recordsWritten = 0; // index records in the file (complete records only)
    std::uint32_t recordsWanted = 0;
    std::uint64_t unitsWritten = 0;
};

class CSourceBoxCtx : public CSourceCtx, private AudioHandOver {
public:
    explicit CSourceBoxCtx(COzuCtrl* owner);
    ~CSourceBoxCtx() override;

    // The source to read; forgets the previous one.
    void SetSource(const std::string& path, int cardDrive);
    void ForgetSource();

    store::IndexRecord* OpenIndex() { return m_index.OpenIndex(); }
    store::IndexRecord* NextRecord(const store::IndexRecord* r) { return m_index.NextRecord(r); }
    [[nodiscard]] store::RecordIndex& index() { return m_index; }
    [[nodiscard]] store::IndexRecord* currentRecord() const { return m_current; }

    [[nodiscard]] bool SetStart(store::IndexRecord* record, int eventNumber);
    [[nodiscard]] bool SetExportRange(store::IndexRecord* record, int eventNumber,
                                      std::int64_t start, std::int64_t end);
    [[nodiscard]] bool SetBackupList(store::IndexRecord* const* records, int count);
    // Copies the last unit trailer (on-disk form); true when it carries the trailer magic.
    [[nodiscard]] bool GetLastTrailer(std::uint8_t* trailer512);
    // The video worker reached a unit's trailer item: it becomes the latest trailer. Any thread.
    void SetLatestTrailer(const std::uint8_t* trailer512);
    void ResetChannels();
    [[nodiscard]] bool IsExporting() const;
    void FinishBackup();
    // Asks the running thread to reposition (a seek, a pause, a new play).
    void Flush();
    void MarkRestart() { m_firstTrailerCount = 0; }

    bool Start() override;
    void Stop(int timeoutMs) override;
    int Run() override;
    void Close();

    [[nodiscard]] BackupOutcome backupOutcome() const;
    [[nodiscard]] const store::StoreError& lastError() const { return m_index.lastError(); }
    [[nodiscard]] const store::GSampleLists& samples() const { return m_samples; }
    [[nodiscard]] std::string gpsTextFromFrames() const;

private:
    enum class UnitResult { Next, LeaveLoop };

    bool playRecords(const std::vector<store::IndexRecord*>& list);
    bool processUnit(const store::UnitTrailer& trailer);
    void takeOverTrailer(store::UnitTrailer& trailer);
    bool writeBackupUnit();
    // AudioHandOver
    bool HandAudio(int channel, std::span<const std::uint8_t> payload, std::int64_t ptsUs) override;
    void PictureQueued(int channel) override;
    void TextDecoded(const std::string& text) override;
    void ExportPicture(int channel, std::uint32_t kind, std::span<const std::uint8_t> payload,
                       const UnitStamp& stamp) override;
    void ExportSound(int channel, std::span<const std::uint8_t> payload, const UnitStamp& stamp) override;
    void pushEndMarkers();
    void prepareChannels();
    [[nodiscard]] const std::vector<store::IndexRecord*>& walkList() const;
    store::IndexRecord* neighbour(const store::IndexRecord* r, int direction) const;

    store::RecordIndex m_index;
    store::CStoReader m_writer;
    std::vector<std::uint8_t> m_unit; // one recording unit, allocated once

    std::vector<store::IndexRecord*> m_backupList;
    std::vector<std::uint8_t> m_recordComplete; // per backup-list entry: every counting unit written
    store::IndexRecord* m_current = nullptr;
    int m_startEvent = 0;
    std::int64_t m_rangeStart = 0;
    std::int64_t m_rangeEnd = 0;
    bool m_exportFlag = false;
    std::uint32_t m_rawBlock = 0;
    std::uint64_t m_writtenUnits = 0;
    bool m_writeFailed = false;
    std::string m_writeError;
    BackupOutcome m_outcome; // guarded by m_outcomeLock
    mutable std::mutex m_outcomeLock;

    std::array<ChannelParse, 8> m_channels;

    mutable std::mutex m_trailerLock;
    std::array<std::uint8_t, store::kTrailerSize> m_lastTrailer{}; // guarded by m_trailerLock
    std::string m_gpsText; // guarded by m_trailerLock; from text frames in reverse play
    std::uint32_t m_firstTrailerCount = 0;
    store::GSampleLists m_samples;
    std::size_t m_samplesBeforeUnit = 0;
    std::atomic<bool> m_reposition{false};
    std::atomic<bool> m_busy{false};

    // Audio hand-over state (source thread).
    bool m_audioReady = false;
    bool m_resync = true;
    std::int64_t m_lastAudioPts = 0;
    std::uint64_t m_audioBytes = 0;
    int m_videoFormat = 0; // recorder video format code of the unit being parsed

    // What is being played, seconds since 1970 (source thread).
    std::int64_t m_currentTime = 0;
    std::int64_t m_startTime = 0;
    std::int64_t m_endTime = 0;
};

} // namespace tavero::engine
