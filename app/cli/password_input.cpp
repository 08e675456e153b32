#include "app/cli/password_input.h"

#include "app/cli/printable_name.h"
#include "platform/files/strings.h"
#include "platform/text/text_convert.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <string_view>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace vanthe::cli {

namespace {

volatile std::sig_atomic_t terminalSaved = 0;
int terminalFd = -1;
termios savedTerminal{};
termios quietTerminal{};
const char* volatile promptShown = nullptr; // the prompt being answered, if any
volatile std::size_t promptLength = 0;

// A shell that stops the program (Ctrl-Z) gives the terminal its echo back; when the program
// continues at the prompt, the echo goes off again before the next key is read. What was typed
// before the stop is dropped (Ctrl-Z drops it anyway) and the prompt shown again, so the
// answer starts afresh, as the user sees it.
void OnContinue(int) {
    if (terminalSaved != 0) {
        const int saved = errno;
        ::tcsetattr(terminalFd, TCSAFLUSH, &quietTerminal);
        if (const char* prompt = promptShown) {
            (void)!::write(terminalFd, prompt, promptLength);
        }
        errno = saved;
    }
}

enum class LineRead { Done, Failed, TooLong, NotUtf16 };

// How a password file's text is laid out. Files saved on Windows may begin with a byte-order
// mark: Notepad's "UTF-8 with BOM", or the UTF-16 that Windows PowerShell's ">" writes. The
// mark is no part of the password.
struct TextLayout {
    std::size_t start = 0; // the first byte after the mark
    std::size_t unit = 1;  // 2 for UTF-16
    bool bigEndian = false;
};

TextLayout LayoutOf(const unsigned char* bytes, std::size_t size) {
    if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        return {3, 1, false};
    }
    if (size >= 2 &&
        ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))) {
        return {2, 2, bytes[0] == 0xFE};
    }
    return {};
}

// The character at `at` in the layout's units.
unsigned CharAt(const unsigned char* bytes, std::size_t at, const TextLayout& layout) {
    if (layout.unit == 1) {
        return bytes[at];
    }
    return layout.bigEndian ? (bytes[at] << 8u) | bytes[at + 1] : bytes[at] | (bytes[at + 1] << 8u);
}

// Where the first line ends (its '\n'), or `size` when none has been read yet.
std::size_t LineEnd(const unsigned char* bytes, std::size_t size, const TextLayout& layout) {
    for (std::size_t at = layout.start; at + layout.unit <= size; at += layout.unit) {
        if (CharAt(bytes, at, layout) == '\n') {
            return at;
        }
    }
    return size;
}

// Reads the first line of fd in blocks into `line`, without its ending; a file's line may be
// marked UTF-8 or UTF-16 and comes back as UTF-8. Whatever follows the line in the same
// block is read too, and wiped. `line` never grows past its reserve, so no copy of the secret
// is left behind in freed memory.
LineRead ReadFirstLine(int fd, bool file, std::string& line, int& error) {
    // Room for the longest line in UTF-16 with its mark and "\r\n", and more to tell that it
    // is longer.
    constexpr std::size_t kRoom = 2 * kPasswordLimit + 8;
    const std::unique_ptr<unsigned char[]> kept(new (std::nothrow) unsigned char[kRoom]);
    if (kept == nullptr) {
        error = ENOMEM;
        return LineRead::Failed;
    }
    unsigned char* const buffer = kept.get();
    std::size_t size = 0;
    std::size_t end = 0;
    TextLayout layout;
    bool found = false;
    LineRead outcome = LineRead::Done;
    while (!found && size < kRoom) {
        ssize_t n = ::read(fd, buffer + size, kRoom - size);
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
        size += static_cast<std::size_t>(n);
        layout = file ? LayoutOf(buffer, size) : TextLayout{};
        end = LineEnd(buffer, size, layout);
        found = end < size;
    }
    if (outcome == LineRead::Done) {
        if (!found) {
            // A stray last byte of UTF-16 is no character.
            end = size - (size - layout.start) % layout.unit;
        }
        if (end >= layout.start + layout.unit &&
            CharAt(buffer, end - layout.unit, layout) == '\r') {
            end -= layout.unit;
        }
        const std::size_t length = end - layout.start;
        if (!found && size == kRoom) {
            outcome = LineRead::TooLong;
        } else if (layout.unit == 1) {
            if (length > kPasswordLimit) {
                outcome = LineRead::TooLong;
            } else {
                line.reserve(kPasswordLimit);
                line.assign(reinterpret_cast<const char*>(buffer) + layout.start, length);
            }
        } else {
            std::string utf8;
            std::string_view units(reinterpret_cast<const char*>(buffer) + layout.start, length);
            if (platform::Utf16ToUtf8(units, layout.bigEndian, &utf8) !=
                platform::TextFault::None) {
                outcome = LineRead::NotUtf16;
            } else if (utf8.size() > kPasswordLimit) {
                outcome = LineRead::TooLong;
            } else {
                line.reserve(kPasswordLimit);
                line.assign(utf8);
            }
            platform::SecureZeroMemory(utf8.data(), utf8.size());
        }
    }
    platform::SecureZeroMemory(buffer, kRoom);
    return outcome;
}

std::string TooLong(const std::string& where) {
    return where + ": the password line is longer than " + std::to_string(kPasswordLimit) +
           " bytes";
}

bool Prompt(int fd, const char* text, std::string& answer, std::string& reason) {
    promptLength = std::strlen(text);
    promptShown = text;
    (void)!::write(fd, text, promptLength);
    int error = 0;
    LineRead outcome = ReadFirstLine(fd, false, answer, error);
    promptShown = nullptr;
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
    std::string where = standardInput ? std::string("standard input") : Printable(path);
    if (fd < 0) {
        reason = where + ": " + std::strerror(errno);
        return false;
    }
    int error = 0;
    LineRead outcome = ReadFirstLine(fd, true, password, error);
    if (!standardInput) {
        ::close(fd);
    }
    if (outcome == LineRead::Failed) {
        reason = where + ": " + std::strerror(error);
    } else if (outcome == LineRead::TooLong) {
        reason = TooLong(where);
    } else if (outcome == LineRead::NotUtf16) {
        reason = where + ": marked as UTF-16, but its first line is not UTF-16 text";
    } else if (password.find('\0') != std::string::npos) {
        // No password typed in a dialog holds one: this is a binary file given by mistake, and
        // the Windows program could never open what it would protect.
        platform::SecureZeroMemory(password.data(), password.size());
        password.clear();
        reason = where + ": the password line holds a NUL byte; a typed password never does";
        return false;
    }
    return outcome == LineRead::Done;
}

bool NamesATerminal(const std::string& path) {
    if (path == "-") {
        return ::isatty(STDIN_FILENO) != 0;
    }
    // Only a device is opened to find out: opening and closing a named pipe would cut off its
    // writer.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) {
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool terminal = ::isatty(fd) != 0;
    ::close(fd);
    return terminal;
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
    quietTerminal = savedTerminal;
    quietTerminal.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    terminalSaved = 1;
    struct sigaction onContinue {};
    struct sigaction previousOnContinue {};
    onContinue.sa_handler = OnContinue;
    onContinue.sa_flags = SA_RESTART;
    sigemptyset(&onContinue.sa_mask);
    ::sigaction(SIGCONT, &onContinue, &previousOnContinue);
    // A password that would show as it is typed is not asked for.
    if (::tcsetattr(fd, TCSAFLUSH, &quietTerminal) != 0) {
        reason = std::string("cannot hide the password at the terminal: ") + std::strerror(errno);
        RestoreTerminal();
        ::sigaction(SIGCONT, &previousOnContinue, nullptr);
        ::close(fd);
        return false;
    }

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
    ::sigaction(SIGCONT, &previousOnContinue, nullptr);
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
