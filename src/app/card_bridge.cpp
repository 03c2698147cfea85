#include "app/card_bridge.h"

#include "app/recorder_clock.h"

#include <utility>

namespace tavero::app {

CardBridge::CardBridge(const AppSettings& settings, WindowState& window, RecordingList& list,
                       CardBridgeHooks hooks)
    : m_settings(settings), m_window(window), m_list(list), m_hooks(std::move(hooks)) {}

void CardBridge::attach(SourceChooser* chooser, PlaybackControls* controls,
                        cardtools::CCardDetection* detection) {
    m_chooser = chooser;
    m_controls = controls;
    m_detection = detection;
}

void CardBridge::apply(const Outcome& outcome) {
    if (m_hooks.apply) {
        m_hooks.apply(outcome);
    }
}

int CardBridge::AutoPlaySetting() {
    if (m_hooks.cardsHeld && m_hooks.cardsHeld()) {
        return 0; // a card being formatted comes and goes; it is not played meanwhile
    }
    return m_settings.ReadConfigInt("AutoPlay", 1);
}

int CardBridge::AutoPlayDvdSetting() {
    return m_settings.ReadConfigInt("AutoPlayDVD", 0);
}

std::uint32_t CardBridge::SpeedUnitSetting() {
    return static_cast<std::uint32_t>(m_settings.ReadConfigInt("SetEDR_Speed", 0));
}

cardtools::BackupSourceKind CardBridge::SourceKind() {
    return m_chooser != nullptr ? m_chooser->kind() : cardtools::BackupSourceKind::LocalDisk;
}

std::string CardBridge::CurrentOtherListText() {
    return m_hooks.otherListText ? m_hooks.otherListText() : std::string();
}

bool CardBridge::OpenCardSource(int drive) {
    return m_chooser != nullptr && m_chooser->OpenCardSource(drive);
}

void CardBridge::CardOpened(const std::string& deviceText) {
    if (m_detection != nullptr) {
        // The card's sector (or the default when it has none) decides how its times are shown
        // and which unit the speed display uses.
        const recorderconfig::ConfigSector& sector = m_detection->Sector();
        m_window.timeOffset = ComputeTimeOffset(sector, StandardOffsetSeconds());
        m_window.speedUnit = sector.speedUnit;
        if (m_controls != nullptr && m_detection->Unlocked()) {
            m_controls->SetUnlocked(true);
        }
    }
    if (m_chooser != nullptr) {
        m_chooser->CardOpened(deviceText,
                              m_hooks.volumeLabel ? m_hooks.volumeLabel(deviceText) : "");
    }
}

void CardBridge::OpenBackupFile(const std::string& path) {
    if (m_chooser != nullptr) {
        (void)m_chooser->OpenBackupFile(path);
    }
}

bool CardBridge::RecordingListEmpty() {
    return m_list.empty();
}

void CardBridge::StartPlayback() {
    if (m_controls != nullptr) {
        apply(m_controls->StartFirstRecording());
    }
}

void CardBridge::LaunchOldPlayer() {
    if (m_hooks.launchOldPlayer) {
        m_hooks.launchOldPlayer();
    }
}

void CardBridge::SetFormatToolDrive(int drive) {
    if (m_hooks.formatToolDrive) {
        m_hooks.formatToolDrive(drive);
    }
}

bool CardBridge::OpenCard(const std::string& deviceText) {
    return m_detection != nullptr && m_detection->OpenCard(deviceText);
}

void CardBridge::SetCurrentDrive(int drive) {
    if (m_detection != nullptr) {
        m_detection->SetCurrentDrive(drive);
    }
}

void CardBridge::StopPlayback() {
    if (m_controls != nullptr && m_controls->sourceOpen()) {
        apply(m_controls->Stop());
    }
}

RemovalDecision
CardBridge::CheckPlayedSource(const std::function<bool(const std::string&)>& exists) {
    if (m_chooser == nullptr || m_controls == nullptr) {
        return {};
    }
    RemovalDecision d =
        DecideOnDeviceRemoval(m_chooser->sourceLocation(), m_controls->sourceOpen(), exists);
    if (d.stopPlayback) {
        apply(m_controls->Stop());
        d.message =
            m_settings.Translate(kSourceRemovedText) + d.message.substr(kSourceRemovedText.size());
    }
    return d;
}

} // namespace tavero::app
