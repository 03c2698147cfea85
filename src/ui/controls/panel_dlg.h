// A channel window: where one channel's pictures are shown. It lives docked in its cell of the
// main window; double-clicks make it a free window whose client area is the picture's size, then
// cover the whole screen, then dock it again. Esc or closing the free window docks it. While a
// free window is resized and "keep ratio" holds, its height follows the picture's aspect ratio.
// A left press on a free window moves it, on a docked one it moves the main window.
//
// The engine presents into videoWindow() from the channel's video worker; the pictures are
// scaled there into the window's size and painted on the UI thread. The engine must stop
// presenting (its control destroyed, or the window unset) before this window is destroyed.
//
// Thread: UI thread, except videoWindow()'s calls, which any one worker thread may make.
#pragma once

#include "app/skin_math.h"
#include "engine/video_window.h"
#include "ui/controls/panel_picture.h"
#include "ui/controls/window_drag.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

namespace tavero::ui {

class CPanelDlg : public QWidget {
    Q_OBJECT

public:
    // `owner` is the main window; the channel window starts docked as its child.
    CPanelDlg(int channelIndex, QWidget* owner);
    ~CPanelDlg() override;

    [[nodiscard]] int channel() const { return m_channel; }
    [[nodiscard]] app::PanelState state() const { return m_state; }

    // The cell the window occupies while docked (owner's coordinates); moves it there when docked.
    void setDockedRect(const QRect& rect);
    [[nodiscard]] QRect dockedRect() const { return m_dockedRect; }

    // One step of the double-click cycle, and back to the cell from any state.
    void toggle();
    void dock();

    // The decoded picture size, for the title and the kept ratio; the window also learns it
    // from the pictures it is given.
    void setVideoSize(QSize size);
    [[nodiscard]] QSize videoSize() const { return m_videoSize; }

    // Asked at each resize of the free window (default: always keep the ratio).
    void setKeepRatio(std::function<bool()> keepRatio) { m_keepRatio = std::move(keepRatio); }
    // Called when the window needs its picture drawn again (the engine's repaint request).
    void setRepaintRequest(std::function<void()> repaint) { m_repaint = std::move(repaint); }

    [[nodiscard]] engine::VideoWindow& videoWindow();
    // The newest picture as it is painted (scaled to the client size); null before the first.
    [[nodiscard]] QImage shownPicture();
    [[nodiscard]] const PanelPicture& pictures() const { return m_picture; }
    // Different pictures painted on the UI thread (repaints of one picture count once).
    [[nodiscard]] std::uint64_t paintedPictures() const { return m_painted; }
    // Forgets the picture shown (a stopped channel shows black).
    void clearPicture();

Q_SIGNALS:
    void stateChanged(tavero::app::PanelState state);
    // The engine asks to hide or show the channel (the recorder switched it off or on).
    void visibilityRequested(int channel, bool visible);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    class Sink;
    friend class Sink;

    void pictureArrived();
    void setState(app::PanelState state);
    void retitle();

    int m_channel;
    QPointer<QWidget> m_owner;
    QRect m_dockedRect;
    app::PanelState m_state = app::PanelState::Docked;
    QSize m_videoSize;
    std::function<bool()> m_keepRatio;
    std::function<void()> m_repaint;
    PanelPicture m_picture;
    std::unique_ptr<Sink> m_sink;
    WindowDrag m_drag;
    bool m_keepingRatio = false; // a resize of our own is under way
    std::uint64_t m_painted = 0;
    std::uint64_t m_lastPaintedSerial = 0;
};

} // namespace tavero::ui
