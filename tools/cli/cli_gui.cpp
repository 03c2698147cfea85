#include "cli_common.h"

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>

namespace tavero::cli {

std::unique_ptr<QGuiApplication> MakeGuiApplication() {
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtFatalMsg) {
            std::fprintf(stderr, "tavero-cli: %s\n", message.toLocal8Bit().constData());
        }
    });
    if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") == nullptr &&
        std::getenv("WAYLAND_DISPLAY") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    }
    static int argc = 1;
    static char name[] = "tavero-cli";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QGuiApplication>(argc, argv);
}

} // namespace tavero::cli
