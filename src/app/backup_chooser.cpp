#include "app/backup_chooser.h"

#include <algorithm>
#include <span>
#include <filesystem>
#include <utility>

namespace tavero::app {
namespace {

BackupChooserOptions WithDefaults(BackupChooserOptions o) {
    if (!o.now) {
        o.now = [] { return std::time(nullptr); };
    }
    if (!o.stopPlayback) {
        o.stopPlayback = [] {};
    }
    if (!o.exists) {
        o.exists = [](const std::string& path) {
            std::error_code ec;
            return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
        };
    }
    return o;
}

} // namespace

BackupChooser::BackupChooser(BackupCommands& engine, const RecordingList& list,
                             const WindowState& window, BackupChooserOptions options)
    : m_engine(engine), m_list(list), m_window(window),
      m_options(WithDefaults(std::move(options))) {}

// ---- rows ------------------------------------------------------------------------------------

void BackupChooser::ResetRows() {
    m_ticked.assign(static_cast<std::size_t>(m_list.size()), false);
    m_selected.assign(static_cast<std::size_t>(m_list.size()), false);
    // Until a row is chosen the pickers span every listed recording.
    if (!m_list.empty()) {
        m_pickerStart = m_list.at(0).start + rowShift(0);
        m_pickerEnd = m_list.at(m_list.size() - 1).end + rowShift(m_list.size() - 1);
    }
}

void BackupChooser::ClickRow(int row) {
    if (m_ticked.size() != static_cast<std::size_t>(m_list.size())) {
        ResetRows();
    }
    m_startFailed = false;
    if (row < 0 || row >= m_list.size()) {
        std::fill(m_ticked.begin(), m_ticked.end(), false);
        std::fill(m_selected.begin(), m_selected.end(), false);
        return;
    }
    const auto r = static_cast<std::size_t>(row);
    m_ticked[r] = !m_ticked[r];
    if (!m_ticked[r]) {
        m_selected[r] = false;
    } else {
        // Ticking a row selects it and every other ticked row again.
        m_selected = m_ticked;
    }
    syncPickersToSelection();
}

void BackupChooser::SelectOnly(int row) {
    ResetRows();
    if (row >= 0 && row < m_list.size()) {
        m_ticked[static_cast<std::size_t>(row)] = true;
        m_selected[static_cast<std::size_t>(row)] = true;
        syncPickersToSelection();
    }
}

bool BackupChooser::ticked(int row) const {
    return row >= 0 && static_cast<std::size_t>(row) < m_ticked.size() &&
           m_ticked[static_cast<std::size_t>(row)];
}

bool BackupChooser::selected(int row) const {
    return row >= 0 && static_cast<std::size_t>(row) < m_selected.size() &&
           m_selected[static_cast<std::size_t>(row)];
}

std::vector<int> BackupChooser::selectedRows() const {
    std::vector<int> rows;
    for (std::size_t i = 0; i < m_selected.size() && static_cast<int>(i) < m_list.size(); ++i) {
        if (m_selected[i]) {
            rows.push_back(static_cast<int>(i));
        }
    }
    return rows;
}

std::vector<store::RecordingEntry> BackupChooser::selectedEntries() const {
    std::vector<store::RecordingEntry> entries;
    for (const int row : selectedRows()) {
        entries.push_back(m_list.at(row));
    }
    return entries;
}

std::int64_t BackupChooser::rowShift(int row) const {
    const store::IndexRecord* first = m_list.contains(row) ? m_list.at(row).firstRecord : nullptr;
    return first != nullptr ? RecordShift(*first, m_window.timeOffset) : m_window.timeOffset;
}

// ---- pickers, channels -----------------------------------------------------------------------

bool BackupChooser::pickersEnabled() const {
    return selectedRows().size() < 2;
}

void BackupChooser::SetPickers(std::int64_t start, std::int64_t end) {
    m_pickerStart = start;
    m_pickerEnd = end;
    m_startFailed = false;
}

void BackupChooser::syncPickersToSelection() {
    const std::vector<int> rows = selectedRows();
    if (rows.size() != 1) {
        return;
    }
    const store::RecordingEntry& e = m_list.at(rows.front());
    const std::int64_t shift = rowShift(rows.front());
    m_pickerStart = e.start + shift;
    m_pickerEnd = e.end + shift;
}

void BackupChooser::SetChannel(int box, bool on) {
    if (box >= 0 && box < kBackupChannelBoxes) {
        m_channels[static_cast<std::size_t>(box)] = on;
    }
}

bool BackupChooser::channel(int box) const {
    return box >= 0 && box < kBackupChannelBoxes && m_channels[static_cast<std::size_t>(box)];
}

void BackupChooser::selectChannels(bool avi) {
    for (int c = 0; c < 8; ++c) {
        // The four boxes choose among the first four channels; the others are never exported.
        const bool on = c < kBackupChannelBoxes && (!avi || channel(c));
        m_engine.SelectChannel(c, true, on);
    }
}

// ---- running ---------------------------------------------------------------------------------

std::string BackupChooser::outputPath(const std::string& name) const {
    return (std::filesystem::path(m_destination) / name).string();
}

BackupStep BackupChooser::PressBackup() {
    BackupStep step;
    if (m_destination.empty() || m_writing) {
        return step;
    }
    const std::vector<int> rows = selectedRows();
    if (rows.empty()) {
        step.message = std::string(kNothingCheckedText);
        return step;
    }
    if (rows.size() == 1) {
        // One row: the pickers' range, checked against the listed recordings.
        if (!IsValidBackupRange(m_pickerStart, m_pickerEnd, m_list.entries(),
                                m_window.timeOffset)) {
            step.message = std::string(kInvalidTimeText);
            return step;
        }
    }
    m_problems.clear();
    m_outputs.clear();
    if (m_format == BackupFormat::Avi) {
        m_aviRows = rows;
        m_aviMany = rows.size() > 1;
        return startAviRow();
    }
    BackupSelection selection;
    if (rows.size() >= 2) {
        selection = CollectEntryRecords(selectedEntries(),
                                        [this](store::IndexRecord* r) { return m_engine.NextRecord(r); });
    } else {
        // Every record of every listed recording that overlaps the range.
        std::vector<store::IndexRecord*> all;
        for (const store::RecordingEntry& e : m_list.entries()) {
            std::size_t steps = 0;
            for (store::IndexRecord* r = e.firstRecord; r != nullptr && r != e.next && steps < kMaxRecordWalk;
                 r = m_engine.NextRecord(r), ++steps) {
                all.push_back(r);
            }
        }
        selection = CollectRangeRecords(all, m_pickerStart, m_pickerEnd, m_window.timeOffset);
    }
    return startRaw(std::move(selection));
}

BackupStep BackupChooser::startRaw(BackupSelection selection) {
    BackupStep step;
    if (selection.empty()) {
        step.message = std::string(kNothingCheckedText);
        return step;
    }
    const std::string path = outputPath(RawBackupFileName(m_options.now()));
    if (m_options.exists(path)) {
        step.message = path + std::string(kExistsText);
        return step;
    }
    if (selection.truncated) {
        step.message = std::string(kBackupMoreDataText);
    }
    m_options.stopPlayback();
    selectChannels(false);
    m_selection = std::move(selection);
    m_outputs = {path};
    if (!m_engine.ExportList(path, m_selection.records)) {
        // A failed start shows nothing more; Backup stays disabled until the dialog is used.
        m_startFailed = true;
        step.message = path + ": " + m_engine.ExportError();
        return step;
    }
    m_writing = true;
    step.started = true;
    step.progress = 0;
    return step;
}

BackupStep BackupChooser::startAviRow() {
    BackupStep step;
    while (!m_aviRows.empty()) {
        const int row = m_aviRows.front();
        m_aviRows.erase(m_aviRows.begin());
        const store::RecordingEntry& e = m_list.at(row);
        const std::int64_t shift = rowShift(row);
        if (m_aviMany) {
            // Several rows: each one's own span.
            m_pickerStart = e.start + shift;
            m_pickerEnd = e.end + shift;
        }
        const std::string base = outputPath(AviBackupFileName(m_options.now()));
        m_options.stopPlayback();
        selectChannels(true);
        m_aviFrom = m_pickerStart;
        m_aviTo = m_pickerEnd;
        m_aviShift = shift;
        m_outputs.push_back(base);
        if (m_engine.ExportRange(base, e.firstRecord, m_pickerStart - shift,
                                 m_pickerEnd - shift)) {
            m_writing = true;
            step.started = true;
            step.progress = 0;
            return step;
        }
        m_problems.push_back(base + ": " + m_engine.ExportError());
    }
    m_startFailed = !m_writing;
    step.message = m_problems.empty() ? std::string() : m_problems.back();
    return step;
}

BackupStep BackupChooser::StartEachEntry(const std::string& prefix) {
    BackupStep step;
    if (m_writing || prefix.empty()) {
        return step;
    }
    m_problems.clear();
    m_outputs.clear();
    m_eachRows.clear();
    for (int row = 0; row < m_list.size(); ++row) {
        m_eachRows.push_back(row);
    }
    m_eachCount = m_list.size();
    m_eachSkipped = 0;
    m_eachPrefix = prefix;
    m_eachEntry = true;
    step = startEachEntryRow();
    if (!step.started) {
        // Nothing to copy (no recordings, all there already) or the first start failed.
        m_eachEntry = false;
        step.finished = step.message.empty();
        step.skipped = m_eachSkipped;
        step.progress = 100;
    }
    return step;
}

BackupStep BackupChooser::startEachEntryRow() {
    BackupStep step;
    while (!m_eachRows.empty()) {
        const int row = m_eachRows.front();
        m_eachRows.erase(m_eachRows.begin());
        const store::RecordingEntry& e = m_list.at(row);
        const std::string path = EachEntryBackupPath(m_eachPrefix, e.start + m_window.timeOffset);
        if (m_options.exists(path)) {
            ++m_eachSkipped;
            continue;
        }
        m_selection = CollectEntryRecords(std::span(&e, 1), [this](store::IndexRecord* r) {
            return m_engine.NextRecord(r);
        });
        if (m_selection.empty()) {
            continue;
        }
        m_options.stopPlayback();
        selectChannels(false);
        m_outputs.push_back(path);
        m_eachCurrent = row;
        if (!m_engine.ExportList(path, m_selection.records)) {
            step.message = path + ": " + m_engine.ExportError();
            m_eachRows.clear();
            return step;
        }
        m_writing = true;
        step.started = true;
        step.progress = 0;
        return step;
    }
    return step;
}

std::string BackupChooser::eachEntryLabel() const {
    if (!eachEntryRunning()) {
        return {};
    }
    return EachEntryLabel(m_eachCurrent + 1, m_eachCount);
}

std::optional<int> BackupChooser::OnUnitTrailer(std::uint32_t unitNo, std::int64_t unitTime) {
    if (!m_writing) {
        return std::nullopt;
    }
    if (m_eachEntry) {
        return EachEntryProgress(unitNo, m_selection.lowestStart, m_selection.highestEnd);
    }
    if (m_format == BackupFormat::Avi) {
        // The trailer's recorder time shifted as the range was.
        return AviBackupProgress(unitTime + m_aviShift, m_aviFrom, m_aviTo);
    }
    return RawBackupProgress(unitNo, m_selection.lowestStart, m_selection.highestEnd);
}

BackupStep BackupChooser::OnExportEnded() {
    BackupStep step;
    if (!m_writing) {
        return step; // not this dialog's export
    }
    m_writing = false;
    if (std::string problem = m_engine.ExportProblem(); !problem.empty()) {
        m_problems.push_back(std::move(problem));
        m_aviRows.clear(); // a full disk fails the next row too
    }
    m_engine.StopExport();
    if (m_eachEntry) {
        if (m_problems.empty() && !m_eachRows.empty()) {
            BackupStep next = startEachEntryRow();
            if (next.started || !next.message.empty()) {
                if (!next.message.empty()) {
                    m_problems.push_back(next.message);
                } else {
                    return next;
                }
            }
        }
        m_eachEntry = false;
        m_eachRows.clear();
        step.skipped = m_eachSkipped;
    }
    if (m_format == BackupFormat::Avi && !m_aviRows.empty()) {
        BackupStep next = startAviRow();
        if (next.started) {
            return next;
        }
    }
    m_aviRows.clear();
    m_selection = {};
    step.finished = true;
    step.progress = 100;
    for (const std::string& p : m_problems) {
        step.problem += (step.problem.empty() ? "" : "\n") + p;
    }
    return step;
}

} // namespace tavero::app
