// A button drawn from a skin strip: four frames side by side (normal, mouse over, pressed or
// checked, disabled), or five with a transparency mask as the fifth. Its kind decides what a
// release over it does: nothing to its state (push), invert the check (toggle) or check it
// (radio). A release outside the button does nothing.
//
// Thread: UI thread only.
#pragma once

#include "app/skin_math.h"

#include <QAbstractButton>
#include <QColor>
#include <QPixmap>
#include <array>

namespace tavero::ui {

enum class SkinButtonKind { Push, Toggle, Radio };

class CVxSkinButton : public QAbstractButton {
    Q_OBJECT

public:
    explicit CVxSkinButton(QWidget* parent = nullptr, SkinButtonKind kind = SkinButtonKind::Push);

    // Skin bitmap by id (0 for none), focus rectangle inset (none when 0 or less), text colour,
    // and whether the strip carries a mask frame. A bitmap the skin lacks leaves the button
    // without frames.
    void setSkin(int bitmapId, int focusInset = 0, QColor textColour = QColor(0xd0, 0xd4, 0xde),
                 bool transparent = false);
    void setTip(const QString& text) { setToolTip(text); }

    [[nodiscard]] SkinButtonKind kind() const { return m_kind; }
    [[nodiscard]] int skinId() const { return m_bitmapId; }
    [[nodiscard]] int frameWidth() const { return m_frameWidth; }
    [[nodiscard]] int frameHeight() const { return m_frameHeight; }
    [[nodiscard]] bool isMouseOver() const { return m_mouseOver; }
    // The frame the button shows now.
    [[nodiscard]] app::SkinFrame currentFrame() const;

    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void nextCheckState() override;

    // Draws the current frame and the text; sliders add their thumbs on top.
    void paintSkin(QPainter& painter);

private:
    void loadFrames();

    SkinButtonKind m_kind;
    int m_bitmapId = 0;
    bool m_transparent = false;
    int m_focusInset = 0;
    QColor m_textColour;
    int m_frameWidth = 0;
    int m_frameHeight = 0;
    std::array<QPixmap, app::kOpaqueStripFrames> m_frames; // null when the skin lacks the bitmap
    bool m_mouseOver = false;
};

} // namespace tavero::ui
