#include "app/gui/command_line.h"

#include <cstring>

namespace vanthe {

namespace {

// A blank is a byte from 1 to 32. Bytes from 128 up are not blanks, so UTF-8 paths stay whole.
bool IsBlank(char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte != 0 && byte <= 32;
}

// One character forward; a character is one byte in UTF-8's view of blanks and quotes.
const char* CharNext(const char* at) {
    return *at != '\0' ? at + 1 : at;
}

} // namespace

std::string BuildCommandLine(int argc, const char* const* argv) {
    std::string line;
    std::string program = argc > 0 && argv[0] != nullptr ? argv[0] : "vanthe";
    bool quote = program.find_first_of(" \t") != std::string::npos;
    line = quote ? "\"" + program + "\"" : program;
    for (int i = 1; i < argc; ++i) {
        line += ' ';
        line += argv[i];
    }
    return line;
}

const char* FindCommandTail(const char* commandLine) {
    const char* at = commandLine;
    if (*at == '"') {
        at = CharNext(at);
        while (*at != '"' && *at != '\0') {
            at = CharNext(at);
        }
        if (*at == '"') {
            at = CharNext(at);
        }
    } else {
        while (*at != '\0' && !IsBlank(*at)) {
            at = CharNext(at);
        }
    }
    while (IsBlank(*at)) {
        at = CharNext(at);
    }
    return at;
}

InfoRequest FindInfoRequest(int argc, const char* const* argv) {
    if (argc != 2 || argv[1] == nullptr) {
        return InfoRequest::None;
    }
    if (std::strcmp(argv[1], "--help") == 0) {
        return InfoRequest::Help;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        return InfoRequest::Version;
    }
    return InfoRequest::None;
}

std::string UsageText() {
    return "Usage: vanthe [FILE]\n"
           "Opens the Vanthe dialog to encrypt or decrypt one file under a password; FILE is\n"
           "proposed as the source. A file named like an option is given as ./--name.\n"
           "\n"
           "  --help     show this help and exit\n"
           "  --version  show the version and exit\n";
}

} // namespace vanthe
