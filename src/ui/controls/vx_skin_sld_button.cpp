#include "ui/controls/vx_skin_sld_button.h"

#include "ui/skin/skin_set.h"

#include <QMouseEvent>
#include <QPainter>
#include <cmath>

namespace tavero::ui {

namespace {

// Thumb rectangle for a horizontal track: along the track by the fraction, centred across it.
QRect horizontalThumb(const QSize& track, const QSize& thumb, double fraction) {
    const int x = app::sliderThumbOffset(track.width(), thumb.width(), fraction);
    return {x, (track.height() - thumb.height()) / 2, thumb.width(), thumb.height()};
}

QRect verticalThumb(const QSize& track, const QSize& thumb, double fraction) {
    const int y = app::sliderThumbOffset(track.height(), thumb.height(), 1.0 - fraction);
    return {(track.width() - thumb.width()) / 2, y, thumb.width(), thumb.height()};
}

} // namespace

CVxSkinSldButton::CVxSkinSldButton(QWidget* parent, app::SliderOrientation orientation)
    : CVxSkinButton(parent, SkinButtonKind::Push), m_orientation(orientation) {}

void CVxSkinSldButton::setThumb(int bitmapId) {
    m_thumbId = bitmapId;
    m_thumb = SkinSet::current().pixmap(bitmapId);
    update();
}

void CVxSkinSldButton::setRange(int minimum, int maximum) {
    m_minimum = minimum;
    m_maximum = maximum;
    m_fraction = app::sliderFractionOfValue(m_minimum, m_maximum, m_value);
    update();
}

void CVxSkinSldButton::setValue(int value) {
    m_value = value;
    m_fraction = app::sliderFractionOfValue(m_minimum, m_maximum, value);
    update();
}

QRect CVxSkinSldButton::thumbRect() const {
    if (m_thumb.isNull()) {
        return {};
    }
    return m_orientation == app::SliderOrientation::Horizontal
               ? horizontalThumb(size(), m_thumb.size(), m_fraction)
               : verticalThumb(size(), m_thumb.size(), m_fraction);
}

double CVxSkinSldButton::fractionAt(QPoint pos) const {
    return app::sliderFraction(m_orientation, pos.x(), pos.y(), width(), height());
}

void CVxSkinSldButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintSkin(painter);
    if (!m_thumb.isNull()) {
        painter.drawPixmap(thumbRect().topLeft(), m_thumb);
    }
}

void CVxSkinSldButton::mousePressEvent(QMouseEvent* event) {
    CVxSkinButton::mousePressEvent(event);
    if (event->button() != Qt::LeftButton) {
        return;
    }
    m_dragging = true;
    m_fraction = fractionAt(event->position().toPoint());
    m_value = app::sliderValue(m_minimum, m_maximum, m_fraction);
    update();
    Q_EMIT sliderMessage(app::kMsgSliderPressed, m_messageId, m_value);
}

void CVxSkinSldButton::mouseMoveEvent(QMouseEvent* event) {
    CVxSkinButton::mouseMoveEvent(event);
    if (!m_dragging) {
        return;
    }
    const double fraction = fractionAt(event->position().toPoint());
    if (fraction == m_fraction) {
        return;
    }
    m_fraction = fraction;
    m_value = app::sliderValue(m_minimum, m_maximum, m_fraction);
    update();
    Q_EMIT sliderMessage(app::kMsgSliderMoved, m_messageId, m_value);
}

void CVxSkinSldButton::mouseReleaseEvent(QMouseEvent* event) {
    CVxSkinButton::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !m_dragging) {
        return;
    }
    m_dragging = false;
    update();
    Q_EMIT sliderMessage(app::kMsgSliderReleased, m_messageId, m_value);
}

CVxSkinSldButton2::CVxSkinSldButton2(QWidget* parent)
    : CVxSkinButton(parent, SkinButtonKind::Push) {}

void CVxSkinSldButton2::setThumb(int mark, int bitmapId) {
    if (mark < 0 || mark > 1) {
        return;
    }
    Mark& m = m_marks[static_cast<std::size_t>(mark)];
    m.thumbId = bitmapId;
    m.thumb = SkinSet::current().pixmap(bitmapId);
    update();
}

void CVxSkinSldButton2::setRange(int minimum, int maximum) {
    m_minimum = minimum;
    m_maximum = maximum;
    for (Mark& m : m_marks) {
        m.fraction = app::sliderFractionOfValue(m_minimum, m_maximum, m.value);
    }
    update();
}

void CVxSkinSldButton2::setMarkValue(int mark, int value) {
    if (mark < 0 || mark > 1) {
        return;
    }
    Mark& m = m_marks[static_cast<std::size_t>(mark)];
    m.value = value;
    m.fraction = app::sliderFractionOfValue(m_minimum, m_maximum, value);
    update();
}

int CVxSkinSldButton2::markValue(int mark) const {
    return mark == 0 || mark == 1 ? m_marks[static_cast<std::size_t>(mark)].value : 0;
}

QRect CVxSkinSldButton2::thumbRect(int mark) const {
    if (mark < 0 || mark > 1) {
        return {};
    }
    const Mark& m = m_marks[static_cast<std::size_t>(mark)];
    return m.thumb.isNull() ? QRect() : horizontalThumb(size(), m.thumb.size(), m.fraction);
}

double CVxSkinSldButton2::fractionAt(QPoint pos) const {
    return app::sliderFraction(app::SliderOrientation::Horizontal, pos.x(), pos.y(), width(),
                               height());
}

int CVxSkinSldButton2::nearestMark(QPoint pos) const {
    const double x = pos.x();
    const double d0 = std::abs(x - thumbRect(0).center().x());
    const double d1 = std::abs(x - thumbRect(1).center().x());
    if (d0 != d1) {
        return d0 < d1 ? 0 : 1;
    }
    // Both marks on one place: the pointer's side decides, so either can be pulled out.
    return x > thumbRect(0).center().x() ? 1 : 0;
}

void CVxSkinSldButton2::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintSkin(painter);
    for (int mark = 0; mark < 2; ++mark) {
        const Mark& m = m_marks[static_cast<std::size_t>(mark)];
        if (!m.thumb.isNull()) {
            painter.drawPixmap(thumbRect(mark).topLeft(), m.thumb);
        }
    }
}

void CVxSkinSldButton2::mousePressEvent(QMouseEvent* event) {
    CVxSkinButton::mousePressEvent(event);
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const QPoint pos = event->position().toPoint();
    m_dragged = nearestMark(pos);
    Mark& m = m_marks[static_cast<std::size_t>(m_dragged)];
    m.fraction = fractionAt(pos);
    m.value = app::sliderValue(m_minimum, m_maximum, m.fraction);
    update();
    Q_EMIT sliderMessage(app::kMsgSliderPressed, m_messageId, m.value);
}

void CVxSkinSldButton2::mouseMoveEvent(QMouseEvent* event) {
    CVxSkinButton::mouseMoveEvent(event);
    if (m_dragged < 0) {
        return;
    }
    Mark& m = m_marks[static_cast<std::size_t>(m_dragged)];
    const double fraction = fractionAt(event->position().toPoint());
    if (fraction == m.fraction) {
        return;
    }
    m.fraction = fraction;
    m.value = app::sliderValue(m_minimum, m_maximum, m.fraction);
    update();
    Q_EMIT sliderMessage(app::kMsgSliderMoved, m_messageId, m.value);
}

void CVxSkinSldButton2::mouseReleaseEvent(QMouseEvent* event) {
    CVxSkinButton::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || m_dragged < 0) {
        return;
    }
    const int value = m_marks[static_cast<std::size_t>(m_dragged)].value;
    // The owner reads draggedMark() while handling the release, then it is cleared.
    Q_EMIT sliderMessage(app::kMsgSliderReleased, m_messageId, value);
    m_dragged = -1;
    update();
}

} // namespace tavero::ui
