#pragma once
// The volume label of a card's configuration partition: the FAT file system in the first entry
// of the card's partition table (or at sector 0 of a card without one). A FAT label lives in
// two places, the boot sector (and its backup on FAT32) and an entry of the root folder; both
// are written, as FAT tools do. Written through the handle the format tool holds exclusively,
// so no other program sees the file system half-labelled.
//
// Thread: the format tool's worker thread.

#include <cstdint>
#include <string>
#include <string_view>

namespace tavero::store {
class CStoReader;
}

namespace tavero::cardtools {

inline constexpr std::size_t kFatLabelBytes = 11;

// Byte offset of the configuration partition's file system: partition entry 1 of sector 0 when
// the sector carries a partition table, else 0. False when sector 0 cannot be read.
[[nodiscard]] bool ConfigurationPartitionOffset(store::CStoReader& card, std::int64_t& offset,
                                                std::string& why);

// Sets the label of the FAT12/16/32 file system whose boot sector is at byte offset of the open
// card. label: at most 11 bytes, padded with spaces. The root folder's label entry is replaced,
// or the first free entry of the root folder (its first cluster on FAT32) becomes one. False
// with the reason when the boot sector is no FAT boot sector, or a read or write fails.
[[nodiscard]] bool WriteFatVolumeLabel(store::CStoReader& card, std::int64_t offset,
                                       std::string_view label, std::string& why);

} // namespace tavero::cardtools
