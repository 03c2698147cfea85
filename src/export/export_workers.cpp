#include "export/export_workers.h"

#include "engine/ozu_ctrl.h"

namespace tavero::exporting {

CExportWorkers::CExportWorkers(engine::COzuCtrl& control) : m_control(control) {
    for (int c = 0; c < kChannels; ++c) {
        m_workers[static_cast<std::size_t>(c)] = std::make_unique<CRecordCtx>(control, c);
    }
    control.SetExportOutput(this);
}

CExportWorkers::~CExportWorkers() {
    if (m_control.exportOutput() == this) {
        m_control.SetExportOutput(nullptr);
    }
}

bool CExportWorkers::HasFileOpen(int channel) const {
    return valid(channel) && m_workers[static_cast<std::size_t>(channel)]->IsFileOpen();
}

void CExportWorkers::SetChannelHeader(int channel, const engine::ExportHeader& header) {
    if (valid(channel)) {
        m_workers[static_cast<std::size_t>(channel)]->SetChannelHeader(header);
    }
}

engine::ExportHeader CExportWorkers::ChannelHeader(int channel) const {
    return valid(channel) ? m_workers[static_cast<std::size_t>(channel)]->ChannelHeader()
                          : engine::ExportHeader{};
}

void CExportWorkers::Write(int channel, const engine::ExportHeader& header,
                           std::span<const std::uint8_t> payload, std::int64_t ptsUs) {
    if (valid(channel)) {
        m_workers[static_cast<std::size_t>(channel)]->Write(header, payload, ptsUs);
    }
}

void CExportWorkers::WriteAudio(int channel, const engine::ExportHeader& header,
                                std::span<const std::uint8_t> payload, std::int64_t ptsUs) {
    if (valid(channel)) {
        m_workers[static_cast<std::size_t>(channel)]->WriteAudio(header, payload, ptsUs);
    }
}

void CExportWorkers::Reset() {
    for (auto& w : m_workers) {
        w->Reset();
    }
}

void CExportWorkers::SetSplitBytes(std::uint64_t bytes) {
    for (auto& w : m_workers) {
        w->SetSplitBytes(bytes);
    }
}

void CExportWorkers::ClearResults() {
    for (auto& w : m_workers) {
        w->ClearResults();
    }
}

std::vector<std::string> CExportWorkers::filesWritten() const {
    std::vector<std::string> files;
    for (const auto& w : m_workers) {
        for (std::string& f : w->filesWritten()) {
            files.push_back(std::move(f));
        }
    }
    return files;
}

std::vector<std::string> CExportWorkers::filesIncomplete() const {
    std::vector<std::string> files;
    for (const auto& w : m_workers) {
        for (std::string& f : w->filesIncomplete()) {
            files.push_back(std::move(f));
        }
    }
    return files;
}

std::string CExportWorkers::failure() const {
    for (const auto& w : m_workers) {
        if (std::string f = w->failure(); !f.empty()) {
            return f;
        }
    }
    return {};
}

} // namespace tavero::exporting
