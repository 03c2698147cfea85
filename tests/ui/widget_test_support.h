// Helpers of the widget tests: solid test strips, pixel reads of a grabbed widget, and synthetic
// mouse input.
//
// Thread: the test's (UI) thread.
#pragma once

#include <QApplication>
#include <QColor>
#include <QEnterEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QWidget>
#include <initializer_list>

namespace tavero::test {

// A strip of equal frames, each one solid colour.
inline QPixmap solidStrip(int frameWidth, int height, std::initializer_list<QColor> colours) {
    QPixmap strip(frameWidth * static_cast<int>(colours.size()), height);
    QPainter p(&strip);
    int x = 0;
    for (const QColor& c : colours) {
        p.fillRect(x, 0, frameWidth, height, c);
        x += frameWidth;
    }
    return strip;
}

inline QColor pixelAt(QWidget& widget, QPoint at) {
    return widget.grab().toImage().pixelColor(at);
}

inline void sendMouse(QWidget& widget, QEvent::Type type, QPoint pos,
                      Qt::MouseButtons buttons = Qt::LeftButton,
                      Qt::MouseButton button = Qt::LeftButton) {
    QMouseEvent event(type, QPointF(pos), QPointF(widget.mapToGlobal(pos)), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

inline void press(QWidget& w, QPoint pos) {
    sendMouse(w, QEvent::MouseButtonPress, pos);
}
inline void moveHeld(QWidget& w, QPoint pos) {
    sendMouse(w, QEvent::MouseMove, pos, Qt::LeftButton, Qt::NoButton);
}
inline void release(QWidget& w, QPoint pos) {
    sendMouse(w, QEvent::MouseButtonRelease, pos, Qt::NoButton, Qt::LeftButton);
}
inline void doubleClick(QWidget& w, QPoint pos) {
    press(w, pos);
    release(w, pos);
    sendMouse(w, QEvent::MouseButtonDblClick, pos);
    release(w, pos);
}

inline void enter(QWidget& w) {
    QEnterEvent event(QPointF(1, 1), QPointF(1, 1), QPointF(w.mapToGlobal(QPoint(1, 1))));
    QApplication::sendEvent(&w, &event);
}
inline void leave(QWidget& w) {
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(&w, &event);
}

} // namespace tavero::test
