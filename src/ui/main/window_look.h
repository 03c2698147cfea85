// The look the window's standard widgets (lists, calendar, the source chooser) share with the
// generated skin: the speed display's dark blue-black as the base, light grey text, one accent.
//
// Thread: UI thread only.
#pragma once

#include <QColor>
#include <QPalette>

class QWidget;

namespace tavero::ui {

inline const QColor kWindowColour{0x10, 0x10, 0x18};
inline const QColor kPanelColour{0x16, 0x17, 0x20};
inline const QColor kBaseColour{0x0b, 0x0b, 0x11};
inline const QColor kTextColour{0xd0, 0xd4, 0xde};
inline const QColor kDimTextColour{0x80, 0x86, 0x94};
inline const QColor kAccentColour{0x4f, 0xc3, 0xf7};
inline const QColor kHighlightColour{0x2c, 0x6c, 0x92};

// Dark palette for standard widgets.
[[nodiscard]] QPalette windowPalette();

// Check boxes and radio buttons under `root` get rings and frames that show on the dark
// window (a light frame colour, a dark fill, a white mark).
void LightenIndicators(QWidget* root);

// A font size in pixels given for UI mode 0, for the mode in use (never below 8).
[[nodiscard]] int scaledPixels(int uiMode, int modeZeroPixels);

} // namespace tavero::ui
