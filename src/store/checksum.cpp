#include "store/checksum.h"

#include "store/byte_io.h"

namespace tavero::store {

std::uint32_t BlockChecksum(std::span<const std::uint8_t> block, std::size_t length) {
    if (length > block.size()) {
        length = block.size();
    }
    const std::size_t words = length / 4;
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < words; ++i) {
        sum ^= LoadLe32(block.data() + i * 4);
    }
    return sum;
}

bool BlockChecksumMatches(std::span<const std::uint8_t> block) {
    if (block.size() < kBlockSize) {
        return false;
    }
    return LoadLe32(block.data() + kChecksumOffset) == BlockChecksum(block);
}

void StampBlockChecksum(std::span<std::uint8_t> block) {
    if (block.size() < kBlockSize) {
        return;
    }
    StoreLe32(block.data() + kChecksumOffset, BlockChecksum(block));
}

} // namespace tavero::store
