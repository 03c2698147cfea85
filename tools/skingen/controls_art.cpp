// Button strips, slider tracks and thumbs.

#include "skin_paint.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>
#include <array>

namespace tavero::skingen {

namespace {

constexpr std::array<FrameLook, 4> kLooks = {FrameLook::Normal, FrameLook::MouseOver,
                                             FrameLook::Pressed, FrameLook::Disabled};

QRectF frameRect(int index, int frameWidth, int height) {
    return QRectF(index * frameWidth, 0, frameWidth, height);
}

// Share of the smaller side an icon takes: tabs and window buttons are roomier.
double iconShare(Icon icon) {
    switch (icon) {
    case Icon::Minimise:
    case Icon::Close:
        return 0.46;
    case Icon::RecordList:
    case Icon::SettingList:
    case Icon::MapTab:
        return 0.5;
    case Icon::SpeedDown:
    case Icon::SpeedUp:
    case Icon::VolumeDown:
    case Icon::VolumeUp:
        return 0.56;
    default:
        return 0.6;
    }
}

QColor grooveEdge(FrameLook look) {
    switch (look) {
    case FrameLook::Normal:
        return palette::kWellLight;
    case FrameLook::MouseOver:
        return palette::kAccentDim;
    case FrameLook::Pressed:
        return palette::kAccent;
    case FrameLook::Disabled:
        break;
    }
    return QColor(0x1e, 0x1e, 0x27);
}

void drawGroove(QPainter& p, const QRectF& groove, FrameLook look) {
    p.save();
    p.setPen(QPen(grooveEdge(look), 1.0));
    p.setBrush(palette::kWell);
    const double r = groove.height() / 2;
    p.drawRoundedRect(groove.adjusted(0.5, 0.5, -0.5, -0.5), r, r);
    p.restore();
}

} // namespace

QImage paintButtonStrip(const SkinBitmap& entry) {
    QImage image = blankImage(entry.width, entry.height);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    const int fw = entry.width / 4;
    const bool danger = entry.icon == Icon::Close;
    for (int i = 0; i < 4; ++i) {
        const FrameLook look = kLooks[static_cast<std::size_t>(i)];
        // One pixel of air around the face, so neighbouring buttons read as separate keys.
        const QRectF face = frameRect(i, fw, entry.height).adjusted(1, 1, -1, -1);
        const double radius = std::max(2.0, std::min(face.width(), face.height()) * 0.16);
        drawButtonFace(p, face, radius, look, danger);
        const double side = std::min(face.width(), face.height()) * iconShare(entry.icon);
        QRectF box(0, 0, side, side);
        box.moveCenter(face.center());
        if (look == FrameLook::Pressed) {
            box.translate(1, 1);
        }
        QColor colour = iconColour(look);
        if (danger && (look == FrameLook::MouseOver || look == FrameLook::Pressed)) {
            colour = Qt::white;
        }
        drawIcon(p, entry.icon, box, colour);
    }
    return image;
}

QImage paintSliderTrack(const SkinBitmap& entry) {
    QImage image = blankImage(entry.width, entry.height);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    const int fw = entry.width / 4;
    const double h = entry.height;
    const double tw = entry.thumbWidth;
    for (int i = 0; i < 4; ++i) {
        const FrameLook look = kLooks[static_cast<std::size_t>(i)];
        const QRectF frame = frameRect(i, fw, entry.height);
        p.save();
        p.translate(frame.topLeft());
        switch (entry.track) {
        case TrackStyle::Position: {
            const double g = std::max(4.0, h * 0.34);
            drawGroove(p, QRectF(1, (h - g) / 2, fw - 2, g), look);
            break;
        }
        case TrackStyle::Speed: {
            const double g = std::max(4.0, h * 0.22);
            drawGroove(p, QRectF(tw / 2 - 3, (h - g) / 2, fw - tw + 6, g), look);
            // One tick per step of the ladder, under the thumb's centre at that step; normal
            // speed (the seventh) stands taller.
            for (int step = 0; step <= 12; ++step) {
                const double x = tw / 2 + (fw - tw) * step / 12.0;
                const bool normal = step == 6;
                const double len = normal ? h * 0.5 : h * 0.32;
                QColor colour = normal ? palette::kAccentDim : palette::kLabel;
                if (look == FrameLook::Disabled) {
                    colour = palette::kFaint;
                }
                p.setPen(QPen(colour, std::max(1.0, h / 22.0)));
                p.drawLine(QPointF(x, h / 2 + g / 2 + 1), QPointF(x, h / 2 + g / 2 + 1 + len / 2));
                p.drawLine(QPointF(x, h / 2 - g / 2 - 1), QPointF(x, h / 2 - g / 2 - 1 - len / 2));
            }
            break;
        }
        case TrackStyle::Volume: {
            QPainterPath wedge;
            wedge.moveTo(tw / 2, h * 0.62);
            wedge.lineTo(fw - tw / 2, h * 0.22);
            wedge.lineTo(fw - tw / 2, h * 0.78);
            wedge.lineTo(tw / 2, h * 0.7);
            wedge.closeSubpath();
            p.setPen(QPen(grooveEdge(look), 1.0));
            p.setBrush(palette::kWell);
            p.drawPath(wedge);
            break;
        }
        case TrackStyle::MarkBar: {
            // A quiet rail: the marks are what the eye should find.
            const double y = h * 0.72;
            p.setPen(QPen(grooveEdge(look), std::max(1.0, h / 12.0)));
            p.drawLine(QPointF(tw / 2, y), QPointF(fw - tw / 2, y));
            p.drawLine(QPointF(tw / 2, y - h * 0.18), QPointF(tw / 2, y + h * 0.18));
            p.drawLine(QPointF(fw - tw / 2, y - h * 0.18), QPointF(fw - tw / 2, y + h * 0.18));
            break;
        }
        }
        p.restore();
    }
    return image;
}

QImage paintSliderThumb(const SkinBitmap& entry) {
    QImage image = blankImage(entry.width, entry.height);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QRectF r = QRectF(0, 0, entry.width, entry.height).adjusted(0.5, 0.5, -0.5, -0.5);
    QLinearGradient fill(r.topLeft(), r.bottomLeft());
    fill.setColorAt(0.0, QColor(0xe6, 0xe9, 0xf0));
    fill.setColorAt(1.0, QColor(0x9c, 0xa2, 0xb1));
    p.setPen(QPen(QColor(0x06, 0x06, 0x0a), 1.0));
    p.setBrush(fill);
    const double radius = std::max(1.5, entry.width * 0.28);
    p.drawRoundedRect(r, radius, radius);
    // A groove across the middle shows where the value is read.
    p.setPen(QPen(palette::kAccentDim, std::max(1.0, entry.width / 7.0)));
    p.drawLine(QPointF(entry.width / 2.0, entry.height * 0.25),
               QPointF(entry.width / 2.0, entry.height * 0.75));
    return image;
}

QImage paintMarkThumb(const SkinBitmap& entry) {
    QImage image = blankImage(entry.width, entry.height);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QColor colour = entry.unit == 0 ? palette::kAccent : palette::kMarkOut;
    const double w = entry.width;
    const double h = entry.height;
    const double cx = w / 2;
    // Stem down to the rail, a pennant pointing into the marked range.
    p.setPen(QPen(colour, std::max(1.0, w / 6.0), Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(cx, 1), QPointF(cx, h - 1));
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    QPolygonF pennant;
    if (entry.unit == 0) {
        pennant << QPointF(cx, 1) << QPointF(w, h * 0.2) << QPointF(cx, h * 0.4);
    } else {
        pennant << QPointF(cx, 1) << QPointF(0, h * 0.2) << QPointF(cx, h * 0.4);
    }
    p.drawPolygon(pennant);
    return image;
}

QImage paintBitmapSliderChannel(const SkinBitmap& entry) {
    QImage image = blankImage(entry.width, entry.height);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    const double w = entry.width;
    const double h = entry.height;
    const double start = entry.thumbWidth / 2.0;
    const double end = w - entry.thumbWidth / 2.0;
    // A ramp from quiet to loud under the knob's path.
    QPainterPath ramp;
    ramp.moveTo(start, h * 0.56);
    ramp.lineTo(end, h * 0.2);
    ramp.lineTo(end, h * 0.8);
    ramp.lineTo(start, h * 0.64);
    ramp.closeSubpath();
    QLinearGradient fill(QPointF(start, 0), QPointF(end, 0));
    fill.setColorAt(0.0, QColor(0x14, 0x1a, 0x22));
    fill.setColorAt(1.0, palette::kAccentDim);
    p.setPen(QPen(palette::kWellLight, 1.0));
    p.setBrush(fill);
    p.drawPath(ramp);
    return image;
}

QImage paintBitmapSliderThumb(const SkinBitmap& entry) {
    QImage image = blankImage(entry.width, entry.height);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QRectF r = QRectF(0, 0, entry.width, entry.height).adjusted(0.5, 0.5, -0.5, -0.5);
    QRadialGradient fill(r.center() - QPointF(r.width() * 0.15, r.height() * 0.2), r.width() * 0.7);
    fill.setColorAt(0.0, QColor(0xf0, 0xf2, 0xf6));
    fill.setColorAt(1.0, QColor(0x8c, 0x92, 0xa2));
    p.setPen(QPen(QColor(0x06, 0x06, 0x0a), 1.0));
    p.setBrush(fill);
    p.drawEllipse(r);
    p.setPen(Qt::NoPen);
    p.setBrush(palette::kAccentDim);
    p.drawEllipse(r.center(), r.width() * 0.14, r.height() * 0.14);
    return image;
}

} // namespace tavero::skingen
