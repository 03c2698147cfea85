#include "store/boot_image.h"

#include "store/byte_io.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace tavero::store {
namespace {

void PutLe16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void BuildMasterBootRecord(std::uint8_t* s) {
    // No boot code: the recorder never boots from the card.
    const std::array<std::uint8_t, 4> signature = {0x62, 0x6A, 0xCF, 0xF4};
    std::copy(signature.begin(), signature.end(), s + 440);
    std::uint8_t* e = s + kPartitionTableOffset;
    e[0] = 0x00;                           // not active
    e[1] = 0x01, e[2] = 0x01, e[3] = 0x00; // CHS start
    e[4] = 0x06;                           // FAT16
    e[5] = 0x3F, e[6] = 0x20, e[7] = 0x2F; // CHS end
    StoreLe32(e + 8, kFatPartitionFirstLba);
    StoreLe32(e + 12, kFatPartitionSectors);
    s[510] = 0x55;
    s[511] = 0xAA;
}

constexpr std::uint16_t kReservedSectors = 8;
constexpr std::uint16_t kSectorsPerFat = 192;
constexpr std::uint16_t kRootEntries = 512;

void BuildFatBootSector(std::uint8_t* s) {
    s[0] = 0xEB, s[1] = 0x3C, s[2] = 0x90; // jump over the parameter block
    std::memcpy(s + 3, "MSDOS5.0", 8);
    PutLe16(s + 11, 512); // bytes per sector
    s[13] = 2;            // sectors per cluster
    PutLe16(s + 14, kReservedSectors);
    s[16] = 2; // FAT copies
    PutLe16(s + 17, kRootEntries);
    PutLe16(s + 19, 0); // total sectors: see the 32-bit field
    s[21] = 0xF8;       // media: fixed disk
    PutLe16(s + 22, kSectorsPerFat);
    PutLe16(s + 24, 63);                      // sectors per track
    PutLe16(s + 26, 255);                     // heads
    StoreLe32(s + 28, kFatPartitionFirstLba); // hidden sectors
    StoreLe32(s + 32, kFatPartitionSectors);
    s[36] = 0x80;                  // drive number
    s[38] = 0x29;                  // extended boot signature
    StoreLe32(s + 39, 0xA23A557D); // volume serial
    std::memcpy(s + 43, "NO NAME    ", 11);
    std::memcpy(s + 54, "FAT16   ", 8);
    s[510] = 0x55;
    s[511] = 0xAA;
}

std::vector<std::uint8_t> BuildBootImage() {
    std::vector<std::uint8_t> image(kBootImageSize, 0);
    BuildMasterBootRecord(image.data());
    const std::size_t fatBoot = std::size_t{kFatPartitionFirstLba} * 512;
    BuildFatBootSector(image.data() + fatBoot);
    for (int copy = 0; copy < 2; ++copy) {
        const std::size_t fat =
            fatBoot + (std::size_t{kReservedSectors} + std::size_t(copy) * kSectorsPerFat) * 512;
        image[fat + 0] = 0xF8;
        image[fat + 1] = 0xFF;
        image[fat + 2] = 0xFF;
        image[fat + 3] = 0xFF;
    }
    return image;
}

} // namespace

std::span<const std::uint8_t> BootImage() {
    static const std::vector<std::uint8_t> image = BuildBootImage();
    return image;
}

bool PartitionTableMatchesBootImage(std::span<const std::uint8_t> sector0) {
    if (sector0.size() < kPartitionTableOffset + kPartitionTableSize) {
        return false;
    }
    const auto image = BootImage();
    return std::equal(image.begin() + kPartitionTableOffset,
                      image.begin() + kPartitionTableOffset + kPartitionTableSize,
                      sector0.begin() + kPartitionTableOffset);
}

} // namespace tavero::store
