// Merging the two index copies of a card and rebuilding the record of the block the recorder
// was filling when it stopped (it writes a block's record only once the block is under way, and
// may be cut off before that).

#include "store/byte_io.h"
#include "store/record_index.h"
#include "store/unit_trailer.h"

#include <algorithm>
#include <array>

namespace tavero::store {

class IndexRecovery {
public:
    explicit IndexRecovery(RecordIndex& index) : m_index(index) {}

    // False only when the index is unusable.
    bool run();

private:
    enum class ScanEnd { Normal, SeekFailed };

    ScanEnd scan(IndexRecord& candidate, bool candidateIsOldestSlot);
    void initialiseFresh(IndexRecord& candidate, const IndexRecord* last) const;

    RecordIndex& m_index;
    IndexRecord* m_oldest = nullptr; // the oldest overwritable record (the list's own copy)
    std::uint32_t m_examined = 0;    // units examined over all scans
    std::uint32_t m_accepted = 0;    // units accepted by the current scan
    static constexpr std::uint32_t kMaxExamined = 2048;
};

void IndexRecovery::initialiseFresh(IndexRecord& c, const IndexRecord* last) const {
    c.magic = kIndexMagic;
    c.seq = last != nullptr ? last->seq + 1 : 1;
    c.recStart = 0;
    c.newest = 1;
    c.protect = 0;
    c.eventCount = 0;
    c.words228 = {1, 1, 0, 0, 0};
    c.diskId = m_index.m_diskInfo.diskId;
    c.startUnit = c.endUnit = last != nullptr ? last->endUnit + 1 : 1;
}

IndexRecovery::ScanEnd IndexRecovery::scan(IndexRecord& c, bool candidateIsOldestSlot) {
    m_accepted = 0;
    CStoReader& reader = m_index.m_reader;
    if (!reader.Seek(c.dataAddress, SeekOrigin::Begin)) {
        return ScanEnd::SeekFailed;
    }
    std::array<std::uint8_t, kTrailerSize> bytes{};
    int misses = 0;
    for (std::uint32_t i = 0; m_examined < kMaxExamined; ++i) {
        // Only the trailer decides; reading it alone keeps this to one sector per unit.
        const std::int64_t at = c.dataAddress + std::int64_t{i} * kUnitSize + kFrameAreaSize;
        if (!reader.Seek(at, SeekOrigin::Begin) || !reader.Read(bytes.data(), kTrailerSize)) {
            break;
        }
        ++m_examined;
        if (!ValidateTrailer(bytes, m_index.m_diskInfo.diskId)) {
            if (++misses >= 2) {
                break;
            }
            continue;
        }
        const UnitTrailer t = TrailerToHost(bytes);
        if (candidateIsOldestSlot && m_oldest != nullptr && t.unitNo <= m_oldest->endUnit) {
            // The recorder has overwritten only the front of the oldest record: what is left of
            // it starts at this unit.
            m_oldest->dataAddress += std::int64_t{i} * kUnitSize;
            m_oldest->startUnit = t.unitNo;
            m_oldest->startTime = t.unitTime;
            // Events in the overwritten front are cleared where they stand: the entries that
            // remain keep their places, and with them the recording's event type.
            for (std::size_t e = 0; e < m_oldest->events.size() && e < m_oldest->eventCount &&
                                    m_oldest->events[e].unit < t.unitNo;
                 ++e) {
                m_oldest->events[e] = IndexEvent{};
            }
            break;
        }
        if (t.unitNo != c.startUnit + m_accepted) {
            if (++misses >= 2) {
                break;
            }
            continue;
        }
        if (m_accepted == 0) {
            c.startTime = t.unitTime;
        }
        ++m_accepted;
        c.endUnit = t.unitNo;
        c.endTime = t.unitTime;
        if (t.recStartFlag != 0) {
            c.recStart = 1;
        }
        if (t.eventType != 0 && c.eventCount < kMaxRecordEvents) {
            c.events[c.eventCount] = IndexEvent{t.unitNo, t.unitTime, t.eventType};
            ++c.eventCount;
            if (t.protectFlag != 0 && c.protect == 0) {
                c.protect = t.eventType == kEventGSensor ? 1 : 2;
            }
        }
    }
    return ScanEnd::Normal;
}

bool IndexRecovery::run() {
    RecordIndex& x = m_index;
    std::vector<IndexRecord*>& full = x.m_full;
    ParsedArea& area = x.m_areaA;
    const std::uint32_t slots = static_cast<std::uint32_t>(area.slotProtect.size());
    if (slots == 0) {
        return x.fail(StoreErrorCode::NoRecords, "the index has no slots");
    }

    IndexRecord* last = full.empty() ? nullptr : full.back();
    std::uint32_t candidateSlot = 0;
    if (last != nullptr) {
        const auto firstOverwritable = std::find_if(
            full.begin(), full.end(), [](const IndexRecord* r) { return r->protect == 0; });
        m_oldest = firstOverwritable != full.end() ? *firstOverwritable : full.front();
        candidateSlot = last->slot;
        for (std::uint32_t step = 0; step < slots; ++step) {
            candidateSlot = (candidateSlot + 1) % slots;
            const std::uint8_t p = area.slotProtect[candidateSlot];
            if (p == 0 || p == kProtectInvalid || candidateSlot == m_oldest->slot) {
                break;
            }
        }
    }
    const bool candidateIsOldestSlot = m_oldest != nullptr && candidateSlot == m_oldest->slot;
    // The candidate is a fresh record of its own; the record the slot held (if any) stays
    // listed unless the recorder is shown to have reused its block.
    IndexRecord fresh;
    if (IndexRecord* held = area.slotRecord[candidateSlot]) {
        fresh = *held;
    }
    fresh.slot = candidateSlot;
    fresh.indexPosition = kCardIndexBaseA + std::int64_t{candidateSlot} * kSectorSize;
    fresh.dataAddress = kCardDataBase + std::int64_t{candidateSlot} * kDataBlockSize;
    fresh.owner = &x;
    initialiseFresh(fresh, last);

    IndexRecord* candidate = &fresh;
    for (;;) {
        if (scan(*candidate, candidateIsOldestSlot && candidate == &fresh) == ScanEnd::SeekFailed) {
            if (full.empty()) {
                return x.fail(StoreErrorCode::NoRecords, "the index holds no usable record");
            }
            return true;
        }
        if (m_accepted > 0) {
            break;
        }
        if (last == nullptr) {
            return x.fail(
                StoreErrorCode::NoRecords,
                "the index holds no record and no recording was found in its first block");
        }
        if (candidate != last && last->endUnit == 0) {
            candidate = last;
            candidate->eventCount = 0;
            candidate->newest = 1;
            continue;
        }
        last->newest = 1;
        if (last->endUnit == 0) {
            last->endUnit = last->startUnit;
            last->endTime = last->startTime;
        }
        return true;
    }

    x.m_stats.recovered = true;
    if (candidate == last) {
        return true; // the rescanned last record keeps its place
    }
    IndexRecord* held = area.slotRecord[candidateSlot];
    if (held != nullptr && held != m_oldest) {
        // The recorder reused this block: the record it held is gone.
        full.erase(std::remove(full.begin(), full.end(), held), full.end());
    }
    IndexRecord* rebuilt = &x.m_extra.emplace_back(fresh);
    area.slotRecord[candidateSlot] = rebuilt;
    area.slotProtect[candidateSlot] = rebuilt->protect;
    full.push_back(rebuilt);
    if (full.size() > 1 && candidateIsOldestSlot && m_examined >= kMaxExamined) {
        full.erase(std::remove(full.begin(), full.end(), m_oldest), full.end());
    }
    return true;
}

bool RecordIndex::mergeAndRecover() {
    const bool aEmpty = m_areaA.list.empty();
    const bool bEmpty = m_areaB.list.empty();
    if (aEmpty || (!bEmpty && m_areaA.list.back()->seq < m_areaB.list.back()->seq)) {
        // Copy B is newer. The whole of it replaces copy A, so that no record of B is left
        // pointing at A's stale slots.
        m_areaA = std::move(m_areaB);
        m_areaB = ParsedArea{};
        m_stats.copyBWon = true;
    }
    m_full = m_areaA.list;
    return IndexRecovery(*this).run();
}

} // namespace tavero::store
