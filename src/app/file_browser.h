// The rules of the backup file finder ("File Pad") and the backup manager ("File Manager"):
// the date a backup file's name carries, the files of a date range in a folder, the old files a
// deletion removes, the whole-card backup's destination, and the manager's Auto / Stop / Backup
// states. Only ".sd" files with a readable date are ever found or deleted, only in the backup
// folder and its direct subfolders, and no symbolic link is followed or removed.
//
// Thread: any; the manager's state belongs to the UI thread.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavero::app {

// A calendar day, ordered; `days` counts from 1970-01-01.
struct CivilDay {
    std::int64_t days = 0;
    friend auto operator<=>(const CivilDay&, const CivilDay&) = default;
};
[[nodiscard]] std::optional<CivilDay> MakeCivilDay(int year, int month, int day);
[[nodiscard]] CivilDay CivilDayOfLocalTime(std::time_t t);
// "YYYY-MM-DD".
[[nodiscard]] std::string CivilDayText(CivilDay day);
[[nodiscard]] inline CivilDay NextDay(CivilDay d) { return CivilDay{d.days + 1}; }

// The date of a backup file from its name: the title (name without ".sd") split at "_", the
// second piece read as "YEAR-MONTH-DAY". None when it is not there or not a real date.
[[nodiscard]] std::optional<CivilDay> BackupFileDate(std::string_view fileName);

struct Subfolder {
    std::string name;
    std::string path;
};
// The folders in `folder` (not following links), by name.
[[nodiscard]] std::vector<Subfolder> ListSubfolders(const std::string& folder);

// The ".sd" files in `folder` (regular files, not links) dated from `from` up to but not
// including `until`, by name.
[[nodiscard]] std::vector<std::string> FindBackupFiles(const std::string& folder, CivilDay from,
                                                       CivilDay until);

// The ".sd" files dated before `cutoff` in `folder` and in each of its direct subfolders
// (regular files only; linked folders and linked files are left alone), by name.
[[nodiscard]] std::vector<std::string> OldBackupFiles(const std::string& folder, CivilDay cutoff);
// Removes the files; a file that cannot be removed does not stop the others. The number removed.
int RemoveFiles(const std::vector<std::string>& paths);

// The cutoff of "Delete": the picker's day ("Delete Data Before"), or today less a number of
// days ("Delete range").
[[nodiscard]] CivilDay DeleteCutoff(bool byRange, CivilDay picked, int daysAgo, std::time_t now);
inline constexpr std::string_view kDeleteQuestion = "Will delete the backup file that defore ";

// The backup dialog's "Search": the first ".sd" file in `folder` (by name; regular files only)
// whose recordings span `seconds` (recorder time), from the first one's start to the last one's
// end. Files that cannot be read are passed over. Empty when none does.
[[nodiscard]] std::string FindBackupFileHolding(const std::string& folder, std::int64_t seconds);

// The plate of a card's configuration sector as a folder name: its first byte decoded when it
// is a code (a code for a character becomes that character, any other code is dropped).
[[nodiscard]] std::string PlateOfSector(std::span<const std::uint8_t> plateField);

// Where the whole-card backup writes: folder/NAME/NAME, NAME being the card's plate ("CarInfor"
// without one; characters that cannot be in a file name become "_"). The per-recording backup
// adds "_YYYY-MM-DD_HH-MM-SS.sd".
[[nodiscard]] std::string WholeCardBackupPrefix(const std::string& folder, std::string_view plate);

// The backup manager's state: 0 automatic, 1 backing up, 2 stopped.
class BackupManagerState {
public:
    enum State { Automatic = 0, BackingUp = 1, Stopped = 2 };

    // "Auto" (tick or button): from backing up or stopped to automatic.
    void Auto() {
        if (m_state != Automatic) {
            m_state = Automatic;
        }
    }
    // "Stop" or clearing the tick: from automatic only.
    void Stop() {
        if (m_state == Automatic) {
            m_state = Stopped;
        }
    }
    // "Backup": from automatic or stopped; false when a backup already runs.
    bool Backup() {
        if (m_state == BackingUp) {
            return false;
        }
        m_state = BackingUp;
        return true;
    }
    // The end of the whole-card backup: as "Auto".
    void Finished() { m_state = Automatic; }

    [[nodiscard]] State state() const { return m_state; }
    // "idle", "backuping" or "stop" (English keys of the state text).
    [[nodiscard]] std::string_view text() const;
    [[nodiscard]] bool autoEnabled() const { return m_state == Stopped; }
    [[nodiscard]] bool stopEnabled() const { return m_state != Stopped; }
    [[nodiscard]] bool ticked() const { return m_state != Stopped; }

private:
    State m_state = Stopped;
};

} // namespace tavero::app
