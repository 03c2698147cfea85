// Checksum, packed time, disk information and boot image against bytes built by hand.

#include "card_fixture.h"
#include "platform/drive_table.h"
#include "store/boot_image.h"
#include "store/byte_io.h"
#include "store/card_layout.h"
#include "store/checksum.h"
#include "store/packed_time.h"
#include "store/sto_reader.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <vector>

namespace tavero::store {
namespace {

using testing::Bytes512;
using testing::TempDir;
using testing::TestCard;

class ScopedTz {
public:
    explicit ScopedTz(const char* tz) {
        if (const char* old = std::getenv("TZ")) {
            m_old = old;
            m_had = true;
        }
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~ScopedTz() {
        if (m_had) {
            ::setenv("TZ", m_old.c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }

private:
    std::string m_old;
    bool m_had = false;
};

TEST(ByteCursor, FailureIsStickyAndYieldsZeros) {
    const std::uint8_t data[6] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
    ByteReader r(data);
    EXPECT_EQ(r.be32(), 0x12345678u);
    EXPECT_EQ(r.be32(), 0u); // only two bytes left
    EXPECT_TRUE(r.failed());
    EXPECT_EQ(r.u8(), 0u); // stays failed even though nothing more was asked than exists
    std::uint8_t out[4] = {1, 2, 3, 4};
    ByteWriter w(out);
    w.be16(0xA1B2);
    w.le32(1);
    EXPECT_TRUE(w.failed());
    EXPECT_EQ(out[0], 0xA1);
    EXPECT_EQ(out[2], 3); // the write that did not fit wrote nothing
}

TEST(Checksum, XorsTheFirst127LittleEndianWords) {
    Bytes512 block{};
    block[0] = 0x01;   // word 0 = 0x00000001
    block[7] = 0x80;   // word 1 = 0x80000000
    block[504] = 0xFF; // word 126 = 0x000000FF
    block[508] = 0x55; // the checksum word itself is not part of the sum
    EXPECT_EQ(BlockChecksum(block), 0x800000FEu);
    EXPECT_FALSE(BlockChecksumMatches(block));
    StampBlockChecksum(block);
    EXPECT_EQ(block[508], 0xFE);
    EXPECT_EQ(block[511], 0x80);
    EXPECT_TRUE(BlockChecksumMatches(block));
    // A shorter length covers length/4 - 1 words.
    EXPECT_EQ(BlockChecksum(block, 8), 0x00000001u);
}

TEST(PackedTime, ReadsTheRecorderClockAsLocalStandardTime) {
    const std::uint8_t bytes[6] = {0xD7, 0x07, 0x0F, 0x0C, 0x22, 0x38};
    const PackedTime t = PackedTime::FromBytes(bytes);
    EXPECT_EQ(t.year(), 2015);
    {
        ScopedTz tz("UTC");
        EXPECT_EQ(PackedTimeToSeconds(t), 1436963696); // 2015-07-15 12:34:56 UTC
    }
    {
        // Daylight saving stays off even in July: 12:34:56 is read as UTC+1.
        ScopedTz tz("CET-1CEST,M3.5.0,M10.5.0/3");
        EXPECT_EQ(PackedTimeToSeconds(t), 1436963696 - 3600);
    }
}

TEST(PackedTime, BothConversionsAgreeForStandardTime) {
    for (const char* zone :
         {"UTC", "EST5EDT,M3.2.0,M11.1.0", "IST-5:30", "CET-1CEST,M3.5.0,M10.5.0/3"}) {
        ScopedTz tz(zone);
        for (std::int64_t s :
             {std::int64_t{1436963696}, std::int64_t{1704067200}, std::int64_t{1719835199}}) {
            EXPECT_EQ(PackedTimeToSeconds(SecondsToPackedTime(s)), s) << zone << " " << s;
        }
    }
}

TEST(PackedTime, TimesShownAreTheStampedWallClockAllYearRound) {
    // Stamped 08:00:00 in winter and in summer; shown as stamped in every zone, daylight saving
    // or not, and turned back into the same packed bytes.
    const std::uint8_t winter[6] = {224, 1, 15, 8, 0, 0};
    const std::uint8_t summer[6] = {224, 7, 1, 8, 0, 0};
    std::vector<const char*> zones = {"UTC", "CET-1CEST,M3.5.0,M10.5.0/3", "EST5EDT,M3.2.0,M11.1.0",
                                      "IST-5:30", "NZST-12NZDT,M9.5.0,M4.1.0/3"};
    // Zones from the time zone database, when the machine has it: Moscow's standard offset
    // changed in 2011 and 2014, so today's offset is not the one of older dates.
    for (const char* name : {"Europe/Berlin", "Europe/Moscow", "Australia/Lord_Howe"}) {
        if (std::filesystem::exists(std::string("/usr/share/zoneinfo/") + name)) {
            zones.push_back(name);
        }
    }
    for (const char* zone : zones) {
        ScopedTz tz(zone);
        for (const auto* bytes : {winter, summer}) {
            const PackedTime t = PackedTime::FromBytes(std::span(bytes, 6));
            const std::int64_t s = PackedTimeToSeconds(t);
            const std::string shown = FormatRecorderTime(s);
            EXPECT_EQ(shown.substr(11), "08:00:00") << zone << " " << shown;
            EXPECT_EQ(SecondsToPackedTime(s), t) << zone;
        }
        const std::uint8_t moscow2012[6] = {212, 3, 1, 12, 30, 0};
        const PackedTime old = PackedTime::FromBytes(std::span(moscow2012, 6));
        EXPECT_EQ(FormatRecorderTime(PackedTimeToSeconds(old)), "2012-03-01 12:30:00") << zone;
        EXPECT_EQ(FormatRecorderTime(PackedTimeToSeconds(old), "%Y-%m-%d-%H-%M-%S"),
                  "2012-03-01-12-30-00")
            << zone;
    }
}

TEST(DiskInfo, SerialisesBigEndianFieldsWithLittleEndianMagicAndChecksum) {
    DiskInfo info;
    info.magic = kDiskInfoMagic;
    info.version = kDiskInfoVersion;
    info.blockCount = 0x0102;
    const std::uint8_t created[6] = {224, 1, 2, 3, 4, 5};
    info.createTime = PackedTime::FromBytes(created);
    info.diskId = 10005;
    const auto bytes = SerializeDiskInfo(info);

    const Bytes512 expected = testing::DiskInfoBytes(0x0102, 10005);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), bytes.begin()));
    EXPECT_TRUE(DiskInfoValid(bytes));
    EXPECT_EQ(ParseDiskInfo(bytes).blockCount, 0x0102);
    EXPECT_EQ(ParseDiskInfo(bytes).diskId, 10005u);
}

TEST(DiskInfo, BackupCopyKeepsMemoryOrderAndTheCardChecksum) {
    const Bytes512 card = testing::DiskInfoBytes(32, 0x01020304);
    const DiskInfo info = ParseDiskInfo(card);
    const auto copy = SerializeDiskInfoForBackup(info);
    EXPECT_EQ(LoadLe32(copy.data()), kDiskInfoMagic);
    EXPECT_EQ(LoadLe32(copy.data() + 4), kDiskInfoVersion);
    EXPECT_EQ(copy[12], 32);
    EXPECT_EQ(copy[13], 0);
    EXPECT_EQ(LoadLe32(copy.data() + 504), 0x01020304u);
    EXPECT_EQ(LoadLe32(copy.data() + 508), LoadLe32(card.data() + 508));
}

TEST(DiskInfo, BlockCountFollowsTheDriveSize) {
    EXPECT_EQ(BlockCountForSize(0x16000000), 127);
    EXPECT_EQ(BlockCountForSize(-1), 127);
    EXPECT_EQ(BlockCountForSize(0x16000000LL + 10 * 0x1000000LL), 2);
    EXPECT_EQ(BlockCountForSize(0x16000000LL + 40 * 0x1000000LL + 5), 32);
    EXPECT_EQ(BlockCountForSize(0x16000000LL + 8 * 0x1000000LL), 0);
}

class DiskInfoOnCard : public ::testing::Test {
protected:
    void SetUp() override { platform::SetDrivePath(3, (m_dir / "card.img").string()); }
    void TearDown() override { platform::ClearDrivePaths(); }
    TempDir m_dir;
};

TEST_F(DiskInfoOnCard, BothCopiesValid) {
    TestCard card(m_dir / "card.img", 12, 4242);
    DiskInfo info;
    EXPECT_TRUE(ReadDiskInfo(3, info));
    EXPECT_EQ(info.diskId, 4242u);
    EXPECT_EQ(info.blockCount, 12);
}

TEST_F(DiskInfoOnCard, DamagedCopyBFailsButKeepsCopyA) {
    TestCard card(m_dir / "card.img", 12, 4242);
    card.corruptDiskInfoB();
    DiskInfo info;
    std::string why;
    EXPECT_FALSE(ReadDiskInfo(3, info, &why));
    EXPECT_EQ(info.diskId, 4242u);
    EXPECT_NE(why.find("copy B"), std::string::npos);
}

TEST_F(DiskInfoOnCard, DamagedCopyAGivesDefaults) {
    TestCard card(m_dir / "card.img", 12, 4242);
    const std::uint8_t junk = 0;
    card.writeAt(0x4000000, &junk, 1);
    DiskInfo info;
    EXPECT_FALSE(ReadDiskInfo(3, info));
    EXPECT_EQ(info.diskId, kDefaultDiskId);
    EXPECT_EQ(info.blockCount, 12); // from the image size
    EXPECT_EQ(info.magic, kDiskInfoMagic);
}

TEST_F(DiskInfoOnCard, CopiesWithDifferentIdentifiersGiveCopyB) {
    TestCard card(m_dir / "card.img", 12, 4242);
    const Bytes512 b = testing::DiskInfoBytes(12, 4247);
    card.writeAt(0x5000000, b.data(), b.size());
    DiskInfo info;
    EXPECT_TRUE(ReadDiskInfo(3, info));
    EXPECT_EQ(info.diskId, 4247u);
}

TEST_F(DiskInfoOnCard, WriteThenReadRoundTrips) {
    TestCard card(m_dir / "card.img", 12, 4242);
    DiskInfo fresh;
    ASSERT_TRUE(FormatDiskInfo(3, fresh, 4247));
    EXPECT_EQ(fresh.blockCount, 12);
    const DiskInfo before = fresh;
    ASSERT_TRUE(WriteDiskInfo(3, fresh, kDiskInfoOffsetA));
    ASSERT_TRUE(WriteDiskInfo(3, fresh, kDiskInfoOffsetB));
    EXPECT_EQ(fresh, before); // the caller's block is left in host order
    DiskInfo read;
    EXPECT_TRUE(ReadDiskInfo(3, read));
    EXPECT_EQ(read.diskId, 4247u);
    EXPECT_EQ(read.createTime, fresh.createTime);
}

TEST(BootImage, SectorZeroIsTheDescribedMasterBootRecord) {
    const auto image = BootImage();
    ASSERT_EQ(image.size(), 256u * 1024u);
    const std::uint8_t expected[] = {
        0x00, 0x01, 0x01, 0x00, 0x06, 0x3F, 0x20, 0x2F, // status, CHS start, type, CHS end
        0x20, 0x00, 0x00, 0x00,                         // first LBA 32
        0xE0, 0x7F, 0x01, 0x00,                         // 98272 sectors
    };
    EXPECT_EQ(std::memcmp(image.data() + 446, expected, sizeof expected), 0);
    EXPECT_EQ(image[440], 0x62);
    EXPECT_EQ(image[443], 0xF4);
    for (std::size_t i = 462; i < 510; ++i) {
        ASSERT_EQ(image[i], 0) << i; // entries 2 to 4 empty
    }
    EXPECT_EQ(image[510], 0x55);
    EXPECT_EQ(image[511], 0xAA);
    for (std::size_t i = 0; i < 440; ++i) {
        ASSERT_EQ(image[i], 0) << "no boot code expected at " << i;
    }
    EXPECT_TRUE(PartitionTableMatchesBootImage(image.subspan(0, 512)));
    Bytes512 other{};
    std::memcpy(other.data(), image.data(), 512);
    other[450] = 0x0B; // FAT32 instead of FAT16
    EXPECT_FALSE(PartitionTableMatchesBootImage(other));
}

TEST(BootImage, PartitionHoldsTheDescribedEmptyFat16Volume) {
    const auto image = BootImage();
    const std::uint8_t* s = image.data() + 32 * 512;
    EXPECT_EQ(std::memcmp(s + 3, "MSDOS5.0", 8), 0);
    EXPECT_EQ(s[11] | s[12] << 8, 512);
    EXPECT_EQ(s[13], 2);
    EXPECT_EQ(s[14] | s[15] << 8, 8);
    EXPECT_EQ(s[16], 2);
    EXPECT_EQ(s[17] | s[18] << 8, 512);
    EXPECT_EQ(s[21], 0xF8);
    EXPECT_EQ(s[22] | s[23] << 8, 192);
    EXPECT_EQ(s[24] | s[25] << 8, 63);
    EXPECT_EQ(s[26] | s[27] << 8, 255);
    EXPECT_EQ(LoadLe32(s + 28), 32u);
    EXPECT_EQ(LoadLe32(s + 32), 98272u);
    EXPECT_EQ(s[36], 0x80);
    EXPECT_EQ(s[38], 0x29);
    EXPECT_EQ(LoadLe32(s + 39), 0xA23A557Du);
    EXPECT_EQ(std::memcmp(s + 43, "NO NAME    ", 11), 0);
    EXPECT_EQ(std::memcmp(s + 54, "FAT16   ", 8), 0);
    EXPECT_EQ(s[510], 0x55);
    EXPECT_EQ(s[511], 0xAA);
    const std::uint8_t fatStart[] = {0xF8, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(std::memcmp(image.data() + 40 * 512, fatStart, 4), 0);
    EXPECT_EQ(std::memcmp(image.data() + 232 * 512, fatStart, 4), 0);
    // Everything else past the boot sector is zero: FAT bodies, root directory, the rest.
    std::size_t nonZero = 0;
    for (std::size_t i = 33 * 512; i < image.size(); ++i) {
        nonZero += image[i] != 0 ? 1 : 0;
    }
    EXPECT_EQ(nonZero, 8u);
}

TEST(BootImage, FileSystemCheckerAcceptsTheVolume) {
    if (std::system("command -v fsck.fat >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "fsck.fat (dosfstools) is not installed";
    }
    TempDir dir;
    const auto volume = dir / "volume.img";
    {
        std::ofstream out(volume, std::ios::binary);
        const auto image = BootImage();
        out.write(reinterpret_cast<const char*>(image.data() + 32 * 512),
                  static_cast<std::streamsize>(image.size() - 32 * 512));
    }
    std::filesystem::resize_file(volume, std::uintmax_t{98272} * 512);
    const std::string command = "fsck.fat -n '" + volume.string() + "' >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0);
}

} // namespace
} // namespace tavero::store
