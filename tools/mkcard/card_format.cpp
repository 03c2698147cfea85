#include "mkcard/card_format.h"

#include "mkcard/byte_writer.h"

#include <algorithm>
#include <cstdio>

namespace tavero::sim {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (Hinnant's civil-date algorithm).
int64_t daysFromCivil(int64_t year, int64_t month, int64_t day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[static_cast<size_t>(month - 1)];
}

void putPacked(ByteWriter& writer, const PackedTime& time) {
    writer.putBytes(time);
}

} // namespace

int64_t wallToSeconds(const WallTime& time) {
    return daysFromCivil(time.year, time.month, time.day) * 86400 + time.hour * 3600 +
           time.minute * 60 + time.second;
}

WallTime secondsToWall(int64_t seconds) {
    int64_t days = seconds / 86400;
    int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t mp = (5 * dayOfYear + 2) / 153;
    const int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    WallTime wall;
    wall.year = static_cast<int>(year);
    wall.month = static_cast<int>(month);
    wall.day = static_cast<int>(day);
    wall.hour = static_cast<int>(rest / 3600);
    wall.minute = static_cast<int>(rest / 60 % 60);
    wall.second = static_cast<int>(rest % 60);
    return wall;
}

bool isValidWallTime(const WallTime& time) {
    if (time.year < 1800 || time.year > 1800 + 255 || time.month < 1 || time.month > 12)
        return false;
    if (time.day < 1 || time.day > daysInMonth(time.year, time.month))
        return false;
    return time.hour >= 0 && time.hour < 24 && time.minute >= 0 && time.minute < 60 &&
           time.second >= 0 && time.second < 60;
}

PackedTime packTime(const WallTime& time) {
    return {static_cast<uint8_t>(time.year - 1800), static_cast<uint8_t>(time.month),
            static_cast<uint8_t>(time.day),         static_cast<uint8_t>(time.hour),
            static_cast<uint8_t>(time.minute),      static_cast<uint8_t>(time.second)};
}

std::string formatWallTime(const WallTime& time) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", time.year, time.month,
                  time.day, time.hour, time.minute, time.second);
    return text;
}

uint32_t blockChecksum(std::span<const uint8_t> block) {
    uint32_t sum = 0;
    for (size_t word = 0; word + 1 < kSectorSize / 4 && word * 4 + 3 < block.size(); ++word) {
        const size_t at = word * 4;
        sum ^= static_cast<uint32_t>(block[at]) | static_cast<uint32_t>(block[at + 1]) << 8 |
               static_cast<uint32_t>(block[at + 2]) << 16 |
               static_cast<uint32_t>(block[at + 3]) << 24;
    }
    return sum;
}

void sealBlock(std::span<uint8_t> block) {
    ByteWriter writer(block);
    writer.seek(508);
    writer.putU32Le(blockChecksum(block));
}

bool encodeFrameHeader(const FrameHeaderFields& fields, std::span<uint8_t> out) {
    if (out.size() != kFrameHeaderSize)
        return false;
    ByteWriter writer(out);
    writer.putZeros(kFrameHeaderSize);
    writer.seek(0);
    writer.putBytes(std::array<uint8_t, 4>{0, 0, 0, 2});
    writer.putU8(static_cast<uint8_t>(fields.kind));
    // Length in 7-bit groups; the top group holds only 4 bits.
    const uint32_t length = fields.payloadLength;
    writer.putU8(static_cast<uint8_t>(length >> 28 & 0x0F));
    writer.putU8(static_cast<uint8_t>(length >> 21 & 0x7F));
    writer.putU8(static_cast<uint8_t>(length >> 14 & 0x7F));
    writer.putU8(static_cast<uint8_t>(length >> 7 & 0x7F));
    writer.putU8(static_cast<uint8_t>(length & 0x7F));
    writer.seek(15);
    writer.putU8(static_cast<uint8_t>(fields.channel & 0x0F));

    size_t stampAt = 0;
    if (fields.kind == FrameKind::Video) {
        writer.seek(16);
        writer.putU8(static_cast<uint8_t>(fields.pictureType));
        stampAt = 18;
    } else if (fields.kind == FrameKind::Audio) {
        stampAt = 16;
    }
    if (stampAt != 0) {
        // Two overlapping groups; the recorder writes the same value into both and a reader ORs
        // them, so bits 0..2 only travel in the second group.
        const uint32_t t = fields.timestampUs;
        writer.seek(stampAt);
        writer.putU8(static_cast<uint8_t>(t >> 31 & 0x01));
        writer.putU8(static_cast<uint8_t>(t >> 24 & 0x7F));
        writer.putU8(static_cast<uint8_t>(t >> 17 & 0x7F));
        writer.putU8(static_cast<uint8_t>(t >> 10 & 0x7F));
        writer.putU8(static_cast<uint8_t>(t >> 3 & 0x7F));
        writer.putU8(static_cast<uint8_t>(t >> 28 & 0x0F));
        writer.putU8(static_cast<uint8_t>(t >> 21 & 0x7F));
        writer.putU8(static_cast<uint8_t>(t >> 14 & 0x7F));
        writer.putU8(static_cast<uint8_t>(t >> 7 & 0x7F));
        writer.putU8(static_cast<uint8_t>(t & 0x7F));
    }
    // A reader looks for 00 00 00 02 at every 4-byte boundary, inside headers too; channel 2 in
    // byte 15, a length of 32..48 KiB or some time stamps would spell it. The top bit of the
    // first byte of every inner 4-byte group is never interpreted (a masked nibble, a masked
    // 7-bit group or a spare byte), so setting it there breaks the false sync.
    for (size_t at = 4; at < kFrameHeaderSize; at += 4) {
        if (out[at] == 0 && out[at + 1] == 0 && out[at + 2] == 0 && out[at + 3] == 2)
            out[at] = 0x80;
    }
    return writer.ok();
}

bool encodeTrailer(const TrailerFields& fields, std::span<uint8_t> out) {
    if (out.size() != kTrailerSize)
        return false;
    ByteWriter writer(out);
    writer.putZeros(kTrailerSize);
    writer.seek(0);
    writer.putU32Le(kTrailerMagic);
    writer.putU32Be(fields.unitNo);
    putPacked(writer, fields.unitTime);
    writer.putU8(fields.channel);
    writer.putU8(fields.recStart ? 1 : 0);
    writer.putU8(fields.protect ? 1 : 0);
    const size_t count = std::min(fields.samples.size(), kMaxGSamplesPerUnit);
    writer.putU8(static_cast<uint8_t>(count));
    writer.seek(19);
    writer.putU8(fields.videoFormat);
    writer.putU8(fields.fps);
    writer.seek(22);
    writer.putU16Be(fields.eventType);
    writer.putU8(fields.channelOff ? 1 : 0);
    writer.seek(44);
    for (size_t i = 0; i < count; ++i) {
        writer.putI16Be(fields.samples[i].x);
        writer.putI16Be(fields.samples[i].y);
        writer.putI16Be(fields.samples[i].z);
    }
    writer.seek(344);
    const size_t textLength = std::min(fields.gpsText.size(), kGpsTextSize - 1);
    writer.putBytes(std::span(reinterpret_cast<const uint8_t*>(fields.gpsText.data()), textLength));
    writer.seek(504);
    writer.putU32Be(fields.diskId);
    sealBlock(out);
    return writer.ok();
}

bool encodeIndexRecord(const IndexRecordFields& fields, std::span<uint8_t> out) {
    if (out.size() != kSectorSize || fields.events.size() > kMaxEventsPerRecord)
        return false;
    ByteWriter writer(out);
    writer.putZeros(kSectorSize);
    writer.seek(0);
    writer.putU32Le(kIndexMagic);
    writer.putU32Be(fields.seq);
    for (const IndexEvent& event : fields.events) {
        writer.putU32Be(event.unit);
        putPacked(writer, event.time);
        writer.putU16Be(event.type);
    }
    writer.seek(200);
    writer.putU32Be(fields.startUnit);
    putPacked(writer, fields.startTime);
    writer.putU8(fields.recStart ? 1 : 0);
    writer.putU8(0); // newest: only a reader's recovery sets it, in memory
    writer.putU8(fields.protect);
    writer.putU8(static_cast<uint8_t>(fields.events.size()));
    writer.seek(216);
    writer.putU32Be(fields.endUnit);
    putPacked(writer, fields.endTime);
    writer.seek(227);
    writer.putU8(fields.zoneHours);
    for (const uint16_t word : std::array<uint16_t, 5>{1, 1, 0, 0, 0})
        writer.putU16Be(word);
    writer.seek(504);
    writer.putU32Be(fields.diskId);
    sealBlock(out);
    return writer.ok();
}

bool encodeUnwrittenCardSlot(uint32_t diskId, std::span<uint8_t> out) {
    if (out.size() != kSectorSize)
        return false;
    ByteWriter writer(out);
    writer.putZeros(kSectorSize);
    writer.seek(0);
    writer.putU32Le(kIndexMagic);
    writer.seek(504);
    writer.putU32Be(diskId);
    sealBlock(out);
    return writer.ok();
}

bool encodeDiskInfo(const DiskInfoFields& fields, std::span<uint8_t> out) {
    if (out.size() != kSectorSize)
        return false;
    ByteWriter writer(out);
    writer.putZeros(kSectorSize);
    writer.seek(0);
    writer.putU32Le(kDiskInfoMagic);
    writer.putU32Be(kDiskInfoVersion);
    writer.putU16Be(0);
    writer.putU16Be(0);
    writer.putU16Be(fields.blockCount);
    putPacked(writer, fields.createTime);
    writer.seek(504);
    writer.putU32Be(fields.diskId);
    sealBlock(out);
    return writer.ok();
}

bool encodeBackupDiskInfo(const DiskInfoFields& fields, std::span<uint8_t> out) {
    std::array<uint8_t, kSectorSize> card{};
    if (out.size() != kSectorSize || !encodeDiskInfo(fields, card))
        return false;
    ByteWriter writer(out);
    writer.putZeros(kSectorSize);
    writer.seek(0);
    writer.putU32Le(kDiskInfoMagic);
    writer.putU32Le(kDiskInfoVersion);
    writer.putU16Le(0);
    writer.putU16Le(0);
    writer.putU16Le(fields.blockCount);
    putPacked(writer, fields.createTime);
    writer.seek(504);
    writer.putU32Le(fields.diskId);
    writer.putU32Le(blockChecksum(card));
    return writer.ok();
}

bool encodeDefaultConfigSector(uint32_t diskId, std::span<uint8_t> out) {
    if (out.size() != kSectorSize)
        return false;
    ByteWriter writer(out);
    writer.putZeros(kSectorSize);
    writer.seek(0);
    writer.putU32Le(kConfigMagic);
    writer.putU32Le(kConfigRecordMagic);
    writer.putU32Be(0);  // videoFormat
    writer.putU32Be(15); // frameRate
    writer.putU32Be(0);  // videoQuality
    writer.putU32Be(0);  // parkFrameRate
    for (int i = 0; i < 12; ++i)
        writer.putU32Be(10); // fixedTable
    // The inner checksum XORs the 25 words at 4..100 as stored; byte-wise XOR gives the same
    // bytes whichever order the words are read and written back in.
    std::array<uint8_t, 4> inner{};
    for (size_t at = 4; at <= 100; at += 4) {
        for (size_t k = 0; k < 4; ++k)
            inner[k] ^= out[at + k];
    }
    writer.seek(104);
    writer.putBytes(inner);
    writer.seek(504);
    writer.putU32Be(diskId);
    sealBlock(out);
    return writer.ok();
}

std::vector<BootSector> makeBootSectors() {
    constexpr uint32_t kPartitionStart = 32;
    constexpr uint32_t kPartitionSectors = 98272;
    constexpr uint16_t kReservedSectors = 8;
    constexpr uint16_t kSectorsPerFat = 192;

    std::vector<BootSector> sectors(4);
    {
        BootSector& mbr = sectors[0];
        ByteWriter writer(mbr.bytes);
        writer.seek(440);
        writer.putBytes(std::array<uint8_t, 4>{0x62, 0x6A, 0xCF, 0xF4});
        writer.seek(446);
        writer.putBytes(std::array<uint8_t, 8>{0x00, 0x01, 0x01, 0x00, 0x06, 0x3F, 0x20, 0x2F});
        writer.putU32Le(kPartitionStart);
        writer.putU32Le(kPartitionSectors);
        writer.seek(510);
        writer.putBytes(std::array<uint8_t, 2>{0x55, 0xAA});
    }
    {
        BootSector& boot = sectors[1];
        boot.offset = uint64_t{kPartitionStart} * kSectorSize;
        ByteWriter writer(boot.bytes);
        writer.putBytes(std::array<uint8_t, 3>{0xEB, 0x3C, 0x90});
        const std::string_view oem = "MSDOS5.0";
        writer.putBytes(std::span(reinterpret_cast<const uint8_t*>(oem.data()), oem.size()));
        writer.putU16Le(512);
        writer.putU8(2); // sectors per cluster
        writer.putU16Le(kReservedSectors);
        writer.putU8(2); // FATs
        writer.putU16Le(512);
        writer.putU16Le(0); // 16-bit total: the volume is larger, see the 32-bit count
        writer.putU8(0xF8);
        writer.putU16Le(kSectorsPerFat);
        writer.putU16Le(63);
        writer.putU16Le(255);
        writer.putU32Le(kPartitionStart);
        writer.putU32Le(kPartitionSectors);
        writer.putU8(0x80);
        writer.putU8(0);
        writer.putU8(0x29);
        writer.putU32Le(0xA23A557D);
        const std::string_view labels = "NO NAME    FAT16   ";
        writer.putBytes(std::span(reinterpret_cast<const uint8_t*>(labels.data()), labels.size()));
        writer.seek(510);
        writer.putBytes(std::array<uint8_t, 2>{0x55, 0xAA});
    }
    for (size_t fat = 0; fat < 2; ++fat) {
        BootSector& sector = sectors[2 + fat];
        sector.offset =
            (kPartitionStart + kReservedSectors + fat * kSectorsPerFat) * uint64_t{kSectorSize};
        ByteWriter writer(sector.bytes);
        writer.putBytes(std::array<uint8_t, 4>{0xF8, 0xFF, 0xFF, 0xFF});
    }
    return sectors;
}

std::array<uint8_t, 12> encodeGSampleFrame(const GSample& sample) {
    std::array<uint8_t, 12> payload{};
    const std::array<int16_t, 3> axes = {sample.x, sample.y, sample.z};
    for (size_t axis = 0; axis < 3; ++axis) {
        const auto value = static_cast<uint16_t>(axes[axis]);
        for (size_t nibble = 0; nibble < 4; ++nibble)
            payload[axis * 4 + nibble] = static_cast<uint8_t>(value >> (12 - 4 * nibble) & 0x0F);
    }
    return payload;
}

std::vector<uint8_t> encodeTextFrame(std::string_view text) {
    std::vector<uint8_t> payload;
    payload.reserve(text.size() * 2);
    for (char c : text) {
        const auto byte = static_cast<uint8_t>(c);
        payload.push_back(static_cast<uint8_t>(byte >> 4));
        payload.push_back(static_cast<uint8_t>(byte & 0x0F));
    }
    return payload;
}

} // namespace tavero::sim
