#include "app/cli/progress_meter.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using vanthe::cli::ProgressMeter;

// Standard error goes to a file while the object lives; Text() is what was written.
class CapturedStandardError {
public:
    CapturedStandardError() : file_(std::tmpfile()) {
        if (file_ == nullptr) {
            ADD_FAILURE() << "no temporary file";
            return;
        }
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        ::dup2(::fileno(file_), STDERR_FILENO);
    }
    ~CapturedStandardError() {
        Restore();
        if (file_ != nullptr) {
            std::fclose(file_);
        }
    }
    std::string Text() {
        Restore();
        std::string text;
        char buffer[4096];
        ssize_t n = 0;
        if (file_ == nullptr) {
            return text;
        }
        ::lseek(::fileno(file_), 0, SEEK_SET);
        while ((n = ::read(::fileno(file_), buffer, sizeof buffer)) > 0) {
            text.append(buffer, static_cast<std::size_t>(n));
        }
        return text;
    }

private:
    void Restore() {
        if (saved_ >= 0) {
            std::fflush(stderr);
            ::dup2(saved_, STDERR_FILENO);
            ::close(saved_);
            saved_ = -1;
        }
    }
    std::FILE* file_;
    int saved_ = -1;
};

// Runs a job that reports every KiB, the last chunk shorter.
void RunJob(ProgressMeter& meter, std::uint64_t bytes) {
    ProgressMeter::Job job(meter);
    job.OnJobStarted(bytes);
    std::uint64_t done = 0;
    for (std::uint64_t index = 0; done < bytes; ++index) {
        done += std::min<std::uint64_t>(1024, bytes - done);
        job.OnChunkDone(index, done);
    }
    job.OnJobFinished(false);
}

// The meter draws at most ten times a second: wait until it may draw again.
void PassDrawInterval() {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(150);
    while (std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

TEST(ProgressMeter, CountsEveryByteOfJobsThatEndBetweenTwoReports) {
    CapturedStandardError captured;
    {
        // 1000 + 102900 bytes: neither a whole number of the meter's steps.
        ProgressMeter meter(true, 3, 103900, true);
        RunJob(meter, 1000);
        RunJob(meter, 100 * 1024 + 500);
        PassDrawInterval();
        RunJob(meter, 0);
    }
    std::string text = captured.Text();
    EXPECT_NE(text.find("\r3/3 files  104 kB of 104 kB  "), std::string::npos) << text;
    EXPECT_NE(text.find(" 0:00 left"), std::string::npos) << text;
    EXPECT_TRUE(text.ends_with("\r\033[K")) << text;
}

TEST(ProgressMeter, WithoutALineWritesOnlyMessages) {
    CapturedStandardError captured;
    {
        ProgressMeter meter(false, 2, 300 * 1024, true);
        RunJob(meter, 200 * 1024);
        PassDrawInterval();
        RunJob(meter, 100 * 1024);
        meter.Say("a message");
    }
    EXPECT_EQ(captured.Text(), "vanthe-cli: a message\n");
}

} // namespace
