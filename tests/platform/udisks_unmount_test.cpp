// Unmounting through UDisks2, against a stand-in service on a bus of the test's own (a private
// dbus-daemon): the call the service receives, its refusal, and a bus without the service.

#include "platform/udisks_unmount.h"

#include <QCoreApplication>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tavero::platform {
namespace {

// A session bus daemon started for one test and ended with it.
class PrivateBus {
public:
    PrivateBus() {
        FILE* out = ::popen("dbus-daemon --session --fork --print-address=1 --print-pid=1 "
                            "2>/dev/null",
                            "r");
        if (out == nullptr) {
            return;
        }
        char line[512];
        if (std::fgets(line, sizeof line, out) != nullptr) {
            m_address = line;
            while (!m_address.empty() && m_address.back() == '\n') {
                m_address.pop_back();
            }
        }
        if (std::fgets(line, sizeof line, out) != nullptr) {
            m_pid = static_cast<pid_t>(std::atol(line));
        }
        ::pclose(out);
    }
    ~PrivateBus() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
        }
    }
    [[nodiscard]] const std::string& address() const { return m_address; }
    [[nodiscard]] bool running() const { return !m_address.empty() && m_pid > 0; }

private:
    std::string m_address;
    pid_t m_pid = -1;
};

// The stand-in service, run as a program of its own for one test.
class FakeService {
public:
    FakeService(const std::string& address, const std::string& log, const std::string& busy) {
        m_pid = ::fork();
        if (m_pid == 0) {
            ::execl(TAVERO_FAKE_UDISKS, TAVERO_FAKE_UDISKS, address.c_str(), log.c_str(),
                    busy.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~FakeService() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
    }

private:
    pid_t m_pid = -1;
};

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class UDisksTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "udisks_unmount_test";
        static char* argv[] = {name, nullptr};
        if (QCoreApplication::instance() == nullptr) {
            s_app = new QCoreApplication(argc, argv);
        }
    }
    static void TearDownTestSuite() {
        delete s_app;
        s_app = nullptr;
    }
    void SetUp() override {
        if (!m_bus.running()) {
            GTEST_SKIP() << "dbus-daemon cannot be started here; the UDisks2 path is untested";
        }
        m_log = std::filesystem::temp_directory_path() /
                ("tavero-udisks-" + std::to_string(::getpid()) + ".log");
        std::filesystem::remove(m_log);
    }
    void TearDown() override { std::filesystem::remove(m_log); }

    // Waits until the stand-in has taken its name on the bus.
    bool waitForService() {
        for (int i = 0; i < 200; ++i) {
            if (UDisksUnmountService::ServiceAvailable(m_bus.address())) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        return false;
    }

    static QCoreApplication* s_app;
    PrivateBus m_bus;
    std::filesystem::path m_log;
};

QCoreApplication* UDisksTest::s_app = nullptr;

TEST(UDisksPath, BlockObjectPathsEscapeWhatIsNotALetterOrDigit) {
    EXPECT_EQ(UDisksBlockObjectPath("sdb1"), "/org/freedesktop/UDisks2/block_devices/sdb1");
    EXPECT_EQ(UDisksBlockObjectPath("dm-0"), "/org/freedesktop/UDisks2/block_devices/dm_2d0");
    EXPECT_EQ(UDisksBlockObjectPath("mmcblk0p1"),
              "/org/freedesktop/UDisks2/block_devices/mmcblk0p1");
}

TEST_F(UDisksTest, UnmountCallsTheFilesystemInterfaceOfTheBlockDevice) {
    EXPECT_FALSE(UDisksUnmountService::ServiceAvailable(m_bus.address()));
    FakeService service(m_bus.address(), m_log.string(), "sdc1");
    ASSERT_TRUE(waitForService());

    UDisksUnmountService udisks(m_bus.address());
    std::string error;
    EXPECT_TRUE(udisks.Unmount({"sdb1", "/media/me/NO NAME"}, error)) << error;
    // The desktop's answer when files are open on the card.
    EXPECT_FALSE(udisks.Unmount({"sdc1", "/media/me/CARD"}, error));
    EXPECT_EQ(error, "UDisks2 cannot unmount /media/me/CARD: Error unmounting /dev/sdc1: target "
                     "is busy");
    // One call each, with an empty option map, allowed to ask for authorisation.
    EXPECT_EQ(ReadFile(m_log), "sdb1 a{sv} interactive\nsdc1 a{sv} interactive\n");
}

TEST_F(UDisksTest, BusWithoutTheServiceRefuses) {
    UDisksUnmountService udisks(m_bus.address());
    std::string error;
    EXPECT_FALSE(udisks.Unmount({"sdb1", "/media/me/NO NAME"}, error));
    EXPECT_NE(error.find("UDisks2 cannot unmount /media/me/NO NAME"), std::string::npos) << error;
    UDisksUnmountService nowhere("unix:path=/nonexistent/bus");
    EXPECT_FALSE(nowhere.Unmount({"sdb1", "/media/me/NO NAME"}, error));
    EXPECT_FALSE(UDisksUnmountService::ServiceAvailable("unix:path=/nonexistent/bus"));
}

} // namespace
} // namespace tavero::platform
