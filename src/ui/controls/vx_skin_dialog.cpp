#include "ui/controls/vx_skin_dialog.h"

#include "ui/skin/skin_set.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>

namespace tavero::ui {

CVxSkinDialog::CVxSkinDialog(QWidget* parent, Qt::WindowFlags flags) : QDialog(parent, flags) {}

void CVxSkinDialog::setBackground(int bitmapId) {
    m_backgroundId = bitmapId;
    m_background = SkinSet::current().pixmap(bitmapId);
    update();
}

void CVxSkinDialog::enableRoundedRegion(int ellipseWidth, int ellipseHeight) {
    m_ellipseWidth = ellipseWidth;
    m_ellipseHeight = ellipseHeight;
    applyRegion();
}

void CVxSkinDialog::applyRegion() {
    if (m_ellipseWidth <= 0 || m_ellipseHeight <= 0) {
        clearMask();
        return;
    }
    // The client rectangle enlarged by 10 pixels right and down, with the corner ellipse.
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, width() + 10, height() + 10), m_ellipseWidth / 2.0,
                        m_ellipseHeight / 2.0);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
}

void CVxSkinDialog::paintEvent(QPaintEvent*) {
    if (m_background.isNull()) {
        return;
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_background);
}

void CVxSkinDialog::mousePressEvent(QMouseEvent* event) {
    if (m_dragEnabled && event->button() == Qt::LeftButton) {
        m_drag.press(window(), event->globalPosition().toPoint());
        event->accept();
        return;
    }
    QDialog::mousePressEvent(event);
}

void CVxSkinDialog::mouseMoveEvent(QMouseEvent* event) {
    if (m_drag.move(event->globalPosition().toPoint())) {
        event->accept();
        return;
    }
    QDialog::mouseMoveEvent(event);
}

void CVxSkinDialog::mouseReleaseEvent(QMouseEvent* event) {
    m_drag.release();
    QDialog::mouseReleaseEvent(event);
}

void CVxSkinDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    applyRegion();
}

} // namespace tavero::ui
