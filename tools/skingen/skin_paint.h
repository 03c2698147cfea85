// The painters of the skin: one calm, dark instrument-panel look for every bitmap, drawn with
// QPainter from the description alone (no artwork is read from anywhere).
//
// Thread: QPainter on QImage; the generator draws on its main thread.
#pragma once

#include "skin_description.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRectF>

class QPainter;

namespace tavero::skingen {

// Colours of the look. The base is the speed display's background, so the display sits in the
// panel without a seam.
namespace palette {
inline const QColor kBase{0x10, 0x10, 0x18};
inline const QColor kBaseTop{0x15, 0x15, 0x20};
inline const QColor kBaseBottom{0x0c, 0x0c, 0x13};
inline const QColor kPanelTop{0x1c, 0x1c, 0x27};
inline const QColor kPanelBottom{0x16, 0x16, 0x1f};
inline const QColor kPanelEdge{0x2b, 0x2b, 0x3a};
inline const QColor kPanelHighlight{0x34, 0x34, 0x46};
inline const QColor kWell{0x07, 0x07, 0x0b};
inline const QColor kWellShadow{0x02, 0x02, 0x04};
inline const QColor kWellLight{0x2a, 0x2a, 0x38};
inline const QColor kIcon{0xc8, 0xcd, 0xda};
inline const QColor kIconHover{0xff, 0xff, 0xff};
inline const QColor kIconDisabled{0x4a, 0x4d, 0x5a};
inline const QColor kAccent{0x4c, 0xc2, 0xff};
inline const QColor kAccentDim{0x2c, 0x6c, 0x92};
inline const QColor kMarkOut{0xff, 0xa6, 0x3c};
inline const QColor kLabel{0x6e, 0x74, 0x86};
inline const QColor kFaint{0x26, 0x27, 0x33};
inline const QColor kDigitGreen{0x00, 0xff, 0x00};
inline const QColor kDanger{0xc8, 0x3c, 0x3c};
} // namespace palette

// The four looks of a strip, in frame order.
enum class FrameLook { Normal = 0, MouseOver = 1, Pressed = 2, Disabled = 3 };

// An empty, fully transparent picture of the entry's size.
[[nodiscard]] QImage blankImage(int width, int height);

// DejaVu Sans at a pixel size (the font package the setup installs, so sizes agree everywhere).
[[nodiscard]] QFont skinFont(double pixelSize, bool bold = false);

// A raised panel: soft vertical gradient, a hairline edge and a highlight along its top.
void drawPanel(QPainter& p, const QRectF& r, double radius);
// A recessed well: dark fill, shadow on top and left, a faint light edge at the bottom right.
void drawWell(QPainter& p, const QRectF& r, double radius);
// A button face in one of the four looks.
void drawButtonFace(QPainter& p, const QRectF& r, double radius, FrameLook look,
                    bool danger = false);
// Colour of an icon on a face in a look.
[[nodiscard]] QColor iconColour(FrameLook look);

// A vector icon centred in `box` (its size decides the stroke widths).
void drawIcon(QPainter& p, Icon icon, const QRectF& box, const QColor& colour);

[[nodiscard]] QImage paintButtonStrip(const SkinBitmap& entry);
[[nodiscard]] QImage paintSliderTrack(const SkinBitmap& entry);
[[nodiscard]] QImage paintSliderThumb(const SkinBitmap& entry);
[[nodiscard]] QImage paintMarkThumb(const SkinBitmap& entry);
[[nodiscard]] QImage paintBitmapSliderChannel(const SkinBitmap& entry);
[[nodiscard]] QImage paintBitmapSliderThumb(const SkinBitmap& entry);
[[nodiscard]] QImage paintGraphBackground(const SkinBitmap& entry);
[[nodiscard]] QImage paintCompassBackground(const SkinBitmap& entry);
[[nodiscard]] QImage paintNeedle(const SkinBitmap& entry);
[[nodiscard]] QImage paintUnitBadge(const SkinBitmap& entry);
[[nodiscard]] QImage paintBackground(const SkinBitmap& entry);

// The painter for the entry's kind.
[[nodiscard]] QImage paintBitmap(const SkinBitmap& entry);

} // namespace tavero::skingen
