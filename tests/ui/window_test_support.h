// The main window over a fake player, for widget tests: a controller that hands out the test's
// FakePlayer, messages that are recorded instead of shown, a program folder of its own, and an
// empty system for the drive scan (no real drive is ever looked at).
//
// Thread: the test's (UI) thread.
#pragma once

#include "app/app_settings.h"
#include "fake_player.h"
#include "platform/drive_table.h"
#include "platform/program_paths.h"
#include "temp_folder.h"
#include "ui/dialogs/user_messages.h"
#include "ui/main/main_dlg.h"
#include "ui/main/player_controller.h"

#include <QCoreApplication>
#include <memory>
#include <string>
#include <vector>

namespace tavero::test {

class FakeController final : public ui::PlayerController {
public:
    explicit FakeController(FakePlayer& player) : m_player(player) {}
    [[nodiscard]] app::PlayerCommands& commands() override { return m_player; }
    void repaint() override { ++repaints; }
    [[nodiscard]] bool snapshot(const app::SnapshotTexts& texts) override {
        snapshots.push_back(texts);
        return true;
    }
    // Stands for the engine's notification of a new unit trailer.
    void postTrailer() { Q_EMIT unitTrailerArrived(); }

    int repaints = 0;
    std::vector<app::SnapshotTexts> snapshots;

private:
    FakePlayer& m_player;
};

class RecordedMessages final : public ui::UserMessages {
public:
    void show(const QString& text, bool) override { shown.push_back(text.toStdString()); }
    [[nodiscard]] bool askYesNo(const QString& text) override {
        asked.push_back(text.toStdString());
        return answer;
    }
    std::vector<std::string> shown;
    std::vector<std::string> asked;
    bool answer = false;
};

// A window of the UI mode that fits `screen`, built as the program builds it.
class WindowFixture {
public:
    // `real` plays through the engine instead of the fake player.
    explicit WindowFixture(QSize screen = QSize(1920, 1080),
                           std::vector<std::string> arguments = {"no-scan"}, bool real = false)
        : settings(platform::programPathsInFolder(folder.path()), "en_US") {
        platform::SetSysfsRoot(folder.path() + "sys");
        ui::MainDlgOptions options;
        options.screenSize = screen;
        options.arguments = std::move(arguments);
        options.watchDevices = false;
        options.roots = {folder.path() + "sys", folder.path() + "dev", folder.path() + "mountinfo"};
        options.messages = &messages;
        options.openFolder = [this](const QString& f) { openedFolders.push_back(f); };
        std::unique_ptr<ui::PlayerController> used;
        if (real) {
            used = std::make_unique<ui::EngineController>();
        } else {
            auto fake = std::make_unique<FakeController>(player);
            controller = fake.get();
            used = std::move(fake);
        }
        window = std::make_unique<ui::CMainDlg>(settings, std::move(used), options);
    }
    ~WindowFixture() {
        window.reset();
        platform::SetSysfsRoot("");
    }

    // Shows the window and lets the start-up (command line) run.
    void show() {
        window->show();
        for (int i = 0; i < 5; ++i) {
            QCoreApplication::processEvents();
        }
    }

    // Opens a raw backup file with the given recordings, as "Browse..." would. The file is made
    // in the test's folder (the window stops playing a file that is not there).
    void openRecordings(const std::vector<FakeRecording>& recordings,
                        const std::string& name = "drive.sd") {
        player.setRecordings(recordings);
        folder.write(name, "x");
        (void)window->chooser().OpenBackupFile(folder.path() + name);
        window->SourceChanged();
    }

    TempFolder folder;
    app::AppSettings settings;
    FakePlayer player;
    FakeController* controller = nullptr; // null when playing through the engine
    RecordedMessages messages;
    std::vector<QString> openedFolders;
    std::unique_ptr<ui::CMainDlg> window;
};

} // namespace tavero::test
