// BackupCommands over the engine's control, with the AVI writers attached to it: what the
// window hands to its backup dialog.
//
// Thread: UI thread. The control must outlive this object and be closed before it goes.
#pragma once

#include "app/backup_chooser.h"
#include "engine/ozu_ctrl.h"
#include "export/export_workers.h"

namespace tavero::app {

class EngineBackup final : public BackupCommands {
public:
    explicit EngineBackup(engine::COzuCtrl& control) : m_control(control), m_workers(control) {}

    [[nodiscard]] store::IndexRecord* NextRecord(store::IndexRecord* record) override;
    void SelectChannel(int channel, bool included, bool ticked) override;
    [[nodiscard]] bool ExportList(const std::string& path,
                                  const std::vector<store::IndexRecord*>& records) override;
    [[nodiscard]] bool ExportRange(const std::string& path, store::IndexRecord* entry,
                                   std::int64_t start, std::int64_t end) override;
    [[nodiscard]] std::string ExportError() override;
    [[nodiscard]] std::string ExportProblem() override;
    void StopExport() override;

private:
    engine::COzuCtrl& m_control;
    exporting::CExportWorkers m_workers;
    bool m_lastAvi = false;
};

} // namespace tavero::app
