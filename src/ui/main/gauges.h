// The instrument gauges of the main window: the G-sensor graph (three acceleration curves over
// the recent samples) and the compass (a needle turned to the heading, with latitude and
// longitude under it). Geometry and texts come from app/gauge_geometry; these widgets only draw.
// Each gauge is painted into its own back buffer and shown in one block, so repaints during
// playback do not flicker.
//
// Thread: UI thread only.
#pragma once

#include "app/gauge_geometry.h"

#include <QPixmap>
#include <QWidget>

namespace tavero::ui {

class GSensorGraph : public QWidget {
    Q_OBJECT

public:
    GSensorGraph(QWidget* parent, int uiMode);

    // The samples to draw; the window owns them and calls update() when they change.
    void setHistory(const app::GSensorHistory* history) { m_history = history; }
    // In map mode the graph is not drawn.
    void setMapMode(bool on);
    [[nodiscard]] const app::GSensorGraphGeometry& geometryOfMode() const { return m_geometry; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    app::GSensorGraphGeometry m_geometry;
    QPixmap m_background;
    const app::GSensorHistory* m_history = nullptr;
    bool m_mapMode = false;
};

class CompassGauge : public QWidget {
    Q_OBJECT

public:
    CompassGauge(QWidget* parent, int uiMode);

    // Degrees clockwise from north; latitude and longitude in degrees (north and east positive).
    void setPosition(double heading, double latitude, double longitude);
    [[nodiscard]] double heading() const { return m_heading; }
    [[nodiscard]] const app::CompassGeometry& geometryOfMode() const { return m_geometry; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    app::CompassGeometry m_geometry;
    QPixmap m_background;
    QPixmap m_needle; // black made transparent
    double m_heading = 0;
    double m_latitude = 0;
    double m_longitude = 0;
    bool m_positionKnown = false; // the texts are drawn from the first position on
};

// The time being played and the playback speed, as text beside the mark buttons: what a person
// looks for first, without hovering over the position slider.
class PlaybackReadout : public QWidget {
    Q_OBJECT

public:
    PlaybackReadout(QWidget* parent, int uiMode);

    // Empty texts show nothing (nothing plays).
    void setTexts(const QString& time, const QString& speed);
    [[nodiscard]] const QString& timeText() const { return m_time; }
    [[nodiscard]] const QString& speedText() const { return m_speed; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_time;
    QString m_speed;
};

} // namespace tavero::ui
