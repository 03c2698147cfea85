#include "ui/controls/vx_skin_button.h"

#include "ui/skin/skin_set.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>

namespace tavero::ui {

CVxSkinButton::CVxSkinButton(QWidget* parent, SkinButtonKind kind)
    : QAbstractButton(parent), m_kind(kind), m_textColour(0xd0, 0xd4, 0xde) {
    setCheckable(kind != SkinButtonKind::Push);
    setAutoExclusive(kind == SkinButtonKind::Radio);
    setMouseTracking(true);
}

void CVxSkinButton::setSkin(int bitmapId, int focusInset, QColor textColour, bool transparent) {
    m_bitmapId = bitmapId;
    m_focusInset = focusInset;
    m_textColour = textColour;
    m_transparent = transparent;
    loadFrames();
    updateGeometry();
    update();
}

void CVxSkinButton::loadFrames() {
    m_frames = {};
    m_frameWidth = 0;
    m_frameHeight = 0;
    const QPixmap strip = SkinSet::current().pixmap(m_bitmapId);
    if (strip.isNull()) {
        return;
    }
    const app::StripMask mask = m_transparent ? app::StripMask::FifthFrame : app::StripMask::None;
    m_frameWidth = app::skinFrameWidth(strip.width(), mask);
    m_frameHeight = strip.height();
    if (m_frameWidth == 0) {
        return;
    }
    const QPixmap maskFrame = m_transparent ? strip.copy(app::kOpaqueStripFrames * m_frameWidth, 0,
                                                         m_frameWidth, m_frameHeight)
                                            : QPixmap();
    for (int i = 0; i < app::kOpaqueStripFrames; ++i) {
        QPixmap frame = strip.copy(i * m_frameWidth, 0, m_frameWidth, m_frameHeight);
        m_frames[static_cast<std::size_t>(i)] =
            m_transparent ? maskedByWhite(frame, maskFrame) : frame;
    }
}

app::SkinFrame CVxSkinButton::currentFrame() const {
    return app::chooseSkinFrame(isEnabled(), isDown() || isChecked(), m_mouseOver);
}

QSize CVxSkinButton::sizeHint() const {
    if (m_frameWidth > 0) {
        return {m_frameWidth, m_frameHeight};
    }
    return QAbstractButton::sizeHint().expandedTo(QSize(16, 16));
}

void CVxSkinButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintSkin(painter);
}

void CVxSkinButton::paintSkin(QPainter& painter) {
    const QPixmap& frame = m_frames[static_cast<std::size_t>(currentFrame())];
    if (!frame.isNull()) {
        painter.drawPixmap(0, 0, frame);
    }
    const QString caption = text();
    if (!caption.isEmpty()) {
        painter.setFont(font());
        QRect box = rect();
        const int flags = Qt::AlignCenter | Qt::TextSingleLine;
        if (!isEnabled()) {
            // Embossed: a light copy, then the grey text one pixel up and to the left.
            painter.setPen(palette().color(QPalette::Light));
            painter.drawText(box, flags, caption);
            painter.setPen(palette().color(QPalette::Disabled, QPalette::WindowText));
            painter.drawText(box.translated(-1, -1), flags, caption);
        } else {
            if (isDown()) {
                box.translate(2, 1);
            }
            painter.setPen(m_textColour);
            painter.drawText(box, flags, caption);
        }
    }
    if (hasFocus() && m_focusInset > 0) {
        painter.setPen(QPen(m_textColour, 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(
            rect().adjusted(m_focusInset, m_focusInset, -m_focusInset - 1, -m_focusInset - 1));
    }
}

void CVxSkinButton::enterEvent(QEnterEvent* event) {
    if (!m_mouseOver) {
        m_mouseOver = true;
        update();
    }
    QAbstractButton::enterEvent(event);
}

void CVxSkinButton::leaveEvent(QEvent* event) {
    if (m_mouseOver) {
        m_mouseOver = false;
        update();
    }
    QAbstractButton::leaveEvent(event);
}

void CVxSkinButton::mouseMoveEvent(QMouseEvent* event) {
    // The first move over the button counts as entering it, should the enter have been missed.
    if (!m_mouseOver && rect().contains(event->position().toPoint())) {
        m_mouseOver = true;
        update();
    }
    // While pressed, the base keeps the pressed look following the pointer.
    QAbstractButton::mouseMoveEvent(event);
}

void CVxSkinButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        update();
    }
    QAbstractButton::changeEvent(event);
}

void CVxSkinButton::nextCheckState() {
    if (m_kind == SkinButtonKind::Toggle) {
        setChecked(!isChecked());
    } else if (m_kind == SkinButtonKind::Radio) {
        setChecked(true);
    }
}

} // namespace tavero::ui
