#include "app/cli/cli_options.h"

#include "engine/encrypted_name.h"

#include <string_view>
#include <vector>

namespace vanthe::cli {

const char kUsage[] =
    "Usage:\n"
    "  vanthe-cli encrypt [--password-file FILE] [--force] [--quiet] SOURCE [DESTINATION]\n"
    "  vanthe-cli decrypt [--password-file FILE] [--force] [--quiet] SOURCE [DESTINATION]\n"
    "  vanthe-cli --help | --version\n"
    "\n"
    "Encrypts or decrypts one file under a password, in the format of Vanthe's .enx files.\n"
    "\n"
    "  --password-file FILE  take the password from the first line of FILE (\"-\": standard\n"
    "                        input); without it the password is asked at the terminal\n"
    "  --force               replace an existing DESTINATION\n"
    "  --quiet               show no progress\n"
    "\n"
    "DESTINATION defaults to SOURCE.enx when encrypting, and to SOURCE without its .enx\n"
    "ending when decrypting. The result is written to a temporary file beside DESTINATION\n"
    "and takes its name only when the job succeeded.\n"
    "\n"
    "Exit status: 0 success, 1 the job failed, 2 usage error or refusal.\n";

bool ParseOptions(int argc, char** argv, Options& options, std::string& reason) {
    options = Options{};
    if (argc < 2) {
        reason = "missing command";
        return false;
    }
    std::string_view command = argv[1];
    if (command == "--help" || command == "-h") {
        options.command = Command::Help;
        return true;
    }
    if (command == "--version") {
        options.command = Command::Version;
        return true;
    }
    if (command == "encrypt") {
        options.command = Command::Encrypt;
    } else if (command == "decrypt") {
        options.command = Command::Decrypt;
    } else {
        reason = "unknown command '" + std::string(command) + "'";
        return false;
    }

    std::vector<std::string> operands;
    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
        std::string_view word = argv[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            operands.emplace_back(word);
        } else if (word == "--") {
            optionsEnded = true;
        } else if (word == "--force") {
            options.force = true;
        } else if (word == "--quiet" || word == "-q") {
            options.quiet = true;
        } else if (word == "--password-file") {
            if (i + 1 >= argc) {
                reason = "--password-file needs a FILE";
                return false;
            }
            options.passwordFile = argv[++i];
        } else if (word.starts_with("--password-file=")) {
            options.passwordFile = word.substr(sizeof "--password-file=" - 1);
        } else if (word == "--help" || word == "-h") {
            options.command = Command::Help;
            return true;
        } else {
            reason = "unknown option '" + std::string(word) + "'";
            return false;
        }
        if (word.starts_with("--password-file") && options.passwordFile.empty()) {
            reason = "--password-file needs a FILE";
            return false;
        }
    }
    if (operands.empty()) {
        reason = "missing SOURCE";
        return false;
    }
    if (operands.size() > 2) {
        reason = "too many operands";
        return false;
    }
    options.source = operands[0];
    if (operands.size() == 2) {
        options.destination = operands[1];
    } else if (options.command == Command::Encrypt) {
        options.destination = options.source + kEncryptedMarker;
    } else if (HasEncryptedMarker(options.source) &&
               options.source.size() > kEncryptedMarkerLength) {
        options.destination =
            options.source.substr(0, options.source.size() - kEncryptedMarkerLength);
    } else {
        reason = "SOURCE has no .enx ending; give a DESTINATION";
        return false;
    }
    if (options.source.empty() || options.destination.empty()) {
        reason = "empty file name";
        return false;
    }
    return true;
}

} // namespace vanthe::cli
