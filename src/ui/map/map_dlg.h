// CMapDlg: the map view. A web page (our own, built in, or "mapdlg.htm" from the program folder)
// in Qt WebEngine, driven the way the page expects: the view writes the values of the page's
// hidden input elements and then calls its script function "setMap" or "clearMap"; the page can
// call the program back through the object "external" (QWebChannel) and its OnSelectRoad.
//
// The view is docked into the main window (a child without caption at its docked rectangle) or
// floats as a captioned window of the same size, centred on the screen.
//
// Thread: UI thread only. The page runs in WebEngine's own processes; every call into it is
// asynchronous and they reach it in the order they were made.
#pragma once

#include "app/map_view_model.h"

#include <QFrame>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QUrl>
#include <cstdint>
#include <functional>
#include <string_view>

class QWebChannel;
class QWebEngineView;

namespace tavero::app {
class AppSettings;
} // namespace tavero::app

namespace tavero::ui {

// The object the page sees as "external".
class MapExternal : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    Q_INVOKABLE void OnSelectRoad(int argument) { Q_EMIT selectRoad(argument); }

Q_SIGNALS:
    void selectRoad(int argument);
};

class CMapDlg : public QFrame {
    Q_OBJECT

public:
    // The built-in page.
    static QUrl BuiltInPage();
    // "mapdlg.htm" in `programFolder` when it is there, else the built-in page.
    static QUrl PageFor(const QString& programFolder);

    // `grid`: the offset grid read at start (may be empty; must outlive the view). An empty
    // `page` gives a view without a browser (every script call is skipped).
    CMapDlg(QWidget* mainWindow, const app::AppSettings& settings,
            const app::GpsOffsetTable* grid, const QUrl& page);
    ~CMapDlg() override;
    CMapDlg(const CMapDlg&) = delete;
    CMapDlg& operator=(const CMapDlg&) = delete;

    // A unit trailer's GPS sentence; an undecodable one leaves the page as it is.
    void UpdatePosition(std::string_view sentence);
    void SetUnitTime(std::int64_t seconds);
    // "stopped", a new track number, and the page's "clearMap"; then the view is docked.
    void ClearMap();
    // As ClearMap, and the position forgotten.
    void ResetRoute();
    // Writes the values and calls "setMap" (a double-click on the recording list asks for it).
    void Refresh();

    void Dock();
    void Float();
    void SetDockedRect(const QRect& rect);
    [[nodiscard]] QRect dockedRect() const { return m_docked; }
    [[nodiscard]] bool isFloating() const { return m_floating; }

    // Calls a script function of the page with no arguments. False when the call was skipped:
    // calls suppressed by the page, the page not loaded yet, or no location.
    bool CallScript(const QString& function);

    [[nodiscard]] bool pageLoaded() const { return m_pageLoaded; }
    [[nodiscard]] bool mapUnavailable() const { return m_model.suppressed(); }
    [[nodiscard]] const app::MapViewModel& model() const { return m_model; }
    // Null without a page.
    [[nodiscard]] QWebEngineView* browser() const { return m_view; }
    [[nodiscard]] QUrl pageUrl() const { return m_page; }

    // Runs a script expression in the page and hands its result (converted to JSON text) to
    // `done` when it arrives; used by the tests and for diagnostics.
    void Evaluate(const QString& expression, std::function<void(const QString&)> done);

Q_SIGNALS:
    void pageReady(bool ok);
    // The page said it cannot show a map: the map tab stops showing it.
    void unavailable();
    // The page picked a time on the track: clear the history and the map, seek there, reset
    // the route.
    void seekRequested(qint64 seconds);
    // A message for the user.
    void problem(const QString& text);

private:
    void onLoadFinished(bool ok);
    void onSelectRoad(int argument);
    void writeValues();
    void writeElements(const app::MapElementValues& values);

    QPointer<QWidget> m_mainWindow;
    const app::AppSettings& m_settings;
    app::MapOffsetSettings m_offsets;
    app::MapViewModel m_model;
    QString m_defaultLongitude;
    QString m_defaultLatitude;
    QString m_tileUrl;
    QString m_tileAttribution;
    QUrl m_page;
    QWebEngineView* m_view = nullptr;
    QWebChannel* m_channel = nullptr;
    MapExternal* m_external = nullptr;
    QRect m_docked{513, 62, 1015 - 513, 438 - 62};
    bool m_floating = false;
    bool m_pageLoaded = false;
};

// WebEngine's renderer refuses to start its sandbox as root (and some containers cannot give it
// one at all): switches it off for those cases only, before the first page is created.
void PrepareWebEngine();

} // namespace tavero::ui
