#include "ui/controls/panel_dlg.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

namespace tavero::ui {

// The engine's side of the window: called on the channel's video worker.
class CPanelDlg::Sink : public engine::VideoWindow {
public:
    explicit Sink(CPanelDlg* panel) : m_panel(panel) {}

    void Present(int /*channel*/, const QImage& picture, const engine::CropRect& crop) override {
        if (m_panel->m_picture.store(picture, crop)) {
            CPanelDlg* panel = m_panel;
            QMetaObject::invokeMethod(
                panel, [panel] { panel->pictureArrived(); }, Qt::QueuedConnection);
        }
    }

    void SetVisible(int channel, bool visible) override {
        CPanelDlg* panel = m_panel;
        QMetaObject::invokeMethod(
            panel,
            [panel, channel, visible] { Q_EMIT panel->visibilityRequested(channel, visible); },
            Qt::QueuedConnection);
    }

private:
    CPanelDlg* m_panel; // outlives the sink: the panel owns it
};

CPanelDlg::CPanelDlg(int channelIndex, QWidget* owner)
    : QWidget(owner), m_channel(channelIndex), m_owner(owner),
      m_sink(std::make_unique<Sink>(this)) {
    // Every pixel is painted from the picture (or black): no background erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
    m_keepRatio = [] { return true; };
}

CPanelDlg::~CPanelDlg() = default;

engine::VideoWindow& CPanelDlg::videoWindow() {
    return *m_sink;
}

void CPanelDlg::setDockedRect(const QRect& rect) {
    m_dockedRect = rect;
    if (m_state == app::PanelState::Docked) {
        setGeometry(rect);
    }
}

void CPanelDlg::setVideoSize(QSize size) {
    if (size == m_videoSize) {
        return;
    }
    m_videoSize = size;
    if (m_state == app::PanelState::Detached) {
        retitle();
    }
}

void CPanelDlg::retitle() {
    setWindowTitle(QString::fromStdString(
        app::panelTitle(m_channel, m_videoSize.width(), m_videoSize.height())));
}

void CPanelDlg::setState(app::PanelState state) {
    m_state = state;
    Q_EMIT stateChanged(state);
}

void CPanelDlg::toggle() {
    switch (app::nextPanelState(m_state)) {
    case app::PanelState::Detached: {
        setWindowFlags(Qt::Window);
        m_state = app::PanelState::Detached;
        retitle();
        if (!m_videoSize.isEmpty()) {
            resize(m_videoSize);
        }
        // Centred over the main window.
        if (QWidget* main = m_owner.isNull() ? nullptr : m_owner->window()) {
            QRect frame = frameGeometry();
            frame.moveCenter(main->frameGeometry().center());
            move(frame.topLeft());
        }
        show();
        setState(app::PanelState::Detached);
        break;
    }
    case app::PanelState::FullScreen: {
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        m_state = app::PanelState::FullScreen;
        if (QScreen* s = screen()) {
            setGeometry(s->geometry());
        }
        showFullScreen();
        setState(app::PanelState::FullScreen);
        break;
    }
    case app::PanelState::Docked:
        dock();
        break;
    }
}

void CPanelDlg::dock() {
    if (m_state == app::PanelState::Docked) {
        return;
    }
    const bool wasVisible = isVisible();
    setWindowState(Qt::WindowNoState);
    setWindowFlags(Qt::Widget);
    m_state = app::PanelState::Docked;
    setGeometry(m_dockedRect);
    setVisible(wasVisible);
    setState(app::PanelState::Docked);
}

void CPanelDlg::pictureArrived() {
    QSize pictureSize;
    (void)m_picture.latest(&pictureSize);
    if (!pictureSize.isEmpty()) {
        setVideoSize(pictureSize);
    }
    update();
}

QImage CPanelDlg::shownPicture() {
    return m_picture.latest();
}

void CPanelDlg::clearPicture() {
    m_picture.clear();
    update();
}

void CPanelDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    std::uint64_t serial = 0;
    const QImage frame = m_picture.latest(nullptr, &serial);
    if (frame.isNull()) {
        painter.fillRect(rect(), Qt::black);
        if (m_repaint) {
            m_repaint();
        }
        return;
    }
    if (serial != m_lastPaintedSerial) {
        m_lastPaintedSerial = serial;
        ++m_painted;
    }
    if (frame.size() == size()) {
        painter.drawImage(0, 0, frame);
        return;
    }
    // The window changed size since the picture was scaled: stretch it for now and ask for one
    // in the new size.
    painter.drawImage(rect(), frame);
    if (m_repaint) {
        m_repaint();
    }
}

void CPanelDlg::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_state == app::PanelState::Detached && !m_keepingRatio && m_keepRatio && m_keepRatio()) {
        const int h = app::keepRatioClientHeight(width(), m_videoSize.width(), m_videoSize.height(),
                                                 height());
        if (h != height()) {
            m_keepingRatio = true;
            resize(width(), h);
            m_keepingRatio = false;
        }
    }
    m_picture.setTargetSize(isVisible() ? size() : QSize());
}

void CPanelDlg::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_picture.setTargetSize(size());
}

void CPanelDlg::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    m_picture.setTargetSize(QSize());
}

void CPanelDlg::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_drag.release();
        toggle();
        event->accept();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

void CPanelDlg::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    switch (m_state) {
    case app::PanelState::Detached:
        m_drag.press(this, event->globalPosition().toPoint());
        break;
    case app::PanelState::Docked:
        if (QWidget* main = window(); main != nullptr && main != this) {
            m_drag.press(main, event->globalPosition().toPoint());
        }
        break;
    case app::PanelState::FullScreen:
        break;
    }
    event->accept();
}

void CPanelDlg::mouseMoveEvent(QMouseEvent* event) {
    if (!m_drag.move(event->globalPosition().toPoint())) {
        QWidget::mouseMoveEvent(event);
    }
}

void CPanelDlg::mouseReleaseEvent(QMouseEvent* event) {
    m_drag.release();
    QWidget::mouseReleaseEvent(event);
}

void CPanelDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && m_state != app::PanelState::Docked) {
        dock();
        event->accept();
        return;
    }
    // Docked, Esc belongs to the main window.
    QWidget::keyPressEvent(event);
}

void CPanelDlg::closeEvent(QCloseEvent* event) {
    if (m_state != app::PanelState::Docked) {
        event->ignore();
        dock();
        return;
    }
    QWidget::closeEvent(event);
}

} // namespace tavero::ui
