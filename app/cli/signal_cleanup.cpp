#include "app/cli/signal_cleanup.h"

#include "app/cli/password_input.h"
#include "platform/files/safe_output.h"

#include <csignal>

namespace vanthe::cli {

namespace {

extern "C" void OnTerminatingSignal(int signal) {
    platform::RemoveUnpublishedResults();
    RestoreTerminal();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace

void InstallSignalCleanup() {
    struct sigaction action {};
    action.sa_handler = OnTerminatingSignal;
    // One cleanup at a time; the signal raised again is delivered when the handler returns.
    sigfillset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGUSR1, SIGUSR2, SIGALRM}) {
        sigaction(signal, &action, nullptr);
    }
    std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace vanthe::cli
