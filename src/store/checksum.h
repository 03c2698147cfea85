#pragma once
// The recorder's block checksum, shared by every 512-byte structure it validates.

#include <cstddef>
#include <cstdint>
#include <span>

namespace tavero::store {

inline constexpr std::size_t kBlockSize = 512;
inline constexpr std::size_t kChecksumOffset = 508;

// XOR of the first length/4 - 1 little-endian words of the on-disk image. Callers pass 512
// (the checksum then sits at offset 508); a shorter length serves inner records.
[[nodiscard]] std::uint32_t BlockChecksum(std::span<const std::uint8_t> block,
                                          std::size_t length = kBlockSize);

// True when the stored word at offset 508 matches the checksum of the first 127 words.
[[nodiscard]] bool BlockChecksumMatches(std::span<const std::uint8_t> block);

// Recomputes the checksum of a 512-byte on-disk image and stores it at offset 508.
void StampBlockChecksum(std::span<std::uint8_t> block);

} // namespace tavero::store
