// The day view's controls: the month calendar with the days that hold recordings in bold, and
// the one-row strips of hours and minutes coloured where recordings exist. Which cell has which
// colour, and what a click means, is CalendarPanel's; these widgets draw and report clicks.
//
// Thread: UI thread only.
#pragma once

#include "app/calendar_panel.h"

#include <QCalendarWidget>
#include <QWidget>
#include <functional>
#include <set>

namespace tavero::ui {

// One strip of equal cells without text, read-only: a click reports the cell under the pointer.
class DayStrip : public QWidget {
    Q_OBJECT

public:
    DayStrip(QWidget* parent, int cells);

    // Colour of each cell, asked at every paint.
    void setColours(std::function<app::Rgb(int)> colourOf) { m_colourOf = std::move(colourOf); }
    // The chosen cell is outlined; -1 outlines none.
    void setSelectedCell(int cell);
    [[nodiscard]] int selectedCell() const { return m_selected; }
    // The cell of the time being played gets a bar along its bottom; -1 for none.
    void setPlayheadCell(int cell);
    [[nodiscard]] int playheadCell() const { return m_playhead; }
    [[nodiscard]] int cells() const { return m_cells; }
    // The cell at x in this strip's pixels; -1 outside.
    [[nodiscard]] int cellAt(int x) const;
    [[nodiscard]] QRect cellRect(int cell) const;

Q_SIGNALS:
    void cellClicked(int cell);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    int m_cells;
    int m_selected = -1;
    int m_playhead = -1;
    std::function<app::Rgb(int)> m_colourOf;
};

// The month calendar of the day view.
class DayCalendar : public QCalendarWidget {
    Q_OBJECT

public:
    DayCalendar(QWidget* parent, int uiMode);

    // The bold days, replacing the earlier ones.
    void setBoldDays(const std::set<app::CalendarDate>& days);
    // Selects the date without reporting it as the user's choice.
    void showDate(const app::CalendarDate& date);

    [[nodiscard]] static QDate toQDate(const app::CalendarDate& date);
    [[nodiscard]] static app::CalendarDate fromQDate(QDate date);

Q_SIGNALS:
    // The user picked a day.
    void dayChosen(tavero::app::CalendarDate date);

private:
    std::set<app::CalendarDate> m_bold;
};

} // namespace tavero::ui
