#include "ui/controls/digi_static.h"

#include "app/skin_math.h"

#include <QPainter>
#include <QPolygonF>
#include <algorithm>

namespace tavero::ui {

namespace {

// Width of a cell against its height, and a narrow cell against a full one.
constexpr double kCellAspect = 0.58;
constexpr double kNarrowShare = 0.38;

double cellUnits(char c) {
    return app::segmentCellOf(c) == app::SegmentCell::Full ? 1.0 : kNarrowShare;
}

// A bar with pointed ends between a and b (horizontal or vertical), t thick.
QPolygonF bar(QPointF a, QPointF b, double t) {
    const double h = t / 2;
    if (a.y() == b.y()) {
        return QPolygonF({a,
                          {a.x() + h, a.y() - h},
                          {b.x() - h, b.y() - h},
                          b,
                          {b.x() - h, b.y() + h},
                          {a.x() + h, a.y() + h}});
    }
    return QPolygonF({a,
                      {a.x() + h, a.y() + h},
                      {b.x() + h, b.y() - h},
                      b,
                      {b.x() - h, b.y() - h},
                      {a.x() - h, a.y() + h}});
}

// A diagonal from a to b, t thick, square ends.
QPolygonF slant(QPointF a, QPointF b, double t) {
    QPointF d = b - a;
    const double len = std::max(1e-6, std::hypot(d.x(), d.y()));
    const QPointF n(-d.y() / len * t / 2, d.x() / len * t / 2);
    return QPolygonF({a + n, b + n, b - n, a - n});
}

void drawCell(QPainter& p, const QRectF& cell, char c) {
    const app::SegmentCell kind = app::segmentCellOf(c);
    const double t = std::max(2.0, cell.height() * 0.1);
    if (kind != app::SegmentCell::Full) {
        const double x = cell.center().x() - t / 2;
        const double bottom = cell.bottom() - cell.height() * 0.06 - t;
        if (kind == app::SegmentCell::Colon) {
            p.drawRect(QRectF(x, cell.top() + cell.height() * 0.3 - t / 2, t, t));
            p.drawRect(QRectF(x, cell.top() + cell.height() * 0.7 - t / 2, t, t));
        } else {
            p.drawRect(QRectF(x, bottom, t, t));
        }
        return;
    }
    const std::uint16_t mask = app::segmentMask(c);
    if (mask == 0) {
        return;
    }
    const QRectF in = cell.adjusted(cell.width() * 0.12, cell.height() * 0.06, -cell.width() * 0.12,
                                    -cell.height() * 0.06);
    const double g = t * 0.18; // gap between neighbouring segments
    const double left = in.left() + t / 2;
    const double right = in.right() - t / 2;
    const double top = in.top() + t / 2;
    const double bottom = in.bottom() - t / 2;
    const double mid = in.center().y();
    const double centre = in.center().x();
    struct Seg {
        std::uint16_t bit;
        QPolygonF shape;
    };
    const Seg segments[] = {
        {app::kSegTop, bar({left + g, top}, {right - g, top}, t)},
        {app::kSegBottom, bar({left + g, bottom}, {right - g, bottom}, t)},
        {app::kSegMiddleLeft, bar({left + g, mid}, {centre - g, mid}, t)},
        {app::kSegMiddleRight, bar({centre + g, mid}, {right - g, mid}, t)},
        {app::kSegUpperLeft, bar({left, top + g}, {left, mid - g}, t)},
        {app::kSegLowerLeft, bar({left, mid + g}, {left, bottom - g}, t)},
        {app::kSegUpperRight, bar({right, top + g}, {right, mid - g}, t)},
        {app::kSegLowerRight, bar({right, mid + g}, {right, bottom - g}, t)},
        {app::kSegCentreUpper, bar({centre, top + g}, {centre, mid - g}, t)},
        {app::kSegCentreLower, bar({centre, mid + g}, {centre, bottom - g}, t)},
        {app::kSegDiagUpperLeft,
         slant({left + t, top + t}, {centre - t * 0.7, mid - t * 0.7}, t * 0.8)},
        {app::kSegDiagUpperRight,
         slant({right - t, top + t}, {centre + t * 0.7, mid - t * 0.7}, t * 0.8)},
        {app::kSegDiagLowerLeft,
         slant({left + t, bottom - t}, {centre - t * 0.7, mid + t * 0.7}, t * 0.8)},
        {app::kSegDiagLowerRight,
         slant({right - t, bottom - t}, {centre + t * 0.7, mid + t * 0.7}, t * 0.8)},
    };
    for (const Seg& s : segments) {
        if ((mask & s.bit) != 0) {
            p.drawPolygon(s.shape);
        }
    }
}

} // namespace

CDigiStatic::CDigiStatic(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CDigiStatic::setColours(QColor background, QColor lit) {
    m_background = background;
    m_lit = lit;
    update();
}

void CDigiStatic::setText(const QString& text) {
    if (text != m_text) {
        m_text = text;
        update();
    }
}

QRectF CDigiStatic::cellRect(int index) const {
    if (index < 0 || index >= m_text.size()) {
        return {};
    }
    double units = 0;
    for (QChar ch : m_text) {
        units += cellUnits(ch.toLatin1());
    }
    const double pad = height() * 0.08;
    const double cellHeight = height() - 2 * pad;
    const double full = std::min(width() / units, cellHeight * kCellAspect);
    double x = (width() - units * full) / 2;
    for (int i = 0; i < index; ++i) {
        x += cellUnits(m_text[i].toLatin1()) * full;
    }
    return {x, pad, cellUnits(m_text[index].toLatin1()) * full, cellHeight};
}

void CDigiStatic::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), m_background);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    p.setBrush(m_lit);
    for (int i = 0; i < m_text.size(); ++i) {
        drawCell(p, cellRect(i), m_text[i].toLatin1());
    }
}

} // namespace tavero::ui
