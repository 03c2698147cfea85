#include "cardtools/fat_label.h"

#include "store/byte_io.h"
#include "store/card_layout.h"
#include "store/sto_reader.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <vector>

namespace tavero::cardtools {
namespace {

using Sector = std::array<std::uint8_t, store::kSectorSize>;

constexpr std::size_t kDirEntrySize = 32;
constexpr std::uint8_t kAttrVolumeLabel = 0x08;
constexpr std::uint8_t kAttrLongName = 0x0F;
constexpr std::uint8_t kEntryFree = 0xE5;
constexpr std::uint8_t kExtendedBootSignature = 0x29;
// A root folder larger than this is no FAT the recorder or a card maker writes.
constexpr std::uint32_t kMaxRootBytes = 1u << 20;

std::uint16_t Le16(const Sector& s, std::size_t at) {
    return static_cast<std::uint16_t>(s[at] | (s[at + 1] << 8));
}
std::uint32_t Le32(const Sector& s, std::size_t at) {
    return store::LoadLe32(s.data() + at);
}
void PutLe16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

bool ReadAt(store::CStoReader& card, std::int64_t at, void* out, std::uint32_t count) {
    return card.Seek(at, store::SeekOrigin::Begin) && card.Read(out, count);
}
bool WriteAt(store::CStoReader& card, std::int64_t at, const void* in, std::uint32_t count) {
    return card.Seek(at, store::SeekOrigin::Begin) && card.Write(in, count);
}

// The label entry of a root folder: FAT date and time of now, local time as FAT keeps it.
void StampEntry(std::uint8_t* e, const std::array<std::uint8_t, kFatLabelBytes>& name) {
    std::fill_n(e, kDirEntrySize, std::uint8_t{0});
    std::copy(name.begin(), name.end(), e);
    e[11] = kAttrVolumeLabel;
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    const auto time =
        static_cast<std::uint32_t>((t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec / 2));
    const int year = std::clamp(t.tm_year + 1900 - 1980, 0, 127);
    const auto date = static_cast<std::uint32_t>((year << 9) | ((t.tm_mon + 1) << 5) | t.tm_mday);
    PutLe16(e + 14, time); // created
    PutLe16(e + 16, date);
    PutLe16(e + 18, date); // last access
    PutLe16(e + 22, time); // written
    PutLe16(e + 24, date);
}

// The slot of the label in a root folder: the existing label entry, else the first free one;
// -1 when the folder has neither.
long LabelSlot(const std::vector<std::uint8_t>& folder) {
    long firstFree = -1;
    for (std::size_t at = 0; at + kDirEntrySize <= folder.size(); at += kDirEntrySize) {
        const std::uint8_t first = folder[at];
        const std::uint8_t attr = folder[at + 11];
        if (first == 0x00) {
            return firstFree >= 0 ? firstFree : static_cast<long>(at); // the end of the folder
        }
        if (first == kEntryFree) {
            firstFree = firstFree >= 0 ? firstFree : static_cast<long>(at);
            continue;
        }
        if (attr != kAttrLongName && (attr & kAttrVolumeLabel) != 0) {
            return static_cast<long>(at);
        }
    }
    return firstFree;
}

} // namespace

bool ConfigurationPartitionOffset(store::CStoReader& card, std::int64_t& offset, std::string& why) {
    Sector mbr{};
    if (!ReadAt(card, 0, mbr.data(), store::kSectorSize)) {
        why = "cannot read sector 0: " + card.LastError();
        return false;
    }
    offset = 0;
    // A FAT boot sector at 0 also ends in 55 AA; it starts with a jump instead of boot code
    // and names 512-byte sectors where a partition table has its entries.
    const bool fatAtZero = (mbr[0] == 0xEB || mbr[0] == 0xE9) && Le16(mbr, 11) == 512;
    if (mbr[510] == 0x55 && mbr[511] == 0xAA && !fatAtZero) {
        offset = std::int64_t{Le32(mbr, 446 + 8)} * store::kSectorSize;
    }
    return true;
}

bool WriteFatVolumeLabel(store::CStoReader& card, std::int64_t offset, std::string_view label,
                         std::string& why) {
    if (label.size() > kFatLabelBytes) {
        why = "a FAT label has at most 11 characters";
        return false;
    }
    std::array<std::uint8_t, kFatLabelBytes> name{};
    name.fill(' ');
    std::copy(label.begin(), label.end(), name.begin());

    Sector boot{};
    if (!ReadAt(card, offset, boot.data(), store::kSectorSize)) {
        why = "cannot read the boot sector of the configuration partition";
        return false;
    }
    const std::uint16_t bytesPerSector = Le16(boot, 11);
    const std::uint8_t sectorsPerCluster = boot[13];
    const std::uint16_t reserved = Le16(boot, 14);
    const std::uint8_t fats = boot[16];
    const std::uint16_t rootEntries = Le16(boot, 17);
    const std::uint16_t fatSize16 = Le16(boot, 22);
    const bool fat32 = fatSize16 == 0;
    const std::uint32_t fatSize = fat32 ? Le32(boot, 36) : fatSize16;
    if (boot[510] != 0x55 || boot[511] != 0xAA || bytesPerSector != store::kSectorSize ||
        sectorsPerCluster == 0 || (sectorsPerCluster & (sectorsPerCluster - 1)) != 0 ||
        reserved == 0 || fats == 0 || fatSize == 0 || (fat32 != (rootEntries == 0))) {
        why = "the configuration partition holds no FAT file system";
        return false;
    }
    const std::int64_t sector = store::kSectorSize;
    const std::int64_t firstRootSector = std::int64_t{reserved} + std::int64_t{fats} * fatSize;
    std::int64_t rootAt = offset + firstRootSector * sector;
    std::uint32_t rootBytes = std::uint32_t{rootEntries} * kDirEntrySize;
    if (fat32) {
        const std::uint32_t rootCluster = Le32(boot, 44);
        if (rootCluster < 2) {
            why = "the FAT32 root folder has no cluster";
            return false;
        }
        rootAt += std::int64_t{rootCluster - 2} * sectorsPerCluster * sector;
        rootBytes = std::uint32_t{sectorsPerCluster} * store::kSectorSize;
    }
    if (rootBytes == 0 || rootBytes > kMaxRootBytes || rootBytes % store::kSectorSize != 0) {
        why = "the root folder of the configuration partition is not usable";
        return false;
    }
    std::vector<std::uint8_t> root(rootBytes);
    if (!ReadAt(card, rootAt, root.data(), rootBytes)) {
        why = "cannot read the root folder of the configuration partition";
        return false;
    }
    // The boot sector keeps the label only when it has the extended parameter block.
    const std::size_t signatureAt = fat32 ? 66 : 38;
    const std::size_t labelAt = fat32 ? 71 : 43;
    if (boot[signatureAt] == kExtendedBootSignature) {
        std::copy(name.begin(), name.end(), boot.begin() + static_cast<std::ptrdiff_t>(labelAt));
        if (!WriteAt(card, offset, boot.data(), store::kSectorSize)) {
            why = "cannot write the boot sector: " + card.LastError();
            return false;
        }
        const std::uint16_t backup = fat32 ? Le16(boot, 50) : 0;
        if (backup != 0 && backup != 0xFFFF && backup < reserved &&
            !WriteAt(card, offset + backup * sector, boot.data(), store::kSectorSize)) {
            why = "cannot write the backup boot sector: " + card.LastError();
            return false;
        }
    }
    const long slot = LabelSlot(root);
    if (slot < 0) {
        return true; // a full root folder keeps its entries; the boot sector has the label
    }
    // Only the sector of the entry is written back.
    const auto entrySector = static_cast<std::size_t>(slot) / store::kSectorSize;
    StampEntry(root.data() + slot, name);
    if (!WriteAt(card, rootAt + static_cast<std::int64_t>(entrySector) * sector,
                 root.data() + entrySector * store::kSectorSize, store::kSectorSize)) {
        why = "cannot write the root folder: " + card.LastError();
        return false;
    }
    return true;
}

} // namespace tavero::cardtools
