// A slider drawn from a channel bitmap and a thumb bitmap (the volume). A press on the channel
// moves the thumb under the pointer and starts a drag; every change of position made by the user
// is reported as positionMessage(kMsgBitmapSliderMoved, controlId, position).
//
// Thread: UI thread only.
#pragma once

#include "app/skin_math.h"

#include <QColor>
#include <QPixmap>
#include <QWidget>

namespace tavero::ui {

class CBitmapSlider : public QWidget {
    Q_OBJECT

public:
    explicit CBitmapSlider(QWidget* parent = nullptr,
                           app::SliderOrientation orientation = app::SliderOrientation::Horizontal);

    // Channel and thumb by bitmap id; pixels of `transparent` (when valid) are not drawn.
    void setBitmaps(int channelId, int thumbId, QColor transparent = QColor());
    void setRange(int minimum, int maximum);
    // Kept inside the range.
    void setPos(int position);
    [[nodiscard]] int pos() const { return m_position; }
    [[nodiscard]] int minimum() const { return m_minimum; }
    [[nodiscard]] int maximum() const { return m_maximum; }
    void setMargins(int left, int top, int right, int bottom);
    void setPageSize(int size) { m_pageSize = size > 0 ? size : 1; }
    void setControlId(int id) { m_controlId = id; }
    [[nodiscard]] int controlId() const { return m_controlId; }
    [[nodiscard]] bool isDragging() const { return m_dragging; }
    // Centre of the thumb along the track, in client pixels.
    [[nodiscard]] int thumbCentre() const;

    [[nodiscard]] QSize sizeHint() const override;

Q_SIGNALS:
    void positionMessage(int message, int controlId, int position);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Track arithmetic runs along x; a vertical slider uses y and the top and bottom margins.
    [[nodiscard]] int extent() const;
    [[nodiscard]] int thumbExtent() const;
    [[nodiscard]] app::SliderMargins alongMargins() const;
    void moveByUser(int position);

    app::SliderOrientation m_orientation;
    QPixmap m_channel;
    QPixmap m_thumb;
    int m_minimum = 0;
    int m_maximum = 100;
    int m_position = 0;
    app::SliderMargins m_margins;
    int m_pageSize = 1;
    int m_controlId = 0;
    bool m_dragging = false;
};

} // namespace tavero::ui
