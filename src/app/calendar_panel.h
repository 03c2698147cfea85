// CalendarPanel: the day view of the main window. A month calendar whose days with recordings
// are bold, two hour strips (hours 0-11 and 12-23) and two minute strips (minutes 0-29 and
// 30-59 of the chosen hour) coloured where a recording exists; a click on a green minute gives
// the time to seek to. All days and hours are display time: recording time + the window's
// display offset, as the recorder stamped it.
//
// Thread: UI thread.
#pragma once

#include "app/gauge_geometry.h"
#include "app/recorder_clock.h"
#include "app/recording_list.h"

#include <array>
#include <cstdint>
#include <optional>
#include <set>

namespace tavero::app {

inline constexpr int kLevelNone = 0;
inline constexpr int kLevelRecorded = 2;
inline constexpr Rgb kStripGrey{0x68, 0x68, 0x68};
inline constexpr Rgb kStripGreen{0x00, 0xFF, 0x00};
inline constexpr int kHourCellsPerStrip = 12;
inline constexpr int kMinuteCellsPerStrip = 30;

// Strip A holds the first half (hours 0-11, minutes 0-29), strip B the second.
enum class Strip { A, B };

class CalendarPanel {
public:
    // Every day from a recording's display start to its display end, inclusive.
    [[nodiscard]] static std::set<CalendarDate> MarkedDays(const RecordingList& list,
                                                           std::int64_t timeOffset);

    // The list changed: bold days afresh, strips of `calendarDate` (the calendar's date now).
    void RefreshMarks(const RecordingList& list, std::int64_t timeOffset,
                      const CalendarDate& calendarDate);
    // The window moves the view to a day (the shown entry's or the playing time's): the
    // calendar selects it and the strips show it.
    void ShowDay(const CalendarDate& date, const RecordingList& list, std::int64_t timeOffset);
    // The user picked a day in the calendar. True when it differs from the day shown before.
    bool OnDateSelected(const CalendarDate& date, const RecordingList& list,
                        std::int64_t timeOffset);
    // Hour cell `cell` of a strip. True when the chosen hour changed (the minute strips then
    // show it). Cells outside the strip are ignored.
    bool OnHourClicked(Strip strip, int cell);
    // Minute cell `cell` of a strip: the recording time to seek to when the cell is green.
    [[nodiscard]] std::optional<std::int64_t> OnMinuteClicked(Strip strip, int cell,
                                                              std::int64_t timeOffset);

    [[nodiscard]] int hourLevel(int hour) const;
    [[nodiscard]] int minuteLevel(int hour, int minute) const;
    [[nodiscard]] Rgb hourCellColour(Strip strip, int cell) const;
    // Grey everywhere while no hour is chosen.
    [[nodiscard]] Rgb minuteCellColour(Strip strip, int cell) const;

    [[nodiscard]] const std::set<CalendarDate>& boldDays() const { return m_boldDays; }
    [[nodiscard]] int selectedHour() const { return m_selectedHour; }
    [[nodiscard]] int selectedMinute() const { return m_selectedMinute; }
    // The day whose strips are shown; none before the first day is chosen or shown.
    [[nodiscard]] std::optional<CalendarDate> viewedDate() const { return m_viewedDate; }
    // Set when the day or the chosen hour changed; the window clears it once it has reacted.
    [[nodiscard]] bool dayChanged() const { return m_dayChanged; }
    void ClearDayChanged() { m_dayChanged = false; }

private:
    void computeStrips(const CalendarDate& date, const RecordingList& list,
                       std::int64_t timeOffset);
    void markHour(int hour, int firstMinute, int lastMinute);

    std::array<int, 24> m_hourLevel{};
    std::array<std::array<int, 60>, 24> m_minuteLevel{};
    int m_selectedHour = -1;
    int m_selectedMinute = -1;
    std::optional<CalendarDate> m_viewedDate;
    bool m_dayChanged = false;
    std::set<CalendarDate> m_boldDays;
};

} // namespace tavero::app
