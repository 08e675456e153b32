// Encrypts and decrypts a batch of small text files with one vanthe-cli command, as a script
// would a folder, and prints what each file costs beyond its bytes: the batch against one file
// holding the same bytes, and decrypting with the wrong-password check against without it.
// Usage: cli_batch_bench [runs] [files] [KiB per file]   (default: 3 runs of 1000 files of 4 KiB)

#include "bench/bench_support.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Text of about `bytes` bytes that differs from file to file, as a folder of notes would.
std::string NoteText(int file, std::size_t bytes) {
    std::string text;
    for (int line = 0; text.size() < bytes; ++line) {
        text += "Note " + std::to_string(file) + ", line " + std::to_string(line) +
                ": the batch is encrypted and decrypted by one command.\n";
    }
    text.resize(bytes);
    return text;
}

struct Row {
    const char* what;
    int files;
    std::vector<std::string> argv;
    std::vector<double> seconds;
    std::vector<double> cpu;
};

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 3;
    const int files = argc > 2 ? std::atoi(argv[2]) : 1000;
    const long kib = argc > 3 ? std::atol(argv[3]) : 4;
    if (runs <= 0 || files <= 0 || kib <= 0) {
        std::fprintf(stderr, "usage: cli_batch_bench [runs] [files] [KiB per file]\n");
        return 2;
    }
    const std::string cli = VANTHE_CLI_PATH;
    bench::ScratchDir dir;
    const std::string password = dir / "password";
    if (!dir.ok() || !bench::WriteText(password, "a\n")) {
        return 1;
    }
    std::vector<std::string> plain;
    std::vector<std::string> encrypted;
    std::string all;
    for (int i = 0; i < files; ++i) {
        std::string text = NoteText(i, static_cast<std::size_t>(kib) * 1024);
        plain.push_back(dir / ("note-" + std::to_string(i) + ".txt"));
        encrypted.push_back(plain.back() + ".enx");
        all += text;
        if (!bench::WriteText(plain.back(), text)) {
            return 1;
        }
    }
    const std::string one = dir / "all-notes.txt";
    if (!bench::WriteText(one, all)) {
        return 1;
    }
    const std::vector<std::string> options = {"--quiet", "--force", "-p", password};
    auto command = [&](const char* verb, const std::vector<std::string>& sources,
                       std::vector<std::string> extra) {
        std::vector<std::string> args = {cli, verb};
        args.insert(args.end(), options.begin(), options.end());
        args.insert(args.end(), extra.begin(), extra.end());
        args.insert(args.end(), sources.begin(), sources.end());
        return args;
    };
    std::vector<Row> rows = {
        {"one file, encrypt", 1, command("encrypt", {one}, {}), {}, {}},
        {"the batch, encrypt", files, command("encrypt", plain, {}), {}, {}},
        {"the batch, decrypt --no-check",
         files,
         command("decrypt", encrypted, {"--no-check"}),
         {},
         {}},
        {"the batch, decrypt", files, command("decrypt", encrypted, {}), {}, {}},
    };
    std::printf("before: %s\n", bench::LoadAverage().c_str());
    std::printf("%d files of %ld KiB of text, %d alternating runs, medians\n", files, kib, runs);
    bool ok = true;
    for (int i = 0; i < runs; ++i) {
        for (Row& row : rows) {
            bench::ChildRun run = bench::RunChild(row.argv);
            ok = ok && run.ok;
            row.seconds.push_back(run.seconds);
            row.cpu.push_back(run.cpuSeconds);
        }
    }
    // Each decryption wrote the notes back over themselves.
    std::vector<unsigned char> note;
    const std::string expected = NoteText(files - 1, static_cast<std::size_t>(kib) * 1024);
    ok = ok && bench::ReadWhole(plain.back(), note) &&
         std::string(note.begin(), note.end()) == expected;
    std::printf("  %-32s %9s %9s %12s\n", "", "seconds", "CPU s", "ms per file");
    for (const Row& row : rows) {
        const double seconds = bench::Median(row.seconds);
        std::printf("  %-32s %9.3f %9.3f %12.3f\n", row.what, seconds, bench::Median(row.cpu),
                    seconds * 1000.0 / row.files);
    }
    const double single = bench::Median(rows[0].seconds);
    const double batch = bench::Median(rows[1].seconds);
    const double unchecked = bench::Median(rows[2].seconds);
    const double checked = bench::Median(rows[3].seconds);
    std::printf("after:  %s\n", bench::LoadAverage().c_str());
    std::printf("the batch / one file of the same bytes: %.2f (%.3f ms a file beyond its bytes)\n",
                batch / single, (batch - single) * 1000.0 / files);
    std::printf("decrypt with the check / without: %.2f (%.3f ms a file for the check)\n",
                checked / unchecked, (checked - unchecked) * 1000.0 / files);
    if (!ok) {
        std::printf("a run of vanthe-cli FAILED\n");
    }
    return ok ? 0 : 1;
}
