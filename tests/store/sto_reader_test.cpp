// Raw access: whole transfers, positions, read-only opens, the drive table.

#include "card_fixture.h"
#include "platform/drive_table.h"
#include "store/sto_reader.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace tavero::store {
namespace {

using testing::TempDir;

void WriteFile(const std::filesystem::path& p, std::size_t size, char fill) {
    std::ofstream out(p, std::ios::binary);
    out << std::string(size, fill);
}

TEST(StoReader, OpenFileCreatesOnlyWhenWriting) {
    TempDir dir;
    CStoReader r;
    EXPECT_FALSE(r.OpenFile((dir / "missing.sd").string(), StoAccess::Read));
    EXPECT_FALSE(r.IsOpen());
    std::uint8_t b[512];
    EXPECT_FALSE(r.Read(b, 512)) << "a reader that is not open reads nothing";
    EXPECT_FALSE(r.Close());
    ASSERT_TRUE(r.OpenFile((dir / "new.sd").string(), StoAccess::ReadWrite));
    EXPECT_TRUE(std::filesystem::exists(dir / "new.sd"));
    EXPECT_TRUE(r.Close());
    EXPECT_FALSE(r.Close());
    EXPECT_FALSE(r.OpenFile(dir.path().string(), StoAccess::Read)) << "a folder is not a source";
}

TEST(StoReader, ShortReadAtTheEndIsAFailure) {
    TempDir dir;
    WriteFile(dir / "f.bin", 1024, 'a');
    CStoReader r;
    ASSERT_TRUE(r.OpenFile((dir / "f.bin").string(), StoAccess::Read));
    std::uint8_t b[512];
    ASSERT_TRUE(r.Seek(1024 - 100, SeekOrigin::Begin));
    EXPECT_FALSE(r.Read(b, 512));
    ASSERT_TRUE(r.Seek(0, SeekOrigin::Begin));
    EXPECT_TRUE(r.Read(b, 512));
    std::int64_t pos = 0;
    ASSERT_TRUE(r.Seek(512, SeekOrigin::Current, &pos));
    EXPECT_EQ(pos, 1024);
    EXPECT_FALSE(r.Seek(-2048, SeekOrigin::Current));
    EXPECT_EQ(r.Position(), 1024);
    ASSERT_TRUE(r.Seek(4294967295LL, SeekOrigin::Begin, &pos));
    EXPECT_EQ(pos, 4294967295LL);
    EXPECT_FALSE(r.Write(b, 512)) << "opened read-only";
}

TEST(StoReader, ReadingPathsWorkOnWriteProtectedMedia) {
    TempDir dir;
    WriteFile(dir / "card.img", 4096, 0);
    ::chmod((dir / "card.img").c_str(), 0444);
    platform::SetDrivePath(5, (dir / "card.img").string());
    CStoReader r;
    ASSERT_TRUE(r.OpenPhysicalDrive(5, StoAccess::Read));
    std::uint8_t b[512] = {1};
    EXPECT_FALSE(r.Write(b, 512)) << "a reading open must not be able to write";
    if (::geteuid() != 0) { // root ignores the permission bits
        CStoReader w;
        EXPECT_FALSE(w.OpenPhysicalDrive(5, StoAccess::ReadWrite));
    }
    platform::ClearDrivePaths();
}

TEST(StoReader, ExclusiveOpenFailsWhileAnotherHandleIsOpen) {
    TempDir dir;
    WriteFile(dir / "card.img", 4096, 0);
    platform::SetDrivePath(2, (dir / "card.img").string());
    {
        CStoReader player;
        ASSERT_TRUE(player.OpenPhysicalDrive(2, StoAccess::Read));
        CStoReader second;
        EXPECT_TRUE(second.OpenPhysicalDrive(2, StoAccess::Read)) << "shared opens coexist";
        CStoReader formatter;
        EXPECT_FALSE(formatter.OpenPhysicalDriveExclusive(2));
    }
    CStoReader formatter;
    EXPECT_TRUE(formatter.OpenPhysicalDriveExclusive(2));
    platform::ClearDrivePaths();
}

TEST(DriveTable, ExplicitEntriesWinAndVirtualDisksAreLeftOut) {
    TempDir sys;
    for (const char* name : {"sdb", "loop0", "sda", "zram0", "mmcblk0", "dm-1", "sr0", "nvme0n1",
                             "md127", "ram3", "nbd2", "fd0"}) {
        std::filesystem::create_directories(sys / "block" / name);
    }
    platform::SetSysfsRoot(sys.path().string());
    EXPECT_EQ(platform::ListWholeDisks(),
              (std::vector<std::string>{"mmcblk0", "nvme0n1", "sda", "sdb"}));
    EXPECT_EQ(platform::ResolveDrivePath(2), "/dev/sda");
    EXPECT_EQ(platform::ResolveDrivePath(4), std::nullopt);
    EXPECT_EQ(platform::ResolveDrivePath(10), std::nullopt);
    EXPECT_EQ(platform::ResolveDrivePath(-1), std::nullopt);
    platform::SetDrivePath(2, "/tmp/card.img");
    EXPECT_EQ(platform::ResolveDrivePath(2), "/tmp/card.img");
    platform::SetDrivePath(2, "");
    EXPECT_EQ(platform::ResolveDrivePath(2), "/dev/sda");
    platform::SetSysfsRoot("");
    platform::ClearDrivePaths();
}

} // namespace
} // namespace tavero::store
