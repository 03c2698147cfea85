#include "recorderconfig/config_sector.h"

#include "store/byte_io.h"
#include "store/card_layout.h"
#include "store/checksum.h"
#include "store/sto_reader.h"

#include <algorithm>

namespace tavero::recorderconfig {
namespace {

static_assert(kConfigSectorOffset == store::kConfigSectorOffset);
static_assert(kConfigSectorSize == store::kSectorSize);

// On-card offsets.
constexpr std::size_t kRecordOffset = 4;  // the setting record: magic .. plate
constexpr std::size_t kRecordBytes = 104; // record including its checksum
constexpr std::size_t kRecordChecksumOffset = 104;
constexpr std::size_t kUser1NameOffset = 108;
constexpr std::size_t kBlockZoneCodeOffset = 172;
constexpr std::size_t kDiskIdOffset = 504;

static_assert(kRecordOffset + kRecordBytes == kUser1NameOffset);
static_assert(kUser1NameOffset + 4 * kUserFieldBytes == kBlockZoneCodeOffset);
static_assert(192 + kReservedBytes == kDiskIdOffset);

void ReadArray(store::ByteReader& r, std::span<std::uint8_t> out) {
    r.bytes(out.data(), out.size());
}
void WriteArray(store::ByteWriter& w, std::span<const std::uint8_t> in) {
    w.bytes(in.data(), in.size());
}

std::uint32_t RecordChecksum(std::span<const std::uint8_t, kConfigSectorSize> image) {
    // The 25 words at offsets 4..100 as stored (fields already big-endian).
    return store::BlockChecksum(image.subspan(kRecordOffset, kRecordBytes), kRecordBytes);
}

} // namespace

void MakeDefaultConfigSector(ConfigSector& out, std::uint32_t diskId) {
    out = ConfigSector{};
    out.magic = kConfigSectorMagic;
    out.videoFormat = 0;
    out.frameRate = kDefaultFrameRate;
    out.videoQuality = 0;
    out.fixedTable.fill(kFixedTableValue);
    out.diskId = diskId;
}

std::array<std::uint8_t, kConfigSectorSize> SerializeConfigSector(const ConfigSector& sector) {
    std::array<std::uint8_t, kConfigSectorSize> image{};
    store::ByteWriter w(image);
    w.le32(kConfigSectorMagic);
    w.le32(kSettingRecordMagic);
    w.be32(sector.videoFormat);
    w.be32(sector.frameRate);
    w.be32(sector.videoQuality);
    w.be32(sector.parkFrameRate);
    for (const std::uint32_t word : sector.fixedTable) {
        w.be32(word);
    }
    w.be32(sector.parkMode);
    w.be32(sector.fixedOne);
    w.be32(sector.zoneCode);
    WriteArray(w, sector.plate);
    w.le32(0); // record checksum, stamped below
    WriteArray(w, sector.user1Name);
    WriteArray(w, sector.user2Name);
    WriteArray(w, sector.user1Password);
    WriteArray(w, sector.user2Password);
    w.be32(sector.blockZoneCode);
    w.be32(sector.speedUnit);
    WriteArray(w, sector.layoutMark);
    w.le32(sector.zoneSeconds); // the recorder keeps this one in its own (little-endian) order
    WriteArray(w, sector.playbackPassword);
    WriteArray(w, sector.reserved);
    w.be32(sector.diskId);
    store::StoreLe32(image.data() + kRecordChecksumOffset, RecordChecksum(image));
    store::StampBlockChecksum(image);
    return image;
}

ConfigSector ParseConfigSector(std::span<const std::uint8_t, kConfigSectorSize> image) {
    store::ByteReader r(image);
    ConfigSector s;
    s.magic = r.le32();
    s.recordMagic = r.le32();
    s.videoFormat = r.be32();
    s.frameRate = r.be32();
    s.videoQuality = r.be32();
    s.parkFrameRate = r.be32();
    for (std::uint32_t& word : s.fixedTable) {
        word = r.be32();
    }
    s.parkMode = r.be32();
    s.fixedOne = r.be32();
    s.zoneCode = r.be32();
    ReadArray(r, s.plate);
    r.skip(4); // record checksum
    ReadArray(r, s.user1Name);
    ReadArray(r, s.user2Name);
    ReadArray(r, s.user1Password);
    ReadArray(r, s.user2Password);
    s.blockZoneCode = r.be32();
    s.speedUnit = r.be32();
    ReadArray(r, s.layoutMark);
    s.zoneSeconds = r.le32();
    ReadArray(r, s.playbackPassword);
    ReadArray(r, s.reserved);
    s.diskId = r.be32();
    return s;
}

bool ConfigSectorOuterValid(std::span<const std::uint8_t, kConfigSectorSize> image) {
    return store::LoadLe32(image.data()) == kConfigSectorMagic &&
           store::BlockChecksumMatches(image);
}

bool ConfigSectorRecordValid(std::span<const std::uint8_t, kConfigSectorSize> image) {
    return store::LoadLe32(image.data() + kRecordChecksumOffset) == RecordChecksum(image);
}

bool ReadConfigSector(store::CStoReader& drive, ConfigSector& out, std::string* error) {
    store::DiskInfo info;
    std::string infoError;
    const bool infoRead = store::ReadDiskInfo(drive, info, &infoError);

    std::array<std::uint8_t, kConfigSectorSize> image{};
    const bool sectorRead = drive.Seek(kConfigSectorOffset, store::SeekOrigin::Begin) &&
                            drive.Read(image.data(), kConfigSectorSize);
    const bool outerValid = infoRead && sectorRead && ConfigSectorOuterValid(image);
    if (sectorRead && !ConfigSectorRecordValid(image)) {
        // Only the setting record is discarded; users and zone fields stay usable.
        std::fill_n(image.begin() + kRecordOffset, kRecordBytes, std::uint8_t{0});
    }
    out = ParseConfigSector(image);
    const bool valid = outerValid && out.diskId == info.diskId;
    if (!valid) {
        if (error != nullptr) {
            if (!infoRead) {
                *error = infoError;
            } else if (!sectorRead) {
                *error = "configuration sector cannot be read";
            } else if (!outerValid) {
                *error = "configuration sector is damaged (magic or checksum)";
            } else {
                *error = "configuration sector belongs to another card (disk identifier " +
                         std::to_string(out.diskId) + ", card " + std::to_string(info.diskId) + ")";
            }
        }
        MakeDefaultConfigSector(out, info.diskId);
    }
    return valid;
}

bool ReadConfigSector(int drive, ConfigSector& out, std::string* error) {
    store::CStoReader reader;
    if (!reader.OpenPhysicalDrive(drive, store::StoAccess::Read)) {
        // The disk information read fails the same way; it supplies the identifier to use.
        store::DiskInfo info;
        (void)store::ReadDiskInfo(drive, info);
        MakeDefaultConfigSector(out, info.diskId);
        if (error != nullptr) {
            *error = reader.LastError();
        }
        return false;
    }
    return ReadConfigSector(reader, out, error);
}

bool WriteConfigSector(store::CStoReader& drive, ConfigSector& sector, std::string* error) {
    sector.magic = kConfigSectorMagic;
    sector.recordMagic = kSettingRecordMagic;
    const std::int64_t size = drive.Size();
    if (size >= 0 && size < kConfigSectorOffset + static_cast<std::int64_t>(kConfigSectorSize)) {
        // An image this short is no card; writing would only grow it.
        if (error != nullptr) {
            *error = "drive is too small to hold a configuration sector";
        }
        return false;
    }
    const auto image = SerializeConfigSector(sector);
    // Written means on the card: a late I/O error surfaces in the sync.
    if (!drive.Seek(kConfigSectorOffset, store::SeekOrigin::Begin) ||
        !drive.Write(image.data(), kConfigSectorSize) || !drive.Sync()) {
        if (error != nullptr) {
            *error = drive.LastError().empty() ? "configuration sector cannot be written"
                                               : drive.LastError();
        }
        return false;
    }
    return true;
}

bool WriteConfigSector(int drive, ConfigSector& sector, std::string* error) {
    store::CStoReader writer;
    if (!writer.OpenPhysicalDrive(drive, store::StoAccess::ReadWrite)) {
        if (error != nullptr) {
            *error = writer.LastError();
        }
        return false;
    }
    return WriteConfigSector(writer, sector, error);
}

std::uint32_t ZoneCodeForHours(int hours) {
    if (hours == 0) {
        return 1;
    }
    if (hours < 0) {
        return static_cast<std::uint32_t>(1 - std::max(hours, -12));
    }
    return static_cast<std::uint32_t>(std::min(hours, 12) + 13);
}

int ZoneHoursForCode(std::uint32_t code) {
    if (code >= 2 && code <= 13) {
        return 1 - static_cast<int>(code);
    }
    if (code >= 14 && code <= 25) {
        return static_cast<int>(code) - 13;
    }
    return 0;
}

std::string FieldText(std::span<const std::uint8_t> field) {
    const auto end = std::find(field.begin(), field.end(), std::uint8_t{0});
    return {field.begin(), end};
}

void SetFieldText(std::span<std::uint8_t> field, std::string_view text, bool keepTerminator) {
    std::fill(field.begin(), field.end(), std::uint8_t{0});
    const std::size_t room = keepTerminator && !field.empty() ? field.size() - 1 : field.size();
    const std::size_t n = std::min(room, text.size());
    for (std::size_t i = 0; i < n; ++i) {
        field[i] = static_cast<std::uint8_t>(text[i]);
    }
}

} // namespace tavero::recorderconfig
