// Encrypts one page-cached source with vanthe-cli, with `openssl enc -rc4` under the same key,
// and with the key stream alone (the same bytes through the crypto layer in memory, 1 KiB per
// call), alternating, each program into a fresh destination; prints the medians and ratios,
// wall clock and CPU time (user + system, all threads). vanthe-cli with an empty source shows
// what starting and ending the process costs. The machine's speed drifts by tens of percent
// within seconds (shared hosts, frequency scaling), so the key stream and vanthe-cli also run
// back to back, in turn first, and the median of those pairs' ratios is printed beside the
// ratio of the medians. vanthe-cli syncs its result before it takes its name, so on a disk the
// source's bytes copied and synced are a second floor beside the key stream.
// Usage: cli_speed_bench [MiB] [runs] [another vanthe-cli to compare]

#include "bench/bench_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// The one place that knows vanthe-cli's command line.
std::vector<std::string> CliCommand(const std::string& cli, const std::string& passwordFile,
                                    const std::string& source, const std::string& destination) {
    return {cli, "encrypt", "--quiet", "-p", passwordFile, "-o", destination, source};
}

// The program's key is the first 5 bytes of the password's MD5 and 11 zero bytes;
// MD5("a") = 0cc175b9c0f1b6a8...
const char kPassword[] = "a";
const char kOpensslKey[] = "0cc175b9c00000000000000000000000";

std::vector<std::string> OpensslCommand(const std::string& source, const std::string& destination) {
    return {"openssl", "enc",       "-rc4",    "-provider", "legacy", "-provider", "default",
            "-K",      kOpensslKey, "-nosalt", "-in",       source,   "-out",      destination};
}

struct Series {
    std::vector<double> seconds;
    std::vector<double> cpu;
    long peakKiB = 0;
    void Add(const bench::ChildRun& run) {
        seconds.push_back(run.seconds);
        cpu.push_back(run.cpuSeconds);
        peakKiB = std::max(peakKiB, run.peakKiB);
    }
};

struct KeystreamRun {
    bool ok = false;
    double seconds = 0;
    double cpuSeconds = 0;
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The key stream over the whole source in memory, 1 KiB per call, in a process of its own so
// that this one stays small: a child forked from a large process reports the parent's size as
// its own peak. The result is written to `output` unless that is empty.
KeystreamRun RunKeystream(const std::string& source, const std::string& output) {
    KeystreamRun run;
    int channel[2];
    if (::pipe(channel) != 0) {
        return run;
    }
    pid_t pid = fork();
    if (pid == 0) {
        ::close(channel[0]);
        std::vector<unsigned char> memory;
        bench::Keystream keystream(kPassword);
        if (bench::ReadWhole(source, memory) && keystream.ok()) {
            std::uint64_t size = memory.size();
            double cpu = CpuSeconds();
            bench::Clock::time_point start = bench::Clock::now();
            bool ok = true;
            for (std::uint64_t at = 0; at < size && ok; at += 1024) {
                auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(1024, size - at));
                ok = keystream.Apply(memory.data() + at, n, at + n >= size);
            }
            run.seconds = bench::SecondsSince(start);
            run.cpuSeconds = CpuSeconds() - cpu;
            run.ok = ok && (output.empty() || bench::WriteBytes(output, memory));
        }
        bool sent = ::write(channel[1], &run, sizeof run) == static_cast<ssize_t>(sizeof run);
        _exit(sent ? 0 : 1);
    }
    ::close(channel[1]);
    if (pid > 0 && ::read(channel[0], &run, sizeof run) != static_cast<ssize_t>(sizeof run)) {
        run = KeystreamRun{};
    }
    ::close(channel[0]);
    int status = 0;
    if (pid > 0) {
        waitpid(pid, &status, 0);
    }
    return run;
}

// What the destination's file system costs by itself: the source's bytes copied into a fresh
// file and synced, as vanthe-cli syncs its result. Seconds, or -1.
double CopyAndSync(const std::string& source, const std::string& destination) {
    int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    int out = ::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    bool ok = in >= 0 && out >= 0;
    bench::Clock::time_point start = bench::Clock::now();
    std::vector<char> buffer(256 * 1024);
    ssize_t n = 0;
    while (ok && (n = ::read(in, buffer.data(), buffer.size())) > 0) {
        ok = ::write(out, buffer.data(), static_cast<std::size_t>(n)) == n;
    }
    ok = ok && n == 0 && ::fsync(out) == 0;
    double seconds = bench::SecondsSince(start);
    if (in >= 0) {
        ::close(in);
    }
    if (out >= 0) {
        ::close(out);
    }
    return ok ? seconds : -1;
}

void PrintRow(const char* name, double seconds, double cpu, int mib) {
    std::printf("  %-28s %7.3f s", name, seconds);
    if (mib > 0) {
        std::printf("  %6.0f MB/s", mib * 1.048576 / seconds);
    } else {
        std::printf("  %11s", "");
    }
    if (cpu >= 0) {
        std::printf("  CPU %6.3f s", cpu);
    }
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv) {
    int mib = argc > 1 ? std::atoi(argv[1]) : 256;
    int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    std::string other = argc > 3 ? argv[3] : "";
    std::string cli = VANTHE_CLI_PATH;
    if (mib <= 0 || runs <= 0) {
        std::fprintf(stderr, "usage: cli_speed_bench [MiB] [runs] [another vanthe-cli]\n");
        return 2;
    }
    bench::ScratchDir dir;
    std::string source = dir / "source";
    std::string password = dir / "password";
    std::string empty = dir / "empty";
    auto size = static_cast<std::uint64_t>(mib) << 20;
    if (!dir.ok() || !bench::WriteRandomFile(source, size) ||
        !bench::WriteText(password, std::string(kPassword) + "\n") ||
        !bench::WriteText(empty, "") || !bench::ReadThrough(source)) {
        std::fprintf(stderr, "cannot make the source\n");
        return 1;
    }
    std::printf("before: %s\n", bench::LoadAverage().c_str());
    std::vector<double> keystreamTimes;
    std::vector<double> keystreamCpu;
    Series vanthe;
    Series openssl;
    Series previous;
    Series start;
    bool same = true;
    std::vector<double> pairRatios;
    std::vector<double> copies;
    for (int i = 0; i < runs; ++i) {
        KeystreamRun keystream;
        auto runKeystream = [&] {
            keystream = RunKeystream(source, i == 0 ? dir / "out.keystream" : "");
        };
        if (i % 2 == 0) {
            runKeystream(); // the first run's result is what vanthe-cli's is compared with
        }
        ::unlink((dir / "out.vanthe").c_str());
        bench::ChildRun run =
            bench::RunChild(CliCommand(cli, password, source, dir / "out.vanthe"));
        if (i % 2 != 0) {
            runKeystream();
        }
        keystreamTimes.push_back(keystream.seconds);
        keystreamCpu.push_back(keystream.cpuSeconds);
        same = same && keystream.ok;
        if (keystream.seconds > 0) {
            pairRatios.push_back(run.seconds / keystream.seconds);
        }
        vanthe.Add(run);
        same = same && run.ok;
        if (i == 0) {
            same = same && bench::SameFiles(dir / "out.vanthe", dir / "out.keystream");
        }
        ::unlink((dir / "out.empty").c_str());
        run = bench::RunChild(CliCommand(cli, password, empty, dir / "out.empty"));
        start.Add(run);
        same = same && run.ok;
        ::unlink((dir / "out.copy").c_str());
        double copy = CopyAndSync(source, dir / "out.copy");
        copies.push_back(copy);
        same = same && copy > 0;
        ::unlink((dir / "out.openssl").c_str());
        run = bench::RunChild(OpensslCommand(source, dir / "out.openssl"));
        openssl.Add(run);
        same = same && run.ok;
        if (!other.empty()) {
            ::unlink((dir / "out.other").c_str());
            run = bench::RunChild(CliCommand(other, password, source, dir / "out.other"));
            previous.Add(run);
            same = same && run.ok && bench::SameFiles(dir / "out.vanthe", dir / "out.other");
        }
    }
    same = same && bench::SameFiles(dir / "out.vanthe", dir / "out.openssl");
    std::printf("after:  %s\n", bench::LoadAverage().c_str());

    double k = bench::Median(keystreamTimes);
    double v = bench::Median(vanthe.seconds);
    double o = bench::Median(openssl.seconds);
    std::printf("source: %d MiB, page-cached; %d alternating runs each, medians; outputs %s\n", mib,
                runs, same ? "identical" : "DIFFER");
    PrintRow("key stream, 1 KiB calls", k, bench::Median(keystreamCpu), mib);
    PrintRow("vanthe-cli", v, bench::Median(vanthe.cpu), mib);
    PrintRow("openssl enc -rc4", o, bench::Median(openssl.cpu), mib);
    PrintRow("vanthe-cli, empty source", bench::Median(start.seconds), bench::Median(start.cpu), 0);
    double c = bench::Median(copies);
    PrintRow("copied and synced", c, -1, mib);
    if (!other.empty()) {
        PrintRow("other vanthe-cli", bench::Median(previous.seconds), bench::Median(previous.cpu),
                 mib);
    }
    std::printf("ratio vanthe-cli / key stream: %.3f (target <= 1.25)\n", v / k);
    if (!pairRatios.empty()) {
        auto [low, high] = std::minmax_element(pairRatios.begin(), pairRatios.end());
        std::printf("  run back to back:            %.3f median of %zu pairs (%.3f to %.3f)\n",
                    bench::Median(pairRatios), pairRatios.size(), *low, *high);
    }
    std::printf("ratio vanthe-cli / openssl:    %.3f (target <= 0.70)\n", v / o);
    // Where openssl enc runs near the cipher's own speed, the target above is out of reach:
    // every byte still goes through the cipher in 1 KiB calls.
    std::printf("  the key stream alone:        %.3f (the floor of the line above)\n", k / o);
    std::printf("the same less vanthe-cli's start and end: %.3f / %.3f\n",
                (v - bench::Median(start.seconds)) / k, (v - bench::Median(start.seconds)) / o);
    // Neither the cipher nor the disk can be beaten, and together they can at best overlap.
    std::printf("ratio vanthe-cli / the slower of key stream and copy: %.3f\n", v / std::max(k, c));
    if (!other.empty()) {
        std::printf("ratio vanthe-cli / other:      %.3f\n", v / bench::Median(previous.seconds));
        std::printf("other vanthe-cli peak resident size: %ld KiB\n", previous.peakKiB);
    }
    std::printf("vanthe-cli peak resident size: %ld KiB\n", vanthe.peakKiB);
    return same ? 0 : 1;
}
