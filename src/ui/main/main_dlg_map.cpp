// The main window's map view: where it goes with the layout, the map tab, the Map and DIT/MAP
// buttons and playback, and what the page's call back asks of the window.
#include "ui/main/main_dlg.h"

#include "app/startup_checks.h"
#include "ui/controls/panel_dlg.h"
#include "ui/controls/vx_skin_sld_button.h"
#include "ui/main/gauges.h"
#include "ui/main/map_cell_panel.h"
#include "ui/map/map_dlg.h"

namespace tavero::ui {

void CMainDlg::createMapView() {
    // A missing or malformed grid leaves it empty: every position then gets offsets 0.
    if (const std::optional<std::string> grid = app::OffsetGridToLoad(m_settings)) {
        (void)m_offsetGrid.Load(*grid);
    }
    m_mapView = new CMapDlg(this, m_settings, &m_offsetGrid, m_options.mapPage);
    connect(m_mapView, &CMapDlg::unavailable, this, [this] {
        m_mapView->hide();
        updateTabs();
    });
    connect(m_mapView, &CMapDlg::seekRequested, this, &CMainDlg::onMapSeekRequested);
    connect(m_mapView, &CMapDlg::problem, this, [this](const QString& text) { say(text); });
}

bool CMainDlg::mapShown() const { return m_mapView != nullptr && m_mapView->isVisibleTo(this); }

void CMainDlg::placeMapView(const QRect& dock) {
    m_mapView->SetDockedRect(dock);
    if (m_mapView->mapUnavailable()) {
        m_mapView->hide();
        return;
    }
    if (m_window.layout == app::kLayout1) {
        m_mapView->hide();
    } else if (m_window.mapMode) {
        m_mapView->Dock();
        m_mapView->show();
        m_mapView->raise();
    } else if (m_window.layout == app::kLayout4 && !m_mapView->isFloating()) {
        m_mapView->hide();
    }
}

void CMainDlg::onMapButton() {
    if (m_mapView->mapUnavailable()) {
        return;
    }
    const app::MapPlacement now{mapShown(), m_mapView->isFloating()};
    const app::MapPlacement next =
        app::MapPlacementAfterMapButton(m_window.layout, now, m_window.mapMode);
    if (next.floating) {
        m_mapView->Float();
    } else {
        m_mapView->Dock();
    }
    m_mapView->setVisible(next.shown);
    if (next.shown) {
        m_mapView->raise();
        if (!next.floating) {
            // Docked in the map cell: that is the map tab's page.
            m_mapCellTab = 1673;
            m_mapCell->showPage(MapCellPanel::Page::Map);
        }
    }
    updateTabs();
}

void CMainDlg::onDitMapButton() {
    m_mapView->Dock();
    apply(m_playback->Stop());
    const bool listShown = m_mapCell->isVisibleTo(this) && m_mapCellTab != 1673;
    if (listShown) {
        m_window.mapMode = false;
        m_mapCellTab = 1673;
        m_mapCell->showPage(MapCellPanel::Page::Map);
    } else {
        // The map takes the channel area while no video is shown (Stop hid the channels).
        const CPanelDlg* first = panel(0);
        m_window.mapMode = first == nullptr || first->isHidden();
        m_mapCellTab = 1671;
        m_mapCell->showPage(MapCellPanel::Page::Recordings);
        m_mapCellOverlay = true;
    }
    m_controls.graph->setMapMode(m_window.mapMode);
    placeGrid();
    if (!m_mapView->mapUnavailable()) {
        m_mapView->Dock();
        m_mapView->show();
        m_mapView->raise();
    }
    m_mapView->Refresh();
    updateTabs();
    m_controls.position->update();
}

void CMainDlg::showMapForPlayback() {
    if (m_mapView->mapUnavailable()) {
        return;
    }
    m_mapView->Dock();
    if (!app::MapShownWhenPlaying(m_window.layout) && !m_window.mapMode) {
        m_mapView->hide();
        return;
    }
    m_mapView->show();
    m_mapView->raise();
    if (!m_window.mapMode) {
        m_mapCellTab = 1673;
        m_mapCell->showPage(MapCellPanel::Page::Map);
        updateTabs();
    }
}

void CMainDlg::onMapSeekRequested(qint64 seconds) {
    m_history.Clear();
    m_controls.graph->update();
    m_mapView->ClearMap();
    apply(m_playback->Seek(seconds)); // resets the route as every seek does
}

} // namespace tavero::ui
