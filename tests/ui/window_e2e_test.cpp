// The player as a person uses it, on a virtual screen: start it on a raw backup file, press Play
// where the button is drawn, see pictures in the channel windows and the position move, seek with
// the position slider, pause, and end it with Esc; the settings file then holds the UI mode and
// the language. Back up two recordings from the backup dialog and read the file with tavero-cli.
// Each test runs itself again under xvfb-run (skipped when that is missing); xdotool presses the
// buttons and ImageMagick's import grabs the screen.

#include "app/channel_grid.h"
#include "app/skin_layout.h"
#include "command_run.h"

#include <QColor>
#include <QRect>
#include <QImage>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using tavero::testing::Quote;
using tavero::testing::RunCommand;

constexpr const char* kInnerVariable = "TAVERO_WINDOW_E2E_INNER";
constexpr int kRecordingSeconds = 40;

bool HaveCommand(const std::string& name) {
    return RunCommand("command -v " + name + " >/dev/null 2>&1").status == 0;
}

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

QImage GrabScreen(const fs::path& folder, int n) {
    const fs::path file = folder / ("screen" + std::to_string(n) + ".png");
    const auto run = RunCommand("import -window root " + Quote(file.string()));
    EXPECT_EQ(run.status, 0) << run.err;
    return QImage(QString::fromStdString(file.string())).convertToFormat(QImage::Format_RGB32);
}

QPoint Centre(const tavero::app::SkinRect& r) {
    return {r.x + r.w / 2, r.y + r.h / 2};
}

void Click(QPoint at) {
    const auto run = RunCommand("xdotool mousemove " + std::to_string(at.x()) + " " +
                                std::to_string(at.y()) + " click 1");
    EXPECT_EQ(run.status, 0) << run.err;
}

// Column of the position slider's thumb: the light pixels on the dark track.
int ThumbColumn(const QImage& screen, const tavero::app::SkinRect& slider) {
    int best = -1;
    int bestCount = 0;
    for (int x = slider.x; x < slider.right(); ++x) {
        int count = 0;
        for (int y = slider.y; y < slider.bottom(); ++y) {
            if (qGray(screen.pixel(x, y)) > 170) {
                ++count;
            }
        }
        if (count > bestCount) {
            bestCount = count;
            best = x;
        }
    }
    return best;
}

// A picture, not the empty cell's dark background: bright, coloured pixels in the middle.
bool ShowsPicture(const QImage& screen, const tavero::app::Rect& cell) {
    int bright = 0;
    int samples = 0;
    for (int y = cell.top + cell.height() / 4; y < cell.bottom - cell.height() / 4; y += 7) {
        for (int x = cell.left + cell.width() / 4; x < cell.right - cell.width() / 4; x += 7) {
            const QColor c(screen.pixel(x, y));
            ++samples;
            if (std::max({c.red(), c.green(), c.blue()}) > 120) {
                ++bright;
            }
        }
    }
    return samples > 0 && bright * 2 > samples;
}

class Player {
public:
    enum class MapPage { Off, On };
    // The map page starts Chromium inside the player; without it the player's own memory is
    // checked for leaks at its end in sanitizer builds. With it, Chromium's process-wide
    // objects (some in code without a module name) would be reported, so that check is off.
    Player(const fs::path& program, const fs::path& sd, MapPage map = MapPage::Off) {
        const std::string p = program.string();
        const std::string f = "-f";
        const std::string s = sd.string();
        char* argv[] = {const_cast<char*>(p.c_str()), const_cast<char*>(f.c_str()),
                        const_cast<char*>(s.c_str()), nullptr};
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        setenv("TAVERO_NO_DEVICE_WATCH", "1", 1); // the machine's own drives stay untouched
        if (map == MapPage::On) {
            unsetenv("TAVERO_NO_MAP_PAGE");
            setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
            // Xvfb has no GPU; Chromium's software path draws the page in every build.
            setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu", 1);
        } else {
            setenv("TAVERO_NO_MAP_PAGE", "1", 1);
            // Leaks the suppressions name (font configuration, D-Bus) come by way of plugins
            // that are unloaded at exit; only the full stack still reaches the library they
            // name. (Too slow with Chromium's allocations, whose leaks are not checked anyway.)
            std::string leaks =
                std::getenv("LSAN_OPTIONS") != nullptr ? std::getenv("LSAN_OPTIONS") : "";
            if (leaks.find("fast_unwind_on_malloc") == std::string::npos) {
                leaks += (leaks.empty() ? "" : ":") + std::string("fast_unwind_on_malloc=0");
                setenv("LSAN_OPTIONS", leaks.c_str(), 1);
            }
        }
        m_started = posix_spawn(&m_pid, p.c_str(), nullptr, nullptr, argv, environ) == 0;
    }
    ~Player() {
        if (m_started && !m_ended) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    [[nodiscard]] bool started() const { return m_started; }
    // Waits up to timeoutMs for the process to end; its exit status, or -1.
    int waitForEnd(int timeoutMs) {
        for (int waited = 0; waited < timeoutMs; waited += 100) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_ended = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            SleepMs(100);
        }
        return -1;
    }

private:
    pid_t m_pid = 0;
    bool m_started = false;
    bool m_ended = false;
};

// Outside a virtual screen: runs the current test again inside one and answers false (the
// caller returns). Inside: true.
bool OnAVirtualScreen() {
    if (std::getenv(kInnerVariable) != nullptr) {
        return true;
    }
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    // xvfb-run -a takes the first free display from the one given; two tests started together
    // from the same number both take it, and one loses its screen. Each starts at a number of
    // its own.
    const std::string display = std::to_string(100 + getpid() % 800);
    const auto run = RunCommand(std::string(kInnerVariable) + "=1 xvfb-run -a -n " + display +
                                " -s '-screen 0 1920x1080x24' " + Quote(self) +
                                " --gtest_filter=" + test->test_suite_name() + "." + test->name());
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    return false;
}

bool HaveScreenTools() {
    return HaveCommand("xvfb-run") && HaveCommand("xdotool") && HaveCommand("import");
}

#define SKIP_WITHOUT_SCREEN_TOOLS()                                                            \
    if (!HaveScreenTools())                                                                    \
    GTEST_SKIP() << "xvfb-run, xdotool or ImageMagick's import is missing "                    \
                    "(scripts/install-deps.sh installs them)"

bool WaitForWindow(const std::string& name, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 100) {
        if (RunCommand("xdotool search --name " + Quote(name)).status == 0) {
            return true;
        }
        SleepMs(100);
    }
    return false;
}

// Top-left corner and size of the first window of that name.
QRect WindowGeometry(const std::string& name) {
    const auto run =
        RunCommand("xdotool search --name " + Quote(name) + " | head -1 | xargs -r xdotool getwindowgeometry --shell");
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    std::istringstream in(run.out);
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) {
            continue;
        }
        const std::string key = line.substr(0, eq);
        const int value = std::atoi(line.c_str() + eq + 1);
        if (key == "X") {
            x = value;
        } else if (key == "Y") {
            y = value;
        } else if (key == "WIDTH") {
            w = value;
        } else if (key == "HEIGHT") {
            h = value;
        }
    }
    return {x, y, w, h};
}

TEST(WindowOnAScreen, PlaysSeeksPausesAndEndsWithEsc) {
    SKIP_WITHOUT_SCREEN_TOOLS();
    if (!OnAVirtualScreen()) {
        return;
    }

    const fs::path folder = fs::temp_directory_path() / ("tavero-e2e-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    // A program folder of its own, so that its settings file is this test's.
    const fs::path program = folder / "tavero";
    fs::copy_file(TAVERO_PLAYER, program);
    const fs::path sd = folder / "drive.sd";
    std::string make = std::string(TAVERO_MKCARD) + " --sd --out " + Quote(sd.string()) +
                       " --recording '2024-05-01 08:00:00+" + std::to_string(kRecordingSeconds) +
                       "'";
    for (int ch = 0; ch < 4; ++ch) {
        make += " --channel " + std::to_string(ch) + ":pattern:320x240@25";
    }
    const auto made = RunCommand(make);
    ASSERT_EQ(made.status, 0) << made.err;

    Player player(program, sd);
    ASSERT_TRUE(player.started());
    bool shown = false;
    for (int i = 0; i < 100 && !shown; ++i) {
        shown = RunCommand("xdotool search --name 'TAVERO PLAYER'").status == 0;
        SleepMs(100);
    }
    ASSERT_TRUE(shown) << "the window did not appear";
    SleepMs(500);

    // A 1920 x 1080 screen runs the largest UI mode; the window covers it exactly.
    const auto* play = tavero::app::findSkinControl("Play");
    const auto* pause = tavero::app::findSkinControl("Pause");
    const auto* position = tavero::app::findSkinControl("Position");
    ASSERT_TRUE(play && pause && position);
    const tavero::app::SkinRect slider = position->rect[0];
    const auto grid = tavero::app::ComputeGrid(0, tavero::app::kLayout8, false);

    Click(Centre(play->rect[0]));
    SleepMs(3500);
    const QImage first = GrabScreen(folder, 1);
    ASSERT_FALSE(first.isNull());
    for (int ch = 0; ch < 4; ++ch) {
        EXPECT_TRUE(ShowsPicture(first, grid.channels[static_cast<std::size_t>(ch)]))
            << "no picture in channel " << ch + 1;
    }
    // Channels without pictures stay dark.
    EXPECT_FALSE(ShowsPicture(first, grid.channels[5]));
    SleepMs(3000);
    const QImage later = GrabScreen(folder, 2);
    const int thumbBefore = ThumbColumn(first, slider);
    const int thumbLater = ThumbColumn(later, slider);
    EXPECT_GT(thumbLater, thumbBefore) << "the position did not move";

    // Seek to three quarters of the recording: press and release on the track there.
    Click(QPoint(slider.x + slider.w * 3 / 4, slider.y + slider.h / 2));
    SleepMs(2500);
    const QImage sought = GrabScreen(folder, 3);
    const int thumbSought = ThumbColumn(sought, slider);
    EXPECT_GT(thumbSought, slider.x + slider.w * 3 / 4 - 20) << "the seek did not move there";

    Click(Centre(pause->rect[0]));
    SleepMs(1500);
    const QImage paused = GrabScreen(folder, 4);
    SleepMs(2000);
    const QImage stillPaused = GrabScreen(folder, 5);
    EXPECT_EQ(ThumbColumn(paused, slider), ThumbColumn(stillPaused, slider));
    const auto& cell = grid.channels[0];
    EXPECT_EQ(paused.copy(cell.left, cell.top, cell.width(), cell.height()),
              stillPaused.copy(cell.left, cell.top, cell.width(), cell.height()))
        << "the picture changed while paused";

    // Esc ends the program; keys go to the window under the pointer.
    EXPECT_EQ(RunCommand("xdotool mousemove 960 540 key Escape").status, 0);
    EXPECT_EQ(player.waitForEnd(10000), 0);

    std::ifstream ini(folder / "Config.ini");
    std::stringstream text;
    text << ini.rdbuf();
    EXPECT_NE(text.str().find("UIMode=0"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("Language File="), std::string::npos) << text.str();
    fs::remove_all(folder);
}

TEST(WindowOnAScreen, BacksUpTwoRecordingsFromTheBackupDialog) {
    SKIP_WITHOUT_SCREEN_TOOLS();
    if (!OnAVirtualScreen()) {
        return;
    }
    const fs::path folder = fs::temp_directory_path() / ("tavero-e2e-b" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path program = folder / "tavero";
    fs::copy_file(TAVERO_PLAYER, program);
    const fs::path backups = folder / "backups";
    std::ofstream(folder / "Config.ini") << "[Config]\nBackupPath=" << backups.string() << "\n";
    const fs::path sd = folder / "drive.sd";
    const auto made = RunCommand(std::string(TAVERO_MKCARD) + " --sd --out " + Quote(sd.string()) +
                                 " --recording '2024-05-01 08:00:00+6'" +
                                 " --recording '2024-05-01 08:10:00+6'" +
                                 " --recording '2024-05-01 08:20:00+6'");
    ASSERT_EQ(made.status, 0) << made.err;

    Player player(program, sd);
    ASSERT_TRUE(player.started());
    ASSERT_TRUE(WaitForWindow("TAVERO PLAYER", 10000)) << "the window did not appear";
    SleepMs(500);
    const auto* backup = tavero::app::findSkinControl("Backup");
    ASSERT_NE(backup, nullptr);
    Click(Centre(backup->rect[0]));
    ASSERT_TRUE(WaitForWindow("^Backup$", 5000)) << "the backup dialog did not open";
    SleepMs(700);
    const QRect dialog = WindowGeometry("^Backup$");
    ASSERT_GT(dialog.width(), 400);
    // The first and third rows of its list, then Backup in its bottom-right corner.
    Click(dialog.topLeft() + QPoint(140, 150));
    SleepMs(300);
    Click(dialog.topLeft() + QPoint(140, 182));
    SleepMs(300);
    const QImage ticked = GrabScreen(folder, 1);
    Click(dialog.topLeft() + QPoint(dialog.width() - 50, dialog.height() - 22));

    // The completion message names the source and the folder.
    bool done = false;
    for (int i = 0; i < 150 && !done; ++i) {
        SleepMs(100);
        done = fs::exists(backups) && !fs::is_empty(backups) &&
               RunCommand("xdotool search --name 'Tavero2.exe'").status == 0;
    }
    ASSERT_TRUE(done) << "no backup file and no completion message";
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(backups)) {
        files.push_back(e.path());
    }
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].extension(), ".sd");
    const auto list = RunCommand(std::string("TZ=UTC ") + TAVERO_CLI + " list " +
                                 Quote(files[0].string()) + " --json");
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("\"number\": 2"), std::string::npos) << list.out;
    EXPECT_EQ(list.out.find("\"number\": 3"), std::string::npos) << list.out;
    // The second recording (08:10) is not in it; the first and third are.
    const auto text = RunCommand(std::string("TZ=UTC ") + TAVERO_CLI + " list " + Quote(files[0].string()));
    EXPECT_NE(text.out.find("08:00:00"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("08:20:00"), std::string::npos) << text.out;
    EXPECT_EQ(text.out.find("08:10:00"), std::string::npos) << text.out;
    (void)ticked;
    fs::remove_all(folder);
}

// Pixels of the car marker (its blue arrow) and of the red track line inside a rectangle.
struct MapPixels {
    int car = 0;
    int track = 0;
};

MapPixels CountMapPixels(const QImage& screen, const tavero::app::Rect& cell) {
    MapPixels n;
    for (int y = cell.top + 30; y < cell.bottom - 60; ++y) { // not the banner, box or scale
        for (int x = cell.left + 40; x < cell.right - 4; ++x) {
            const QColor c(screen.pixel(x, y));
            if (c.blue() > 150 && c.red() < 70 && c.green() > 70 && c.green() < 140) {
                ++n.car;
            } else if (c.red() > 200 && c.green() < 70 && c.blue() < 70) {
                ++n.track;
            }
        }
    }
    return n;
}

TEST(WindowOnAScreen, TheMapFollowsTheDriveWithoutTiles) {
    SKIP_WITHOUT_SCREEN_TOOLS();
    if (!OnAVirtualScreen()) {
        return;
    }
    const fs::path folder = fs::temp_directory_path() / ("tavero-e2e-m" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path program = folder / "tavero";
    fs::copy_file(TAVERO_PLAYER, program);
    // No tile server answers on this port: the map is offline and still draws.
    std::ofstream(folder / "Config.ini")
        << "[Config]\nMapTileUrl=http://127.0.0.1:9/{z}/{x}/{y}.png\n";
    const fs::path sd = folder / "drive.sd";
    const auto made = RunCommand(std::string(TAVERO_MKCARD) + " --sd --out " + Quote(sd.string()) +
                                 " --recording '2024-05-01 08:00:00+40'");
    ASSERT_EQ(made.status, 0) << made.err;

    Player player(program, sd, Player::MapPage::On);
    ASSERT_TRUE(player.started());
    ASSERT_TRUE(WaitForWindow("TAVERO PLAYER", 10000)) << "the window did not appear";
    SleepMs(1500); // the page loads beside the window
    const auto* play = tavero::app::findSkinControl("Play");
    ASSERT_NE(play, nullptr);
    Click(Centre(play->rect[0]));
    // The page's renderer starts beside the window and may take a while on a loaded machine:
    // the first look is taken once the car is on the map (or after half a minute).
    const auto cell = tavero::app::ComputeGrid(0, tavero::app::kLayout8, false).mapDock;
    QImage first;
    for (int waited = 0; waited < 30000; waited += 500) {
        SleepMs(500);
        first = GrabScreen(folder, 1);
        if (CountMapPixels(first, cell).car > 40) {
            break;
        }
    }
    // Then the track grows behind the car as the drive plays on (at least six seconds of it,
    // longer where the page draws slowly).
    const MapPixels a = CountMapPixels(first, cell);
    QImage later;
    MapPixels b;
    for (int waited = 0; waited < 30000; waited += 500) {
        SleepMs(500);
        if (waited < 6000) {
            continue;
        }
        later = GrabScreen(folder, 2);
        b = CountMapPixels(later, cell);
        if (b.track > a.track + 20) {
            break;
        }
    }
    EXPECT_GT(a.car, 40) << "no car marker on the map";
    EXPECT_GT(b.car, 40) << "no car marker on the map";
    EXPECT_GT(b.track, a.track + 20) << "the track did not grow behind the car";
    const QImage before = first.copy(cell.left, cell.top, cell.width(), cell.height());
    EXPECT_NE(before, later.copy(cell.left, cell.top, cell.width(), cell.height()))
        << "the map did not move with the car";
    EXPECT_EQ(RunCommand("xdotool mousemove 960 540 key Escape").status, 0);
    EXPECT_EQ(player.waitForEnd(10000), 0);
    fs::remove_all(folder);
}

// The configuration page from the window's Configuration button, on a card image mapped as a
// drive: choose "Low" under "Video Quality", press Save, and read the card back with tavero-cli.
TEST(WindowOnAScreen, ChangesTheVideoQualityOfACard) {
    SKIP_WITHOUT_SCREEN_TOOLS();
    if (!OnAVirtualScreen()) {
        return;
    }
    const fs::path folder = fs::temp_directory_path() / ("tavero-e2e-c" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path program = folder / "tavero";
    fs::copy_file(TAVERO_PLAYER, program);
    const fs::path card = folder / "card.img";
    const auto made = RunCommand(std::string(TAVERO_MKCARD) + " --blocks 4 --out " + Quote(card.string()));
    ASSERT_EQ(made.status, 0) << made.err;
    std::ofstream(folder / "Config.ini") << "[Drives]\n2=" << card.string() << "\n";
    const std::string show =
        std::string(TAVERO_CLI) + " config show --drive 2=" + Quote(card.string());
    const auto before = RunCommand(show);
    ASSERT_NE(before.out.find("videoQuality: High"), std::string::npos) << before.out;

    Player player(program, "car2://2");
    ASSERT_TRUE(player.started());
    ASSERT_TRUE(WaitForWindow("TAVERO PLAYER", 10000)) << "the window did not appear";
    SleepMs(800);
    const auto* configuration = tavero::app::findSkinControl("Configuration");
    ASSERT_NE(configuration, nullptr);
    Click(Centre(configuration->rect[0]));
    ASSERT_TRUE(WaitForWindow("^Configuration", 5000)) << "the configuration page did not open";
    SleepMs(700);
    const QRect page = WindowGeometry("^Configuration");
    ASSERT_GT(page.width(), 600);
    // "Video Quality" (110, 55, 90, 14) and "Save" (229, 230, 60, 14), in dialog units of
    // 1.5 x 1.625 pixels.
    Click(page.topLeft() + QPoint(165 + 67, 89 + 11));
    SleepMs(500);
    EXPECT_EQ(RunCommand("xdotool key Down Down Return").status, 0);
    SleepMs(400);
    Click(page.topLeft() + QPoint(343 + 45, 373 + 11));
    SleepMs(800);
    EXPECT_NE(RunCommand("xdotool search --name '^Configuration'").status, 0)
        << "the page did not close";

    EXPECT_EQ(RunCommand("xdotool mousemove 960 540 key Escape").status, 0);
    EXPECT_EQ(player.waitForEnd(10000), 0);
    const auto after = RunCommand(show);
    EXPECT_EQ(after.status, 0) << after.err;
    EXPECT_NE(after.out.find("sectorValid: yes"), std::string::npos) << after.out;
    EXPECT_NE(after.out.find("videoQuality: Low"), std::string::npos) << after.out;
    std::ifstream ini(folder / "Config.ini");
    std::stringstream text;
    text << ini.rdbuf();
    EXPECT_NE(text.str().find("SetEDR_Speed=0"), std::string::npos) << text.str();
    fs::remove_all(folder);
}

} // namespace
