// What a backup copies and what it is called, as plain rules below the backup dialog and the file
// manager: the records of chosen recordings or of a time range (at most 4096), the time range
// check, the names of the files written, the progress of a running backup, and the table of the
// listed recordings ("lengthpath.csv").
//
// Thread: any; nothing here keeps state between calls.
#pragma once

#include "store/index_record.h"
#include "store/recording_entry.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavero::app {

// More records than any index holds (a card's index has 65536 slots): a damaged chain that never
// ends stops here.
inline constexpr std::size_t kMaxRecordWalk = std::size_t{1} << 20;


// One backup copies at most this many records; collecting stops there ("Backup more data.").
inline constexpr std::size_t kMaxBackupRecords = 4096;

inline constexpr std::string_view kInvalidTimeText = "Please select valid time";
inline constexpr std::string_view kNothingCheckedText =
    "Please select valid time, and check some items";
inline constexpr std::string_view kBackupMoreDataText = "Backup more data.";
inline constexpr std::string_view kLengthTableName = "lengthpath.csv";
inline constexpr std::string_view kLengthTableDoneText = " building is finished.";
inline constexpr std::string_view kLengthTableFailedText = " is opened fail.";

// The records one backup copies, in the order collected, with the unit span they cover.
struct BackupSelection {
    std::vector<store::IndexRecord*> records;
    std::uint32_t lowestStart = 0;
    std::uint32_t highestEnd = 0;
    bool truncated = false;    // more records were asked for than one backup takes
    std::size_t requested = 0; // records asked for, the ones left out included

    // Adds a record not yet in the selection; false once the selection is full (the record is
    // then only counted and `truncated` set).
    bool Add(store::IndexRecord* record);
    [[nodiscard]] bool empty() const { return records.empty(); }
};

// The index walk: the record after `record` in play order, null at the end.
using NextRecordFn = std::function<store::IndexRecord*(store::IndexRecord*)>;

// The records of the chosen recordings, each walked from its first record to where its chain
// stopped (the entry's `next`), in the order given. A record shared by two entries is copied once.
[[nodiscard]] BackupSelection CollectEntryRecords(std::span<const store::RecordingEntry> chosen,
                                                  const NextRecordFn& next);

// The seconds added to a record's times before they are compared with times people chose: the
// recorder's zone of the record and the window's display offset.
[[nodiscard]] std::int64_t RecordShift(const store::IndexRecord& record,
                                       std::int64_t displayOffset);

// The records that overlap the chosen range [from, to] (display times): a record counts unless it
// ends before `from` or starts after `to`, its times shifted by RecordShift.
[[nodiscard]] BackupSelection CollectRangeRecords(std::span<store::IndexRecord* const> records,
                                                  std::int64_t from, std::int64_t to,
                                                  std::int64_t displayOffset);

// The time range check before a range backup: start before end, and inside the listed
// recordings (the earliest start shifted by the first row's offset, the latest end by the last
// row's). False means "Please select valid time".
[[nodiscard]] bool IsValidBackupRange(std::int64_t from, std::int64_t to,
                                      std::span<const store::RecordingEntry> rows,
                                      std::int64_t displayOffset);

// The backup folder when none was chosen: ~/BlackBox.
[[nodiscard]] std::string DefaultBackupFolder();

// Names of what a backup writes. `now` is the moment Backup was pressed, named in local time;
// the per-recording name is the recording's start as the list shows it.
[[nodiscard]] std::string RawBackupFileName(std::time_t now);   // "YYYY-MM-DD-HH-MM-SS.sd"
[[nodiscard]] std::string AviBackupFileName(std::time_t now);   // "YYYY-MM-DD-HH-MM-SS-Cam.avi"
[[nodiscard]] std::string EachEntryBackupPath(std::string_view prefix,
                                              std::int64_t displayStart); // prefix_YYYY-MM-DD_HH-MM-SS.sd

// Progress of a raw backup from the unit just copied: 0 to 90 over the selection's unit span
// (the last tenth is the index). Nothing to show when the span is a single unit.
[[nodiscard]] std::optional<int> RawBackupProgress(std::uint32_t unitNo, std::uint32_t lowest,
                                                   std::uint32_t highest);
// Progress of an AVI backup from the time of the unit just copied (display time): 0 to 90 over
// the chosen range; nothing while that time lies outside it.
[[nodiscard]] std::optional<int> AviBackupProgress(std::int64_t unitTime, std::int64_t from,
                                                   std::int64_t to);
// Progress of one recording of the per-recording backup: 1 to 100 over its unit span; a
// recording of a single unit counts as 100 (after a short wait).
[[nodiscard]] int EachEntryProgress(std::uint32_t unitNo, std::uint32_t lowest,
                                    std::uint32_t highest);
// "N / COUNT" in the window's progress label while the per-recording backup copies row N.
[[nodiscard]] std::string EachEntryLabel(int row, int count);

// The table of the listed recordings: a header " id," then each title (from "RECORD TIME" on,
// translated) and "distance", "AVG Speed", each followed by ","; then one line per row with its
// texts of columns 0 to 6 (the running number first; the columns the list does not have are
// empty), each followed by ","; every line ends in " \n".
[[nodiscard]] std::string LengthTable(std::span<const std::string> titles,
                                      std::span<const std::vector<std::string>> rows);

} // namespace tavero::app
