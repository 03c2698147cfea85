// Fuzz target: parsing an index area, as a card (with a disk identifier) and as a backup file.

#include <cstddef>
#include <cstdint>
#include <span>

#include "store/byte_io.h"
#include "store/record_index.h"

using namespace tavero::store;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) {
        return 0;
    }
    const std::uint32_t diskId = LoadBe32(data);
    const std::span<const std::uint8_t> area(data + 4, size - 4);
    const auto count = static_cast<std::uint32_t>(area.size() / kSectorSize);
    for (const SourceKind kind : {SourceKind::Card, SourceKind::BackupFile}) {
        ParsedArea parsed;
        const IndexAreaLayout layout{kind, diskId, 0, kCardDataBase};
        if (!ParseIndexArea(area, count, layout, parsed)) {
            continue;
        }
        // Whatever was accepted must be ordered by start time and describe its own slot.
        for (std::size_t i = 0; i < parsed.list.size(); ++i) {
            const IndexRecord* r = parsed.list[i];
            if (r->slot >= count || parsed.slotRecord[r->slot] != r ||
                (i > 0 && parsed.list[i - 1]->startSeconds() > r->startSeconds())) {
                __builtin_trap();
            }
            (void)SerializeIndexRecord(*r);
        }
    }
    return 0;
}
