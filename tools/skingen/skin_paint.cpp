#include "skin_paint.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace tavero::skingen {

QImage blankImage(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QFont skinFont(double pixelSize, bool bold) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(std::max(6, static_cast<int>(pixelSize + 0.5)));
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

void drawPanel(QPainter& p, const QRectF& r, double radius) {
    p.save();
    QLinearGradient fill(r.topLeft(), r.bottomLeft());
    fill.setColorAt(0.0, palette::kPanelTop);
    fill.setColorAt(1.0, palette::kPanelBottom);
    p.setPen(QPen(palette::kPanelEdge, 1.0));
    p.setBrush(fill);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    // Light catching the upper edge.
    p.setPen(QPen(palette::kPanelHighlight, 1.0));
    const double inset = std::min(radius, r.width() / 2);
    p.drawLine(QPointF(r.left() + inset, r.top() + 1.5), QPointF(r.right() - inset, r.top() + 1.5));
    p.restore();
}

void drawWell(QPainter& p, const QRectF& r, double radius) {
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(palette::kWellLight);
    p.drawRoundedRect(r, radius, radius);
    p.setBrush(palette::kWellShadow);
    p.drawRoundedRect(r.adjusted(0, 0, -1, -1), radius, radius);
    p.setBrush(palette::kWell);
    p.drawRoundedRect(r.adjusted(1, 1, -1, -1), std::max(0.0, radius - 1),
                      std::max(0.0, radius - 1));
    p.restore();
}

void drawButtonFace(QPainter& p, const QRectF& r, double radius, FrameLook look, bool danger) {
    p.save();
    QColor top{0x29, 0x29, 0x37};
    QColor bottom{0x1e, 0x1e, 0x29};
    QColor edge{0x3a, 0x3a, 0x4c};
    switch (look) {
    case FrameLook::Normal:
        break;
    case FrameLook::MouseOver:
        top = danger ? QColor(0xb0, 0x36, 0x36) : QColor(0x31, 0x32, 0x44);
        bottom = danger ? QColor(0x8a, 0x28, 0x28) : QColor(0x25, 0x26, 0x35);
        edge = danger ? palette::kDanger : palette::kAccentDim;
        break;
    case FrameLook::Pressed:
        top = danger ? QColor(0x6e, 0x1e, 0x1e) : QColor(0x10, 0x12, 0x1a);
        bottom = danger ? QColor(0x8a, 0x28, 0x28) : QColor(0x18, 0x1b, 0x26);
        edge = danger ? palette::kDanger : palette::kAccent;
        break;
    case FrameLook::Disabled:
        top = QColor(0x19, 0x19, 0x21);
        bottom = QColor(0x17, 0x17, 0x1e);
        edge = QColor(0x26, 0x26, 0x31);
        break;
    }
    QLinearGradient fill(r.topLeft(), r.bottomLeft());
    fill.setColorAt(0.0, top);
    fill.setColorAt(1.0, bottom);
    p.setBrush(fill);
    p.setPen(QPen(edge, 1.0));
    const QRectF face = r.adjusted(0.5, 0.5, -0.5, -0.5);
    p.drawRoundedRect(face, radius, radius);
    if (look == FrameLook::Normal || look == FrameLook::MouseOver) {
        // A highlight under the top edge makes the face stand out of the panel.
        p.setPen(QPen(QColor(255, 255, 255, look == FrameLook::Normal ? 18 : 30), 1.0));
        p.drawLine(QPointF(face.left() + radius, face.top() + 1),
                   QPointF(face.right() - radius, face.top() + 1));
    } else if (look == FrameLook::Pressed) {
        // Pressed in: a shadow along the inner top edge.
        p.setPen(QPen(QColor(0, 0, 0, 140), 1.0));
        p.drawLine(QPointF(face.left() + radius, face.top() + 1.5),
                   QPointF(face.right() - radius, face.top() + 1.5));
    }
    p.restore();
}

QColor iconColour(FrameLook look) {
    switch (look) {
    case FrameLook::Normal:
        return palette::kIcon;
    case FrameLook::MouseOver:
        return palette::kIconHover;
    case FrameLook::Pressed:
        return palette::kAccent;
    case FrameLook::Disabled:
        break;
    }
    return palette::kIconDisabled;
}

QImage paintBitmap(const SkinBitmap& entry) {
    switch (entry.kind) {
    case BitmapKind::Background:
        return paintBackground(entry);
    case BitmapKind::ButtonStrip:
        return paintButtonStrip(entry);
    case BitmapKind::SliderTrack:
        return paintSliderTrack(entry);
    case BitmapKind::SliderThumb:
        return paintSliderThumb(entry);
    case BitmapKind::MarkThumb:
        return paintMarkThumb(entry);
    case BitmapKind::BitmapSliderChannel:
        return paintBitmapSliderChannel(entry);
    case BitmapKind::BitmapSliderThumb:
        return paintBitmapSliderThumb(entry);
    case BitmapKind::GraphBackground:
        return paintGraphBackground(entry);
    case BitmapKind::CompassBackground:
        return paintCompassBackground(entry);
    case BitmapKind::Needle:
        return paintNeedle(entry);
    case BitmapKind::UnitBadge:
        return paintUnitBadge(entry);
    }
    return {};
}

} // namespace tavero::skingen
