#include "app/source_chooser.h"

#include "app/recorder_clock.h"
#include "engine/source_type.h"
#include "platform/drive_table.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>
#include <utility>

namespace tavero::app {
namespace {

constexpr std::string_view kOpenFailedPrefix = "open  ";
constexpr std::string_view kOpenFailedSuffix = " failed";
constexpr std::string_view kNotBackupFileText = " is not a raw backup file (*.sd)";
constexpr std::string_view kNoRecordingsText = " holds no recordings that can be played";
// A walk longer than any index can be (two copies of at most 65536 records) means a loop.
constexpr int kMaxEntries = 1 << 17;

ChooserOptions WithDefaults(ChooserOptions o) {
    if (!o.translate) {
        o.translate = [](std::string_view text) { return std::string(text); };
    }
    if (!o.sleepMs) {
        o.sleepMs = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    }
    return o;
}

} // namespace

bool HasBackupFileSuffix(std::string_view path) {
    return path.size() >= kBackupFileSuffix.size() &&
           path.substr(path.size() - kBackupFileSuffix.size()) == kBackupFileSuffix;
}

std::string FirstBackupFileIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& file : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = file.path().filename().string();
        std::error_code typeError;
        if (name.size() > kBackupFileSuffix.size() && HasBackupFileSuffix(name) &&
            file.is_regular_file(typeError)) {
            names.push_back(name);
        }
    }
    if (names.empty()) {
        return {};
    }
    std::sort(names.begin(), names.end());
    return (std::filesystem::path(folder) / names.front()).string();
}

SourceKindControls ControlsForKind(BackupSourceKind kind) {
    switch (kind) {
    case BackupSourceKind::RemovableStorage:
        return {true, false, false};
    case BackupSourceKind::BackupFile:
        return {false, false, true};
    case BackupSourceKind::LocalDisk:
        break;
    }
    return {false, true, false};
}

SourceChooser::SourceChooser(PlayerCommands& player, RecordingList& list, const WindowState& window,
                             SourceChooserHost& host, ChooserOptions options)
    : m_player(player), m_list(list), m_window(window), m_host(host),
      m_options(WithDefaults(std::move(options))) {}

std::string SourceChooser::translate(std::string_view text) const {
    return m_options.translate(text);
}

SourceKindControls SourceChooser::ChooseKind(BackupSourceKind kind) {
    m_kind = kind;
    m_progress = 0;
    return ControlsForKind(kind);
}

int SourceChooser::FillList() {
    m_rows.clear();
    // The main list mirrors the rows: row i plays entry i.
    m_list.Clear();
    const std::int64_t offset = m_window.timeOffset;
    store::IndexRecord* record = m_player.LoadIndex();
    for (int n = 0; record != nullptr && n < kMaxEntries; ++n) {
        const store::RecordingEntry e =
            m_player.BuildEntry(record, static_cast<std::int32_t>(n + 1));
        if (m_eventFilter == 0 || e.eventCode == m_eventFilter) {
            const MainListRow texts = MainListRowTexts(e, offset);
            ChooserRow row;
            row.number = std::to_string(m_rows.size() + 1);
            row.start = texts.start;
            row.event = translate(store::EventTypeName(e.eventCode));
            row.end = texts.end;
            row.duration = texts.total;
            row.firstRecord = e.firstRecord;
            m_rows.push_back(std::move(row));
            m_list.Append(e);
        }
        if (e.next == record) {
            break;
        }
        record = e.next;
    }
    m_progress = 100;
    return static_cast<int>(m_rows.size());
}

bool SourceChooser::OnHeaderClicked(int column) {
    if (column != kEventTypeColumn) {
        return false;
    }
    for (int attempt = 0; attempt < 8; ++attempt) {
        m_eventFilter = (m_eventFilter + 1) % kEventFilterCount;
        if (FillList() > 0) {
            break;
        }
    }
    return true;
}

std::string SourceChooser::eventColumnTitle() const {
    return translate(store::EventTypeName(m_eventFilter));
}

void SourceChooser::openInPlayer(const std::string& path, const std::string& location) {
    m_host.StopPlayback();
    if (path != m_sourcePath) {
        m_eventFilter = 0; // a new source starts unfiltered; reopening keeps the filter
    }
    m_player.Open(path);
    m_sourcePath = path;
    m_sourceLocation = location;
    m_lastProblem.clear();
}

bool SourceChooser::OpenBackupFile(const std::string& path) {
    if (path.empty() || !HasBackupFileSuffix(path)) {
        return false;
    }
    m_host.SetCurrentDrive(-1);
    openInPlayer(path, path);
    m_filePath = path;
    if (FillList() == 0) {
        const std::string reason = m_player.LoadError();
        m_lastProblem = path + translate(kNoRecordingsText);
        if (!reason.empty()) {
            m_lastProblem += ": " + reason;
        }
    }
    return true;
}

bool SourceChooser::OpenSourcePath(const std::string& path) {
    const engine::DetectedSource source = engine::DetectSource(path);
    if (source.type == engine::kSourceCard) {
        const int drive = engine::CardDriveNumber(source);
        const std::optional<std::string> device = platform::ResolveDrivePath(drive);
        if (!device) {
            m_lastProblem =
                translate(kOpenFailedPrefix) + source.path + translate(kOpenFailedSuffix);
            return false;
        }
        m_deviceText = *device;
        return m_host.OpenCard(*device) && !m_list.empty();
    }
    if (!OpenBackupFile(source.path)) {
        m_lastProblem = source.path + translate(kNotBackupFileText);
        return false;
    }
    ChooseKind(BackupSourceKind::BackupFile);
    return true;
}

DropResult SourceChooser::OnFilesDropped(const std::vector<std::string>& paths) {
    DropResult result;
    if (paths.empty()) {
        return result;
    }
    if (!OpenBackupFile(paths.front())) {
        result.message = paths.front() + translate(kNotBackupFileText);
        return result;
    }
    ChooseKind(BackupSourceKind::BackupFile);
    result.opened = true;
    result.showChooser = true;
    result.message = m_lastProblem;
    return result;
}

bool SourceChooser::ChooseRemovableDevice(const std::string& deviceText) {
    m_deviceText = deviceText;
    m_lastProblem.clear();
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        if (m_host.OpenCard(deviceText)) {
            return true;
        }
        if (attempt + 1 < kOpenAttempts) {
            m_options.sleepMs(kOpenRetryMs);
        }
    }
    m_lastProblem = translate(kOpenFailedPrefix) + deviceText + translate(kOpenFailedSuffix);
    return false;
}

bool SourceChooser::ChooseOtherDevice(const cardtools::DeviceEntry& entry) {
    m_lastProblem.clear();
    if (entry.itemData == cardtools::kCdRomItemData) {
        ChooseKind(BackupSourceKind::BackupFile);
        const std::string file = FirstBackupFileIn(entry.text);
        if (file.empty()) {
            m_lastProblem = entry.text + translate(kNoRecordingsText);
            return false;
        }
        return OpenBackupFile(file);
    }
    m_deviceText = entry.text;
    if (!m_host.OpenCard(entry.text)) {
        m_lastProblem = translate(kOpenFailedPrefix) + entry.text + translate(kOpenFailedSuffix);
        return false;
    }
    return true;
}

bool SourceChooser::ReopenSource() {
    if (m_kind == BackupSourceKind::BackupFile) {
        return OpenBackupFile(m_filePath);
    }
    if (m_deviceText.empty()) {
        return false;
    }
    return m_host.OpenCard(m_deviceText);
}

void SourceChooser::ResetSelection() {
    m_filePath.clear();
    m_progress = 0;
}

bool SourceChooser::OpenCardSource(int drive) {
    if (drive < 0) {
        return false;
    }
    const std::optional<std::string> device = platform::ResolveDrivePath(drive);
    openInPlayer(engine::CardUrl(static_cast<unsigned>(drive)), device.value_or(std::string()));
    return m_player.LoadIndex() != nullptr;
}

void SourceChooser::CardOpened(const std::string& deviceText, const std::string& volumeLabel) {
    m_deviceText = deviceText;
    m_volumeText = volumeLabel.empty() ? deviceText : volumeLabel + " (" + deviceText + ")";
    if (FillList() == 0) {
        const std::string reason = m_player.LoadError();
        m_lastProblem = deviceText + translate(kNoRecordingsText);
        if (!reason.empty()) {
            m_lastProblem += ": " + reason;
        }
    }
}

int SourceChooser::OnRowDoubleClicked(int row) const {
    return row >= 0 && row < static_cast<int>(m_rows.size()) && m_list.contains(row) ? row : -1;
}

std::string SourceChooser::browseFolder() const {
    if (m_filePath.empty()) {
        return {};
    }
    return std::filesystem::path(m_filePath).parent_path().string();
}

} // namespace tavero::app
