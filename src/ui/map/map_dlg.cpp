#include "ui/map/map_dlg.h"

#include "app/app_settings.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QScreen>
#include <QVBoxLayout>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <cstdio>
#include <unistd.h>

namespace tavero::ui {
namespace {

QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Silent mode: no dialogs from the page's alerts, confirmations or prompts. The console goes to
// stderr only when asked for (TAVERO_MAP_CONSOLE=1).
class SilentPage final : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    void javaScriptAlert(const QUrl&, const QString& text) override { log("alert", text); }
    bool javaScriptConfirm(const QUrl&, const QString& text) override {
        log("confirm", text);
        return false;
    }
    bool javaScriptPrompt(const QUrl&, const QString& text, const QString&, QString*) override {
        log("prompt", text);
        return false;
    }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message,
                                  int line, const QString& source) override {
        log("console", QStringLiteral("%1:%2: %3").arg(source).arg(line).arg(message));
    }

private:
    static void log(const char* kind, const QString& text) {
        static const bool wanted = qEnvironmentVariableIntValue("TAVERO_MAP_CONSOLE") == 1;
        if (wanted) {
            std::fprintf(stderr, "map page %s: %s\n", kind, text.toLocal8Bit().constData());
        }
    }
};

} // namespace

void PrepareWebEngine() {
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
}

QUrl CMapDlg::BuiltInPage() { return QUrl(QStringLiteral("qrc:/tavero/map/mapdlg.htm")); }

QUrl CMapDlg::PageFor(const QString& programFolder) {
    const QFileInfo own(QDir(programFolder).filePath(QStringLiteral("mapdlg.htm")));
    if (!programFolder.isEmpty() && own.isFile()) {
        return QUrl::fromLocalFile(own.absoluteFilePath());
    }
    return BuiltInPage();
}

CMapDlg::CMapDlg(QWidget* mainWindow, const app::AppSettings& settings,
                 const app::GpsOffsetTable* grid, const QUrl& page)
    : QFrame(mainWindow), m_mainWindow(mainWindow), m_settings(settings), m_page(page) {
    setObjectName(QStringLiteral("mapView"));
    setFrameShape(QFrame::Box);
    setLineWidth(1);
    if (mainWindow != nullptr) {
        setWindowIcon(mainWindow->windowIcon());
    }
    setWindowTitle(QStringLiteral("Map"));

    m_offsets.automatic = settings.ReadConfigInt("GPS_Offset_Auto", 1) == 1;
    m_offsets.fixedX = settings.ReadConfigString("GPS_Offset_X");
    m_offsets.fixedY = settings.ReadConfigString("GPS_Offset_Y");
    m_offsets.grid = grid;
    // The default centre is decimal text; empty (or not a number) gives 0.
    m_defaultLongitude =
        QString::asprintf("%f", ToQString(settings.ReadConfigString("m_default_lng")).toDouble());
    m_defaultLatitude =
        QString::asprintf("%f", ToQString(settings.ReadConfigString("m_default_lat")).toDouble());
    const std::string tiles = app::MapTileUrl(settings.ReadConfigString("MapTileUrl"));
    m_tileUrl = ToQString(tiles);
    m_tileAttribution = ToQString(
        app::MapTileAttribution(tiles, settings.ReadConfigString("MapTileAttribution")));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    setGeometry(m_docked);
    hide();
    if (m_page.isEmpty()) {
        return; // no page: every script call is skipped
    }
    m_view = new QWebEngineView(this);
    auto* webPage = new SilentPage(m_view);
    m_view->setPage(webPage);
    QWebEngineSettings* s = webPage->settings();
    s->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    s->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    layout->addWidget(m_view);

    m_external = new MapExternal(this);
    m_channel = new QWebChannel(this);
    m_channel->registerObject(QStringLiteral("external"), m_external);
    webPage->setWebChannel(m_channel);
    connect(m_external, &MapExternal::selectRoad, this, &CMapDlg::onSelectRoad);
    connect(webPage, &QWebEnginePage::loadFinished, this, &CMapDlg::onLoadFinished);
    m_view->setUrl(m_page);
}

CMapDlg::~CMapDlg() = default;

void CMapDlg::onLoadFinished(bool ok) {
    m_pageLoaded = ok;
    if (ok) {
        // Our page reads the tile server and the default centre from these; a page without
        // such elements is not bothered by them.
        writeElements({{"default_lng", m_defaultLongitude.toStdString()},
                       {"default_lat", m_defaultLatitude.toStdString()},
                       {"map_tile_url", m_tileUrl.toStdString()},
                       {"map_tile_attribution", m_tileAttribution.toStdString()}});
        CallScript(QStringLiteral("setMap"));
    }
    Q_EMIT pageReady(ok);
}

void CMapDlg::onSelectRoad(int argument) {
    const app::MapViewModel::SelectRoad r = m_model.OnSelectRoad(argument);
    if (r.mapUnavailable) {
        Q_EMIT unavailable();
    } else if (r.seek) {
        Q_EMIT seekRequested(static_cast<qint64>(r.seconds));
    }
}

void CMapDlg::UpdatePosition(std::string_view sentence) {
    if (!m_model.UpdatePosition(sentence, m_offsets)) {
        return;
    }
    writeValues();
    CallScript(QStringLiteral("setMap"));
}

void CMapDlg::SetUnitTime(std::int64_t seconds) { m_model.SetUnitTime(seconds); }

void CMapDlg::ClearMap() {
    m_model.ClearMap();
    writeValues();
    CallScript(QStringLiteral("clearMap"));
    // "clearMap" zeroes the page's position; write ours back over it.
    writeValues();
    Dock();
}

void CMapDlg::ResetRoute() {
    // The page is cleared with the last position still in its elements; the next position
    // starts afresh.
    ClearMap();
    m_model.ForgetPosition();
}

void CMapDlg::Refresh() {
    writeValues();
    CallScript(QStringLiteral("setMap"));
}

void CMapDlg::writeValues() { writeElements(m_model.ElementValues()); }

void CMapDlg::writeElements(const app::MapElementValues& values) {
    if (!m_pageLoaded || m_view == nullptr) {
        return;
    }
    QJsonObject object;
    for (const auto& [id, text] : values) {
        object.insert(ToQString(id), ToQString(text));
    }
    const QString json = QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
    m_view->page()->runJavaScript(
        QStringLiteral("(function (v) { for (const id in v) {"
                       " const e = document.getElementById(id); if (e) { e.value = v[id]; } }"
                       " })(%1);")
            .arg(json));
}

bool CMapDlg::CallScript(const QString& function) {
    if (m_view == nullptr ||
        !m_model.MayCallScript(m_pageLoaded, m_view->page()->url().isEmpty())) {
        return false;
    }
    if (!m_view->page()->settings()->testAttribute(QWebEngineSettings::JavascriptEnabled)) {
        Q_EMIT problem(QStringLiteral("Call JavaScrip Function Failed"));
        return false;
    }
    // Looked up by name in the loaded document; a page without it is left alone.
    const QString name =
        QString::fromUtf8(QJsonDocument(QJsonArray{function}).toJson(QJsonDocument::Compact));
    m_view->page()->runJavaScript(
        QStringLiteral("(function (name) { const f = window[name];"
                       " if (typeof f === 'function') { f(); } })(%1[0]);")
            .arg(name));
    return true;
}

void CMapDlg::Evaluate(const QString& expression, std::function<void(const QString&)> done) {
    if (m_view == nullptr) {
        done(QString());
        return;
    }
    m_view->page()->runJavaScript(expression, [done = std::move(done)](const QVariant& result) {
        const QJsonValue value = QJsonValue::fromVariant(result);
        QString text;
        if (value.isObject()) {
            text = QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
        } else if (value.isArray()) {
            text = QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
        } else {
            text = value.toVariant().toString();
        }
        done(text);
    });
}

void CMapDlg::Dock() {
    const bool visible = isVisible();
    if (m_floating) {
        m_floating = false;
        setWindowFlags(Qt::Widget);
        setFrameShape(QFrame::Box);
    }
    setGeometry(m_docked);
    setVisible(visible);
    if (visible) {
        raise();
    }
}

void CMapDlg::Float() {
    const bool visible = isVisible();
    if (!m_floating) {
        m_floating = true;
        setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                       Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint);
        setFrameShape(QFrame::NoFrame);
    }
    resize(m_docked.size());
    QRect screen(QPoint(0, 0), m_docked.size());
    const QScreen* s = m_mainWindow != nullptr && m_mainWindow->screen() != nullptr
                           ? m_mainWindow->screen()
                           : QGuiApplication::primaryScreen();
    if (s != nullptr) {
        screen = s->geometry();
    }
    move(screen.center() - QPoint(m_docked.width() / 2, m_docked.height() / 2));
    setVisible(visible);
}

void CMapDlg::SetDockedRect(const QRect& rect) {
    m_docked = rect;
    if (!m_floating) {
        setGeometry(m_docked);
    }
}

} // namespace tavero::ui
