#pragma once

// What vanthe-cli does when a signal ends it: no result half written under a temporary name,
// no terminal left without echo.

namespace vanthe::cli {

// Every signal that ends the program by default and can be caught (SIGINT, SIGTERM, SIGHUP,
// SIGQUIT, SIGPIPE, SIGUSR1, SIGUSR2, SIGALRM) first removes the unpublished results and
// restores the terminal, then ends the program as that signal would have. SIGXFSZ is ignored,
// so a file-size limit makes the write fail with EFBIG and the job fails like any other.
void InstallSignalCleanup();

} // namespace vanthe::cli
