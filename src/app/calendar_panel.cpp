#include "app/calendar_panel.h"

namespace tavero::app {
namespace {

// A damaged index can name spans of decades; nobody browses more than this many days of one
// recording in the calendar.
constexpr int kMaxMarkedDaysPerRecording = 3660;

Rgb LevelColour(int level) {
    return level == kLevelRecorded ? kStripGreen : kStripGrey;
}

} // namespace

std::set<CalendarDate> CalendarPanel::MarkedDays(const RecordingList& list,
                                                 std::int64_t timeOffset) {
    std::set<CalendarDate> days;
    for (const store::RecordingEntry& e : list.entries()) {
        const std::int64_t s = e.start + timeOffset;
        const std::int64_t end = e.end + timeOffset;
        if (s > end) {
            continue;
        }
        CalendarDate day = DateOf(s);
        const CalendarDate last = DateOf(end);
        for (int n = 0; n < kMaxMarkedDaysPerRecording && day <= last; ++n) {
            days.insert(day);
            day = NextDay(day);
        }
    }
    return days;
}

void CalendarPanel::RefreshMarks(const RecordingList& list, std::int64_t timeOffset,
                                 const CalendarDate& calendarDate) {
    m_boldDays = MarkedDays(list, timeOffset);
    computeStrips(calendarDate, list, timeOffset);
}

void CalendarPanel::ShowDay(const CalendarDate& date, const RecordingList& list,
                            std::int64_t timeOffset) {
    if (m_viewedDate != date) {
        m_dayChanged = true;
    }
    computeStrips(date, list, timeOffset);
}

bool CalendarPanel::OnDateSelected(const CalendarDate& date, const RecordingList& list,
                                   std::int64_t timeOffset) {
    const bool changed = m_viewedDate != date;
    if (changed) {
        m_dayChanged = true;
    }
    computeStrips(date, list, timeOffset);
    return changed;
}

void CalendarPanel::markHour(int hour, int firstMinute, int lastMinute) {
    auto& minutes = m_minuteLevel[static_cast<std::size_t>(hour)];
    m_hourLevel[static_cast<std::size_t>(hour)] = kLevelRecorded;
    for (int m = firstMinute; m <= lastMinute; ++m) {
        minutes[static_cast<std::size_t>(m)] = kLevelRecorded;
    }
}

void CalendarPanel::computeStrips(const CalendarDate& date, const RecordingList& list,
                                  std::int64_t timeOffset) {
    // The strips always show the day they were computed for, so a minute click seeks into it.
    m_viewedDate = date;
    m_hourLevel.fill(kLevelNone);
    for (auto& minutes : m_minuteLevel) {
        minutes.fill(kLevelNone);
    }
    const std::int64_t d0 = DayStart(date);
    const std::int64_t d1 = FromWallClock(WallClock{date, 23, 59, 59});
    for (const store::RecordingEntry& e : list.entries()) {
        const std::int64_t s = e.start + timeOffset;
        const std::int64_t end = e.end + timeOffset;
        if (s > end || s > d1 || end < d0) {
            continue;
        }
        const WallClock sw = ToWallClock(s);
        const WallClock ew = ToWallClock(end);
        if (s <= d0 && end >= d1) {
            for (int h = 0; h < 24; ++h) {
                markHour(h, 0, 59);
            }
        } else if (s <= d0) {
            for (int h = 0; h < ew.hour; ++h) {
                markHour(h, 0, 59);
            }
            markHour(ew.hour, 0, ew.minute);
        } else if (end >= d1) {
            markHour(sw.hour, sw.minute, 59);
            for (int h = sw.hour + 1; h < 24; ++h) {
                markHour(h, 0, 59);
            }
        } else if (sw.hour < ew.hour) {
            markHour(sw.hour, sw.minute, 59);
            for (int h = sw.hour + 1; h < ew.hour; ++h) {
                markHour(h, 0, 59);
            }
            markHour(ew.hour, 0, ew.minute);
        } else {
            markHour(sw.hour, sw.minute, ew.minute);
        }
    }
}

bool CalendarPanel::OnHourClicked(Strip strip, int cell) {
    if (cell < 0 || cell >= kHourCellsPerStrip) {
        return false;
    }
    const int hour = cell + (strip == Strip::B ? kHourCellsPerStrip : 0);
    const bool changed = hour != m_selectedHour;
    if (changed) {
        m_dayChanged = true;
    }
    m_selectedHour = hour;
    return changed;
}

std::optional<std::int64_t> CalendarPanel::OnMinuteClicked(Strip strip, int cell,
                                                           std::int64_t timeOffset) {
    if (cell < 0 || cell >= kMinuteCellsPerStrip) {
        return std::nullopt;
    }
    m_selectedMinute = cell + (strip == Strip::B ? kMinuteCellsPerStrip : 0);
    if (m_selectedHour < 0 || !m_viewedDate ||
        minuteLevel(m_selectedHour, m_selectedMinute) != kLevelRecorded) {
        return std::nullopt;
    }
    return FromWallClock(WallClock{*m_viewedDate, m_selectedHour, m_selectedMinute, 0}) -
           timeOffset;
}

int CalendarPanel::hourLevel(int hour) const {
    return hour >= 0 && hour < 24 ? m_hourLevel[static_cast<std::size_t>(hour)] : kLevelNone;
}

int CalendarPanel::minuteLevel(int hour, int minute) const {
    if (hour < 0 || hour >= 24 || minute < 0 || minute >= 60) {
        return kLevelNone;
    }
    return m_minuteLevel[static_cast<std::size_t>(hour)][static_cast<std::size_t>(minute)];
}

Rgb CalendarPanel::hourCellColour(Strip strip, int cell) const {
    return LevelColour(hourLevel(cell + (strip == Strip::B ? kHourCellsPerStrip : 0)));
}

Rgb CalendarPanel::minuteCellColour(Strip strip, int cell) const {
    if (m_selectedHour < 0) {
        return kStripGrey;
    }
    return LevelColour(
        minuteLevel(m_selectedHour, cell + (strip == Strip::B ? kMinuteCellsPerStrip : 0)));
}

} // namespace tavero::app
