// The recordings of the opened source as the main window lists them (control 1005), in time
// order. The source chooser fills it; the playback controls, the day view and the timer read it.
// Entries point into the player's index, so the list is emptied whenever another source opens.
//
// Thread: UI thread.
#pragma once

#include "store/recording_entry.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavero::app {

// Column titles (English keys, translated by the window) and widths in pixels of list 1005.
struct ListColumn {
    std::string_view title;
    int widthPx;
};
inline constexpr ListColumn kMainListColumns[] = {
    {"RECORD TIME", 127}, {"TIME END", 127}, {"Total Times", 127}};

struct MainListRow {
    std::string start; // display start "YYYY-MM-DD HH:MM:SS"
    std::string end;
    std::string total; // duration "HH:MM:SS"
};

class RecordingList {
public:
    void Clear();
    void Append(const store::RecordingEntry& entry);

    [[nodiscard]] int size() const { return static_cast<int>(m_entries.size()); }
    [[nodiscard]] bool empty() const { return m_entries.empty(); }
    [[nodiscard]] bool contains(int index) const { return index >= 0 && index < size(); }
    // `index` must be contained.
    [[nodiscard]] const store::RecordingEntry& at(int index) const {
        return m_entries[static_cast<std::size_t>(index)];
    }
    [[nodiscard]] const std::vector<store::RecordingEntry>& entries() const { return m_entries; }
    // Changes whenever the list is emptied, so holders of an index into it can tell.
    [[nodiscard]] std::uint64_t generation() const { return m_generation; }

    // The entry being played: the last one (searching from the end) whose start is not later
    // than the last frame's time. -1 when that time is 0 or no entry qualifies.
    [[nodiscard]] int FindCurrentIndex(std::uint32_t lastFrameTime) const;
    // The first entry whose span holds `seconds` (start <= seconds <= end); -1 when none.
    [[nodiscard]] int FindEntryAt(std::int64_t seconds) const;

private:
    std::vector<store::RecordingEntry> m_entries;
    std::uint64_t m_generation = 0;
};

// "HH:MM:SS" of a duration in seconds; hours may exceed two digits. Negative durations (a damaged
// index) show as 00:00:00.
[[nodiscard]] std::string DurationText(std::int64_t seconds);

[[nodiscard]] MainListRow MainListRowTexts(const store::RecordingEntry& entry,
                                           std::int64_t timeOffset);

} // namespace tavero::app
