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

#include "engine/frame_parser.h"
#include "engine/thread_base.h"
#include "store/metadata.h"
#include "store/record_index.h"
#include "store/unit_trailer.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace tavero::engine {

class COzuCtrl;

// How a raw backup ended, for the caller that asked for it.
struct BackupOutcome {
    bool finished = false; // the export ran to its end (or stopped) and the file is closed
    bool ok = false;       // every unit that counted was written, and the index too
    std::string error;     // why not
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
    // The record being played; any thread.
    [[nodiscard]] store::IndexRecord* currentRecord() const { return m_current.load(); }

    [[nodiscard]] bool SetStart(store::IndexRecord* record, int eventNumber);
    [[nodiscard]] bool SetExportRange(store::IndexRecord* record, int eventNumber,
                                      std::int64_t start, std::int64_t end);
    [[nodiscard]] bool SetBackupList(store::IndexRecord* const* records, int count);
    // Copies the last unit trailer in host order (store::TrailerToHostImage); true when it
    // carries the trailer magic.
    [[nodiscard]] bool GetLastTrailer(std::uint8_t* trailer512);
    // The video worker reached a unit's trailer item (host order): it becomes the latest
    // trailer. Any thread.
    void SetLatestTrailer(const std::uint8_t* trailer512);
    void ResetChannels();
    [[nodiscard]] bool IsExporting() const;
    void FinishBackup();
    // Asks the running thread to reposition (a seek, a pause, a new play).
    void Flush();
    void MarkRestart() { m_firstTrailerCount = 0; }

    bool Start() override;
    // Stops the thread. When it does not end within the timeout (a read blocked on a failing
    // card) nothing it uses is touched: the lists, the index and the backup file stay as they
    // are until a later Stop sees the thread end. The destructor waits without limit.
    void Stop(int timeoutMs) override;
    int Run() override;
    void Close();

    [[nodiscard]] BackupOutcome backupOutcome() const;
    [[nodiscard]] const store::StoreError& lastError() const { return m_index.lastError(); }
    [[nodiscard]] const store::GSampleLists& samples() const { return m_samples; }
    [[nodiscard]] std::string gpsTextFromFrames() const;

private:
    // A place in the walk: unit v of a record.
    struct WalkPosition {
        store::IndexRecord* record = nullptr;
        std::int64_t v = 0;
    };
    enum class UnitCheck { Counts, Invalid, ReadFailed };
    enum class SeekOutcome { Found, EndOfData, Superseded, Stopped };
    enum class WalkEnd { EndOfData, Stopped, ExportDone };

    // Source thread.
    WalkEnd walk(const std::vector<store::IndexRecord*>& list);
    bool processUnit(const store::UnitTrailer& trailer);
    void takeOverTrailer(store::UnitTrailer& trailer);
    bool writeBackupUnit();
    // Follows a pending seek target from m_pos; on Found, m_pos is the unit to play from.
    SeekOutcome searchTarget(std::int32_t target);
    // Reads the trailer of the unit at p; Counts when it is valid and has the expected number.
    UnitCheck checkTrailer(const WalkPosition& p, store::UnitTrailer& trailer);
    // Moves p by one unit (direction +1 or -1) across record boundaries of the walk list;
    // false at either end of the list.
    bool step(WalkPosition& p, int direction) const;
    void resetForSeek(double speed);
    void channelSwitchedOff(int channel, int sign, bool exporting);
    // AudioHandOver
    bool HandAudio(int channel, std::span<const std::uint8_t> payload, std::int64_t ptsUs) override;
    void PictureQueued(int channel) override;
    void TextDecoded(const std::string& text) override;
    void ExportPicture(int channel, std::uint32_t kind, std::span<const std::uint8_t> payload,
                       std::int64_t ptsUs, const UnitStamp& stamp) override;
    void ExportSound(int channel, std::span<const std::uint8_t> payload, std::int64_t ptsUs,
                     const UnitStamp& stamp) override;
    void pushEndMarkers();
    void prepareChannels();
    [[nodiscard]] const std::vector<store::IndexRecord*>& walkList() const;
    store::IndexRecord* neighbour(const store::IndexRecord* r, int direction) const;
    // The first unit to play: the start event's unit, or the record's first.
    [[nodiscard]] WalkPosition startPosition(store::IndexRecord* record);

    store::RecordIndex m_index;
    store::CStoReader m_writer;
    std::vector<std::uint8_t> m_unit; // one recording unit, allocated once

    std::vector<store::IndexRecord*> m_backupList;
    std::vector<std::uint8_t>
        m_recordComplete; // per backup-list entry: every counting unit written
    std::atomic<store::IndexRecord*> m_current{nullptr};
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

    // The walk (source thread).
    WalkPosition m_pos;
    std::int64_t m_lastSeen = -1;  // unit number of the last counting unit played; -1 none
    std::uint64_t m_holeEpoch = 0; // holes met in the unit numbering so far
    std::int32_t m_searching = 0;  // the seek target being searched for

    // Audio hand-over state (source thread).
    bool m_audioReady = false;
    bool m_resync = true;
    std::int64_t m_lastAudioPts = 0;
    std::uint64_t m_audioBytes = 0;
    int m_videoFormat = 0; // recorder video format code of the unit being parsed
};

} // namespace tavero::engine
