// The map view with its real page in Qt WebEngine (offscreen, tiles unreachable): what the page
// draws for the values the view writes, the track rules, the call back into the program, and
// where the view sits when docked and floating.

#include "app/app_settings.h"
#include "platform/program_paths.h"
#include "temp_folder.h"
#include "ui/map/map_dlg.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineView>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace tavero {
namespace {

using test::TempFolder;

// Tiles from a port nobody listens on: the page is offline.
constexpr const char* kNoTiles = "http://127.0.0.1:9/{z}/{x}/{y}.png";

// 39 deg 34.2574' N, 116 deg 33.4835' E, 30 knots, course 84.4 (east).
constexpr const char* kFixA = "$GPRMC,123519,A,3934.2574,N,11633.4835,E,30.0,84.4,230394,,,A*6A";
constexpr double kLatA = 39.0 + 34.2574 / 60;
constexpr double kLngA = 116.0 + 33.4835 / 60;
constexpr const char* kFixB = "$GPRMC,123520,A,3934.3000,N,11633.5000,E,30.0,349.5,230394,,,A*6A";
constexpr const char* kNoFix = "$GPRMC,123521,V,,,,,,,230394,,,N*53";
constexpr const char* kZeroFix = "$GPRMC,123522,A,0000.0000,N,00000.0000,E,0.0,0.0,230394,,,A*6A";

bool WaitFor(const std::function<bool()>& done, int timeoutMs = 20000) {
    for (int waited = 0; waited < timeoutMs; waited += 20) {
        if (done()) {
            return true;
        }
        QTest::qWait(20);
    }
    return done();
}

class MapView : public testing::Test {
protected:
    void open(const std::string& extraConfig = {}) {
        folder.write("Config.ini", "[Config]\nMapTileUrl=" + std::string(kNoTiles) + "\n" +
                                       extraConfig);
        settings = std::make_unique<app::AppSettings>(
            platform::programPathsInFolder(folder.path()), "en_US");
        parent.resize(1100, 700);
        view = std::make_unique<ui::CMapDlg>(&parent, *settings, &grid,
                                             ui::CMapDlg::BuiltInPage());
        QSignalSpy ready(view.get(), &ui::CMapDlg::pageReady);
        ASSERT_TRUE(WaitFor([&] { return !ready.isEmpty(); })) << "the page did not load";
        ASSERT_TRUE(ready.first().first().toBool());
        // The first "setMap" of the load has run once the state answers.
        ASSERT_TRUE(WaitFor([&] { return state().contains(QStringLiteral("tracks")); }));
    }

    // Runs script in the page and waits for its value.
    QString evaluate(const QString& script) {
        QString result;
        bool done = false;
        view->Evaluate(script, [&](const QString& r) {
            result = r;
            done = true;
        });
        EXPECT_TRUE(WaitFor([&] { return done; }));
        return result;
    }

    QJsonObject state() {
        return QJsonDocument::fromJson(
                   evaluate(QStringLiteral("JSON.stringify(taveroMapState())")).toUtf8())
            .object();
    }

    QJsonArray tracks() { return state().value(QStringLiteral("tracks")).toArray(); }

    int points() {
        int n = 0;
        for (const QJsonValue& t : tracks()) {
            n += static_cast<int>(t.toArray().size());
        }
        return n;
    }

    // Writes element values as the program would and calls "setMap".
    void setMap(const QJsonObject& values) {
        const QString json = QString::fromUtf8(QJsonDocument(values).toJson(QJsonDocument::Compact));
        evaluate(QStringLiteral("(function (v) { for (const id in v) "
                                "{ document.getElementById(id).value = v[id]; } "
                                "return String(setMap()); })(%1)")
                     .arg(json));
    }

    TempFolder folder;
    std::unique_ptr<app::AppSettings> settings;
    app::GpsOffsetTable grid;
    QWidget parent;
    std::unique_ptr<ui::CMapDlg> view;
};

TEST_F(MapView, PositionsDrawTheTrackAndTheCarShiftedToTheMapsCoordinates) {
    open();
    EXPECT_EQ(points(), 0);

    view->UpdatePosition(kFixA);
    ASSERT_TRUE(WaitFor([&] { return points() == 1; }));
    const QJsonObject s = state();
    const QJsonArray car = s.value(QStringLiteral("car")).toArray();
    EXPECT_NEAR(car.at(0).toDouble(), kLngA + 0.0065, 1e-9);
    EXPECT_NEAR(car.at(1).toDouble(), kLatA + 0.0060, 1e-9);
    EXPECT_EQ(s.value(QStringLiteral("icon")).toString(), QStringLiteral("./image-run/e.png"));
    EXPECT_EQ(s.value(QStringLiteral("iconSize")).toArray(), (QJsonArray{57, 34}));
    EXPECT_TRUE(s.value(QStringLiteral("position")).toString().startsWith(
        QStringLiteral("speed=56 km/h angle=84.4")));

    // The same position again draws nothing new; the next one extends the same track.
    view->UpdatePosition(kFixA);
    view->UpdatePosition(kFixB);
    ASSERT_TRUE(WaitFor([&] { return points() == 2; }));
    EXPECT_EQ(tracks().size(), 1);
    EXPECT_EQ(state().value(QStringLiteral("icon")).toString(), QStringLiteral("./image-run/n.png"));

    // No fix, or a fix at exactly 0/0, leaves the page alone.
    view->UpdatePosition(kNoFix);
    view->UpdatePosition(kZeroFix);
    view->Refresh();
    EXPECT_EQ(points(), 2);
    EXPECT_NEAR(view->model().values().latitude, 0.0, 1e-12); // the zero fix did decode
}

TEST_F(MapView, EveryClearAndSeekStartsANewTrack) {
    open();
    view->UpdatePosition(kFixA);
    view->UpdatePosition(kFixB);
    ASSERT_TRUE(WaitFor([&] { return points() == 2; }));

    // A stop: the track goes; the next position starts a new one.
    const int indexBefore = view->model().values().index;
    view->ClearMap();
    EXPECT_EQ(view->model().values().index, indexBefore + 1);
    EXPECT_EQ(view->model().values().status, "stopped");
    ASSERT_TRUE(WaitFor([&] { return tracks().isEmpty(); }));
    view->UpdatePosition(kFixA);
    ASSERT_TRUE(WaitFor([&] { return points() == 1; }));

    // A seek resets the route: cleared, and the position forgotten too.
    view->ResetRoute();
    EXPECT_EQ(view->model().values().longitude, 0.0);
    ASSERT_TRUE(WaitFor([&] { return tracks().isEmpty(); }));
}

TEST_F(MapView, PageRulesForStatusIndexAndZeroPositions) {
    open();
    const auto values = [](double lng, double lat, int index, const char* status) {
        return QJsonObject{{"map_lng", QString::number(lng, 'f', 6)},
                           {"map_lat", QString::number(lat, 'f', 6)},
                           {"offset_lng", "0"},
                           {"offset_lat", "0"},
                           {"Index", QString::number(index)},
                           {"AngleBar", "11.5"},
                           {"map_status", status}};
    };
    setMap(values(0, 0, 0, "running"));
    EXPECT_EQ(points(), 0) << "a zero position is no fix";
    setMap(values(10, 20, 0, "running"));
    setMap(values(10, 20, 0, "running"));
    EXPECT_EQ(points(), 1) << "identical positions are one point";
    EXPECT_EQ(state().value(QStringLiteral("icon")).toString(), QStringLiteral("./image-run/nne.png"));
    setMap(values(10.001, 20, 1, "over speed"));
    EXPECT_EQ(tracks().size(), 2) << "a new Index starts a new track";
    EXPECT_EQ(state().value(QStringLiteral("icon")).toString(),
              QStringLiteral("./image-speed/nne.png"));
    // Another status ends the current track: the next point starts a third one.
    setMap(values(10.002, 20, 1, "stopped"));
    setMap(values(10.003, 20, 1, "idle"));
    EXPECT_EQ(tracks().size(), 3);
    EXPECT_EQ(state().value(QStringLiteral("icon")).toString(),
              QStringLiteral("./image-idle/nne.png"));
    // "clear" empties the map.
    setMap(values(10.004, 20, 1, "clear"));
    EXPECT_TRUE(tracks().isEmpty());
}

TEST_F(MapView, WithoutTilesThePageSaysItIsOfflineAndStillDraws) {
    open();
    view->UpdatePosition(kFixA);
    ASSERT_TRUE(WaitFor([&] { return state().value(QStringLiteral("offline")).toBool(); }))
        << QJsonDocument(state()).toJson().toStdString();
    EXPECT_EQ(state().value(QStringLiteral("tileUrl")).toString(), QString::fromLatin1(kNoTiles));
    EXPECT_EQ(points(), 1);
}

TEST_F(MapView, FixedOffsetsMoveTheLatitudeByXAndTheLongitudeByY) {
    open("GPS_Offset_Auto=0\nGPS_Offset_X=0.001\nGPS_Offset_Y=-0.002\n");
    view->UpdatePosition(kFixA);
    EXPECT_DOUBLE_EQ(view->model().values().offsetLatitude, 0.001);
    EXPECT_DOUBLE_EQ(view->model().values().offsetLongitude, -0.002);
    ASSERT_TRUE(WaitFor([&] { return points() == 1; }));
    const QJsonArray car = state().value(QStringLiteral("car")).toArray();
    EXPECT_NEAR(car.at(0).toDouble(), kLngA - 0.002 + 0.0065, 1e-9);
    EXPECT_NEAR(car.at(1).toDouble(), kLatA + 0.001 + 0.0060, 1e-9);
}

TEST_F(MapView, ThePageCallsTheProgramBackThroughExternal) {
    open();
    QSignalSpy seek(view.get(), &ui::CMapDlg::seekRequested);
    QSignalSpy gone(view.get(), &ui::CMapDlg::unavailable);
    ASSERT_TRUE(WaitFor([&] {
        return evaluate(QStringLiteral("String(typeof window.taveroExternal)")) ==
               QStringLiteral("object");
    }));
    evaluate(QStringLiteral("window.taveroExternal.OnSelectRoad(75); 1"));
    ASSERT_TRUE(WaitFor([&] { return !seek.isEmpty(); }));
    EXPECT_EQ(seek.first().first().toLongLong(), 75);
    EXPECT_TRUE(view->CallScript(QStringLiteral("setMap")));

    evaluate(QStringLiteral("window.taveroExternal.OnSelectRoad(-1); 1"));
    ASSERT_TRUE(WaitFor([&] { return !gone.isEmpty(); }));
    EXPECT_TRUE(view->mapUnavailable());
    EXPECT_FALSE(view->CallScript(QStringLiteral("setMap"))) << "calls are suppressed now";
    view->UpdatePosition(kFixA);
    QTest::qWait(200);
    EXPECT_EQ(points(), 0);
}

TEST_F(MapView, DocksAtItsRectangleAndFloatsCentredWithTheSameSize) {
    open();
    parent.show();
    view->show();
    EXPECT_EQ(view->geometry(), QRect(513, 62, 502, 376));
    view->SetDockedRect(QRect(600, 300, 400, 240));
    EXPECT_EQ(view->geometry(), QRect(600, 300, 400, 240));
    EXPECT_EQ(view->parentWidget(), &parent);

    view->Float();
    EXPECT_TRUE(view->isWindow());
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(view->size(), QSize(400, 240));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_LE(std::abs(view->geometry().center().x() - screen.center().x()), 1);

    view->Dock();
    EXPECT_FALSE(view->isWindow());
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(view->geometry(), QRect(600, 300, 400, 240));
}

TEST(MapPageChoice, AMapPageInTheProgramFolderIsUsedInsteadOfTheBuiltInOne) {
    TempFolder folder;
    EXPECT_EQ(ui::CMapDlg::PageFor(QString::fromStdString(folder.path())),
              ui::CMapDlg::BuiltInPage());
    folder.write("mapdlg.htm", "<html></html>");
    EXPECT_EQ(ui::CMapDlg::PageFor(QString::fromStdString(folder.path())).toLocalFile(),
              QString::fromStdString(folder.path() + "mapdlg.htm"));
}

TEST(MapViewWithoutPage, SkipsEveryScriptCall) {
    TempFolder folder;
    const app::AppSettings settings(platform::programPathsInFolder(folder.path()), "en_US");
    QWidget parent;
    ui::CMapDlg view(&parent, settings, nullptr, QUrl());
    EXPECT_EQ(view.browser(), nullptr);
    EXPECT_FALSE(view.CallScript(QStringLiteral("setMap")));
    view.UpdatePosition(kFixA); // decoded, nowhere to draw
    EXPECT_NEAR(view.model().values().latitude, kLatA, 1e-9);
}

} // namespace
} // namespace tavero

// Chromium inside WebEngine frees some objects through a pointer of another size and keeps
// caches until exit; under AddressSanitizer those reports are about its code, not ours.
extern "C" const char* __asan_default_options() {
    return "new_delete_type_mismatch=0:alloc_dealloc_mismatch=0:detect_leaks=0";
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS")) {
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu"); // no GPU on the test machines
    }
    tavero::ui::PrepareWebEngine();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
