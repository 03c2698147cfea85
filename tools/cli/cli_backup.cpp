// tavero-cli backup: copies chosen recordings, or the records of a time range, byte for byte into
// a raw backup file through the engine's backup path.

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
#include <thread>
#include <unistd.h>
#include <vector>

namespace tavero::cli {
namespace {

using store::IndexRecord;

constexpr std::size_t kMaxBackupRecords = 4096;

// Waits for the end of the export; counts nothing else. Thread-safe.
class BackupSink : public engine::NotificationSink {
public:
    void Post(std::uint32_t message, engine::COzuCtrl*, std::int64_t lParam) override {
        if (message == engine::kMsgEndOfStream && lParam == -1) {
            m_ended = true;
        }
    }
    [[nodiscard]] bool ended() const { return m_ended.load(); }

private:
    std::atomic<bool> m_ended{false};
};

// The fraction of the unit numbers covered, up to 90; the last 10 are the index.
class Progress {
public:
    Progress(std::FILE* err, std::uint32_t lowest, std::uint32_t highest)
        : m_display(err), m_lowest(lowest), m_highest(highest) {}

    void unit(std::uint32_t unitNo) {
        if (m_highest == m_lowest) {
            return;
        }
        const std::uint32_t percent = (unitNo - m_lowest) * 90u / (m_highest - m_lowest);
        show(std::min<std::uint32_t>(percent, 90));
    }
    void show(std::uint32_t percent) { m_display.show(percent); }

private:
    ProgressDisplay m_display;
    std::uint32_t m_lowest;
    std::uint32_t m_highest;
};

} // namespace

int RunBackup(const BackupOptions& options, std::FILE* out, std::FILE* err) {
    auto fail = [&](const std::string& who, const std::string& why) {
        std::fprintf(err, "tavero-cli: %s: %s\n", who.c_str(), why.c_str());
        return 1;
    };
    const std::filesystem::path output(options.output);
    if (options.output.size() < 4 ||
        options.output.compare(options.output.size() - 3, 3, ".sd") != 0) {
        return fail(options.output, "a raw backup file's name must end in .sd");
    }
    std::error_code ec;
    const std::filesystem::path folder =
        output.has_parent_path() ? output.parent_path() : std::filesystem::path(".");
    if (!std::filesystem::is_directory(folder, ec)) {
        return fail(options.output, "the folder " + folder.string() + " does not exist");
    }
    if (std::filesystem::exists(output, ec)) {
        return fail(options.output, "already exists; remove it or choose another name");
    }
    if (::access(folder.c_str(), W_OK) != 0) {
        return fail(options.output, "the folder " + folder.string() + " is not writable");
    }

    BackupSink sink;
    std::unique_ptr<engine::COzuCtrl, ControlDeleter> control(engine::PlayerCreate(&sink));
    std::string sourceName;
    if (!OpenForCommand(options.source, *control, err, sourceName)) {
        return 1;
    }
    store::RecordIndex& index = control->box().index();

    const std::vector<store::RecordingEntry> entries = ListEntries(*control);
    std::vector<IndexRecord*> records;
    if (!options.entries.empty()) {
        for (const int number : options.entries) {
            if (number < 1 || static_cast<std::size_t>(number) > entries.size()) {
                return fail(sourceName, "there is no recording " + std::to_string(number) +
                                            " (it has " + std::to_string(entries.size()) + ")");
            }
            const store::RecordingEntry& e = entries[static_cast<std::size_t>(number - 1)];
            for (IndexRecord* r = e.firstRecord; r != nullptr && r != e.next;
                 r = engine::PlayerNextEntry(control.get(), r)) {
                if (std::find(records.begin(), records.end(), r) == records.end()) {
                    records.push_back(r);
                }
            }
        }
    } else {
        if (options.to <= options.from) {
            return fail(sourceName, "Please select valid time");
        }
        for (IndexRecord* r : index.fullList()) {
            // Record times are compared as the recorder's zone shows them.
            const std::int64_t shift = std::int64_t{r->zoneHours} * 3600;
            if (r->endSeconds() + shift < options.from || r->startSeconds() + shift > options.to) {
                continue;
            }
            records.push_back(r);
        }
    }
    if (records.empty()) {
        return fail(sourceName, "no record lies in the chosen range");
    }
    if (records.size() > kMaxBackupRecords) {
        // The backup dialog stops collecting at 4096 records and backs those up.
        std::fprintf(
            err, "tavero-cli: %s: Backup more data. (the first %zu of %zu records are backed up)\n",
            sourceName.c_str(), kMaxBackupRecords, records.size());
        records.resize(kMaxBackupRecords);
    }
    std::uint32_t lowest = records.front()->startUnit;
    std::uint32_t highest = records.front()->endUnit;
    for (const IndexRecord* r : records) {
        lowest = std::min(lowest, r->startUnit);
        highest = std::max(highest, r->endUnit);
    }

    if (!engine::PlayerExportList(control.get(), options.output, records.data(),
                                  static_cast<int>(records.size()))) {
        const std::string why = control->lastError();
        std::filesystem::remove(output, ec);
        return fail(options.output, why.empty() ? "cannot start the backup" : why);
    }
    Progress progress(err, lowest, highest);
    std::uint8_t trailer[512];
    while (!sink.ended()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (engine::PlayerGetUnitTrailer(control.get(), trailer)) {
            progress.unit(store::TrailerFromHostImage(std::span(trailer, 512)).unitNo);
        }
    }
    const engine::BackupOutcome outcome = control->box().backupOutcome();
    engine::PlayerClose(control.get());
    if (!outcome.ok) {
        return fail(options.output, "backup incomplete: " + outcome.error + " (" +
                                        std::to_string(outcome.recordsWritten) + " of " +
                                        std::to_string(outcome.recordsWanted) +
                                        " records are in the file and readable)");
    }
    progress.show(100);
    std::fprintf(out, "%s: %u records, %llu units\n", options.output.c_str(),
                 outcome.recordsWritten, static_cast<unsigned long long>(outcome.unitsWritten));
    return 0;
}

} // namespace tavero::cli
