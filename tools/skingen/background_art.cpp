// The full-window backgrounds: a dark base, calm panels where the controls sit, recessed wells
// where the channel pictures and the gauges go, and (unless asked without it) the brand mark.
// Every place comes from the main window's control table, so panels and controls line up.

#include "app/skin_layout.h"
#include "skin_paint.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace tavero::skingen {

namespace {

using app::SkinGroup;
using app::SkinRect;

QRectF toRectF(const SkinRect& r) {
    return QRectF(r.x, r.y, r.w, r.h);
}

const SkinRect& rectOf(std::string_view control, int mode) {
    static const SkinRect none{};
    const app::SkinControl* c = app::findSkinControl(control);
    return c != nullptr ? c->rect[static_cast<std::size_t>(mode)] : none;
}

// Bounding box of the visible controls of some groups.
QRectF groupBox(std::initializer_list<SkinGroup> groups, int mode) {
    QRectF box;
    for (const app::SkinControl& c : app::skinControls()) {
        const SkinRect& r = c.rect[static_cast<std::size_t>(mode)];
        if (r.x == app::kOutOfSightLeft ||
            std::find(groups.begin(), groups.end(), c.group) == groups.end()) {
            continue;
        }
        box = box.isNull() ? toRectF(r) : box.united(toRectF(r));
    }
    return box;
}

void drawBase(QPainter& p, const SkinBitmap& entry) {
    const double radius = app::windowCornerEllipse(entry.mode) / 2.0;
    QLinearGradient fill(0, 0, 0, entry.height);
    fill.setColorAt(0.0, palette::kBaseTop);
    fill.setColorAt(0.5, palette::kBase);
    fill.setColorAt(1.0, palette::kBaseBottom);
    p.setPen(QPen(QColor(0x29, 0x29, 0x37), 1.0));
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(0.5, 0.5, entry.width - 1, entry.height - 1), radius, radius);
}

void label(QPainter& p, const QRectF& box, Qt::Alignment align, const QString& text) {
    p.drawText(box, static_cast<int>(align), text);
}

// The panel across the top: functions, transport, map buttons and the day view.
void drawHeader(QPainter& p, int mode, int layout, double f) {
    const double pad = std::round(10 * f);
    const QRectF buttons =
        groupBox({SkinGroup::Functions, SkinGroup::Transport, SkinGroup::Network}, mode);
    const QRectF day = groupBox({SkinGroup::DayView}, mode);
    QRectF header = buttons.united(day).adjusted(-pad, -pad, pad, pad);
    const double gridTop = app::backgroundCells(mode, 8).front().y;
    header.setBottom(std::min(header.bottom(), gridTop - 2));
    // Flush with the channel grid below it.
    const auto cells = app::backgroundCells(mode, layout);
    header.setLeft(std::min(header.left(), static_cast<double>(cells.front().x)));
    double gridRight = 0;
    for (const SkinRect& cell : cells) {
        gridRight = std::max(gridRight, static_cast<double>(cell.right()));
    }
    header.setRight(std::max(header.right(), gridRight));
    drawPanel(p, header, 6 * f);

    // Hairlines between the function, transport and map groups.
    const QRectF functions = groupBox({SkinGroup::Functions}, mode);
    const QRectF transport = groupBox({SkinGroup::Transport}, mode);
    const QRectF network = groupBox({SkinGroup::Network}, mode);
    p.setPen(QPen(palette::kPanelEdge, 1.0));
    for (double x :
         {(functions.right() + transport.left()) / 2, (transport.right() + network.left()) / 2}) {
        const double sx = std::floor(x) + 0.5;
        p.drawLine(QPointF(sx, buttons.top() + 2), QPointF(sx, buttons.bottom() - 2));
    }

    // Wells for the day view's strips and calendar, with the hours and minutes they start at.
    const double bevel = std::max(1.0, std::round(2 * f));
    const SkinRect& hourA = rectOf("Hour strip A", mode);
    const SkinRect& hourB = rectOf("Hour strip B", mode);
    const SkinRect& minuteA = rectOf("Minute strip A", mode);
    const SkinRect& minuteB = rectOf("Minute strip B", mode);
    for (const SkinRect* r : {&hourA, &hourB, &minuteA, &minuteB}) {
        drawWell(p, toRectF(*r).adjusted(-bevel, -bevel, bevel, bevel), 2 * f);
    }
    drawWell(p, toRectF(rectOf("Calendar", mode)).adjusted(-bevel, -bevel, bevel, bevel), 3 * f);

    const double text = std::max(8.0, 12 * f);
    p.setFont(skinFont(text));
    p.setPen(palette::kLabel);
    const double lift = text + 3 * f;
    auto above = [&](const SkinRect& r, double x, Qt::Alignment align, const QString& t) {
        const QRectF box = align & Qt::AlignRight
                               ? QRectF(x - 60 * f, r.y - lift, 60 * f, text * 1.3)
                               : QRectF(x, r.y - lift, 60 * f, text * 1.3);
        label(p, box, align | Qt::AlignVCenter, t);
    };
    above(hourA, hourA.x, Qt::AlignLeft, QStringLiteral("0"));
    above(hourB, hourB.x, Qt::AlignLeft, QStringLiteral("12"));
    above(hourB, hourB.right(), Qt::AlignRight, QStringLiteral("23"));
    above(minuteA, minuteA.x, Qt::AlignLeft, QStringLiteral("0"));
    above(minuteB, minuteB.x, Qt::AlignLeft, QStringLiteral("30"));
    above(minuteB, minuteB.right(), Qt::AlignRight, QStringLiteral("59"));
    p.setFont(skinFont(std::max(8.0, 13 * f), true));
    const double gap = 10 * f;
    auto caption = [&](const SkinRect& r, const QString& t) {
        label(p, QRectF(r.x - gap - 80 * f, r.y - 4 * f, 80 * f, r.h + 8 * f),
              Qt::AlignRight | Qt::AlignVCenter, t);
    };
    caption(hourA, QStringLiteral("h"));
    caption(minuteA, QStringLiteral("min"));
}

// The left column: compass, speed and graph above, the playback deck below.
void drawLeftColumn(QPainter& p, int mode, double f) {
    const double pad = std::round(12 * f);
    const QRectF instruments = groupBox({SkinGroup::Instruments}, mode);
    const QRectF deck = groupBox({SkinGroup::Deck}, mode);
    const double left = std::min(instruments.left(), deck.left()) - pad;
    const double right = std::max(instruments.right(), deck.right()) + pad;
    const double split = (instruments.bottom() + deck.top()) / 2;
    drawPanel(p, QRectF(QPointF(left, instruments.top() - pad), QPointF(right, split - 2 * f)),
              6 * f);
    drawPanel(p, QRectF(QPointF(left, split + 2 * f), QPointF(right, deck.bottom() + pad)), 6 * f);

    const double bevel = std::max(1.0, std::round(3 * f));
    for (const char* gauge : {"Compass", "G-sensor"}) {
        drawWell(p, toRectF(rectOf(gauge, mode)).adjusted(-bevel, -bevel, bevel, bevel), 6 * f);
    }
    // A bezel around the speed digits; the display fills it with the same base colour.
    const double rim = std::round(6 * f);
    const QRectF speed = toRectF(rectOf("Speed display", mode)).adjusted(-rim, -rim, rim, rim);
    drawWell(p, speed, 5 * f);
    p.setPen(Qt::NoPen);
    p.setBrush(palette::kBase);
    p.drawRoundedRect(speed.adjusted(2, 2, -2, -2), 4 * f, 4 * f);
}

void drawCells(QPainter& p, const SkinBitmap& entry, double f) {
    const auto cells = app::backgroundCells(entry.mode, entry.layout);
    const double bevel = std::max(1.0, std::round(2 * f));
    p.setFont(skinFont(std::max(9.0, 22 * f), true));
    for (std::size_t k = 0; k < cells.size(); ++k) {
        const QRectF cell = toRectF(cells[k]);
        drawWell(p, cell.adjusted(-bevel, -bevel, bevel, bevel), 3 * f);
        // The 8-channel grid's ninth cell holds the lists and the map, not a channel.
        if (entry.layout == 8 && k == 8) {
            continue;
        }
        p.setPen(palette::kFaint);
        label(p, cell, Qt::AlignCenter, QStringLiteral("CH%1").arg(k + 1));
    }
}

void drawBrand(QPainter& p, int mode, double f) {
    const QRectF instruments = groupBox({SkinGroup::Instruments}, mode);
    const double top = 14 * f;
    const double bottom = instruments.top() - 12 * f - 6 * f;
    const double h = bottom - top;
    if (h < 8) {
        return;
    }
    const QRectF deck = groupBox({SkinGroup::Deck}, mode);
    const double left = std::min(instruments.left(), deck.left());
    const double side = h * 0.8;
    const QRectF emblem(left, top + (h - side) / 2, side, side);
    p.setPen(QPen(palette::kAccent, std::max(1.2, 2.2 * f)));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(emblem, side * 0.22, side * 0.22);
    drawIcon(p, Icon::Play, emblem.adjusted(side * 0.26, side * 0.26, -side * 0.2, -side * 0.26),
             palette::kAccent);

    QFont word = skinFont(h * 0.5, true);
    word.setLetterSpacing(QFont::AbsoluteSpacing, 3 * f);
    p.setFont(word);
    p.setPen(QColor(0xb4, 0xba, 0xc8));
    const QRectF text(emblem.right() + 10 * f, top, 400 * f, h);
    p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("TAVERO"));
    const double used = QFontMetricsF(word).horizontalAdvance(QStringLiteral("TAVERO"));
    QFont small = skinFont(h * 0.3);
    small.setLetterSpacing(QFont::AbsoluteSpacing, 2 * f);
    p.setFont(small);
    p.setPen(palette::kLabel);
    p.drawText(text.adjusted(used + 8 * f, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("PLAYER"));
}

} // namespace

QImage paintBackground(const SkinBitmap& entry) {
    QImage image = blankImage(entry.width, entry.height);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    const double f = modeScale(entry.mode);
    drawBase(p, entry);
    drawHeader(p, entry.mode, entry.layout, f);
    drawLeftColumn(p, entry.mode, f);
    drawCells(p, entry, f);
    if (!entry.noMark) {
        drawBrand(p, entry.mode, f);
    }
    return image;
}

} // namespace tavero::skingen
