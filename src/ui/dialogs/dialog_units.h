// The card dialogs are laid out in dialog units of an 8-point font, as the recorder's tools
// describe their pages: 1.5 pixels across and 1.625 pixels down per unit. The dialogs use that
// font, so that their texts fit the places the units give them.
//
// Thread: UI thread.
#pragma once

#include <QFont>
#include <QRect>
#include <QWidget>

namespace tavero::ui {

inline constexpr double kDialogFontPoints = 8.0;

[[nodiscard]] inline QRect Du(int x, int y, int w, int h) {
    return {x * 3 / 2, y * 13 / 8, w * 3 / 2, h * 13 / 8};
}

template <typename W> W* Place(W* widget, int x, int y, int w, int h) {
    widget->setGeometry(Du(x, y, w, h));
    return widget;
}

inline void UseDialogFont(QWidget* dialog) {
    QFont font = dialog->font();
    font.setPointSizeF(kDialogFontPoints);
    dialog->setFont(font);
}

} // namespace tavero::ui
