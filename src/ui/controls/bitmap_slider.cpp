#include "ui/controls/bitmap_slider.h"

#include "ui/skin/skin_set.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace tavero::ui {

CBitmapSlider::CBitmapSlider(QWidget* parent, app::SliderOrientation orientation)
    : QWidget(parent), m_orientation(orientation) {
    setFocusPolicy(Qt::StrongFocus);
}

void CBitmapSlider::setBitmaps(int channelId, int thumbId, QColor transparent) {
    m_channel = withColourTransparent(SkinSet::current().pixmap(channelId), transparent);
    m_thumb = withColourTransparent(SkinSet::current().pixmap(thumbId), transparent);
    updateGeometry();
    update();
}

void CBitmapSlider::setRange(int minimum, int maximum) {
    m_minimum = minimum;
    m_maximum = std::max(minimum, maximum);
    m_position = std::clamp(m_position, m_minimum, m_maximum);
    update();
}

void CBitmapSlider::setPos(int position) {
    m_position = std::clamp(position, m_minimum, m_maximum);
    update();
}

void CBitmapSlider::setMargins(int left, int top, int right, int bottom) {
    m_margins = {left, top, right, bottom};
    update();
}

QSize CBitmapSlider::sizeHint() const {
    return m_channel.isNull() ? QSize(100, 20) : m_channel.size();
}

int CBitmapSlider::extent() const {
    return m_orientation == app::SliderOrientation::Horizontal ? width() : height();
}

int CBitmapSlider::thumbExtent() const {
    return m_orientation == app::SliderOrientation::Horizontal ? m_thumb.width() : m_thumb.height();
}

app::SliderMargins CBitmapSlider::alongMargins() const {
    if (m_orientation == app::SliderOrientation::Horizontal) {
        return m_margins;
    }
    return {m_margins.top, m_margins.left, m_margins.bottom, m_margins.right};
}

int CBitmapSlider::thumbCentre() const {
    return app::bitmapSliderThumbCentre(m_position, extent(), thumbExtent(), alongMargins(),
                                        m_minimum, m_maximum);
}

void CBitmapSlider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const bool horizontal = m_orientation == app::SliderOrientation::Horizontal;
    if (!m_channel.isNull()) {
        const QPoint at = horizontal ? QPoint(0, (height() - m_channel.height()) / 2)
                                     : QPoint((width() - m_channel.width()) / 2, 0);
        painter.drawPixmap(at, m_channel);
    }
    if (!m_thumb.isNull()) {
        const int centre = thumbCentre();
        const QPoint at =
            horizontal ? QPoint(centre - m_thumb.width() / 2, (height() - m_thumb.height()) / 2)
                       : QPoint((width() - m_thumb.width()) / 2, centre - m_thumb.height() / 2);
        painter.drawPixmap(at, m_thumb);
    }
}

void CBitmapSlider::moveByUser(int position) {
    position = std::clamp(position, m_minimum, m_maximum);
    if (position == m_position) {
        return;
    }
    m_position = position;
    update();
    Q_EMIT positionMessage(app::kMsgBitmapSliderMoved, m_controlId, m_position);
}

void CBitmapSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_dragging = true;
    const QPoint p = event->position().toPoint();
    const int along = m_orientation == app::SliderOrientation::Horizontal ? p.x() : p.y();
    moveByUser(app::bitmapSliderPosition(along, extent(), thumbExtent(), alongMargins(), m_minimum,
                                         m_maximum));
}

void CBitmapSlider::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging) {
        return;
    }
    const QPoint p = event->position().toPoint();
    const int along = m_orientation == app::SliderOrientation::Horizontal ? p.x() : p.y();
    moveByUser(app::bitmapSliderPosition(along, extent(), thumbExtent(), alongMargins(), m_minimum,
                                         m_maximum));
}

void CBitmapSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_dragging = false;
    }
}

void CBitmapSlider::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Down:
        moveByUser(m_position - 1);
        break;
    case Qt::Key_Right:
    case Qt::Key_Up:
        moveByUser(m_position + 1);
        break;
    case Qt::Key_PageDown:
        moveByUser(m_position - m_pageSize);
        break;
    case Qt::Key_PageUp:
        moveByUser(m_position + m_pageSize);
        break;
    case Qt::Key_Home:
        moveByUser(m_minimum);
        break;
    case Qt::Key_End:
        moveByUser(m_maximum);
        break;
    default:
        QWidget::keyPressEvent(event);
        break;
    }
}

} // namespace tavero::ui
