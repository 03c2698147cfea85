#pragma once
// RecordIndex: the recording index of one opened card or raw backup file. It validates the
// records of both index copies, merges them, rebuilds the record of the block the recorder was
// filling when it stopped, orders everything by time and answers walks over the result.
// Owned and used by one thread at a time (the user-interface thread while listing, the source
// thread while playing); it holds no lock.

#include "store/card_layout.h"
#include "store/index_record.h"
#include "store/sto_reader.h"
#include "store/store_error.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tavero::store {

// Where one index area lies and how its slots are validated.
struct IndexAreaLayout {
    SourceKind kind = SourceKind::Card;
    std::uint32_t diskId = 0;   // card only
    std::int64_t indexBase = 0; // byte position recorded for slot 0
    std::int64_t dataBase = 0;  // data block n starts at dataBase + n * 16 MiB
};

// Result of parsing one area: the valid records (stable addresses) and, per slot, the in-memory
// protect value (0..2 for valid records, 4 for invalid slots).
struct ParsedArea {
    std::deque<IndexRecord> records;
    std::vector<IndexRecord*> list; // ordered by start time
    std::vector<std::uint8_t> slotProtect;
    std::vector<IndexRecord*> slotRecord; // valid record of each slot, or null
};

// Validates and converts every slot. False only when a card slot lacks the record magic
// (error names the slot); invalid slots are otherwise skipped.
[[nodiscard]] bool ParseIndexArea(std::span<const std::uint8_t> area, std::uint32_t count,
                                  const IndexAreaLayout& layout, ParsedArea& out,
                                  StoreError* error = nullptr);

// The same, fed slot by slot in pieces so that a 32 MiB area never has to be held at once.
class IndexAreaParser {
public:
    IndexAreaParser(std::uint32_t count, const IndexAreaLayout& layout, ParsedArea& out);
    // Whole slots, in order. False once a card slot lacks the record magic.
    [[nodiscard]] bool feed(std::span<const std::uint8_t> slots, StoreError* error = nullptr);
    // Orders the records by time and closes open ones; call after the last slot.
    void finish();

private:
    std::uint32_t m_count;
    std::uint32_t m_next = 0;
    IndexAreaLayout m_layout;
    ParsedArea& m_out;
    IndexRecord* m_lowest = nullptr;
    IndexRecord* m_highest = nullptr;
};

struct IndexStats {
    std::uint32_t slotCount = 0; // slots per index area
    std::uint32_t validA = 0;    // valid records in copy A (the only copy of a backup file)
    std::uint32_t validB = 0;
    bool copyBWon = false;
    bool recovered = false; // a record was rebuilt from the units of the block being filled
    bool followOn = false;  // the follow-on record for the next block was appended
};

class RecordIndex {
public:
    RecordIndex() = default;
    RecordIndex(const RecordIndex&) = delete;
    RecordIndex& operator=(const RecordIndex&) = delete;

    // The source to open: a card by drive number, or a raw backup file by path.
    void SetCardSource(int drive);
    void SetBackupFileSource(const std::string& path);

    // Opens the source, reads, parses and merges the index, appends the follow-on record.
    // Returns the first record, or null on any failure (see lastError()). When already open,
    // returns the first record of the play list (or of the full list) without reading.
    IndexRecord* OpenIndex();
    IndexRecord* FirstRecord() { return OpenIndex(); }
    // The record after / before r in the play list (the full list when the play list is empty);
    // null after the last, for a record not in the list, or for null.
    IndexRecord* NextRecord(const IndexRecord* r);
    IndexRecord* PreviousRecord(const IndexRecord* r);
    // One step of the search for a second: the neighbour to move to, or current itself.
    IndexRecord* StepTowards(IndexRecord* current, std::int64_t targetSeconds);

    [[nodiscard]] bool IsOpen() const { return m_reader.IsOpen(); }
    void Close();

    [[nodiscard]] const std::vector<IndexRecord*>& fullList() const { return m_full; }
    [[nodiscard]] const std::vector<IndexRecord*>& playList() const { return m_play; }
    void SetPlayList(std::vector<IndexRecord*> records) { m_play = std::move(records); }
    [[nodiscard]] SourceKind kind() const { return m_kind; }
    [[nodiscard]] const DiskInfo& diskInfo() const { return m_diskInfo; }
    [[nodiscard]] const IndexStats& stats() const { return m_stats; }
    [[nodiscard]] const StoreError& lastError() const { return m_error; }
    [[nodiscard]] CStoReader& reader() { return m_reader; }
    // The source as people name it: the path of the drive or file.
    [[nodiscard]] std::string sourceName() const;

private:
    [[nodiscard]] bool openSource();
    // Reads and parses one index area in pieces.
    [[nodiscard]] bool readArea(std::int64_t offset, std::uint32_t count,
                                const IndexAreaLayout& layout, ParsedArea& out,
                                const char* copyName);
    [[nodiscard]] bool mergeAndRecover();
    void appendFollowOn();
    const std::vector<IndexRecord*>& walkList() const { return m_play.empty() ? m_full : m_play; }
    bool fail(StoreErrorCode code, std::string detail, std::int64_t offset = -1);

    friend class IndexRecovery;

    SourceKind m_kind = SourceKind::Card;
    int m_drive = -1;
    std::string m_path;

    CStoReader m_reader;
    DiskInfo m_diskInfo;
    ParsedArea m_areaA;
    ParsedArea m_areaB;
    std::deque<IndexRecord> m_extra; // rebuilt and follow-on records; stable addresses
    std::vector<IndexRecord*> m_full;
    std::vector<IndexRecord*> m_play;
    std::size_t m_cursor = 0; // index in the walked list of the last NextRecord answer
    IndexStats m_stats;
    StoreError m_error;
};

} // namespace tavero::store
