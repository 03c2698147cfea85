#include "ui/controls/window_drag.h"

#include <QApplication>
#include <QWindow>

namespace tavero::ui {

void WindowDrag::press(QWidget* window, QPoint globalPos) {
    m_window = window;
    m_pressGlobal = globalPos;
    m_windowStart = window != nullptr ? window->pos() : QPoint();
    m_moving = false;
}

bool WindowDrag::move(QPoint globalPos) {
    if (m_window.isNull()) {
        return false;
    }
    if (!m_moving) {
        if ((globalPos - m_pressGlobal).manhattanLength() < QApplication::startDragDistance()) {
            return false;
        }
        m_moving = true;
        QWindow* handle = m_window->windowHandle();
        if (handle != nullptr && handle->startSystemMove()) {
            // The window manager has the pointer now; it ends the move on release.
            m_window.clear();
            return true;
        }
    }
    m_window->move(m_windowStart + (globalPos - m_pressGlobal));
    return true;
}

void WindowDrag::release() {
    m_window.clear();
    m_moving = false;
}

} // namespace tavero::ui
