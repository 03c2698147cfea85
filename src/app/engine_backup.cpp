#include "app/engine_backup.h"

#include "engine/player.h"

namespace tavero::app {

store::IndexRecord* EngineBackup::NextRecord(store::IndexRecord* record) {
    return engine::PlayerNextEntry(&m_control, record);
}

void EngineBackup::SelectChannel(int channel, bool included, bool ticked) {
    engine::PlayerSelectChannel(&m_control, channel, included ? 1 : 0, ticked ? 1 : 0);
}

bool EngineBackup::ExportList(const std::string& path,
                              const std::vector<store::IndexRecord*>& records) {
    m_lastAvi = false;
    std::vector<store::IndexRecord*> copy = records;
    return engine::PlayerExportList(&m_control, path, copy.data(), static_cast<int>(copy.size()));
}

bool EngineBackup::ExportRange(const std::string& path, store::IndexRecord* entry,
                               std::int64_t start, std::int64_t end) {
    m_lastAvi = true;
    m_workers.ClearResults();
    return engine::PlayerExportRange(&m_control, path, entry, 0, start, end);
}

std::string EngineBackup::ExportError() {
    const std::string why = m_control.lastError();
    return why.empty() ? "cannot start the backup" : why;
}

std::string EngineBackup::ExportProblem() {
    if (!m_lastAvi) {
        const engine::BackupOutcome outcome = m_control.box().backupOutcome();
        if (outcome.ok) {
            return {};
        }
        return "backup incomplete: " + outcome.error + " (" +
               std::to_string(outcome.recordsWritten) + " of " +
               std::to_string(outcome.recordsWanted) + " records are in the file and readable)";
    }
    const std::string failure = m_workers.failure();
    if (failure.empty()) {
        if (m_workers.filesWritten().empty()) {
            return "the chosen channels have no pictures in that range";
        }
        return {};
    }
    std::string why = "export incomplete: " + failure + " (" +
                      std::to_string(m_workers.filesWritten().size()) + " files were finished";
    for (const std::string& f : m_workers.filesIncomplete()) {
        why += "; " + f + " was not: what it holds plays, without its index";
    }
    return why + ")";
}

void EngineBackup::StopExport() {
    engine::PlayerClose(&m_control);
}

} // namespace tavero::app
