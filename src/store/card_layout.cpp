#include "store/card_layout.h"

#include "store/byte_io.h"
#include "store/checksum.h"
#include "store/sto_reader.h"

#include <ctime>

namespace tavero::store {
namespace {

std::int64_t Now() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

} // namespace

bool DiskInfoValid(std::span<const std::uint8_t> block) {
    return block.size() >= kSectorSize && LoadLe32(block.data()) == kDiskInfoMagic &&
           BlockChecksumMatches(block);
}

DiskInfo ParseDiskInfo(std::span<const std::uint8_t> block) {
    ByteReader r(block);
    DiskInfo info;
    info.magic = r.le32();
    info.version = r.be32();
    info.word8 = r.be16();
    info.word10 = r.be16();
    info.blockCount = r.be16();
    r.bytes(info.createTime.bytes.data(), info.createTime.bytes.size());
    r.seek(504);
    info.diskId = r.be32();
    info.checksum = r.le32();
    return info;
}

std::array<std::uint8_t, kSectorSize> SerializeDiskInfo(const DiskInfo& info) {
    std::array<std::uint8_t, kSectorSize> block{};
    ByteWriter w(block);
    w.le32(info.magic);
    w.be32(info.version);
    w.be16(info.word8);
    w.be16(info.word10);
    w.be16(info.blockCount);
    w.bytes(info.createTime.bytes.data(), info.createTime.bytes.size());
    w.seek(504);
    w.be32(info.diskId);
    StampBlockChecksum(block);
    return block;
}

std::array<std::uint8_t, kSectorSize> SerializeDiskInfoForBackup(const DiskInfo& info) {
    std::array<std::uint8_t, kSectorSize> block{};
    StoreLe32(block.data(), info.magic);
    StoreLe32(block.data() + 4, info.version);
    block[8] = static_cast<std::uint8_t>(info.word8);
    block[9] = static_cast<std::uint8_t>(info.word8 >> 8);
    block[10] = static_cast<std::uint8_t>(info.word10);
    block[11] = static_cast<std::uint8_t>(info.word10 >> 8);
    block[12] = static_cast<std::uint8_t>(info.blockCount);
    block[13] = static_cast<std::uint8_t>(info.blockCount >> 8);
    for (std::size_t i = 0; i < info.createTime.bytes.size(); ++i) {
        block[14 + i] = info.createTime.bytes[i];
    }
    StoreLe32(block.data() + 504, info.diskId);
    StoreLe32(block.data() + 508, info.checksum);
    return block;
}

std::uint16_t BlockCountForSize(std::int64_t driveBytes) {
    if (driveBytes <= kCardDataBase) {
        return 127;
    }
    const std::int64_t blocks = (driveBytes - kCardDataBase) / kDataBlockSize - 8;
    if (blocks <= 0) {
        return 0;
    }
    // The index areas hold at most 65536 records; the field itself is 16 bits wide.
    return blocks > 0xFFFF ? std::uint16_t{0xFFFF} : static_cast<std::uint16_t>(blocks);
}

void MakeDefaultDiskInfo(const CStoReader& drive, DiskInfo& out, std::uint32_t diskId) {
    out = DiskInfo{};
    out.magic = kDiskInfoMagic;
    out.version = kDiskInfoVersion;
    out.blockCount = BlockCountForSize(drive.Size());
    out.createTime = SecondsToPackedTime(Now());
    out.diskId = diskId;
    const auto image = SerializeDiskInfo(out);
    out.checksum = LoadLe32(image.data() + kChecksumOffset);
}

bool ReadDiskInfo(CStoReader& reader, DiskInfo& out, std::string* error) {
    std::array<std::uint8_t, kSectorSize> a{};
    std::array<std::uint8_t, kSectorSize> b{};
    const bool aValid = reader.Seek(kDiskInfoOffsetA, SeekOrigin::Begin) &&
                        reader.Read(a.data(), kSectorSize) && DiskInfoValid(a);
    if (!aValid) {
        MakeDefaultDiskInfo(reader, out, kDefaultDiskId);
        if (error != nullptr) {
            *error = "disk information copy A is missing or damaged";
        }
        return false;
    }
    out = ParseDiskInfo(a);
    const bool bValid = reader.Seek(kDiskInfoOffsetB, SeekOrigin::Begin) &&
                        reader.Read(b.data(), kSectorSize) && DiskInfoValid(b);
    if (!bValid) {
        if (error != nullptr) {
            *error = "disk information copy B is missing or damaged";
        }
        return false;
    }
    const DiskInfo copyB = ParseDiskInfo(b);
    if (copyB.diskId != out.diskId) {
        // Two valid copies that disagree: the recorder and the format tool both write copy B
        // last, so copy B is what the index and the units carry.
        out = copyB;
    }
    return true;
}

bool ReadDiskInfo(int drive, DiskInfo& out, std::string* error) {
    CStoReader reader;
    if (!reader.OpenPhysicalDrive(drive, StoAccess::Read)) {
        if (error != nullptr) {
            *error = reader.LastError();
        }
        out = DiskInfo{};
        out.magic = kDiskInfoMagic;
        out.version = kDiskInfoVersion;
        out.blockCount = BlockCountForSize(-1);
        out.createTime = SecondsToPackedTime(Now());
        out.diskId = kDefaultDiskId;
        return false;
    }
    return ReadDiskInfo(reader, out, error);
}

bool FormatDiskInfo(int drive, DiskInfo& out, std::uint32_t diskId) {
    CStoReader reader;
    if (!reader.OpenPhysicalDrive(drive, StoAccess::Read)) {
        return false;
    }
    MakeDefaultDiskInfo(reader, out, diskId);
    return true;
}

bool WriteDiskInfo(CStoReader& writer, const DiskInfo& info, std::int64_t offset) {
    const auto image = SerializeDiskInfo(info);
    return writer.Seek(offset, SeekOrigin::Begin) && writer.Write(image.data(), kSectorSize);
}

bool WriteDiskInfo(int drive, const DiskInfo& info, std::int64_t offset) {
    CStoReader writer;
    return writer.OpenPhysicalDrive(drive, StoAccess::ReadWrite) &&
           WriteDiskInfo(writer, info, offset);
}

} // namespace tavero::store
