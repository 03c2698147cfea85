#include "ui/main/day_view.h"

#include "ui/main/window_look.h"

#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QTextCharFormat>
#include <QToolButton>

namespace tavero::ui {

DayStrip::DayStrip(QWidget* parent, int cells) : QWidget(parent), m_cells(cells) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::PointingHandCursor);
}

void DayStrip::setSelectedCell(int cell) {
    if (cell != m_selected) {
        m_selected = cell;
        update();
    }
}

void DayStrip::setPlayheadCell(int cell) {
    if (cell != m_playhead) {
        m_playhead = cell;
        update();
    }
}

QRect DayStrip::cellRect(int cell) const {
    const int x0 = cell * width() / m_cells;
    const int x1 = (cell + 1) * width() / m_cells;
    return {x0, 0, x1 - x0, height()};
}

int DayStrip::cellAt(int x) const {
    if (x < 0 || x >= width() || width() <= 0) {
        return -1;
    }
    return std::min(m_cells - 1, x * m_cells / width());
}

void DayStrip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), kWindowColour);
    for (int i = 0; i < m_cells; ++i) {
        const app::Rgb c = m_colourOf ? m_colourOf(i) : app::kStripGrey;
        // One pixel of the window's colour between cells keeps them countable.
        const QRect r = cellRect(i).adjusted(0, 0, -1, 0);
        p.fillRect(r, QColor(c.r, c.g, c.b));
    }
    if (m_playhead >= 0 && m_playhead < m_cells) {
        const QRect r = cellRect(m_playhead).adjusted(0, 0, -1, 0);
        const int bar = std::max(2, height() / 4);
        p.fillRect(QRect(r.left(), r.bottom() - bar + 1, r.width(), bar), Qt::white);
    }
    if (m_selected >= 0 && m_selected < m_cells) {
        p.setPen(QPen(Qt::white, 1));
        p.drawRect(cellRect(m_selected).adjusted(0, 0, -2, -1));
    }
}

void DayStrip::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const int cell = cellAt(event->position().toPoint().x());
    if (cell >= 0) {
        Q_EMIT cellClicked(cell);
    }
    event->accept();
}

namespace {

// The month arrows, in the text colour of the skin (the style's own are green balls).
QIcon chevron(int size, bool pointsRight) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(
        QPen(kTextColour, std::max(1.5, size / 6.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const double a = size * 0.35;
    const double b = size * 0.65;
    if (pointsRight) {
        p.drawPolyline(
            QPolygonF({QPointF(a, size * 0.2), QPointF(b, size * 0.5), QPointF(a, size * 0.8)}));
    } else {
        p.drawPolyline(
            QPolygonF({QPointF(b, size * 0.2), QPointF(a, size * 0.5), QPointF(b, size * 0.8)}));
    }
    return QIcon(pixmap);
}

} // namespace

DayCalendar::DayCalendar(QWidget* parent, int uiMode) : QCalendarWidget(parent) {
    setPalette(windowPalette());
    setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    setGridVisible(false);
    // Condensed, so that the short day names fit the narrow columns.
    QFont f(QStringLiteral("DejaVu Sans Condensed"));
    f.setPixelSize(scaledPixels(uiMode, 11));
    setFont(f);
    // The month buttons' arrows follow the font; the month menu is kept, the year spin box too.
    // The month button's menu arrow would draw as a stray underscore at these sizes.
    for (QToolButton* b : findChildren<QToolButton*>()) {
        b->setFont(f);
        b->setStyleSheet(
            QStringLiteral("QToolButton { color: #d0d4de; background: transparent; border: none; }"
                           "QToolButton:hover { color: #ffffff; }"
                           "QToolButton::menu-indicator { image: none; width: 0px; }"));
    }
    const int arrow = std::max(8, f.pixelSize());
    if (auto* prev = findChild<QToolButton*>(QStringLiteral("qt_calendar_prevmonth"))) {
        prev->setIcon(chevron(arrow, false));
    }
    if (auto* next = findChild<QToolButton*>(QStringLiteral("qt_calendar_nextmonth"))) {
        next->setIcon(chevron(arrow, true));
    }
    connect(this, &QCalendarWidget::clicked, this,
            [this](QDate date) { Q_EMIT dayChosen(fromQDate(date)); });
    connect(this, &QCalendarWidget::activated, this,
            [this](QDate date) { Q_EMIT dayChosen(fromQDate(date)); });
}

QDate DayCalendar::toQDate(const app::CalendarDate& d) {
    return {d.year, d.month, d.day};
}

app::CalendarDate DayCalendar::fromQDate(QDate date) {
    return {date.year(), date.month(), date.day()};
}

void DayCalendar::setBoldDays(const std::set<app::CalendarDate>& days) {
    // Clearing every format also clears the weekend colours, so they are set again below.
    setDateTextFormat(QDate(), QTextCharFormat());
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Black);
    bold.setForeground(kAccentColour);
    for (const app::CalendarDate& d : days) {
        setDateTextFormat(toQDate(d), bold);
    }
    m_bold = days;
}

void DayCalendar::showDate(const app::CalendarDate& date) {
    const QSignalBlocker blocker(this);
    setSelectedDate(toQDate(date));
}

} // namespace tavero::ui
