// tavero: the desktop player. Starts the libraries, reads the settings and the language, runs
// the main window as the program's one modal dialog, and writes the language and UI mode back
// to "Config.ini" when the window has closed.
//
//   tavero [-f PATH]     PATH: a raw backup file (.sd) or car2://N; without it the drives are
//                        scanned for recorder cards.
//   TAVERO_NO_DEVICE_WATCH=1 in the environment: device arrivals and removals are not watched.
//   TAVERO_NO_MAP_PAGE=1: the map view loads no page (no web engine starts); for tests and
//                        machines where the map is not wanted.

#include "app/app_settings.h"
#include "app/drive_settings.h"
#include "app/startup_checks.h"
#include "engine/video_decoder.h"
#include "ui/dialogs/user_messages.h"
#include "ui/main/main_dlg.h"
#include "ui/main/player_controller.h"
#include "ui/map/map_dlg.h"

#include <QApplication>
#include <QFont>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace tavero;

void tell(ui::UserMessages& messages, const app::AppSettings& settings,
          const app::StartupProblem& problem) {
    if (problem.none()) {
        return;
    }
    messages.show(ui::toQString(settings.Translate(problem.englishText)) +
                      ui::toQString(problem.detail),
                  true);
}

} // namespace

#if defined(__SANITIZE_ADDRESS__)
// Sanitizer builds (the tests' players): Chromium inside the map view's WebEngine frees some of
// its objects through a pointer of another size, which AddressSanitizer would stop the program
// for; that is its code's habit, not ours.
extern "C" const char* __asan_default_options() {
    return "new_delete_type_mismatch=0:alloc_dealloc_mismatch=0";
}
#endif

int main(int argc, char** argv) {
    // The settings store comes first: everything else reads it.
    app::AppSettings settings = app::AppSettings::forRunningProgram();

    // The map view's browser shares its OpenGL contexts with the window; both must be settled
    // before the application object exists.
    const bool mapPage = std::getenv("TAVERO_NO_MAP_PAGE") == nullptr;
    if (mapPage) {
        ui::PrepareWebEngine();
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    }
    QApplication application(argc, argv); // takes Qt's own options out of argv
    QApplication::setApplicationName(QString::fromLatin1(ui::kMessageCaption));
    QApplication::setFont(QFont(QStringLiteral("DejaVu Sans")));

    engine::InitCodecLibrary();
    settings.LoadLanguage();
    ui::MessageBoxes startupMessages(nullptr);
    tell(startupMessages, settings, app::SettingsFileProblem(settings));
    tell(startupMessages, settings, app::LanguageFileProblem(settings));
    tell(startupMessages, settings,
         app::DriveSettingsProblem(app::LoadDriveSettings(settings).problems));

    ui::MainDlgOptions options;
    // Tests and screenshots on a shared machine keep the program away from its real drives:
    // no device events are watched (and so no scans follow them).
    options.watchDevices = std::getenv("TAVERO_NO_DEVICE_WATCH") == nullptr;
    if (mapPage) {
        options.mapPage = ui::CMapDlg::PageFor(ui::toQString(settings.programFolder()));
    }
    for (int i = 1; i < argc; ++i) {
        options.arguments.emplace_back(argv[i]);
    }
    ui::CMainDlg window(settings, std::make_unique<ui::EngineController>(), std::move(options));
    if (!window.startedOk()) {
        startupMessages.show(ui::toQString(settings.Translate("The player could not be started.")),
                             true);
        return 1;
    }
    window.show();
    window.exec();
    settings.SaveOnExit();
    return 0;
}
