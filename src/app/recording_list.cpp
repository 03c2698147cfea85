#include "app/recording_list.h"

#include "app/recorder_clock.h"

#include <cstdio>

namespace tavero::app {

void RecordingList::Clear() {
    m_entries.clear();
    ++m_generation;
}

void RecordingList::Append(const store::RecordingEntry& entry) {
    m_entries.push_back(entry);
}

int RecordingList::FindCurrentIndex(std::uint32_t lastFrameTime) const {
    if (lastFrameTime == 0) {
        return -1;
    }
    for (int i = size() - 1; i >= 0; --i) {
        if (at(i).start <= static_cast<std::int64_t>(lastFrameTime)) {
            return i;
        }
    }
    return -1;
}

int RecordingList::FindEntryAt(std::int64_t seconds) const {
    for (int i = 0; i < size(); ++i) {
        if (at(i).start <= seconds && seconds <= at(i).end) {
            return i;
        }
    }
    return -1;
}

std::string DurationText(std::int64_t seconds) {
    if (seconds < 0) {
        seconds = 0;
    }
    char text[40];
    std::snprintf(text, sizeof text, "%02lld:%02d:%02d", static_cast<long long>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    return text;
}

MainListRow MainListRowTexts(const store::RecordingEntry& entry, std::int64_t timeOffset) {
    return MainListRow{FormatRecorderTime(entry.start + timeOffset),
                       FormatRecorderTime(entry.end + timeOffset),
                       DurationText(entry.end - entry.start)};
}

} // namespace tavero::app
