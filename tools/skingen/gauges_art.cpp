// Gauge backgrounds: the G-sensor graph, the compass dial and its needle, the speed unit badges.

#include "skin_paint.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>

namespace tavero::skingen {

namespace {

// The graph's curves start this far from its left edge; the margin carries the legend.
constexpr int kGraphMargin = 40;

// The compass's dial scale: its width over this divisor.
double compassScale(const SkinBitmap& entry) {
    return entry.width / (entry.mode == 2 ? 216.0 : 210.0);
}

void centredText(QPainter& p, const QPointF& centre, const QString& text) {
    const QFontMetricsF m(p.font());
    const QRectF box = m.tightBoundingRect(text);
    p.drawText(QPointF(centre.x() - box.width() / 2 - box.left(),
                       centre.y() - box.height() / 2 - box.top()),
               text);
}

} // namespace

QImage paintGraphBackground(const SkinBitmap& entry) {
    QImage image = blankImage(entry.width, entry.height);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    const int w = entry.width;
    const int h = entry.height;
    drawWell(p, QRectF(0, 0, w, h), std::max(2.0, 5 * modeScale(entry.mode)));
    // The curves' own scale: the middle line, and full scale (512) k pixels either side.
    const int mid = h / 2;
    const int k = static_cast<int>(h / 3.5);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(QColor(0x14, 0x15, 0x1d), 1));
    for (int x = kGraphMargin + 25; x < w - 2; x += 25) {
        p.drawLine(x, 3, x, h - 4);
    }
    p.setPen(QPen(QColor(0x1b, 0x1c, 0x26), 1, Qt::DotLine));
    p.drawLine(kGraphMargin, mid - k / 2, w - 3, mid - k / 2);
    p.drawLine(kGraphMargin, mid + k / 2, w - 3, mid + k / 2);
    p.setPen(QPen(QColor(0x25, 0x26, 0x33), 1, Qt::DashLine));
    p.drawLine(kGraphMargin, mid - k, w - 3, mid - k);
    p.drawLine(kGraphMargin, mid + k, w - 3, mid + k);
    p.setPen(QPen(QColor(0x34, 0x36, 0x46), 1));
    p.drawLine(kGraphMargin, mid, w - 3, mid);
    p.setPen(QPen(QColor(0x22, 0x23, 0x2e), 1));
    p.drawLine(kGraphMargin - 1, 3, kGraphMargin - 1, h - 4);
    p.setRenderHint(QPainter::Antialiasing, true);

    // Scale marks and the legend in the margin, in the curves' colours.
    const double font = std::clamp(h / 13.0, 8.0, 15.0);
    p.setFont(skinFont(font, true));
    p.setPen(palette::kLabel);
    centredText(p, QPointF(kGraphMargin * 0.7, mid - k), QStringLiteral("+"));
    centredText(p, QPointF(kGraphMargin * 0.7, mid), QStringLiteral("0"));
    centredText(p, QPointF(kGraphMargin * 0.7, mid + k), QStringLiteral("\u2212"));
    const QColor axes[3] = {QColor(255, 0, 0), QColor(0, 255, 0), QColor(0, 64, 255)};
    const QString names[3] = {QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("Z")};
    const double step = font * 1.25;
    const double top = std::max(3.0 + font * 0.7, (mid - k) / 2.0 - step);
    for (int i = 0; i < 3; ++i) {
        p.setPen(axes[i]);
        centredText(p, QPointF(kGraphMargin * 0.32, top + i * step), names[i]);
    }
    return image;
}

QImage paintCompassBackground(const SkinBitmap& entry) {
    QImage image = blankImage(entry.width, entry.height);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    const double w = entry.width;
    const double h = entry.height;
    const double f = compassScale(entry);
    drawWell(p, QRectF(0, 0, w, h), std::max(2.0, 6 * f));
    const QPointF c(105 * f, 87 * f);
    const double r = 82 * f;

    QRadialGradient face(c, r);
    face.setColorAt(0.0, QColor(0x16, 0x17, 0x21));
    face.setColorAt(1.0, QColor(0x0b, 0x0b, 0x11));
    p.setBrush(face);
    p.setPen(QPen(palette::kPanelEdge, std::max(1.0, 1.5 * f)));
    p.drawEllipse(c, r, r);

    // Ticks every 10 degrees, longer every 30; the four quarters carry letters.
    for (int deg = 0; deg < 360; deg += 10) {
        if (deg % 90 == 0) {
            continue;
        }
        const bool major = deg % 30 == 0;
        const double len = (major ? 9 : 5) * f;
        const double a = deg * M_PI / 180.0;
        const QPointF dir(std::sin(a), -std::cos(a));
        p.setPen(QPen(major ? QColor(0x6a, 0x70, 0x82) : QColor(0x3c, 0x40, 0x4e),
                      std::max(1.0, (major ? 2.0 : 1.2) * f)));
        p.drawLine(c + dir * (r - 3 * f), c + dir * (r - 3 * f - len));
    }
    p.setFont(skinFont(std::max(8.0, 15 * f), true));
    const struct {
        int deg;
        const char* text;
    } quarters[] = {{0, "N"}, {90, "E"}, {180, "S"}, {270, "W"}};
    for (const auto& q : quarters) {
        const double a = q.deg * M_PI / 180.0;
        const QPointF at = c + QPointF(std::sin(a), -std::cos(a)) * (r - 13 * f);
        p.setPen(q.deg == 0 ? QColor(0xff, 0x5a, 0x36) : palette::kIcon);
        centredText(p, at, QString::fromLatin1(q.text));
    }
    // The readout under the dial, where the window writes latitude and longitude.
    const QRectF readout(4 * f, 0.86 * w, w - 8 * f, std::min(h - 4 * f, w * 1.17) - 0.86 * w);
    if (readout.height() > 4) {
        p.setPen(QPen(QColor(0x1e, 0x1f, 0x2a), 1));
        p.setBrush(QColor(0x0a, 0x0a, 0x0f));
        p.drawRoundedRect(readout, 3 * f, 3 * f);
    }
    return image;
}

QImage paintNeedle(const SkinBitmap& entry) {
    // Black is the compass's transparent colour: everything of the needle stays well above it.
    QImage image(entry.width, entry.height, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    const double w = entry.width;
    const double h = entry.height;
    const double cx = w / 2;
    const double cy = h / 2;
    const double half = w * 0.3;
    QPolygonF north;
    north << QPointF(cx, 1) << QPointF(cx + half, cy) << QPointF(cx - half, cy);
    QLinearGradient red(QPointF(cx - half, 0), QPointF(cx + half, 0));
    red.setColorAt(0.0, QColor(0xff, 0x6e, 0x4a));
    red.setColorAt(1.0, QColor(0xc8, 0x34, 0x1e));
    p.setPen(Qt::NoPen);
    p.setBrush(red);
    p.drawPolygon(north);
    QPolygonF south;
    south << QPointF(cx - half, cy) << QPointF(cx + half, cy) << QPointF(cx, h - 1);
    QLinearGradient grey(QPointF(cx - half, 0), QPointF(cx + half, 0));
    grey.setColorAt(0.0, QColor(0xd8, 0xdc, 0xe4));
    grey.setColorAt(1.0, QColor(0x8c, 0x92, 0xa2));
    p.setBrush(grey);
    p.drawPolygon(south);
    p.setBrush(QColor(0xe4, 0xe7, 0xee));
    p.drawEllipse(QPointF(cx, cy), w * 0.3, w * 0.3);
    p.setBrush(QColor(0x30, 0x32, 0x3c));
    p.drawEllipse(QPointF(cx, cy), w * 0.12, w * 0.12);
    return image;
}

QImage paintUnitBadge(const SkinBitmap& entry) {
    QImage image = blankImage(entry.width, entry.height);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QRectF r = QRectF(0, 0, entry.width, entry.height).adjusted(0.5, 0.5, -0.5, -0.5);
    const double radius = r.height() / 2;
    p.setPen(QPen(QColor(0x0c, 0x5c, 0x10), 1.0));
    p.setBrush(palette::kBase);
    p.drawRoundedRect(r, radius, radius);
    const QString text = entry.unit == 1   ? QStringLiteral("mph")
                         : entry.unit == 2 ? QStringLiteral("knots")
                                           : QStringLiteral("km/h");
    p.setFont(skinFont(entry.height * 0.6, true));
    p.setPen(palette::kDigitGreen);
    p.drawText(r, Qt::AlignCenter, text);
    return image;
}

} // namespace tavero::skingen
