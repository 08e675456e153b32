#include "ui/progress_overlay.h"

#include <gtest/gtest.h>

using vanthe::ProgressOverlay;

namespace {

ProgressOverlay Overlay(std::int32_t height, std::int32_t total) {
    ProgressOverlay overlay;
    overlay.clientRect = {0, 0, 300, height};
    overlay.total = total;
    return overlay;
}

// The rows a progress notification invalidates: [top, bottom), or none.
struct Band {
    bool invalidated;
    std::int32_t top;
    std::int32_t bottom;
    bool operator==(const Band&) const = default;
};

Band Step(ProgressOverlay& overlay, std::int32_t position) {
    bool changed = overlay.SetPosition(position);
    return {changed, overlay.Boundary(overlay.position), overlay.Boundary(overlay.previous)};
}

TEST(ProgressOverlay, InvalidatesOnlyWhenTheFillLosesAWholeRow) {
    ProgressOverlay overlay = Overlay(200, 1000);
    for (std::int32_t p = 0; p <= 4; ++p) {
        EXPECT_FALSE(Step(overlay, p).invalidated) << p;
    }
    EXPECT_EQ(Step(overlay, 5), (Band{true, 199, 200}));
    for (std::int32_t p = 6; p <= 9; ++p) {
        EXPECT_FALSE(Step(overlay, p).invalidated) << p;
    }
    EXPECT_EQ(Step(overlay, 10), (Band{true, 198, 199}));
}

TEST(ProgressOverlay, FirstPositionNeverInvalidates) {
    ProgressOverlay overlay = Overlay(235, 3);
    EXPECT_FALSE(overlay.SetPosition(0));
}

TEST(ProgressOverlay, SourceOfWholeKibibytesLeavesTheTopRowsFilledUntilTheEnd) {
    ProgressOverlay overlay = Overlay(200, 10);
    for (std::int32_t p = 0; p <= 9; ++p) {
        overlay.SetPosition(p);
    }
    EXPECT_EQ(overlay.Boundary(overlay.position), 20);
}

TEST(ProgressOverlay, FillIsGoneWhenThePositionReachesTheTotal) {
    ProgressOverlay overlay = Overlay(200, 10);
    overlay.SetPosition(9);
    EXPECT_TRUE(overlay.SetPosition(10));
    EXPECT_EQ(overlay.Boundary(overlay.position), 0);
}

TEST(ProgressOverlay, TotalOfZeroKeepsTheWholeFillAndDividesNothing) {
    ProgressOverlay overlay = Overlay(200, 0);
    EXPECT_FALSE(overlay.SetPosition(0));
    EXPECT_EQ(overlay.Boundary(overlay.position), 200);
}

TEST(ProgressOverlay, ProductsOfLargeSourcesDoNotOverflow) {
    // About 9.5 GiB at a client height of 235 rows: p * H passes 2^31.
    ProgressOverlay overlay = Overlay(235, 10'000'000);
    EXPECT_EQ(overlay.RowsDone(9'138'229), 214);
    EXPECT_EQ(overlay.RowsDone(9'999'999), 234);
    EXPECT_EQ(overlay.RowsDone(10'000'000), 235);
}

} // namespace
