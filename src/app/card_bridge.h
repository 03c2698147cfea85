// CardBridge: the glue between the window's card detection (cardtools::CCardDetection), the
// source chooser and the playback controls. It answers the card detection's questions from the
// settings and the chooser, opens cards and backup files through the chooser, recomputes the
// display offset and speed unit whenever a card's configuration sector was read, and plays the
// first recording when a card arrives with "AutoPlay" on. The window supplies the few things
// only it knows (hooks) and applies the playback outcomes it is handed.
//
// Thread: UI thread. Construct it first, then the chooser, the controls and the detection that
// refer to it, then attach() them.
#pragma once

#include "app/app_settings.h"
#include "app/main_window_rules.h"
#include "app/playback_controls.h"
#include "app/source_chooser.h"
#include "cardtools/card_detection.h"

#include <functional>
#include <string>

namespace tavero::app {

struct CardBridgeHooks {
    // Applies a playback outcome (autoplay, a stop before another source opens).
    std::function<void(const Outcome&)> apply;
    // The volume label of a card's device text; empty when unknown.
    std::function<std::string(const std::string&)> volumeLabel;
    // The text of the other device list's current entry; empty when none is chosen.
    std::function<std::string()> otherListText;
    std::function<void()> launchOldPlayer;
    std::function<void(int)> formatToolDrive;
    // True while arriving cards must not be opened by themselves (the format tool writes one).
    std::function<bool()> cardsHeld;
};

class CardBridge final : public cardtools::CardDetectionHost, public SourceChooserHost {
public:
    CardBridge(const AppSettings& settings, WindowState& window, RecordingList& list,
               CardBridgeHooks hooks);
    void attach(SourceChooser* chooser, PlaybackControls* controls,
                cardtools::CCardDetection* detection);

    // After device events: when the file or device being played went away, playback stops
    // (applied through the hooks) and the message says so.
    RemovalDecision CheckPlayedSource(const std::function<bool(const std::string&)>& exists = {});

    // cardtools::CardDetectionHost
    [[nodiscard]] int AutoPlaySetting() override;
    [[nodiscard]] int AutoPlayDvdSetting() override;
    [[nodiscard]] std::uint32_t SpeedUnitSetting() override;
    [[nodiscard]] cardtools::BackupSourceKind SourceKind() override;
    [[nodiscard]] std::string CurrentOtherListText() override;
    [[nodiscard]] bool OpenCardSource(int drive) override;
    void CardOpened(const std::string& deviceText) override;
    void OpenBackupFile(const std::string& path) override;
    [[nodiscard]] bool RecordingListEmpty() override;
    void StartPlayback() override;
    void LaunchOldPlayer() override;
    void SetFormatToolDrive(int drive) override;

    // SourceChooserHost
    [[nodiscard]] bool OpenCard(const std::string& deviceText) override;
    void SetCurrentDrive(int drive) override;
    void StopPlayback() override;

private:
    void apply(const Outcome& outcome);

    const AppSettings& m_settings;
    WindowState& m_window;
    RecordingList& m_list;
    CardBridgeHooks m_hooks;
    SourceChooser* m_chooser = nullptr;
    PlaybackControls* m_controls = nullptr;
    cardtools::CCardDetection* m_detection = nullptr;
};

} // namespace tavero::app
