// Skinned sliders: a skinned button whose strip is the track, with one thumb
// (CVxSkinSldButton) or two marks (CVxSkinSldButton2). They report to their owner with
// sliderMessage(message, messageId, value): kMsgSliderPressed when the left button goes down on
// the control, kMsgSliderMoved while it is held and the fraction under the pointer changed,
// kMsgSliderReleased when it goes up. A held pointer may leave the control, so values beyond the
// range are reported during a drag; the thumb stays on the track.
//
// Thread: UI thread only.
#pragma once

#include "ui/controls/vx_skin_button.h"

#include <array>

namespace tavero::ui {

class CVxSkinSldButton : public CVxSkinButton {
    Q_OBJECT

public:
    explicit CVxSkinSldButton(QWidget* parent = nullptr, app::SliderOrientation orientation =
                                                             app::SliderOrientation::Horizontal);

    void setThumb(int bitmapId);
    void setMessageId(int id) { m_messageId = id; }
    [[nodiscard]] int messageId() const { return m_messageId; }
    void setRange(int minimum, int maximum);
    // Moves the thumb to the value (kept on the track); the value itself is stored as given.
    void setValue(int value);
    [[nodiscard]] int minimum() const { return m_minimum; }
    [[nodiscard]] int maximum() const { return m_maximum; }
    [[nodiscard]] int value() const { return m_value; }
    [[nodiscard]] double fraction() const { return m_fraction; }
    [[nodiscard]] bool isDragging() const { return m_dragging; }
    // Where the thumb is drawn; empty without a thumb bitmap.
    [[nodiscard]] QRect thumbRect() const;

Q_SIGNALS:
    void sliderMessage(int message, int messageId, int value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    [[nodiscard]] double fractionAt(QPoint pos) const;

    app::SliderOrientation m_orientation;
    int m_thumbId = 0;
    QPixmap m_thumb;
    int m_messageId = 0;
    int m_minimum = 0;
    int m_maximum = 100;
    int m_value = 0;
    double m_fraction = 0.0;
    bool m_dragging = false;
};

// The mark bar: two thumbs, mark 0 (start) and mark 1 (end), over one range. A press takes the
// mark whose thumb is nearer; its value is what the messages carry.
class CVxSkinSldButton2 : public CVxSkinButton {
    Q_OBJECT

public:
    explicit CVxSkinSldButton2(QWidget* parent = nullptr);

    void setThumb(int mark, int bitmapId);
    void setMessageId(int id) { m_messageId = id; }
    [[nodiscard]] int messageId() const { return m_messageId; }
    void setRange(int minimum, int maximum);
    void setMarkValue(int mark, int value);
    [[nodiscard]] int markValue(int mark) const;
    [[nodiscard]] int minimum() const { return m_minimum; }
    [[nodiscard]] int maximum() const { return m_maximum; }
    // The mark being dragged, or -1.
    [[nodiscard]] int draggedMark() const { return m_dragged; }
    [[nodiscard]] QRect thumbRect(int mark) const;

Q_SIGNALS:
    void sliderMessage(int message, int messageId, int value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    struct Mark {
        int thumbId = 0;
        QPixmap thumb;
        int value = 0;
        double fraction = 0.0;
    };
    [[nodiscard]] double fractionAt(QPoint pos) const;
    [[nodiscard]] int nearestMark(QPoint pos) const;

    std::array<Mark, 2> m_marks;
    int m_messageId = 0;
    int m_minimum = 0;
    int m_maximum = 1;
    int m_dragged = -1;
};

} // namespace tavero::ui
