// tavero-cli backup: copies chosen recordings, or the records of a time range, byte for byte into
// a raw backup file through the engine's backup path.

#include "app/backup_plan.h"
#include "cli_commands.h"
#include "cli_progress.h"
#include "engine/player.h"
#include "store/byte_io.h"
#include "store/recording_entry.h"
#include "store/unit_trailer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tavero::cli {
namespace {

using store::IndexRecord;

// Waits for the end of each export; counts nothing else. Thread-safe.
class BackupSink : public engine::NotificationSink {
public:
    void Post(std::uint32_t message, engine::COzuCtrl*, std::int64_t lParam) override {
        if (message == engine::kMsgEndOfStream && lParam == -1) {
            m_ended = true;
        }
    }
    [[nodiscard]] bool ended() const { return m_ended.load(); }
    void rearm() { m_ended = false; }

private:
    std::atomic<bool> m_ended{false};
};

int Fail(std::FILE* err, const std::string& who, const std::string& why) {
    std::fprintf(err, "tavero-cli: %s: %s\n", who.c_str(), why.c_str());
    return 1;
}

// The name and folder of a new raw backup file; the folder is made when `makeFolder` is set.
// Prints the one-line refusal.
bool CheckNewBackupFile(const std::string& name, bool makeFolder, std::FILE* err) {
    const std::filesystem::path output(name);
    if (name.size() < 4 || name.compare(name.size() - 3, 3, ".sd") != 0) {
        Fail(err, name, "a raw backup file's name must end in .sd");
        return false;
    }
    std::error_code ec;
    const std::filesystem::path folder =
        output.has_parent_path() ? output.parent_path() : std::filesystem::path(".");
    if (makeFolder && !std::filesystem::exists(folder, ec)) {
        std::filesystem::create_directories(folder, ec);
        if (ec) {
            Fail(err, name, "cannot make the folder " + folder.string() + ": " + ec.message());
            return false;
        }
    }
    if (!std::filesystem::is_directory(folder, ec)) {
        Fail(err, name,
             std::filesystem::exists(folder, ec)
                 ? "the folder " + folder.string() + " is not a folder"
                 : "the folder " + folder.string() + " does not exist");
        return false;
    }
    if (std::filesystem::exists(std::filesystem::symlink_status(output, ec))) {
        Fail(err, name, "already exists; remove it or choose another name");
        return false;
    }
    if (::access(folder.c_str(), W_OK) != 0) {
        Fail(err, name, "the folder " + folder.string() + " is not writable");
        return false;
    }
    return true;
}

// Copies one selection into a new raw backup file and waits for its end, showing `percent` of
// each unit copied. Returns 0 with the summary line on `out`, or 1 with the failure on `err`.
template <typename Percent>
int BackupInto(engine::COzuCtrl& control, BackupSink& sink, const std::string& output,
               const app::BackupSelection& selection, Percent percent, std::FILE* out,
               std::FILE* err) {
    sink.rearm();
    std::vector<IndexRecord*> records = selection.records;
    if (!engine::PlayerExportList(&control, output, records.data(),
                                  static_cast<int>(records.size()))) {
        const std::string why = control.lastError();
        std::error_code ec;
        std::filesystem::remove(output, ec);
        return Fail(err, output, why.empty() ? "cannot start the backup" : why);
    }
    ProgressDisplay progress(err);
    std::uint8_t trailer[512];
    while (!sink.ended()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (engine::PlayerGetUnitTrailer(&control, trailer)) {
            if (const std::optional<int> p =
                    percent(store::TrailerFromHostImage(std::span(trailer, 512)).unitNo)) {
                progress.show(static_cast<std::uint32_t>(*p));
            }
        }
    }
    const engine::BackupOutcome outcome = control.box().backupOutcome();
    engine::PlayerClose(&control); // stops the export; the source stays open
    if (!outcome.ok) {
        return Fail(err, output,
                    "backup incomplete: " + outcome.error + " (" +
                        std::to_string(outcome.recordsWritten) + " of " +
                        std::to_string(outcome.recordsWanted) +
                        " records are in the file and readable)");
    }
    progress.show(100);
    if (outcome.unitsWritten == 0) {
        std::fprintf(err,
                     "tavero-cli: %s: the source holds none of these records' units (damaged or "
                     "cut short); the file lists them without pictures\n",
                     output.c_str());
    }
    std::fprintf(out, "%s: %u records, %llu units\n", output.c_str(), outcome.recordsWritten,
                 static_cast<unsigned long long>(outcome.unitsWritten));
    std::fflush(out);
    return 0;
}

void WarnTruncated(std::FILE* err, const std::string& name, const app::BackupSelection& s) {
    if (s.truncated) {
        // As the backup dialog does: collecting stops at the limit and those records are copied.
        std::fprintf(err, "tavero-cli: %s: %s (the first %zu of %zu records are backed up)\n",
                     name.c_str(), std::string(app::kBackupMoreDataText).c_str(),
                     s.records.size(), s.requested);
    }
}

// One raw backup file per recording, named by its start as `list` shows it.
int RunEachEntryBackup(const BackupOptions& options, engine::COzuCtrl& control, BackupSink& sink,
                       const std::string& sourceName, std::FILE* out, std::FILE* err) {
    const std::vector<store::RecordingEntry> entries = ListEntries(control);
    if (entries.empty()) {
        return Fail(err, sourceName, "holds no recording to back up");
    }
    std::vector<std::string> names;
    for (const store::RecordingEntry& e : entries) {
        names.push_back(app::EachEntryBackupPath(options.eachEntryPrefix, e.start));
        if (std::find(names.begin(), names.end() - 1, names.back()) != names.end() - 1) {
            return Fail(err, names.back(),
                        "two recordings start in the same second; back them up with --entries");
        }
    }
    // Every name is checked before the first file is written: a refusal leaves nothing behind.
    for (const std::string& name : names) {
        if (!CheckNewBackupFile(name, true, err)) {
            return 1;
        }
    }
    const auto next = [&control](IndexRecord* r) { return engine::PlayerNextEntry(&control, r); };
    for (std::size_t i = 0; i < entries.size(); ++i) {
        std::fprintf(err, "%s\n",
                     app::EachEntryLabel(static_cast<int>(i + 1), static_cast<int>(entries.size()))
                         .c_str());
        const app::BackupSelection selection =
            app::CollectEntryRecords(std::span(&entries[i], 1), next);
        WarnTruncated(err, names[i], selection);
        const int status = BackupInto(
            control, sink, names[i], selection,
            [&](std::uint32_t unitNo) -> std::optional<int> {
                return app::EachEntryProgress(unitNo, selection.lowestStart, selection.highestEnd);
            },
            out, err);
        if (status != 0) {
            return status;
        }
    }
    return 0;
}

} // namespace

int RunBackup(const BackupOptions& options, std::FILE* out, std::FILE* err) {
    const bool eachEntry = !options.eachEntryPrefix.empty();
    if (!eachEntry && !CheckNewBackupFile(options.output, false, err)) {
        return 1;
    }

    BackupSink sink;
    std::unique_ptr<engine::COzuCtrl, ControlDeleter> control(engine::PlayerCreate(&sink));
    std::string sourceName;
    if (!OpenForCommand(options.source, *control, err, sourceName)) {
        return 1;
    }
    if (eachEntry) {
        const int status = RunEachEntryBackup(options, *control, sink, sourceName, out, err);
        engine::PlayerClose(control.get());
        return status;
    }
    store::RecordIndex& index = control->box().index();

    app::BackupSelection selection;
    if (!options.entries.empty()) {
        const std::vector<store::RecordingEntry> entries = ListEntries(*control);
        std::vector<store::RecordingEntry> chosen;
        for (const int number : options.entries) {
            if (number < 1 || static_cast<std::size_t>(number) > entries.size()) {
                return Fail(err, sourceName,
                            "there is no recording " + std::to_string(number) + " (it has " +
                                std::to_string(entries.size()) + ")");
            }
            chosen.push_back(entries[static_cast<std::size_t>(number - 1)]);
        }
        selection = app::CollectEntryRecords(chosen, [&](IndexRecord* r) {
            return engine::PlayerNextEntry(control.get(), r);
        });
    } else {
        if (options.to <= options.from) {
            return Fail(err, sourceName, std::string(app::kInvalidTimeText));
        }
        // Record times are compared as the recorder's zone shows them.
        selection = app::CollectRangeRecords(index.fullList(), options.from, options.to, 0);
    }
    if (selection.empty()) {
        return Fail(err, sourceName, "no record lies in the chosen range");
    }
    WarnTruncated(err, sourceName, selection);
    const int status = BackupInto(
        *control, sink, options.output, selection,
        [&](std::uint32_t unitNo) {
            return app::RawBackupProgress(unitNo, selection.lowestStart, selection.highestEnd);
        },
        out, err);
    engine::PlayerClose(control.get());
    return status;
}

} // namespace tavero::cli
