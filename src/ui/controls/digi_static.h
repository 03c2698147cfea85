// A segment display (the speed display): each character of its text takes one cell; digits are
// drawn with seven segments, letters with fourteen, ':' and '.' in narrow cells. Lit segments in
// the lit colour on the background colour; unlit segments are not drawn. The cells are centred
// and keep a digit's proportions whatever the control's size.
//
// Thread: UI thread only.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace tavero::ui {

class CDigiStatic : public QWidget {
    Q_OBJECT

public:
    explicit CDigiStatic(QWidget* parent = nullptr);

    void setColours(QColor background, QColor lit);
    void setText(const QString& text);
    [[nodiscard]] const QString& text() const { return m_text; }
    [[nodiscard]] QColor background() const { return m_background; }
    [[nodiscard]] QColor lit() const { return m_lit; }
    // Where the character at `index` is drawn (empty for an index out of the text).
    [[nodiscard]] QRectF cellRect(int index) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text = QStringLiteral("000");
    QColor m_background{0x10, 0x10, 0x18};
    QColor m_lit{0x00, 0xff, 0x00};
};

} // namespace tavero::ui
