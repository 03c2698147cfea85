#include "store/record_index.h"

#include "store/byte_io.h"

#include <algorithm>
#include <utility>

namespace tavero::store {
namespace {

// The recorder leaves endUnit 0 in a record it has not closed yet; such a record ends where the
// next one (by seq or by time) begins.
void CloseBefore(IndexRecord& open, const IndexRecord& next) {
    open.endUnit = next.startUnit - 1;
    open.endTime = next.startTime;
}

} // namespace

IndexAreaParser::IndexAreaParser(std::uint32_t count, const IndexAreaLayout& layout,
                                 ParsedArea& out)
    : m_count(count), m_layout(layout), m_out(out) {
    m_out = ParsedArea{};
    m_out.slotProtect.assign(count, kProtectInvalid);
    m_out.slotRecord.assign(count, nullptr);
}

bool IndexAreaParser::feed(std::span<const std::uint8_t> slots, StoreError* error) {
    for (std::size_t at = 0; at + kSectorSize <= slots.size() && m_next < m_count;
         at += kSectorSize, ++m_next) {
        const std::uint32_t n = m_next;
        const auto slot = slots.subspan(at, kSectorSize);
        if (m_layout.kind == SourceKind::Card && LoadLe32(slot.data()) != kIndexMagic) {
            if (error != nullptr) {
                *error = StoreError{StoreErrorCode::IndexInvalid,
                                    "index slot " + std::to_string(n) + " has no record magic",
                                    m_layout.indexBase + std::int64_t{n} * kSectorSize};
            }
            m_out = ParsedArea{};
            return false;
        }
        if (!IndexRecordValid(slot, m_layout.kind, m_layout.diskId)) {
            continue;
        }
        IndexRecord& r = m_out.records.emplace_back(ParseIndexRecord(slot));
        r.slot = n;
        r.indexPosition = m_layout.indexBase + std::int64_t{n} * kSectorSize;
        r.dataAddress = m_layout.dataBase + std::int64_t{n} * kDataBlockSize;
        m_out.slotProtect[n] = r.protect;
        m_out.slotRecord[n] = &r;
        m_out.list.push_back(&r);
        if (r.protect != 0) {
            continue;
        }
        if (m_lowest == nullptr) {
            m_lowest = m_highest = &r;
            continue;
        }
        if (r.seq < m_lowest->seq) {
            if (r.endUnit == 0) {
                CloseBefore(r, *m_lowest);
            }
            m_lowest = &r;
        }
        if (r.seq > m_highest->seq) {
            if (m_highest->endUnit == 0) {
                CloseBefore(*m_highest, r);
            }
            m_highest = &r;
        }
    }
    return true;
}

void IndexAreaParser::finish() {
    // Order by start time; converting each packed time once keeps this cheap for 65536 slots.
    std::vector<IndexRecord*>& list = m_out.list;
    std::vector<std::pair<std::int64_t, IndexRecord*>> keyed;
    keyed.reserve(list.size());
    for (IndexRecord* r : list) {
        keyed.emplace_back(r->startSeconds(), r);
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < keyed.size(); ++i) {
        list[i] = keyed[i].second;
    }
    for (std::size_t i = 0; i + 1 < list.size(); ++i) {
        if (list[i]->endUnit == 0) {
            CloseBefore(*list[i], *list[i + 1]);
        }
    }
}

bool ParseIndexArea(std::span<const std::uint8_t> area, std::uint32_t count,
                    const IndexAreaLayout& layout, ParsedArea& out, StoreError* error) {
    if (area.size() / kSectorSize < count) {
        count = static_cast<std::uint32_t>(area.size() / kSectorSize);
    }
    IndexAreaParser parser(count, layout, out);
    if (!parser.feed(area, error)) {
        return false;
    }
    parser.finish();
    return true;
}

void RecordIndex::SetCardSource(int drive) {
    Close();
    m_kind = SourceKind::Card;
    m_drive = drive;
    m_path.clear();
}

void RecordIndex::SetBackupFileSource(const std::string& path) {
    Close();
    m_kind = SourceKind::BackupFile;
    m_drive = -1;
    m_path = path;
}

std::string RecordIndex::sourceName() const {
    if (m_kind == SourceKind::BackupFile) {
        return m_path;
    }
    return "car2://" + std::to_string(m_drive);
}

void RecordIndex::Close() {
    m_reader.Close();
    m_areaA = ParsedArea{};
    m_areaB = ParsedArea{};
    m_extra.clear();
    m_full.clear();
    m_play.clear();
    m_cursor = 0;
    m_stats = IndexStats{};
}

bool RecordIndex::fail(StoreErrorCode code, std::string detail, std::int64_t offset) {
    m_error = StoreError{code, std::move(detail), offset};
    Close();
    return false;
}

bool RecordIndex::openSource() {
    m_error = StoreError{};
    const bool opened = m_kind == SourceKind::Card
                            ? m_reader.OpenPhysicalDrive(m_drive, StoAccess::Read)
                            : m_reader.OpenFile(m_path, StoAccess::Read);
    if (!opened) {
        return fail(StoreErrorCode::OpenFailed, "cannot open: " + m_reader.LastError());
    }
    return true;
}

bool RecordIndex::readArea(std::int64_t offset, std::uint32_t count, const IndexAreaLayout& layout,
                           ParsedArea& out, const char* copyName) {
    // 1 MiB pieces: a 32 MiB area is never resident at once.
    constexpr std::uint32_t kSlotsPerPiece = 2048;
    std::vector<std::uint8_t> piece(std::size_t{std::min(count, kSlotsPerPiece)} * kSectorSize);
    IndexAreaParser parser(count, layout, out);
    if (!m_reader.Seek(offset, SeekOrigin::Begin)) {
        return fail(StoreErrorCode::ReadFailed, "cannot seek to the index area", offset);
    }
    for (std::uint32_t done = 0; done < count;) {
        const std::uint32_t slots = std::min(count - done, kSlotsPerPiece);
        const std::int64_t at = offset + std::int64_t{done} * kSectorSize;
        if (!m_reader.Read(piece.data(), slots * kSectorSize)) {
            return fail(StoreErrorCode::ReadFailed,
                        std::string("cannot read index ") + copyName + " (" +
                            std::to_string(std::int64_t{count} * kSectorSize) + " bytes)",
                        at);
        }
        StoreError parseError;
        if (!parser.feed(std::span(piece).first(std::size_t{slots} * kSectorSize), &parseError)) {
            return fail(StoreErrorCode::IndexInvalid,
                        std::string("index ") + copyName + ": " + parseError.detail,
                        offset - layout.indexBase + parseError.offset);
        }
        done += slots;
    }
    parser.finish();
    return true;
}

IndexRecord* RecordIndex::OpenIndex() {
    if (IsOpen()) {
        const auto& list = walkList();
        return list.empty() ? nullptr : list.front();
    }
    if (!openSource()) {
        return nullptr;
    }
    if (m_kind == SourceKind::BackupFile) {
        m_stats.slotCount = kBackupIndexRecords;
        const IndexAreaLayout layout{SourceKind::BackupFile, 0, kBackupIndexBase, kBackupDataBase};
        if (!readArea(kBackupIndexBase, kBackupIndexRecords, layout, m_areaA, "area")) {
            return nullptr;
        }
        m_stats.validA = static_cast<std::uint32_t>(m_areaA.list.size());
        if (m_areaA.list.empty()) {
            fail(StoreErrorCode::NoRecords, "the backup file holds no valid index record");
            return nullptr;
        }
        m_full = m_areaA.list;
    } else {
        std::string why;
        if (!ReadDiskInfo(m_reader, m_diskInfo, &why)) {
            fail(StoreErrorCode::NoDiskInfo, "not a recorder card: " + why);
            return nullptr;
        }
        if (m_diskInfo.blockCount == 0) {
            fail(StoreErrorCode::NoBlocks, "the disk information gives no data blocks",
                 kDiskInfoOffsetA);
            return nullptr;
        }
        const std::uint32_t count = m_diskInfo.blockCount;
        m_stats.slotCount = count;
        // Both copies record their positions in area A: that is where the index is rewritten.
        const IndexAreaLayout layout{SourceKind::Card, m_diskInfo.diskId, kCardIndexBaseA,
                                     kCardDataBase};
        if (!readArea(kCardIndexBaseA, count, layout, m_areaA, "copy A") ||
            !readArea(kCardIndexBaseB, count, layout, m_areaB, "copy B")) {
            return nullptr;
        }
        m_stats.validA = static_cast<std::uint32_t>(m_areaA.list.size());
        m_stats.validB = static_cast<std::uint32_t>(m_areaB.list.size());
        if (!mergeAndRecover()) {
            return nullptr;
        }
    }
    for (IndexRecord* r : m_full) {
        r->owner = this;
    }
    appendFollowOn();
    m_cursor = 0;
    return m_full.empty() ? nullptr : m_full.front();
}

void RecordIndex::appendFollowOn() {
    if (m_full.empty()) {
        return;
    }
    IndexRecord next = *m_full.back();
    next.seq += 1;
    next.recStart = 0;
    next.startUnit = next.endUnit + 1;
    next.endUnit += kUnitsPerBlock;
    next.dataAddress += kDataBlockSize;
    next.startTime = next.endTime;
    next.owner = this;
    // Only when the source has data there: past the end of a backup file it has none.
    std::uint8_t probe[kSectorSize];
    if (!m_reader.Seek(next.dataAddress, SeekOrigin::Begin) || !m_reader.Read(probe, kSectorSize)) {
        return;
    }
    m_full.push_back(&m_extra.emplace_back(next));
    m_stats.followOn = true;
}

IndexRecord* RecordIndex::NextRecord(const IndexRecord* r) {
    if (r == nullptr) {
        return nullptr;
    }
    const auto& list = walkList();
    if (m_cursor >= list.size() || list[m_cursor] != r) {
        const auto it = std::find(list.begin(), list.end(), r);
        if (it == list.end()) {
            return nullptr;
        }
        m_cursor = static_cast<std::size_t>(it - list.begin());
    }
    if (m_cursor + 1 >= list.size()) {
        return nullptr;
    }
    ++m_cursor;
    return list[m_cursor];
}

IndexRecord* RecordIndex::PreviousRecord(const IndexRecord* r) {
    if (r == nullptr) {
        return nullptr;
    }
    const auto& list = walkList();
    const auto it = std::find(list.begin(), list.end(), r);
    if (it == list.end() || it == list.begin()) {
        return nullptr;
    }
    return *(it - 1);
}

IndexRecord* RecordIndex::StepTowards(IndexRecord* current, std::int64_t targetSeconds) {
    if (current == nullptr) {
        return nullptr;
    }
    if (targetSeconds < current->startSeconds()) {
        IndexRecord* previous = PreviousRecord(current);
        if (previous != nullptr && previous->endSeconds() >= targetSeconds) {
            return previous;
        }
    } else if (targetSeconds > current->endSeconds()) {
        const auto& list = walkList();
        const auto it = std::find(list.begin(), list.end(), current);
        if (it != list.end() && it + 1 != list.end() &&
            (*(it + 1))->startSeconds() <= targetSeconds) {
            return *(it + 1);
        }
    }
    return current;
}

} // namespace tavero::store
