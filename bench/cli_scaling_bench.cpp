// Encrypts sparse sources of growing size with vanthe-cli, the sizes taking turns, each into a
// fresh destination, and prints seconds per GiB and peak resident size for each size: both
// should stay flat. An empty source shows what starting and ending the process costs; seconds
// per GiB are also printed without it. With --null the result goes to standard output, thrown
// away, which leaves out what the file system spends on the destination's new pages.
// Usage: cli_scaling_bench [--null] [runs] [MiB ...]   (default: 3 runs of 64, 1024, 4096 MiB)

#include "bench/bench_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The one place that knows vanthe-cli's command line.
std::vector<std::string> CliCommand(const std::string& cli, const std::string& passwordFile,
                                    const std::string& source, const std::string& destination) {
    return {cli, "encrypt", "--quiet", "-p", passwordFile, "-o", destination, source};
}

} // namespace

int main(int argc, char** argv) {
    const bool toNull = argc > 1 && std::string(argv[1]) == "--null";
    const int first = toNull ? 2 : 1;
    int runs = argc > first ? std::atoi(argv[first]) : 3;
    std::vector<long> sizes;
    for (int i = first + 1; i < argc; ++i) {
        sizes.push_back(std::atol(argv[i]));
    }
    if (sizes.empty()) {
        sizes = {64, 1024, 4096};
    }
    if (runs <= 0 || std::any_of(sizes.begin(), sizes.end(), [](long s) { return s <= 0; })) {
        std::fprintf(stderr, "usage: cli_scaling_bench [--null] [runs] [MiB ...]\n");
        return 2;
    }
    std::string cli = VANTHE_CLI_PATH;
    bench::ScratchDir dir;
    std::string password = dir / "password";
    if (!dir.ok() || !bench::WriteText(password, "a\n")) {
        return 1;
    }
    struct Size {
        long mib = 0;
        std::string source;
        std::vector<double> seconds;
        std::vector<double> cpu;
        long peak = 0;
    };
    // An empty source first: what starting and ending the process costs, shown on its own.
    std::vector<Size> rows(sizes.size() + 1);
    for (std::size_t k = 0; k < rows.size(); ++k) {
        rows[k].mib = k == 0 ? 0 : sizes[k - 1];
        rows[k].source = dir / ("source-" + std::to_string(k));
        if (!bench::WriteSparseFile(rows[k].source, static_cast<std::uint64_t>(rows[k].mib)
                                                        << 20)) {
            std::fprintf(stderr, "cannot make a %ld MiB source\n", rows[k].mib);
            return 1;
        }
    }
    std::printf("before: %s\n", bench::LoadAverage().c_str());
    const std::string destination = toNull ? "-" : dir / "out";
    std::printf("sparse sources, %d alternating runs each, medians; destination %s\n", runs,
                toNull ? "standard output, into /dev/null" : ("in " + (dir / "")).c_str());
    bool ok = true;
    // Sizes take turns, so that a change in the machine's load reaches all of them alike.
    for (int i = 0; i < runs; ++i) {
        for (Size& row : rows) {
            ::unlink((dir / "out").c_str());
            bench::ChildRun run =
                bench::RunChild(CliCommand(cli, password, row.source, destination));
            ok = ok && run.ok;
            row.seconds.push_back(run.seconds);
            row.cpu.push_back(run.cpuSeconds);
            row.peak = std::max(row.peak, run.peakKiB);
        }
    }
    ::unlink((dir / "out").c_str());
    const double startSeconds = bench::Median(rows[0].seconds);
    std::printf("  %8s %9s %9s %9s %12s %18s\n", "MiB", "seconds", "s/GiB", "CPU s", "peak RSS",
                "s/GiB less start");
    std::printf("  %8s %9.3f %9s %9.3f %9ld KiB   (process start and end)\n", "empty", startSeconds,
                "", bench::Median(rows[0].cpu), rows[0].peak);
    double fastest = 0;
    double slowest = 0;
    double fastestNet = 0;
    double slowestNet = 0;
    long peakLow = 0;
    long peakHigh = 0;
    for (std::size_t k = 1; k < rows.size(); ++k) {
        const Size& row = rows[k];
        double median = bench::Median(row.seconds);
        double perGiB = median * 1024.0 / static_cast<double>(row.mib);
        double netPerGiB = (median - startSeconds) * 1024.0 / static_cast<double>(row.mib);
        std::printf("  %8ld %9.3f %9.3f %9.3f %9ld KiB %18.3f\n", row.mib, median, perGiB,
                    bench::Median(row.cpu), row.peak, netPerGiB);
        fastest = fastest == 0 ? perGiB : std::min(fastest, perGiB);
        slowest = std::max(slowest, perGiB);
        fastestNet = fastestNet == 0 ? netPerGiB : std::min(fastestNet, netPerGiB);
        slowestNet = std::max(slowestNet, netPerGiB);
        peakLow = peakLow == 0 ? row.peak : std::min(peakLow, row.peak);
        peakHigh = std::max(peakHigh, row.peak);
    }
    for (const Size& row : rows) {
        ::unlink(row.source.c_str());
    }
    std::printf("after:  %s\n", bench::LoadAverage().c_str());
    std::printf("slowest / fastest seconds per GiB: %.3f (target <= 1.15)\n", slowest / fastest);
    std::printf("the same less process start and end: %.3f\n", slowestNet / fastestNet);
    std::printf("largest / smallest peak resident size: %.3f\n",
                static_cast<double>(peakHigh) / static_cast<double>(peakLow));
    if (!ok) {
        std::printf("a run of vanthe-cli FAILED\n");
    }
    return ok ? 0 : 1;
}
