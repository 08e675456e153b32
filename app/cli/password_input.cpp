#include "app/cli/password_input.h"

#include "platform/files/strings.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace vanthe::cli {

namespace {

volatile std::sig_atomic_t terminalSaved = 0;
int terminalFd = -1;
termios savedTerminal{};

enum class LineRead { Done, Failed, TooLong };

// Reads the first line of fd in blocks into `line`, without its ending. Whatever follows the
// line in the same block is read too, and wiped. `line` never grows past its reserve, so no
// copy of the secret is left behind in freed memory.
LineRead ReadFirstLine(int fd, std::string& line, int& error) {
    // Room for the longest line, its "\r\n", and one byte to tell that it is longer.
    char buffer[kPasswordLimit + 3];
    std::size_t size = 0;
    std::size_t end = 0;
    bool found = false;
    LineRead outcome = LineRead::Done;
    while (!found && size < sizeof buffer) {
        ssize_t n = ::read(fd, buffer + size, sizeof buffer - size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            error = errno;
            outcome = LineRead::Failed;
            break;
        }
        if (n == 0) {
            break;
        }
        if (void* newline = std::memchr(buffer + size, '\n', static_cast<std::size_t>(n))) {
            end = static_cast<std::size_t>(static_cast<char*>(newline) - buffer);
            found = true;
        }
        size += static_cast<std::size_t>(n);
    }
    if (outcome == LineRead::Done) {
        if (!found) {
            end = size;
        }
        if (end > 0 && buffer[end - 1] == '\r') {
            --end;
        }
        if (end > kPasswordLimit || (!found && size == sizeof buffer)) {
            outcome = LineRead::TooLong;
        } else {
            line.reserve(kPasswordLimit);
            line.assign(buffer, end);
        }
    }
    platform::SecureZeroMemory(buffer, sizeof buffer);
    return outcome;
}

std::string TooLong(const std::string& where) {
    return where + ": the password line is longer than " + std::to_string(kPasswordLimit) +
           " bytes";
}

bool Prompt(int fd, const char* text, std::string& answer, std::string& reason) {
    (void)!::write(fd, text, std::strlen(text));
    int error = 0;
    LineRead outcome = ReadFirstLine(fd, answer, error);
    (void)!::write(fd, "\n", 1);
    if (outcome == LineRead::TooLong) {
        reason = TooLong("the terminal");
    } else if (outcome == LineRead::Failed) {
        reason = std::string("could not read the password: ") + std::strerror(error);
    }
    return outcome == LineRead::Done;
}

} // namespace

bool ReadPasswordFile(const std::string& path, std::string& password, std::string& reason) {
    bool standardInput = path == "-";
    int fd = standardInput ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    std::string where = standardInput ? std::string("standard input") : path;
    if (fd < 0) {
        reason = where + ": " + std::strerror(errno);
        return false;
    }
    int error = 0;
    LineRead outcome = ReadFirstLine(fd, password, error);
    if (!standardInput) {
        ::close(fd);
    }
    if (outcome == LineRead::Failed) {
        reason = where + ": " + std::strerror(error);
    } else if (outcome == LineRead::TooLong) {
        reason = TooLong(where);
    }
    return outcome == LineRead::Done;
}

bool AskPassword(bool confirm, std::string& password, std::string& reason) {
    int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (fd < 0 || ::tcgetattr(fd, &savedTerminal) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        reason = "no terminal to ask the password at; use --password-file";
        return false;
    }
    terminalFd = fd;
    terminalSaved = 1;
    termios quiet = savedTerminal;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(fd, TCSAFLUSH, &quiet);

    std::string again;
    bool ok = Prompt(fd, "Password: ", password, reason);
    if (ok && confirm && !password.empty()) {
        ok = Prompt(fd, "Repeat password: ", again, reason);
        if (ok && again != password) {
            reason = "the passwords do not match";
            ok = false;
        }
    }
    platform::SecureZeroMemory(again.data(), again.size());
    RestoreTerminal();
    ::close(fd);
    return ok;
}

void RestoreTerminal() {
    if (terminalSaved != 0) {
        ::tcsetattr(terminalFd, TCSAFLUSH, &savedTerminal);
        terminalSaved = 0;
    }
}

} // namespace vanthe::cli
