// Vector icons, drawn in a 100 x 100 box centred on the origin and scaled into place, so that one
// drawing serves every UI mode.

#include "skin_paint.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>
#include <cmath>

namespace tavero::skingen {

namespace {

QPolygonF polygon(std::initializer_list<QPointF> points) {
    return QPolygonF(QList<QPointF>(points));
}

QPolygonF mirrored(const QPolygonF& poly) {
    QPolygonF out;
    for (const QPointF& p : poly) {
        out << QPointF(-p.x(), p.y());
    }
    return out;
}

void fillPolygon(QPainter& p, const QPolygonF& poly) {
    p.drawPolygon(poly);
}

void bar(QPainter& p, double x0, double x1, double y0 = -36, double y1 = 36) {
    p.drawRoundedRect(QRectF(QPointF(x0, y0), QPointF(x1, y1)), 2.5, 2.5);
}

QPainterPath sdCard() {
    QPainterPath card;
    card.moveTo(-30, -44);
    card.lineTo(16, -44);
    card.lineTo(32, -28);
    card.lineTo(32, 44);
    card.lineTo(-30, 44);
    card.closeSubpath();
    return card;
}

QPainterPath pin(QPointF tip, double radius) {
    // A map pin: a circle drawn out to a point below it, with a hole.
    const QPointF centre(tip.x(), tip.y() - radius * 1.9);
    QPainterPath body;
    body.moveTo(tip);
    const double a = 40.0; // where the sides leave the circle, degrees from the bottom
    const double rad = a * M_PI / 180.0;
    body.lineTo(centre.x() - radius * std::sin(rad), centre.y() + radius * std::cos(rad));
    body.arcTo(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius), -90.0 - a,
               -(360.0 - 2 * a));
    body.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(centre, radius * 0.4, radius * 0.4);
    return body.subtracted(hole);
}

QPainterPath gear() {
    QPainterPath teeth;
    for (int i = 0; i < 8; ++i) {
        QPainterPath tooth;
        tooth.addRoundedRect(QRectF(-8, -46, 16, 24), 2, 2);
        QTransform turn;
        turn.rotate(i * 45.0);
        teeth = teeth.united(turn.map(tooth));
    }
    QPainterPath ring;
    ring.addEllipse(QPointF(0, 0), 33, 33);
    QPainterPath hole;
    hole.addEllipse(QPointF(0, 0), 13, 13);
    return teeth.united(ring).subtracted(hole);
}

// Switches from strokes to a fill in the pen's colour until the matching restore.
void solid(QPainter& p) {
    p.save();
    p.setBrush(p.pen().color());
    p.setPen(Qt::NoPen);
}

void speaker(QPainter& p) {
    fillPolygon(p, polygon({{-46, -14}, {-28, -14}, {-6, -34}, {-6, 34}, {-28, 14}, {-46, 14}}));
}

void drawStrokeIcon(QPainter& p, Icon icon) {
    switch (icon) {
    case Icon::Snapshot: {
        p.drawRoundedRect(QRectF(-46, -26, 92, 64), 9, 9);
        p.drawLine(QPointF(-18, -26), QPointF(-12, -40));
        p.drawLine(QPointF(-12, -40), QPointF(12, -40));
        p.drawLine(QPointF(12, -40), QPointF(18, -26));
        p.drawEllipse(QPointF(0, 6), 18, 18);
        break;
    }
    case Icon::Backup:
        p.drawPolyline(polygon({{-42, 12}, {-42, 40}, {42, 40}, {42, 12}}));
        p.drawLine(QPointF(0, -44), QPointF(0, 20));
        p.drawPolyline(polygon({{-20, 0}, {0, 20}, {20, 0}}));
        break;
    case Icon::Playback: {
        p.drawPath(sdCard());
        solid(p);
        fillPolygon(p, polygon({{-12, -16}, {18, 2}, {-12, 20}}));
        p.restore();
        break;
    }
    case Icon::Format: {
        // A card with a turning arrow: the card made new.
        p.drawPath(sdCard());
        const QRectF turn(-16, -10, 32, 32);
        QPainterPath arc;
        arc.arcMoveTo(turn, 70);
        arc.arcTo(turn, 70, 290);
        p.drawPath(arc);
        solid(p);
        fillPolygon(p, polygon({{5, 8}, {27, 8}, {16, -6}}));
        p.restore();
        break;
    }
    case Icon::MarkIn:
        p.drawPolyline(polygon({{-14, -40}, {-34, -40}, {-34, 40}, {-14, 40}}));
        solid(p);
        fillPolygon(p, polygon({{-6, -22}, {34, 0}, {-6, 22}}));
        p.restore();
        break;
    case Icon::MarkOut:
        p.drawPolyline(polygon({{14, -40}, {34, -40}, {34, 40}, {14, 40}}));
        solid(p);
        fillPolygon(p, polygon({{-34, -22}, {6, 0}, {-34, 22}}));
        p.restore();
        break;
    case Icon::VolumeDown:
    case Icon::VolumeUp:
        solid(p);
        speaker(p);
        p.restore();
        p.drawLine(QPointF(12, 0), QPointF(44, 0));
        if (icon == Icon::VolumeUp) {
            p.drawLine(QPointF(28, -16), QPointF(28, 16));
        }
        break;
    case Icon::Map:
        p.drawPolygon(polygon({{-44, -30},
                               {-14, -40},
                               {14, -30},
                               {44, -40},
                               {44, 30},
                               {14, 40},
                               {-14, 30},
                               {-44, 40}}));
        p.drawLine(QPointF(-14, -40), QPointF(-14, 30));
        p.drawLine(QPointF(14, -30), QPointF(14, 40));
        break;
    case Icon::Wifi: {
        const QPointF c(0, 32);
        for (double r : {24.0, 46.0, 68.0}) {
            p.drawArc(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), 50 * 16, 80 * 16);
        }
        solid(p);
        p.drawEllipse(c, 8, 8);
        p.restore();
        break;
    }
    case Icon::VideoOrMap: {
        p.drawRoundedRect(QRectF(-46, -28, 44, 36), 4, 4);
        p.drawLine(QPointF(-32, 24), QPointF(-16, 24));
        solid(p);
        p.drawPath(pin(QPointF(26, 38), 17));
        p.restore();
        break;
    }
    case Icon::Minimise:
        p.drawLine(QPointF(-28, 26), QPointF(28, 26));
        break;
    case Icon::Close:
        p.drawLine(QPointF(-26, -26), QPointF(26, 26));
        p.drawLine(QPointF(26, -26), QPointF(-26, 26));
        break;
    case Icon::SpeedDown:
        p.drawPolyline(polygon({{2, -30}, {-26, 0}, {2, 30}}));
        p.drawPolyline(polygon({{32, -30}, {4, 0}, {32, 30}}));
        break;
    case Icon::SpeedUp:
        p.drawPolyline(polygon({{-2, -30}, {26, 0}, {-2, 30}}));
        p.drawPolyline(polygon({{-32, -30}, {-4, 0}, {-32, 30}}));
        break;
    case Icon::RecordList:
        for (double y : {-30.0, 0.0, 30.0}) {
            solid(p);
            p.drawRoundedRect(QRectF(-46, y - 7, 14, 14), 2, 2);
            p.restore();
            p.drawLine(QPointF(-20, y), QPointF(44, y));
        }
        break;
    case Icon::SettingList: {
        const double knobs[] = {18, -16, 4};
        int i = 0;
        for (double y : {-30.0, 0.0, 30.0}) {
            p.drawLine(QPointF(-44, y), QPointF(44, y));
            solid(p);
            p.drawEllipse(QPointF(knobs[i++], y), 11, 11);
            p.restore();
        }
        break;
    }
    default:
        break;
    }
}

} // namespace

void drawIcon(QPainter& p, Icon icon, const QRectF& box, const QColor& colour) {
    if (icon == Icon::None || box.isEmpty()) {
        return;
    }
    const double side = std::min(box.width(), box.height());
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.translate(box.center());
    p.scale(side / 100.0, side / 100.0);
    // Never thinner than about 1.4 pixels, so the small modes stay readable.
    const double stroke = std::max(9.0, 140.0 / side);
    p.setPen(QPen(colour, stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(colour);

    // Transport icons are solid shapes; the rest are drawn in strokes.
    const QPolygonF play = polygon({{-28, -38}, {40, 0}, {-28, 38}});
    const QPolygonF half = polygon({{-10, 0}, {28, -36}, {28, 36}}); // a left-pointing triangle
    QPen outline(colour, 4.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    switch (icon) {
    case Icon::Play:
        p.setPen(outline);
        fillPolygon(p, play);
        break;
    case Icon::BackwardPlay:
        p.setPen(outline);
        fillPolygon(p, mirrored(play));
        break;
    case Icon::Pause:
        p.setPen(Qt::NoPen);
        bar(p, -30, -9);
        bar(p, 9, 30);
        break;
    case Icon::Stop:
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(QRectF(-32, -32, 64, 64), 6, 6);
        break;
    case Icon::PrevFrame:
        p.setPen(outline);
        bar(p, -38, -26);
        fillPolygon(p, half.translated(4, 0));
        break;
    case Icon::NextFrame:
        p.setPen(outline);
        bar(p, 26, 38);
        fillPolygon(p, mirrored(half.translated(4, 0)));
        break;
    case Icon::PrevFile:
        p.setPen(outline);
        bar(p, -46, -36);
        fillPolygon(p, polygon({{-32, 0}, {4, -36}, {4, 36}}));
        fillPolygon(p, polygon({{6, 0}, {42, -36}, {42, 36}}));
        break;
    case Icon::NextFile:
        p.setPen(outline);
        bar(p, 36, 46);
        fillPolygon(p, polygon({{32, 0}, {-4, -36}, {-4, 36}}));
        fillPolygon(p, polygon({{-6, 0}, {-42, -36}, {-42, 36}}));
        break;
    case Icon::Configuration:
        p.setPen(Qt::NoPen);
        p.drawPath(gear());
        break;
    case Icon::FourChannels:
    case Icon::EightChannels: {
        p.setPen(Qt::NoPen);
        const int n = icon == Icon::FourChannels ? 2 : 3;
        const double gap = n == 2 ? 9 : 7;
        const double cw = (92 - gap * (n - 1)) / n;
        const double ch = (76 - gap * (n - 1)) / n;
        for (int row = 0; row < n; ++row) {
            for (int col = 0; col < n; ++col) {
                const QRectF cell(-46 + col * (cw + gap), -38 + row * (ch + gap), cw, ch);
                if (n == 3 && row == 2 && col == 2) {
                    // The ninth cell holds the list and the map.
                    p.save();
                    p.setBrush(Qt::NoBrush);
                    p.setPen(QPen(colour, std::max(5.0, stroke * 0.6)));
                    p.drawRoundedRect(cell.adjusted(3, 3, -3, -3), 2, 2);
                    p.restore();
                } else {
                    p.drawRoundedRect(cell, 3, 3);
                }
            }
        }
        break;
    }
    case Icon::MapTab:
        p.setPen(Qt::NoPen);
        p.drawPath(pin(QPointF(0, 46), 27));
        break;
    default:
        p.setBrush(Qt::NoBrush);
        drawStrokeIcon(p, icon);
        break;
    }
    p.restore();
}

} // namespace tavero::skingen
