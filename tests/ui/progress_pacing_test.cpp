// Which chunks of a job reach the dialog as progress messages, and that the fill ends up as it
// would with a message for every chunk.

#include "jobs/job_messages.h"
#include "ui/progress_overlay.h"

#include <gtest/gtest.h>
#include <vector>

using vanthe::ProgressOverlay;
using vanthe::ProgressPacer;
using Clock = ProgressPacer::Clock;

namespace {

constexpr std::int32_t kRows = 235;

struct Paced {
    std::vector<std::uint64_t> sent; // in order, the last one sent when the job ended
};

// A job of `size` bytes whose chunks take `perChunk` each.
Paced Simulate(std::uint64_t size, Clock::duration perChunk) {
    ProgressPacer pacer(kRows, size);
    Paced run;
    Clock::time_point now{};
    std::uint64_t chunks = (size + 1023) / 1024;
    for (std::uint64_t i = 0; i < chunks; ++i) {
        now += perChunk;
        if (pacer.Due(i, now)) {
            run.sent.push_back(i);
        }
    }
    std::uint64_t last = 0;
    if (pacer.Pending(&last)) {
        run.sent.push_back(last);
    }
    return run;
}

TEST(ProgressPacing, SmallSourcesSendTheFirstAndTheLastChunk) {
    EXPECT_EQ(Simulate(0, std::chrono::microseconds(3)).sent, std::vector<std::uint64_t>{});
    EXPECT_EQ(Simulate(1, std::chrono::microseconds(3)).sent, std::vector<std::uint64_t>{0});
    EXPECT_EQ(Simulate(3000, std::chrono::microseconds(3)).sent,
              (std::vector<std::uint64_t>{0, 2}));
}

TEST(ProgressPacing, LargeSourcesSendAtMostOneMessageARowAndSixtyASecond) {
    // 5 GiB at 400 MB/s: about 13 s, over 5 million chunks.
    const std::uint64_t size = 5ull << 30;
    const auto perChunk = std::chrono::nanoseconds(2560);
    Paced run = Simulate(size, perChunk);
    ASSERT_FALSE(run.sent.empty());
    EXPECT_EQ(run.sent.front(), 0u);
    EXPECT_EQ(run.sent.back(), size / 1024 - 1);
    EXPECT_LE(run.sent.size(), static_cast<std::size_t>(kRows) + 2);
    double seconds = std::chrono::duration<double>(perChunk * (size / 1024)).count();
    EXPECT_LE(static_cast<double>(run.sent.size()), seconds * 60 + 2);
    for (std::size_t i = 1; i < run.sent.size(); ++i) {
        EXPECT_LT(run.sent[i - 1], run.sent[i]);
    }
}

TEST(ProgressPacing, SlowJobsStillMoveTheFillRowByRow) {
    // 64 MiB at 1 MB/s: every row that the fill loses is shown.
    Paced run = Simulate(64ull << 20, std::chrono::microseconds(1000));
    EXPECT_EQ(run.sent.size(), static_cast<std::size_t>(kRows) + 1);
}

TEST(ProgressPacing, FillAfterSkippedPositionsIsTheFillWithEveryPosition) {
    for (std::uint64_t size : {3000ull, 1ull << 20, 64ull << 20, 5ull << 30}) {
        std::int32_t total = static_cast<std::int32_t>(size >> 10);
        ProgressOverlay every;
        every.clientRect = {0, 0, 300, kRows};
        every.total = total;
        ProgressOverlay paced = every;

        ProgressPacer pacer(kRows, size);
        Clock::time_point now{};
        std::uint64_t chunks = (size + 1023) / 1024;
        for (std::uint64_t i = 0; i < chunks; ++i) {
            now += std::chrono::nanoseconds(2560);
            every.SetPosition(static_cast<std::int32_t>(i));
            if (pacer.Due(i, now)) {
                paced.SetPosition(static_cast<std::int32_t>(i));
                // The pacer's row is the overlay's row, or it would skip visible steps.
                EXPECT_EQ(pacer.RowFor(i), paced.RowsDone(paced.position)) << i;
            }
        }
        std::uint64_t last = 0;
        if (pacer.Pending(&last)) {
            paced.SetPosition(static_cast<std::int32_t>(last));
        }
        EXPECT_EQ(paced.position, every.position) << size;
        EXPECT_EQ(paced.Boundary(paced.position), every.Boundary(every.position)) << size;
    }
}

} // namespace
