// Moving a window by pressing anywhere on it, as if its caption had been pressed. The move starts
// once the pointer has travelled the platform's drag distance (so double-clicks stay clicks); the
// window manager moves the window where it can, otherwise the window follows the pointer.
//
// Thread: UI thread only.
#pragma once

#include <QPoint>
#include <QPointer>
#include <QWidget>

namespace tavero::ui {

class WindowDrag {
public:
    // Left button down at `globalPos` over something that moves `window` (a top-level widget).
    void press(QWidget* window, QPoint globalPos);
    // Pointer moved with the button held. True while the window is being moved.
    bool move(QPoint globalPos);
    void release();
    [[nodiscard]] bool active() const { return !m_window.isNull(); }

private:
    QPointer<QWidget> m_window;
    QPoint m_pressGlobal;
    QPoint m_windowStart;
    bool m_moving = false;
};

} // namespace tavero::ui
