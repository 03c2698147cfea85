// What a save reports as written is on the card: every file is synced with its folder, the
// configuration sector with the card, and a failing sync (a late I/O error of a card pulled too
// early) is a failed write. The test program's own fsync and fdatasync stand in for the C
// library's: they note what was synced and fail where a test says so.

#include "card_fixture.h"
#include "expected_bytes.h"
#include "page_fakes.h"
#include "platform/drive_table.h"
#include "recorderconfig/car_set_files.h"
#include "recorderconfig/card_save.h"
#include "recorderconfig/config_sector.h"
#include "recorderconfig/wifi_config.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <set>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

std::mutex g_lock;
std::set<std::string> g_synced; // guarded by g_lock
std::string g_failingPrefix;    // guarded by g_lock; empty: every sync works

std::string PathOf(int fd) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    std::error_code ec;
    return std::filesystem::read_symlink(link, ec).string();
}

int Synced(int fd, long call) {
    const std::string path = PathOf(fd);
    {
        std::lock_guard guard(g_lock);
        if (!g_failingPrefix.empty() && path.rfind(g_failingPrefix, 0) == 0) {
            errno = EIO;
            return -1;
        }
        g_synced.insert(path);
    }
    return static_cast<int>(::syscall(call, fd));
}

} // namespace

extern "C" int fsync(int fd) {
    return Synced(fd, SYS_fsync);
}
extern "C" int fdatasync(int fd) {
    return Synced(fd, SYS_fdatasync);
}

namespace tavero::testing {
namespace {

namespace rc = recorderconfig;

class SyncTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = std::filesystem::canonical(m_dir.path()).string() + "/";
        m_card = std::make_unique<TestCard>(m_dir / "card.img", 1, 777);
        platform::SetDrivePath(kDrive, m_card->path().string());
        reset();
    }
    void TearDown() override {
        platform::SetDrivePath(kDrive, "");
        failUnder("");
    }
    static void reset() {
        std::lock_guard guard(g_lock);
        g_synced.clear();
    }
    static void failUnder(const std::string& prefix) {
        std::lock_guard guard(g_lock);
        g_failingPrefix = prefix;
    }
    static bool synced(const std::string& path) {
        std::lock_guard guard(g_lock);
        return g_synced.count(path) != 0;
    }

    static constexpr int kDrive = 6;
    TempDir m_dir;
    std::string m_root;
    std::unique_ptr<TestCard> m_card;
};

TEST_F(SyncTest, SaveSyncsEveryFileItsFolderAndTheSector) {
    rc::ConfigSector sector;
    rc::MakeDefaultConfigSector(sector, 777);
    const rc::CardSaveOutcome outcome = rc::SaveCardConfiguration(m_root, kDrive, sector, {});
    ASSERT_TRUE(outcome.sectorWritten) << outcome.sectorError;
    ASSERT_TRUE(outcome.skippedFiles.empty());
    for (const char* name :
         {"taverosetting.cbs", "taverosetting.cbs2", "video.vcf", "rec_mode.cfg", "User_DST.dst"}) {
        EXPECT_TRUE(synced(m_root + "car_set/" + name)) << name;
    }
    EXPECT_TRUE(synced(m_root + "car_set")) << "the folder's entries";
    EXPECT_TRUE(synced(m_root.substr(0, m_root.size() - 1))) << "the new folder's own entry";
    EXPECT_TRUE(synced(m_card->path().string())) << "the configuration sector";
}

TEST_F(SyncTest, LateIoErrorIsAFailedWrite) {
    failUnder(m_root + "car_set/");
    rc::ConfigSector sector;
    rc::MakeDefaultConfigSector(sector, 777);
    const rc::CardSaveOutcome outcome = rc::SaveCardConfiguration(m_root, kDrive, sector, {});
    EXPECT_EQ(outcome.skippedFiles.size(), 12u) << "every file, reported";
    EXPECT_TRUE(outcome.sectorWritten);

    failUnder(m_card->path().string());
    std::string why;
    EXPECT_FALSE(rc::WriteConfigSector(kDrive, sector, &why));
    EXPECT_FALSE(why.empty());

    failUnder(m_root + "car_set/");
    rc::WifiSettings wifi;
    wifi.password = "12345678";
    RecordingSink sink;
    EXPECT_FALSE(rc::WriteWifiConfig(m_root, wifi, sink));
    EXPECT_EQ(sink.messages, std::vector<std::string>{"Save Fail"});
    failUnder("");
    EXPECT_TRUE(rc::WriteWifiConfig(m_root, wifi, sink));
    EXPECT_TRUE(synced(m_root + "car_set/wifi_cfg.txt"));
}

} // namespace
} // namespace tavero::testing
