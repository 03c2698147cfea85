// A dialog whose background is a skin bitmap copied at its own size to the top-left corner. It
// can be moved by pressing on its background, and can have a rounded window region. Without a
// background bitmap it keeps the palette's window colour.
//
// Thread: UI thread only.
#pragma once

#include "ui/controls/window_drag.h"

#include <QDialog>
#include <QPixmap>

namespace tavero::ui {

class CVxSkinDialog : public QDialog {
    Q_OBJECT

public:
    explicit CVxSkinDialog(QWidget* parent = nullptr, Qt::WindowFlags flags = {});

    // By bitmap id (0 for none); repaints.
    void setBackground(int bitmapId);
    [[nodiscard]] int backgroundId() const { return m_backgroundId; }
    // Size of the background bitmap; empty without one.
    [[nodiscard]] QSize backgroundSize() const { return m_background.size(); }
    void enableDragging(bool on) { m_dragEnabled = on; }
    // Rounded region with this corner ellipse; 0 turns it off.
    void enableRoundedRegion(int ellipseWidth, int ellipseHeight);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void applyRegion();

    int m_backgroundId = 0;
    QPixmap m_background;
    bool m_dragEnabled = false;
    int m_ellipseWidth = 0;
    int m_ellipseHeight = 0;
    WindowDrag m_drag;
};

} // namespace tavero::ui
