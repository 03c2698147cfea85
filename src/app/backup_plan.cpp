#include "app/backup_plan.h"

#include "store/packed_time.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace tavero::app {

bool BackupSelection::Add(store::IndexRecord* record) {
    if (std::find(records.begin(), records.end(), record) != records.end()) {
        return true;
    }
    ++requested;
    if (records.size() >= kMaxBackupRecords) {
        truncated = true;
        return false;
    }
    if (records.empty()) {
        lowestStart = record->startUnit;
        highestEnd = record->endUnit;
    } else {
        lowestStart = std::min(lowestStart, record->startUnit);
        highestEnd = std::max(highestEnd, record->endUnit);
    }
    records.push_back(record);
    return true;
}


BackupSelection CollectEntryRecords(std::span<const store::RecordingEntry> chosen,
                                    const NextRecordFn& next) {
    BackupSelection selection;
    for (const store::RecordingEntry& entry : chosen) {
        // The walk ends where the entry's chain stopped; a damaged chain that never gets there
        // ends after every record of the index at the latest.
        std::size_t steps = 0;
        for (store::IndexRecord* r = entry.firstRecord;
             r != nullptr && r != entry.next && steps <= kMaxRecordWalk; r = next(r), ++steps) {
            (void)selection.Add(r);
        }
    }
    return selection;
}

std::int64_t RecordShift(const store::IndexRecord& record, std::int64_t displayOffset) {
    return std::int64_t{record.zoneHours} * 3600 + displayOffset;
}

BackupSelection CollectRangeRecords(std::span<store::IndexRecord* const> records,
                                    std::int64_t from, std::int64_t to,
                                    std::int64_t displayOffset) {
    BackupSelection selection;
    for (store::IndexRecord* r : records) {
        const std::int64_t shift = RecordShift(*r, displayOffset);
        if (r->endSeconds() + shift < from || r->startSeconds() + shift > to) {
            continue;
        }
        (void)selection.Add(r);
    }
    return selection;
}

bool IsValidBackupRange(std::int64_t from, std::int64_t to,
                        std::span<const store::RecordingEntry> rows,
                        std::int64_t displayOffset) {
    if (from >= to || rows.empty()) {
        return false;
    }
    std::int64_t earliest = rows.front().start;
    std::int64_t latest = rows.front().end;
    for (const store::RecordingEntry& row : rows) {
        earliest = std::min(earliest, row.start);
        latest = std::max(latest, row.end);
    }
    auto shiftOf = [&](const store::RecordingEntry& row) {
        return row.firstRecord != nullptr ? RecordShift(*row.firstRecord, displayOffset)
                                          : displayOffset;
    };
    return from >= earliest + shiftOf(rows.front()) && to <= latest + shiftOf(rows.back());
}

namespace {

std::string LocalTimeName(std::time_t now, const char* format) {
    std::tm local{};
    localtime_r(&now, &local);
    char text[64];
    if (std::strftime(text, sizeof text, format, &local) == 0) {
        return {};
    }
    return text;
}

} // namespace

std::string DefaultBackupFolder() {
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/BlackBox";
}

std::string RawBackupFileName(std::time_t now) {
    return LocalTimeName(now, "%Y-%m-%d-%H-%M-%S.sd");
}

std::string AviBackupFileName(std::time_t now) {
    return LocalTimeName(now, "%Y-%m-%d-%H-%M-%S-Cam.avi");
}

std::string EachEntryBackupPath(std::string_view prefix, std::int64_t displayStart) {
    return std::string(prefix) + store::FormatRecorderTime(displayStart, "_%Y-%m-%d_%H-%M-%S.sd");
}

std::optional<int> RawBackupProgress(std::uint32_t unitNo, std::uint32_t lowest,
                                     std::uint32_t highest) {
    if (highest == lowest) {
        return std::nullopt;
    }
    // A unit outside the span (a trailer of an earlier read) must not push the bar past the
    // copying tenths.
    if (unitNo < lowest) {
        return 0;
    }
    const std::uint64_t percent =
        std::uint64_t{unitNo - lowest} * 90u / std::uint64_t{highest - lowest};
    return static_cast<int>(std::min<std::uint64_t>(percent, 90));
}

std::optional<int> AviBackupProgress(std::int64_t unitTime, std::int64_t from, std::int64_t to) {
    if (to <= from || unitTime < from || unitTime > to) {
        return std::nullopt;
    }
    return static_cast<int>(static_cast<double>(unitTime - from) * 90.0 /
                            static_cast<double>(to - from));
}

int EachEntryProgress(std::uint32_t unitNo, std::uint32_t lowest, std::uint32_t highest) {
    if (highest == lowest) {
        return 100;
    }
    if (unitNo < lowest) {
        return 0;
    }
    const std::uint64_t percent =
        (std::uint64_t{unitNo - lowest} + 1) * 100u / std::uint64_t{highest - lowest};
    return static_cast<int>(std::min<std::uint64_t>(percent, 100));
}

std::string EachEntryLabel(int row, int count) {
    char text[32];
    std::snprintf(text, sizeof text, "%d / %d", row, count);
    return text;
}

std::string LengthTable(std::span<const std::string> titles,
                        std::span<const std::vector<std::string>> rows) {
    constexpr std::size_t kColumns = 7;
    std::string table = " id,";
    for (const std::string& title : titles) {
        table += title;
        table += ',';
    }
    table += "distance,AVG Speed, \n";
    for (const std::vector<std::string>& row : rows) {
        for (std::size_t column = 0; column < kColumns; ++column) {
            if (column < row.size()) {
                table += row[column];
            }
            table += ',';
        }
        table += " \n";
    }
    return table;
}

} // namespace tavero::app
