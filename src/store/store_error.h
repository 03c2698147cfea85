#pragma once
// What went wrong in the recording store: a code for callers, a detail for people, and the byte
// offset or record slot where it applies.

#include <cstdint>
#include <string>

namespace tavero::store {

enum class StoreErrorCode {
    None,
    OpenFailed,   // the drive or file could not be opened
    NoDiskInfo,   // a disk information copy is missing or damaged: not a recorder card
    NoBlocks,     // the disk information gives no data blocks
    ReadFailed,   // a read of the index areas failed (short file, I/O error)
    IndexInvalid, // an index area has a slot without the record magic
    NoRecords,    // the index holds no usable record
};

struct StoreError {
    StoreErrorCode code = StoreErrorCode::None;
    std::string detail;
    std::int64_t offset = -1; // byte offset in the drive or file, -1 when none applies

    [[nodiscard]] bool ok() const { return code == StoreErrorCode::None; }
    // One line for people: the detail, with the offset when known.
    [[nodiscard]] std::string describe() const;
};

} // namespace tavero::store
