#include "ui/main/gauges.h"

#include "ui/dialogs/user_messages.h"
#include "ui/main/window_look.h"
#include "ui/skin/skin_set.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace tavero::ui {

namespace {

QColor toQColor(app::Rgb c) {
    return {c.r, c.g, c.b};
}

// The position texts' font: (width - 2) tenths of a point at 96 dots per inch, but never taller
// than the distance between the two text rows, so that the rows do not run into each other.
QFont positionFont(const app::CompassGeometry& g) {
    QFont font(QStringLiteral("DejaVu Sans Condensed"));
    const double designPx = g.fontTenthsOfPoint() / 10.0 * 96.0 / 72.0;
    const double rowGap = g.longitudeAt().y - g.latitudeAt().y;
    font.setPixelSize(std::max(6, static_cast<int>(std::min(designPx, rowGap * 0.92))));
    return font;
}

// Text whose top-left corner is `at`, squeezed sideways when it would run past `right`.
void drawFitted(QPainter& p, const QString& text, QPointF at, double right) {
    const QFontMetricsF m(p.font());
    const double width = m.horizontalAdvance(text);
    const double room = right - at.x();
    p.save();
    p.translate(at.x(), at.y() + m.ascent());
    if (width > room && room > 0) {
        p.scale(room / width, 1.0);
    }
    p.drawText(QPointF(0, 0), text);
    p.restore();
}

} // namespace

GSensorGraph::GSensorGraph(QWidget* parent, int uiMode)
    : QWidget(parent), m_geometry(app::GSensorGraphFor(uiMode)) {
    m_background = SkinSet::current().pixmap(m_geometry.backgroundBitmap);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void GSensorGraph::setMapMode(bool on) {
    m_mapMode = on;
    update();
}

void GSensorGraph::paintEvent(QPaintEvent*) {
    if (!app::DrawsGSensorGraph(m_mapMode)) {
        return;
    }
    QPixmap buffer(size());
    buffer.fill(QColor(0x10, 0x10, 0x18));
    {
        QPainter p(&buffer);
        if (!m_background.isNull()) {
            p.drawPixmap(0, 0, m_background);
        }
        if (m_history != nullptr && !m_history->samples().empty()) {
            for (int axis = 0; axis < 3; ++axis) {
                const std::vector<app::Point> curve = app::GSensorCurve(
                    m_geometry, m_history->samples(), static_cast<app::GAxis>(axis));
                if (curve.size() < 2) {
                    continue;
                }
                QPainterPath path(QPointF(curve.front().x, curve.front().y));
                for (std::size_t i = 1; i < curve.size(); ++i) {
                    path.lineTo(curve[i].x, curve[i].y);
                }
                p.setPen(QPen(toQColor(app::kCurveColours[static_cast<std::size_t>(axis)]), 1));
                p.drawPath(path);
            }
        }
    }
    QPainter(this).drawPixmap(0, 0, buffer);
}

CompassGauge::CompassGauge(QWidget* parent, int uiMode)
    : QWidget(parent), m_geometry(app::CompassFor(uiMode)) {
    m_background = SkinSet::current().pixmap(m_geometry.backgroundBitmap);
    const QPixmap needle = SkinSet::current().pixmap(m_geometry.needleBitmap);
    if (!needle.isNull()) {
        m_needle = withColourTransparent(needle, Qt::black);
    }
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CompassGauge::setPosition(double heading, double latitude, double longitude) {
    if (m_positionKnown && heading == m_heading && latitude == m_latitude &&
        longitude == m_longitude) {
        return;
    }
    m_positionKnown = true;
    m_heading = heading;
    m_latitude = latitude;
    m_longitude = longitude;
    update();
}

void CompassGauge::paintEvent(QPaintEvent*) {
    QPixmap buffer(size());
    buffer.fill(QColor(0x10, 0x10, 0x18));
    {
        QPainter p(&buffer);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        if (!m_background.isNull()) {
            p.drawPixmap(0, 0, m_background);
        }
        if (!m_needle.isNull()) {
            const app::PointF pivot = m_geometry.pivot();
            p.save();
            p.translate(pivot.x, pivot.y);
            p.rotate(app::NeedleRotationDegrees(m_heading));
            p.drawPixmap(QPointF(-m_needle.width() / 2.0, -m_needle.height() / 2.0), m_needle);
            p.restore();
        }
        if (m_positionKnown) {
            p.setFont(positionFont(m_geometry));
            p.setPen(toQColor(app::kCompassTextColour));
            const double right = width() - 4;
            const app::Point lat = m_geometry.latitudeAt();
            const app::Point lon = m_geometry.longitudeAt();
            drawFitted(p, toQString(app::LatitudeText(m_latitude)), QPointF(lat.x, lat.y), right);
            drawFitted(p, toQString(app::LongitudeText(m_longitude)), QPointF(lon.x, lon.y), right);
        }
    }
    QPainter(this).drawPixmap(0, 0, buffer);
}

PlaybackReadout::PlaybackReadout(QWidget* parent, int uiMode) : QWidget(parent) {
    QFont f(QStringLiteral("DejaVu Sans Mono"));
    f.setPixelSize(scaledPixels(uiMode, 15));
    setFont(f);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void PlaybackReadout::setTexts(const QString& time, const QString& speed) {
    if (time != m_time || speed != m_speed) {
        m_time = time;
        m_speed = speed;
        update();
    }
}

void PlaybackReadout::paintEvent(QPaintEvent*) {
    if (m_time.isEmpty()) {
        return;
    }
    QPainter p(this);
    p.setPen(kTextColour);
    p.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, m_time);
    p.setPen(kAccentColour);
    p.drawText(rect(), Qt::AlignRight | Qt::AlignVCenter, m_speed);
}

} // namespace tavero::ui
