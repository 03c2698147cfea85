#pragma once
// CExportWorkers: the eight export workers of a player control. Made by the control's owner and
// attached to the control for its whole life; the source reader hands them the frames of an AVI
// export through the engine's ExportOutput.

#include "engine/export_output.h"
#include "export/record_ctx.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace tavero::engine {
class COzuCtrl;
}

namespace tavero::exporting {

class CExportWorkers final : public engine::ExportOutput {
public:
    // Attaches itself to the control; detaches when destroyed (the control must be closed).
    explicit CExportWorkers(engine::COzuCtrl& control);
    ~CExportWorkers() override;
    CExportWorkers(const CExportWorkers&) = delete;
    CExportWorkers& operator=(const CExportWorkers&) = delete;

    [[nodiscard]] bool HasFileOpen(int channel) const override;
    void SetChannelHeader(int channel, const engine::ExportHeader& header) override;
    [[nodiscard]] engine::ExportHeader ChannelHeader(int channel) const override;
    void Write(int channel, const engine::ExportHeader& header,
               std::span<const std::uint8_t> payload, std::int64_t ptsUs) override;
    void WriteAudio(int channel, const engine::ExportHeader& header,
                    std::span<const std::uint8_t> payload, std::int64_t ptsUs) override;
    void Reset() override;

    [[nodiscard]] CRecordCtx& worker(int channel) {
        return *m_workers[static_cast<std::size_t>(channel)];
    }
    void SetSplitBytes(std::uint64_t bytes);
    void ClearResults();
    // Every channel's completed files, channel by channel; the first failure of any channel.
    [[nodiscard]] std::vector<std::string> filesWritten() const;
    // Files whose completion failed (see CRecordCtx::filesIncomplete).
    [[nodiscard]] std::vector<std::string> filesIncomplete() const;
    [[nodiscard]] std::string failure() const;

private:
    [[nodiscard]] bool valid(int channel) const { return channel >= 0 && channel < kChannels; }

    static constexpr int kChannels = 8;
    engine::COzuCtrl& m_control;
    std::array<std::unique_ptr<CRecordCtx>, kChannels> m_workers;
};

} // namespace tavero::exporting
