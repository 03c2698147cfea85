// The window's one player: the controller that owns the engine's control for the window's whole
// life and turns the engine's notifications (posted from its worker threads) into Qt signals on
// the UI thread, in the order they were posted. Widgets never hold the engine handle; they talk
// to the rules in src/app, which drive the player through commands().
//
// PlayerController is the interface the main window sees; EngineController is the real one over
// the engine, tests supply one over a fake player.
//
// Thread: UI thread. The notification sink inside EngineController is the only part called from
// engine threads; it only queues a call to the UI thread.
#pragma once

#include "app/app_settings.h"
#include "app/backup_chooser.h"
#include "app/engine_backup.h"
#include "app/main_window_rules.h"
#include "app/player_commands.h"
#include "engine/video_window.h"

#include <QObject>
#include <memory>

namespace tavero::engine {
class COzuCtrl;
}

namespace tavero::ui {

class PlayerController : public QObject {
    Q_OBJECT

public:
    explicit PlayerController(QObject* parent = nullptr) : QObject(parent) {}

    // False when the engine could not be created; the window then says so and closes.
    [[nodiscard]] virtual bool isValid() const { return true; }
    [[nodiscard]] virtual app::PlayerCommands& commands() = 0;
    // The export commands of the backup dialog; null when this player cannot export.
    [[nodiscard]] virtual app::BackupCommands* backupCommands() { return nullptr; }

    // Where channel `channel`'s pictures go (null: nowhere). Set before the window that
    // receives them is destroyed.
    virtual void setVideoWindow(int /*channel*/, engine::VideoWindow* /*window*/) {}
    // Decoding and display settings of one channel (0-based), from its "Channel-NN" section.
    virtual void configureChannel(int /*channel*/, const app::ChannelSettings& /*settings*/) {}
    // Time and information lines drawn on the pictures.
    virtual void showInfo(bool /*on*/) {}
    // Every channel draws its last picture again.
    virtual void repaint() {}
    // Saves the shown pictures (one BMP per channel, named from the texts' prefix); false when
    // the folder cannot be made.
    [[nodiscard]] virtual bool snapshot(const app::SnapshotTexts& /*texts*/) { return false; }

Q_SIGNALS:
    // A channel's picture size changed (retitle its free window).
    void videoSizeChanged(int channel);
    // A channel met its end marker, or -1: the source has no more data.
    void endOfStream(qint64 channel);
    // A new unit trailer was taken over by the engine.
    void unitTrailerArrived();
};

// The real player. Creates the engine's control on construction and destroys it (stopping
// every worker) on destruction.
class EngineController final : public PlayerController {
    Q_OBJECT

public:
    explicit EngineController(QObject* parent = nullptr);
    ~EngineController() override;
    EngineController(const EngineController&) = delete;
    EngineController& operator=(const EngineController&) = delete;

    [[nodiscard]] bool isValid() const override { return m_control != nullptr; }
    [[nodiscard]] app::PlayerCommands& commands() override;
    [[nodiscard]] app::BackupCommands* backupCommands() override { return m_backup.get(); }
    void setVideoWindow(int channel, engine::VideoWindow* window) override;
    void configureChannel(int channel, const app::ChannelSettings& settings) override;
    void showInfo(bool on) override;
    void repaint() override;
    [[nodiscard]] bool snapshot(const app::SnapshotTexts& texts) override;

    [[nodiscard]] engine::COzuCtrl* control() const { return m_control; }

private:
    class Sink;
    void deliver(quint32 message, qint64 lParam);

    std::unique_ptr<Sink> m_sink;
    engine::COzuCtrl* m_control = nullptr;
    std::unique_ptr<app::PlayerCommands> m_commands;
    std::unique_ptr<app::EngineBackup> m_backup; // goes before the control, after it closed
};

} // namespace tavero::ui
