// Interrupts (SIGINT, SIGTERM) for the commands that write or run long: the first one asks the
// command to stop, which closes what it writes; a second one ends the process at once.

#include "cli_common.h"

#include <atomic>
#include <csignal>

namespace tavero::cli {
namespace {

std::atomic<int> g_stopSignal{0};

extern "C" void OnStopSignal(int signo) {
    g_stopSignal.store(signo);
    // The next interrupt is not ours to handle: it ends the process the usual way.
    struct sigaction plain {};
    plain.sa_handler = SIG_DFL;
    sigemptyset(&plain.sa_mask);
    sigaction(signo, &plain, nullptr);
}

} // namespace

void InstallStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool StopRequested() {
    return g_stopSignal.load() != 0;
}

int StopExitStatus() {
    const int signo = g_stopSignal.load();
    return signo != 0 ? 128 + signo : 0;
}

} // namespace tavero::cli
