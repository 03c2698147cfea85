// The main window as a person uses it, over a fake player: every control where the skin puts
// it, the transport buttons and the sliders driving the player, the keyboard, the layout
// buttons, drops, the day view and a played file that goes away.

#include "app/channel_grid.h"
#include "app/skin_layout.h"
#include "ui/controls/bitmap_slider.h"
#include "ui/controls/digi_static.h"
#include "ui/controls/panel_dlg.h"
#include "ui/controls/vx_skin_button.h"
#include "ui/controls/vx_skin_sld_button.h"
#include "ui/main/day_view.h"
#include "ui/main/map_cell_panel.h"
#include "ui/map/map_dlg.h"
#include "widget_test_support.h"
#include "window_test_support.h"

#include <QMimeData>
#include <QTest>
#include <QTextCharFormat>
#include <QTreeWidget>
#include <QUrl>
#include <algorithm>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tavero::test {
namespace {

using testing::Contains;
using testing::HasSubstr;

QRect toRect(const app::SkinRect& r) {
    return {r.x, r.y, r.w, r.h};
}

QRect toRect(const app::Rect& r) {
    return {r.left, r.top, r.width(), r.height()};
}

bool logged(const FakePlayer& p, const std::string& line) {
    return std::find(p.log.begin(), p.log.end(), line) != p.log.end();
}

// Two recordings of 2024-05-01 (times as the player reads them).
constexpr std::int64_t kStart = 1714550400; // 08:00:00 UTC
const std::vector<FakeRecording> kTwoRecordings = {{kStart, kStart + 99},
                                                   {kStart + 200, kStart + 299}};

struct ModeCase {
    QSize screen;
    int mode;
};

class ControlsInEveryMode : public testing::TestWithParam<ModeCase> {};

TEST_P(ControlsInEveryMode, SitWhereTheSkinPutsThem) {
    WindowFixture f(GetParam().screen);
    ASSERT_TRUE(f.window->startedOk());
    const int mode = GetParam().mode;
    EXPECT_EQ(f.window->windowState().uiMode, mode);
    const app::PixelSize size = app::WindowSize(mode);
    EXPECT_EQ(f.window->size(), QSize(size.width, size.height));
    for (const app::SkinControl& c : app::skinControls()) {
        const QWidget* w = f.window->controls().widget(c.name);
        ASSERT_NE(w, nullptr) << c.name;
        const app::SkinRect r = c.rect[static_cast<std::size_t>(mode)];
        EXPECT_EQ(w->geometry(), toRect(r)) << c.name;
        const bool outOfSight = r.x == app::kOutOfSightLeft;
        const bool hiddenUntilMarked = c.name == "MarkBar";
        EXPECT_EQ(w->isVisibleTo(f.window.get()), !outOfSight && !hiddenUntilMarked) << c.name;
    }
    for (const char* shown :
         {"Play", "Pause", "Stop", "Playback", "Backup", "SnapShot", "Min", "Max", "Map",
          "DIT/MAP", "Configuration", "Format", "Wifi Setting"}) {
        EXPECT_TRUE(f.window->controls().widget(shown)->isEnabled()) << shown;
    }
    const app::ChannelPlacement grid = app::ComputeGrid(mode, app::kLayout8, false);
    for (int ch = 0; ch < app::kChannelCount; ++ch) {
        EXPECT_EQ(f.window->panel(ch)->dockedRect(),
                  toRect(grid.channels[static_cast<std::size_t>(ch)]));
        EXPECT_FALSE(f.window->panel(ch)->isVisibleTo(f.window.get())); // nothing plays yet
    }
    EXPECT_EQ(f.window->mapCell()->geometry(), toRect(*grid.recordingList));
    EXPECT_EQ(f.window->backgroundId(), app::BackgroundBitmapId(mode, app::kLayout8, false));
}

INSTANTIATE_TEST_SUITE_P(Modes, ControlsInEveryMode,
                         testing::Values(ModeCase{QSize(1920, 1080), 0},
                                         ModeCase{QSize(1440, 900), 1},
                                         ModeCase{QSize(1024, 600), 2}));

class Window : public testing::Test {
protected:
    ui::CVxSkinButton* button(const char* name) { return f.window->controls().button(name); }
    // Straight to the window: outside a real drag the application drops drop events.
    void deliverDrop(QDropEvent& drop) {
        static_cast<QObject*>(f.window.get())->event(&drop);
        QCoreApplication::processEvents();
    }
    void click(const char* name) { QTest::mouseClick(button(name), Qt::LeftButton); }

    WindowFixture f;
};

TEST_F(Window, PlayPauseAndStopDriveThePlayer) {
    f.openRecordings(kTwoRecordings);
    ASSERT_EQ(f.window->mapCell()->recordingList()->topLevelItemCount(), 2);
    f.player.clearLog();

    click("Play");
    EXPECT_TRUE(logged(f.player, "Play 0 0"));
    EXPECT_TRUE(f.window->playback().playing());
    for (int ch = 0; ch < app::kChannelCount; ++ch) {
        EXPECT_TRUE(f.window->panel(ch)->isVisibleTo(f.window.get())) << ch;
    }
    EXPECT_EQ(f.window->controls().position->maximum(), 99);

    f.player.clearLog();
    click("Pause");
    EXPECT_EQ(f.player.log, std::vector<std::string>{"Pause 1"});
    click("Pause");
    EXPECT_TRUE(logged(f.player, "Pause 0"));

    click("Stop");
    EXPECT_TRUE(logged(f.player, "Close"));
    EXPECT_FALSE(f.window->playback().sourceOpen());
    for (int ch = 0; ch < app::kChannelCount; ++ch) {
        EXPECT_FALSE(f.window->panel(ch)->isVisibleTo(f.window.get())) << ch;
    }
    // Play after Stop plays the recording again from its start.
    f.player.clearLog();
    click("Play");
    EXPECT_TRUE(logged(f.player, "Play 0 0"));
}

TEST_F(Window, ThePositionSliderSeeksOnReleaseOnly) {
    f.openRecordings(kTwoRecordings);
    click("Play");
    f.player.clearLog();
    ui::CVxSkinSldButton* slider = f.window->controls().position;
    const int y = slider->height() / 2;
    press(*slider, QPoint(slider->width() / 4, y));
    moveHeld(*slider, QPoint(slider->width() / 2, y));
    EXPECT_TRUE(f.player.log.empty()) << "a drag must not seek before the release";
    EXPECT_EQ(slider->toolTip().toStdString(), "2024-05-01 08:00:50");
    release(*slider, QPoint(slider->width() / 2, y));
    EXPECT_TRUE(logged(f.player, "Seek " + std::to_string(kStart + 50)));
    EXPECT_FALSE(f.window->playback().dragging());
}

TEST_F(Window, SpeedButtonsClimbTheLadderAndVolumeButtonsMoveTheBitmapSlider) {
    f.openRecordings(kTwoRecordings);
    click("Play");
    f.player.clearLog();
    click(">>");
    EXPECT_TRUE(logged(f.player, "SetSpeed 2"));
    EXPECT_EQ(f.window->controls().speed->value(), 7);
    click("<<");
    click("<<");
    EXPECT_TRUE(logged(f.player, "SetSpeed 0.5"));
    EXPECT_EQ(f.window->controls().speed->value(), 5);

    click("Min");
    EXPECT_EQ(f.window->controls().volumeLevel->pos(), 26);
    EXPECT_EQ(f.player.volumes[0], 26 * 160 - 4320);
    click("Max");
    EXPECT_EQ(f.window->controls().volumeLevel->pos(), 27);
    EXPECT_EQ(f.player.volumes[7], 0);
}

TEST_F(Window, NextFrameStepsOnThePressAndNextFileMovesOn) {
    f.openRecordings(kTwoRecordings);
    click("Play");
    f.player.clearLog();
    QTest::mousePress(button("NextFrame"), Qt::LeftButton);
    EXPECT_TRUE(logged(f.player, "SetSpeed 1.1"));
    QTest::mouseRelease(button("NextFrame"), Qt::LeftButton);
    EXPECT_TRUE(f.window->playback().paused());

    f.player.lastTime = static_cast<std::uint32_t>(kStart + 10); // entry 0 is playing
    f.window->runTimer();
    f.player.clearLog();
    click("NextFile");
    EXPECT_TRUE(logged(f.player, "Play 1 0"));
}

TEST_F(Window, KeysSpaceIsSwallowedEnterAndEscEndTheWindow) {
    f.show();
    f.openRecordings(kTwoRecordings);
    QWidget* list = f.window->mapCell()->recordingList();
    list->setFocus();
    f.player.clearLog();
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_TRUE(f.player.log.empty());
    EXPECT_TRUE(f.window->isVisible());
    QTest::keyClick(list, Qt::Key_F3); // no older player beside this one: nothing happens
    EXPECT_TRUE(f.window->isVisible());
    QTest::keyClick(list, Qt::Key_Escape);
    EXPECT_FALSE(f.window->isVisible());
    EXPECT_EQ(f.window->result(), QDialog::Accepted);

    f.show();
    ASSERT_TRUE(f.window->isVisible());
    QTest::keyClick(f.window.get(), Qt::Key_Return);
    EXPECT_FALSE(f.window->isVisible());
}

TEST_F(Window, LayoutButtonsRearrangeTheGridAndRememberTheChoice) {
    f.openRecordings(kTwoRecordings);
    f.player.idle.fill(0); // every channel shows pictures
    click("Play");
    click("change to 4CH");
    EXPECT_EQ(f.window->windowState().layout, app::kLayout4);
    EXPECT_EQ(f.settings.ReadConfigInt("channel84", 8), 4);
    const app::ChannelPlacement grid = app::ComputeGrid(0, app::kLayout4, false);
    for (int ch = 0; ch < 4; ++ch) {
        EXPECT_EQ(f.window->panel(ch)->geometry(),
                  toRect(grid.channels[static_cast<std::size_t>(ch)]));
        EXPECT_TRUE(f.window->panel(ch)->isVisibleTo(f.window.get())) << ch;
    }
    for (int ch = 4; ch < 8; ++ch) {
        EXPECT_FALSE(f.window->panel(ch)->isVisibleTo(f.window.get())) << ch;
    }
    EXPECT_EQ(f.window->backgroundId(), 100);
    // The lists have no cell of their own: a tab shows them over the bottom-right cell.
    EXPECT_FALSE(f.window->mapCell()->isVisibleTo(f.window.get()));
    EXPECT_FALSE(button("Recording list")->isChecked());
    click("Recording list");
    EXPECT_TRUE(f.window->mapCell()->isVisibleTo(f.window.get()));
    EXPECT_TRUE(button("Recording list")->isChecked());
    click("Recording list");
    EXPECT_FALSE(f.window->mapCell()->isVisibleTo(f.window.get()));
    EXPECT_FALSE(button("Recording list")->isChecked());

    click("change to 8CH");
    EXPECT_EQ(f.settings.ReadConfigInt("channel84", 4), 8);
    EXPECT_TRUE(f.window->mapCell()->isVisibleTo(f.window.get()));
}

TEST_F(Window, TabsSwitchTheMapCellsPage) {
    click("Setting list");
    EXPECT_EQ(f.window->mapCell()->page(), ui::MapCellPanel::Page::Settings);
    EXPECT_TRUE(button("Setting list")->isChecked());
    EXPECT_FALSE(button("Recording list")->isChecked());
    EXPECT_EQ(f.window->mapCell()->settingList()->topLevelItemCount(), 6);
    click("Map view");
    EXPECT_EQ(f.window->mapCell()->page(), ui::MapCellPanel::Page::Map);
    click("Recording list");
    EXPECT_EQ(f.window->mapCell()->page(), ui::MapCellPanel::Page::Recordings);
}

// The map view (here without a page) docks into the grid's map cell.
TEST_F(Window, TheMapViewFollowsPlaybackTheTabsAndTheMapButton) {
    ui::CMapDlg* map = f.window->mapView();
    const auto grid = [&] {
        const app::WindowState& w = f.window->windowState();
        return app::ComputeGrid(w.uiMode, w.layout, w.mapMode);
    };
    ASSERT_EQ(f.window->windowState().layout, 8);
    EXPECT_FALSE(map->isVisibleTo(f.window.get()));
    f.openRecordings(kTwoRecordings);
    click("Play");
    EXPECT_TRUE(map->isVisibleTo(f.window.get())) << "playing shows the map in its cell";
    EXPECT_EQ(map->geometry(), toRect(grid().mapDock));
    EXPECT_TRUE(button("Map view")->isChecked());
    const int track = map->model().values().index;

    click("Recording list");
    EXPECT_FALSE(map->isVisibleTo(f.window.get()));
    click("Map view");
    EXPECT_TRUE(map->isVisibleTo(f.window.get()));

    // Layout 8: each press switches between docked and floating.
    click("Map");
    EXPECT_TRUE(map->isFloating());
    EXPECT_TRUE(map->isVisible());
    click("Map");
    EXPECT_FALSE(map->isFloating());
    EXPECT_EQ(map->geometry(), toRect(grid().mapDock));

    // A stop clears the map and docks it; each clear starts a new track.
    click("Map");
    click("Stop");
    EXPECT_FALSE(map->isFloating());
    EXPECT_GT(map->model().values().index, track);
    EXPECT_EQ(map->model().values().status, "stopped");

    // Layout 4 has no cell for it: the Map button floats it and puts it away again.
    click("change to 4CH");
    EXPECT_FALSE(map->isVisibleTo(f.window.get()));
    click("Map");
    EXPECT_TRUE(map->isFloating());
    EXPECT_TRUE(map->isVisible());
    click("Map");
    EXPECT_FALSE(map->isVisible());
}

TEST_F(Window, DitMapStopsAndGivesTheMapTheChannelAreaWhileNoVideoIsShown) {
    ui::CMapDlg* map = f.window->mapView();
    f.openRecordings(kTwoRecordings);
    click("Play");
    click("Recording list");
    f.player.clearLog();

    click("DIT/MAP"); // the list was shown: the map comes back in its cell
    EXPECT_TRUE(logged(f.player, "Close"));
    EXPECT_FALSE(f.window->windowState().mapMode);
    EXPECT_TRUE(map->isVisibleTo(f.window.get()));

    click("DIT/MAP"); // no video now: map mode, the map over the channels, the list beside it
    ASSERT_TRUE(f.window->windowState().mapMode);
    const app::WindowState& w = f.window->windowState();
    const app::ChannelPlacement inMapMode = app::ComputeGrid(w.uiMode, w.layout, true);
    EXPECT_EQ(map->geometry(), toRect(inMapMode.mapDock));
    EXPECT_TRUE(map->isVisibleTo(f.window.get()));
    EXPECT_EQ(f.window->mapCell()->page(), ui::MapCellPanel::Page::Recordings);
    EXPECT_TRUE(f.window->mapCell()->isVisibleTo(f.window.get()));
    click("change to 4CH");
    EXPECT_EQ(f.window->windowState().layout, 8) << "layout buttons wait for map mode to end";

    click("DIT/MAP");
    EXPECT_FALSE(f.window->windowState().mapMode);
    EXPECT_EQ(map->geometry(), toRect(app::ComputeGrid(w.uiMode, w.layout, false).mapDock));
}

TEST_F(Window, DoubleClickOnAListRowPlaysIt) {
    f.show();
    f.openRecordings(kTwoRecordings);
    QTreeWidget* list = f.window->mapCell()->recordingList();
    QTreeWidgetItem* second = list->topLevelItem(1);
    doubleClick(*list->viewport(), list->visualItemRect(second).center());
    EXPECT_TRUE(logged(f.player, "Play 1 0"));
}

TEST_F(Window, AGreenMinuteOfTheDayViewSeeksThere) {
    f.openRecordings(kTwoRecordings);
    const auto& strips = f.window->controls().strips;
    // 08:00 UTC: hour strip A, cell 8, is green; its minutes 0 and 1 are too.
    EXPECT_EQ(f.window->dayView().hourLevel(8), app::kLevelRecorded);
    QTest::mouseClick(strips[0], Qt::LeftButton, {}, strips[0]->cellRect(8).center());
    EXPECT_EQ(f.window->dayView().selectedHour(), 8);
    f.player.clearLog();
    QTest::mouseClick(strips[2], Qt::LeftButton, {}, strips[2]->cellRect(1).center());
    EXPECT_TRUE(logged(f.player, "Play 0 0")) << "nothing played: the minute's recording plays";
    EXPECT_TRUE(logged(f.player, "Seek " + std::to_string(kStart + 60)));
    // A grey minute does nothing.
    f.player.clearLog();
    QTest::mouseClick(strips[3], Qt::LeftButton, {}, strips[3]->cellRect(20).center());
    EXPECT_TRUE(f.player.log.empty());
    EXPECT_THAT(f.window->controls().calendar->dateTextFormat().keys(),
                Contains(QDate(2024, 5, 1)));
}

TEST_F(Window, DroppingFilesOpensOnlyTheFirst) {
    f.player.setRecordings(kTwoRecordings);
    f.show();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile("/media/card/first.sd"),
                  QUrl::fromLocalFile("/media/card/second.sd")});
    QDropEvent drop(QPointF(600, 600), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    deliverDrop(drop);
    EXPECT_TRUE(logged(f.player, "Open /media/card/first.sd"));
    EXPECT_FALSE(logged(f.player, "Open /media/card/second.sd"));
    EXPECT_TRUE(f.window->diskDialog()->isVisible());
    EXPECT_EQ(f.window->mapCell()->recordingList()->topLevelItemCount(), 2);

    // A file that is not a backup file is refused with a message, and nothing else changes.
    QMimeData text;
    text.setUrls({QUrl::fromLocalFile("/media/card/notes.txt")});
    QDropEvent other(QPointF(600, 600), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    deliverDrop(other);
    ASSERT_FALSE(f.messages.shown.empty());
    EXPECT_THAT(f.messages.shown.back(), HasSubstr("is not a raw backup file (*.sd)"));
    EXPECT_EQ(f.window->mapCell()->recordingList()->topLevelItemCount(), 2);
}

TEST_F(Window, ABackupFileWithoutRecordingsIsSaidSo) {
    f.player.loadFails = true;
    f.openRecordings(kTwoRecordings, "damaged.sd");
    ASSERT_EQ(f.messages.shown.size(), 1u);
    EXPECT_THAT(f.messages.shown[0], HasSubstr("holds no recordings that can be played"));
    EXPECT_THAT(f.messages.shown[0], HasSubstr("damaged index"));
    EXPECT_EQ(f.window->mapCell()->recordingList()->topLevelItemCount(), 0);
    // The window stays usable: Play with nothing listed plays nothing and stays idle.
    click("Play");
    EXPECT_FALSE(f.window->playback().sourceOpen());
}

TEST_F(Window, APlayedFileThatGoesAwayStopsPlaybackAndSaysSo) {
    const std::string path = f.folder.path() + "drive.sd";
    f.openRecordings(kTwoRecordings, "drive.sd");
    click("Play");
    ASSERT_TRUE(f.window->playback().sourceOpen());
    std::filesystem::remove(path);
    f.player.clearLog();
    f.window->runTimer();
    EXPECT_TRUE(logged(f.player, "Close"));
    EXPECT_FALSE(f.window->playback().sourceOpen());
    ASSERT_FALSE(f.messages.shown.empty());
    EXPECT_THAT(f.messages.shown.back(), HasSubstr(path));
    // Still usable: the next timer tick says nothing more, another file opens and plays.
    f.messages.shown.clear();
    f.window->runTimer();
    EXPECT_TRUE(f.messages.shown.empty());
    f.openRecordings(kTwoRecordings, "other.sd");
    click("Play");
    EXPECT_TRUE(f.window->playback().sourceOpen());
}

TEST_F(Window, UnitTrailersFeedTheGaugesAndTheSpeedDisplay) {
    f.openRecordings(kTwoRecordings);
    click("Play");
    store::UnitTrailer t;
    t.magic = store::kTrailerMagic;
    t.unitNo = 3;
    t.gCount = 2;
    t.gSamples[0] = {100, -50, 10};
    t.gSamples[1] = {400, 0, 0}; // beyond 360: kept as zeros
    const std::string body = "GPRMC,083559.00,A,4717.11437,N,00833.91522,E,54.0,90.0,091202,,,A";
    unsigned sum = 0;
    for (char c : body) {
        sum ^= static_cast<unsigned char>(c);
    }
    char check[4];
    std::snprintf(check, sizeof check, "%02X", sum);
    const std::string gps = "$" + body + "*" + check;
    std::copy(gps.begin(), gps.end(), t.gpsText.begin());
    const auto image = store::TrailerToHostImage(t);
    std::copy(image.begin(), image.end(), f.player.trailer.begin());
    f.player.trailerOk = true;
    f.controller->postTrailer();
    ASSERT_EQ(f.window->gsensorHistory().samples().size(), 2u);
    EXPECT_EQ(f.window->gsensorHistory().samples()[1], (store::GSample{0, 0, 0}));
    // 54 knots in the sentence: 100 km/h.
    EXPECT_EQ(f.window->controls().speedDisplay->text().toStdString(), "100");
    // The map view got the position too.
    EXPECT_NEAR(f.window->mapView()->model().values().latitude, 47 + 17.11437 / 60, 1e-9);
    EXPECT_EQ(f.window->mapView()->model().values().status, "running");
}

TEST_F(Window, SnapshotSavesIntoTheSnapshotFolderAndOpensIt) {
    f.openRecordings(kTwoRecordings);
    click("Play");
    f.player.idle.fill(0);
    f.window->runTimer();
    f.player.clearLog();
    click("SnapShot");
    ASSERT_EQ(f.controller->snapshots.size(), 1u);
    EXPECT_THAT(f.controller->snapshots[0].prefix, HasSubstr("Snapshot/img-"));
    EXPECT_FALSE(f.controller->snapshots[0].stamped); // no position known
    ASSERT_EQ(f.openedFolders.size(), 1u);
    // It paused for the picture and plays on at the speed it had.
    EXPECT_TRUE(logged(f.player, "Pause 1"));
    EXPECT_TRUE(logged(f.player, "Pause 0"));
    EXPECT_TRUE(f.window->playback().playing());
}

} // namespace
} // namespace tavero::test
