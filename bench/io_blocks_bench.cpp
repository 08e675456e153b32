// Runs the transform's loop (read 1 KiB, one cipher call, write 1 KiB) over a page-cached
// source in one process, through the files layer's read-ahead and write-behind with several
// block sizes, through one synchronous 256 KiB buffer per file on the cipher thread (the
// former design), and as the key stream alone in memory; alternating, a fresh destination each
// run. Prints medians, their ratio to the key stream, what the cipher thread itself spent in
// the kernel and how often it had to wait, and the CPU and waits of all threads together.
// Usage: io_blocks_bench [MiB] [runs]

#include "bench/bench_support.h"
#include "platform/files/async_io.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::uint32_t kChunk = 1024;

struct Variant {
    std::string name;
    std::size_t blockSize = 0; // 0: synchronous, one 256 KiB buffer per file
    std::size_t blockCount = 0;
    std::size_t wakeAfter = 0;
};

struct Sample {
    double seconds = 0;
    double threadSystem = 0;  // the cipher thread's time in the kernel
    long threadWaits = 0;     // times the cipher thread gave up the processor to wait
    double processCpu = 0;    // user + system of every thread
    long processSwitches = 0; // voluntary context switches of every thread
    bool ok = false;
};

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// The synchronous design the read-ahead replaced: the cipher thread makes the system calls.
class SyncFile {
public:
    explicit SyncFile(int fd) : fd_(fd), buffer_(new unsigned char[kSize]) {}
    bool Read(unsigned char* out, std::size_t count, std::size_t* done) {
        *done = 0;
        while (*done < count) {
            if (begin_ < end_) {
                std::size_t n = std::min(count - *done, end_ - begin_);
                std::memcpy(out + *done, buffer_.get() + begin_, n);
                begin_ += n;
                *done += n;
                continue;
            }
            ssize_t n = ::read(fd_, buffer_.get(), kSize);
            if (n <= 0) {
                return n == 0;
            }
            begin_ = 0;
            end_ = static_cast<std::size_t>(n);
        }
        return true;
    }
    bool Write(const unsigned char* in, std::size_t count) {
        while (count > 0) {
            std::size_t n = std::min(count, kSize - end_);
            std::memcpy(buffer_.get() + end_, in, n);
            end_ += n;
            in += n;
            count -= n;
            if (end_ == kSize && !Flush()) {
                return false;
            }
        }
        return true;
    }
    bool Flush() {
        bool ok = end_ == 0 || ::write(fd_, buffer_.get(), end_) == static_cast<ssize_t>(end_);
        end_ = 0;
        return ok;
    }

private:
    static constexpr std::size_t kSize = 256 * 1024;
    int fd_;
    std::unique_ptr<unsigned char[]> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
};

Sample RunPipeline(const Variant& variant, const std::string& source,
                   const std::string& destination) {
    Sample sample;
    ::unlink(destination.c_str());
    int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    int out = ::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    bench::Keystream keystream("a");
    rusage before{};
    getrusage(RUSAGE_THREAD, &before);
    rusage processBefore{};
    getrusage(RUSAGE_SELF, &processBefore);
    bench::Clock::time_point start = bench::Clock::now();
    bool ok = in >= 0 && out >= 0 && keystream.ok();
    unsigned char chunk[kChunk];
    if (ok && variant.blockSize == 0) {
        SyncFile reader(in);
        SyncFile writer(out);
        for (;;) {
            std::size_t n = 0;
            ok = reader.Read(chunk, kChunk, &n);
            if (!ok || n == 0) {
                break;
            }
            ok = keystream.Apply(chunk, static_cast<std::uint32_t>(n), n < kChunk) &&
                 writer.Write(chunk, n);
            if (!ok) {
                break;
            }
        }
        ok = writer.Flush() && ok;
    } else if (ok) {
        platform::IoBlocks blocks{variant.blockSize, variant.blockCount, variant.wakeAfter};
        platform::ReadAhead reader(in, blocks);
        platform::WriteBehind writer(out, blocks);
        for (;;) {
            std::size_t n = 0;
            ok = reader.Read(chunk, kChunk, &n) == 0;
            if (!ok || n == 0) {
                break;
            }
            ok = keystream.Apply(chunk, static_cast<std::uint32_t>(n), n < kChunk) &&
                 writer.Write(chunk, n) == 0;
            if (!ok) {
                break;
            }
        }
        ok = writer.Finish() == 0 && ok;
    }
    sample.seconds = bench::SecondsSince(start);
    rusage after{};
    getrusage(RUSAGE_THREAD, &after);
    sample.threadSystem = Seconds(after.ru_stime) - Seconds(before.ru_stime);
    sample.threadWaits = after.ru_nvcsw - before.ru_nvcsw;
    rusage processAfter{};
    getrusage(RUSAGE_SELF, &processAfter);
    sample.processCpu = Seconds(processAfter.ru_utime) + Seconds(processAfter.ru_stime) -
                        Seconds(processBefore.ru_utime) - Seconds(processBefore.ru_stime);
    sample.processSwitches = processAfter.ru_nvcsw - processBefore.ru_nvcsw;
    sample.ok = ok;
    if (in >= 0) {
        ::close(in);
    }
    if (out >= 0) {
        ::close(out);
    }
    return sample;
}

} // namespace

int main(int argc, char** argv) {
    int mib = argc > 1 ? std::atoi(argv[1]) : 256;
    int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    if (mib <= 0 || runs <= 0) {
        std::fprintf(stderr, "usage: io_blocks_bench [MiB] [runs]\n");
        return 2;
    }
    bench::ScratchDir dir;
    std::string source = dir / "source";
    auto size = static_cast<std::uint64_t>(mib) << 20;
    std::vector<unsigned char> memory;
    if (!dir.ok() || !bench::WriteRandomFile(source, size) || !bench::ReadWhole(source, memory)) {
        std::fprintf(stderr, "cannot make the source\n");
        return 1;
    }
    std::vector<Variant> variants = {
        {"synchronous 256 KiB (former)", 0, 0, 0},
        {"4 x 64 KiB, wake after 2", 64 << 10, 4, 2},
        {"4 x 128 KiB, wake after 2", 128 << 10, 4, 2},
        {"4 x 256 KiB, wake after 2", 256 << 10, 4, 2},
        {"4 x 128 KiB, wake after 3", 128 << 10, 4, 3},
        {"8 x 64 KiB, wake after 6", 64 << 10, 8, 6},
        {"2 x 128 KiB, wake after 1", 128 << 10, 2, 1},
    };
    std::printf("before: %s\n", bench::LoadAverage().c_str());
    std::vector<double> keystreamTimes;
    std::vector<std::vector<Sample>> samples(variants.size());
    bool ok = true;
    for (int i = 0; i < runs; ++i) {
        bench::Keystream keystream("a");
        bench::Clock::time_point start = bench::Clock::now();
        for (std::uint64_t at = 0; at < size; at += kChunk) {
            auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(kChunk, size - at));
            keystream.Apply(memory.data() + at, n, at + n >= size);
        }
        keystreamTimes.push_back(bench::SecondsSince(start));
        for (std::size_t v = 0; v < variants.size(); ++v) {
            samples[v].push_back(RunPipeline(variants[v], source, dir / "out"));
            ok = ok && samples[v].back().ok;
        }
    }
    std::printf("after:  %s\n", bench::LoadAverage().c_str());
    double k = bench::Median(keystreamTimes);
    std::printf("source: %d MiB, page-cached; %d alternating runs each, medians\n", mib, runs);
    std::printf("  %-30s %8s %7s %14s %10s %10s %9s\n", "", "seconds", "ratio", "cipher thread",
                "its waits", "all CPU", "all waits");
    std::printf("  %-30s %8.3f %7.3f\n", "key stream alone, in memory", k, 1.0);
    for (std::size_t v = 0; v < variants.size(); ++v) {
        std::vector<double> seconds;
        std::vector<double> system;
        std::vector<double> waits;
        std::vector<double> cpu;
        std::vector<double> switches;
        for (const Sample& s : samples[v]) {
            seconds.push_back(s.seconds);
            system.push_back(s.threadSystem);
            waits.push_back(static_cast<double>(s.threadWaits));
            cpu.push_back(s.processCpu);
            switches.push_back(static_cast<double>(s.processSwitches));
        }
        double t = bench::Median(seconds);
        std::printf("  %-30s %8.3f %7.3f %10.3f s sys %10.0f %8.3f s %9.0f\n",
                    variants[v].name.c_str(), t, t / k, bench::Median(system), bench::Median(waits),
                    bench::Median(cpu), bench::Median(switches));
    }
    if (!ok) {
        std::printf("a run FAILED\n");
    }
    return ok ? 0 : 1;
}
