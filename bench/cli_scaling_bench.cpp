// Encrypts sparse sources of growing size with vanthe-cli, each into a fresh destination, and
// prints seconds per GiB and peak resident size for each size: both should stay flat.
// Usage: cli_scaling_bench [runs] [MiB ...]   (default: 3 runs of 64, 1024 and 4096 MiB)

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
    int runs = argc > 1 ? std::atoi(argv[1]) : 3;
    std::vector<long> sizes;
    for (int i = 2; i < argc; ++i) {
        sizes.push_back(std::atol(argv[i]));
    }
    if (sizes.empty()) {
        sizes = {64, 1024, 4096};
    }
    if (runs <= 0 || std::any_of(sizes.begin(), sizes.end(), [](long s) { return s <= 0; })) {
        std::fprintf(stderr, "usage: cli_scaling_bench [runs] [MiB ...]\n");
        return 2;
    }
    std::string cli = VANTHE_CLI_PATH;
    bench::ScratchDir dir;
    std::string password = dir / "password";
    if (!dir.ok() || !bench::WriteText(password, "a\n")) {
        return 1;
    }
    std::printf("before: %s\n", bench::LoadAverage().c_str());
    std::printf("sparse sources, %d runs each, medians; destination in %s\n", runs,
                (dir / "").c_str());
    std::printf("  %8s %9s %9s %9s %12s\n", "MiB", "seconds", "s/GiB", "CPU s", "peak RSS");
    double fastest = 0;
    double slowest = 0;
    long peakLow = 0;
    long peakHigh = 0;
    bool ok = true;
    for (long mib : sizes) {
        std::string source = dir / "source";
        if (!bench::WriteSparseFile(source, static_cast<std::uint64_t>(mib) << 20)) {
            std::fprintf(stderr, "cannot make a %ld MiB source\n", mib);
            return 1;
        }
        std::vector<double> seconds;
        std::vector<double> cpu;
        long peak = 0;
        for (int i = 0; i < runs; ++i) {
            ::unlink((dir / "out").c_str());
            bench::ChildRun run = bench::RunChild(CliCommand(cli, password, source, dir / "out"));
            ok = ok && run.ok;
            seconds.push_back(run.seconds);
            cpu.push_back(run.cpuSeconds);
            peak = std::max(peak, run.peakKiB);
        }
        ::unlink((dir / "out").c_str());
        double median = bench::Median(seconds);
        double perGiB = median * 1024.0 / static_cast<double>(mib);
        std::printf("  %8ld %9.3f %9.3f %9.3f %9ld KiB\n", mib, median, perGiB, bench::Median(cpu),
                    peak);
        fastest = fastest == 0 ? perGiB : std::min(fastest, perGiB);
        slowest = std::max(slowest, perGiB);
        peakLow = peakLow == 0 ? peak : std::min(peakLow, peak);
        peakHigh = std::max(peakHigh, peak);
    }
    std::printf("after:  %s\n", bench::LoadAverage().c_str());
    std::printf("slowest / fastest seconds per GiB: %.3f (target <= 1.15)\n", slowest / fastest);
    std::printf("largest / smallest peak resident size: %.3f\n",
                static_cast<double>(peakHigh) / static_cast<double>(peakLow));
    if (!ok) {
        std::printf("a run of vanthe-cli FAILED\n");
    }
    return ok ? 0 : 1;
}
