#include "app/cli/cli_options.h"

#include "app/cli/password_bytes.h"
#include "app/cli/printable_name.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <charconv>
#include <string_view>

namespace vanthe::cli {

const char kUsage[] =
    "Usage: vanthe-cli encrypt [OPTIONS] SOURCE...\n"
    "  or:  vanthe-cli decrypt [OPTIONS] SOURCE...\n"
    "  or:  vanthe-cli --help | --version\n"
    "Encrypts or decrypts files under a password, in the .enx format of Vanthe for Windows.\n"
    "\n"
    "Each SOURCE goes to its own destination: SOURCE.enx when encrypting, SOURCE without its\n"
    ".enx ending (in any case) when decrypting. SOURCE \"-\" reads standard input and needs -o,\n"
    "as does a named pipe or device such as <(command) or /dev/stdin.\n"
    "Several SOURCEs are processed at once; one that fails does not stop the others, but\n"
    "no SOURCE may be another's destination.\n"
    "\n"
    "Options:\n"
    "  -o, --output PATH         destination (one SOURCE only); \"-\" writes to standard output\n"
    "  -p, --password-file FILE  password from the first line of FILE (\"-\": standard input);\n"
    "                            without it the password is asked at the terminal\n"
    "      --codepage N          Windows code page of the password's bytes (default: chosen\n"
    "                            from the locale as Windows does, or VANTHE_CODEPAGE);\n"
    "                            65001 takes the UTF-8 bytes as they stand\n"
    "      --no-check            decrypt even when the result looks like random bytes (the\n"
    "                            sign of a wrong password); a result under 128 bytes is\n"
    "                            too short to tell, and is written with a note unless text\n"
    "  -f, --force               replace existing destinations\n"
    "  -j, --jobs N              files processed at once (default: the number of processors)\n"
    "  -q, --quiet               no progress\n"
    "  -h, --help                show this help and exit\n"
    "  -V, --version             show the version and exit\n"
    "\n"
    "A result is written beside its destination with the permissions of its source (read\n"
    "from a pipe or device: 0666 less the umask, as the shell's > gives), and takes\n"
    "the destination's name only when its job succeeded: a failed or interrupted job leaves\n"
    "nothing behind. An existing destination is replaced only with --force, and never when it\n"
    "is not a regular file, is the source or is the password file.\n"
    "\n"
    "Security:\n"
    "  .enx is the format of Vanthe for Windows, kept for exchanging files with it. Its key\n"
    "  is 40 bits of RC4 with no salt, so the same password gives the same key stream for\n"
    "  every file: anyone holding one plaintext and its .enx file can decrypt every other file\n"
    "  made under that password. It does not detect tampering. For new secrets use a modern\n"
    "  tool such as age or gpg.\n"
    "\n"
    "Exit status:\n"
    "  0  every file done\n"
    "  1  a job failed or a file was refused; the others were done\n"
    "  2  usage error, or every file refused before any work started\n"
    "  141 (SIGPIPE)  the reader of standard output left, as after | head\n"
    "\n"
    "Examples:\n"
    "  vanthe-cli encrypt -p pw.txt -- *.doc\n"
    "      encrypt each .doc file into a .doc.enx file beside it; after --, a file named\n"
    "      like an option (--password-file=x.doc, left by another user) is a file too\n"
    "  vanthe-cli decrypt report.doc.enx\n"
    "      ask the password and write report.doc\n"
    "  tar -c folder | vanthe-cli encrypt -p pw.txt -o folder.tar.enx -\n"
    "      encrypt a stream\n"
    "  vanthe-cli decrypt -p old.txt -o - file.enx | age -p -o file.age\n"
    "      move a file to a modern format through a pipe; the old password comes from a\n"
    "      file, since two programs asking at one terminal at once would mix the answers\n";

namespace {

constexpr unsigned kMostJobs = 1024;

// A whole decimal number, nothing else.
bool ParseNumber(std::string_view text, long long& value) {
    const char* end = text.data() + text.size();
    auto [at, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && error == std::errc() && at == end;
}

bool Judge(Options& options, const std::string& jobs, const std::string& codePage,
           std::string& reason) {
    if (options.sources.empty()) {
        reason = "missing SOURCE";
        return false;
    }
    long long number = 0;
    if (!jobs.empty()) {
        if (!ParseNumber(jobs, number) || number < 1 || number > kMostJobs) {
            reason = "--jobs wants a number from 1 to " + std::to_string(kMostJobs) + ", not '" +
                     Printable(jobs) + "'";
            return false;
        }
        options.jobs = static_cast<unsigned>(number);
    }
    if (!codePage.empty()) {
        if (!ParseNumber(codePage, number) || number <= 0 || number > 65535 ||
            !IsKnownCodePage(static_cast<int>(number))) {
            reason = "unknown code page '" + Printable(codePage) +
                     "': use 874, 932, 936, 949, 950, 1250 to 1258, or 65001 for UTF-8";
            return false;
        }
        options.codePage = static_cast<int>(number);
    }
    if (!options.output.empty() && options.sources.size() > 1) {
        reason = "-o names the destination of one SOURCE only";
        return false;
    }
    for (const std::string& source : options.sources) {
        if (source.empty()) {
            reason = "empty SOURCE name";
            return false;
        }
        if (source == kStandardStream && options.output.empty()) {
            reason = "SOURCE '-' (standard input) needs -o";
            return false;
        }
        if (source == kStandardStream && options.passwordFile == kStandardStream) {
            reason = "standard input cannot hold both the password and the data";
            return false;
        }
    }
    return true;
}

} // namespace

bool ParseOptions(int argc, char** argv, Options& options, std::string& reason) {
    options = Options{};
    if (argc < 2) {
        reason = "missing command (encrypt or decrypt)";
        return false;
    }
    std::string_view first = argv[1];
    if (first == "-h" || first == "--help") {
        options.command = Command::Help;
        return true;
    }
    if (first == "-V" || first == "--version") {
        options.command = Command::Version;
        return true;
    }
    if (first != "encrypt" && first != "decrypt") {
        reason = "unknown command '" + Printable(std::string(first)) + "' (encrypt or decrypt)";
        return false;
    }

    // CLI11 reports a bad call by throwing; the throw stops here.
    std::string jobs;
    std::string codePage;
    bool help = false;
    bool version = false;
    // The parser reads "--output=" with nothing after it as "--output" alone, and would take
    // the next argument as its value.
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") {
            break;
        }
        if (arg.starts_with("--") && arg.find('=') == arg.size() - 1) {
            reason =
                Printable(std::string(arg.substr(0, arg.size() - 1))) + " needs a value after '='";
            return false;
        }
    }
    try {
        CLI::App app{"", "vanthe-cli"};
        app.set_help_flag();
        CLI::App* command = app.add_subcommand(std::string(first));
        command->set_help_flag();
        // A switch takes no value: "--force=no" would read as --force to a user of other tools.
        command->option_defaults()->disable_flag_override();
        command->add_option("SOURCE", options.sources);
        CLI::Option* output = command->add_option("-o,--output", options.output);
        CLI::Option* password = command->add_option("-p,--password-file", options.passwordFile);
        CLI::Option* page = command->add_option("--codepage", codePage);
        command->add_flag("--no-check", options.noCheck);
        command->add_flag("-f,--force", options.force);
        CLI::Option* jobCount = command->add_option("-j,--jobs", jobs);
        command->add_flag("-q,--quiet", options.quiet);
        command->add_flag("-h,--help", help);
        command->add_flag("-V,--version", version);
        // An option given twice is said in our words, not the parser's.
        for (CLI::Option* once : {output, password, page, jobCount}) {
            once->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
        }
        app.parse(argc, argv);
        for (CLI::Option* once : {output, password, page, jobCount}) {
            if (once->count() > 1) {
                reason = once->get_name() + " is given more than once";
                return false;
            }
        }
        // An empty name is a slip, not a request for the default.
        if (output->count() > 0 && options.output.empty()) {
            reason = "--output needs a PATH";
            return false;
        }
        if (password->count() > 0 && options.passwordFile.empty()) {
            reason = "--password-file needs a FILE";
            return false;
        }
        if (page->count() > 0 && codePage.empty()) {
            reason = "--codepage needs a number N";
            return false;
        }
    } catch (const CLI::ParseError& error) {
        // The parser quotes what it was given, which may hold a terminal's control sequences.
        reason = Printable(error.what());
        const std::string_view valued = " was given a disallowed flag override";
        if (reason.size() > valued.size() && reason.ends_with(valued)) {
            reason = "--" + reason.substr(0, reason.size() - valued.size()) + " takes no value";
            return false;
        }
        if (!reason.empty()) {
            reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
        }
        // Every SOURCE is taken, so what is left over is an option nobody knows.
        if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) {
            reason += " (a file whose name starts with '-' is given as ./NAME, or after --)";
        }
        return false;
    }
    if (help || version) {
        options.command = help ? Command::Help : Command::Version;
        return true;
    }
    options.command = first == "encrypt" ? Command::Encrypt : Command::Decrypt;
    return Judge(options, jobs, codePage, reason);
}

} // namespace vanthe::cli
