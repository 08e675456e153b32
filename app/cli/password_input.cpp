#include "app/cli/password_input.h"

#include "platform/files/file_api.h"
#include "platform/files/strings.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace vanthe::cli {

namespace {

volatile std::sig_atomic_t terminalSaved = 0;
int terminalFd = -1;
termios savedTerminal{};

// Reads one line from fd byte by byte, so nothing past the line is consumed.
bool ReadLine(int fd, std::string& line, bool& sawEnd) {
    line.clear();
    sawEnd = false;
    char c = 0;
    for (;;) {
        ssize_t n = ::read(fd, &c, 1);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (n == 0) {
            sawEnd = true;
            return true;
        }
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            return true;
        }
        line.push_back(c);
    }
}

bool Prompt(int fd, const char* text, std::string& answer) {
    (void)!::write(fd, text, std::strlen(text));
    bool sawEnd = false;
    bool ok = ReadLine(fd, answer, sawEnd);
    (void)!::write(fd, "\n", 1);
    return ok;
}

} // namespace

bool ReadPasswordFile(const std::string& path, std::string& password, std::string& reason) {
    int fd = path == "-" ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        reason = path + ": " + std::strerror(errno);
        return false;
    }
    bool sawEnd = false;
    bool ok = ReadLine(fd, password, sawEnd);
    int error = errno;
    if (fd != STDIN_FILENO) {
        ::close(fd);
    }
    if (!ok) {
        reason = path + ": " + std::strerror(error);
        return false;
    }
    return true;
}

bool AskPassword(bool confirm, std::string& password, std::string& reason) {
    int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        reason = "no terminal to ask the password at; use --password-file";
        return false;
    }
    termios quiet{};
    if (::tcgetattr(fd, &savedTerminal) != 0) {
        ::close(fd);
        reason = "no terminal to ask the password at; use --password-file";
        return false;
    }
    terminalFd = fd;
    terminalSaved = 1;
    quiet = savedTerminal;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(fd, TCSAFLUSH, &quiet);

    std::string again;
    bool ok = Prompt(fd, "Password: ", password);
    if (ok && confirm && !password.empty()) {
        ok = Prompt(fd, "Repeat password: ", again);
        if (ok && again != password) {
            reason = "the passwords do not match";
            platform::SecureZeroMemory(again.data(), again.size());
            RestoreTerminal();
            ::close(fd);
            return false;
        }
    }
    platform::SecureZeroMemory(again.data(), again.size());
    RestoreTerminal();
    ::close(fd);
    if (!ok) {
        reason = "could not read the password";
    }
    return ok;
}

void RestoreTerminal() {
    if (terminalSaved != 0) {
        ::tcsetattr(terminalFd, TCSAFLUSH, &savedTerminal);
        terminalSaved = 0;
    }
}

} // namespace vanthe::cli
