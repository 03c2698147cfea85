#pragma once
// The 256 KiB image of a recorder card's first sectors: a master boot record with one FAT16
// partition and that partition's empty file system. The format tools write it from offset 0 and
// card detection compares its partition table.

#include <cstddef>
#include <cstdint>
#include <span>

namespace tavero::store {

inline constexpr std::size_t kBootImageSize = 512 * 512;
// The four partition entries and the 0x55 0xAA signature of sector 0.
inline constexpr std::size_t kPartitionTableOffset = 446;
inline constexpr std::size_t kPartitionTableSize = 66;

inline constexpr std::uint32_t kFatPartitionFirstLba = 32;
inline constexpr std::uint32_t kFatPartitionSectors = 98272;

// Built once on first use and kept for the run, like a resource of the program.
[[nodiscard]] std::span<const std::uint8_t> BootImage();

// True when the 66 bytes at offset 446 of sector0 equal the boot image's.
[[nodiscard]] bool PartitionTableMatchesBootImage(std::span<const std::uint8_t> sector0);

} // namespace tavero::store
