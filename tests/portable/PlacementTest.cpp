#include <gtest/gtest.h>

#include "ui/Placement.h"

namespace {
constexpr PlacementRect kScreen{0, 0, 1024, 738};
}

TEST(Placement, OddSizesTruncateTowardZero) {
    // Centre 50, half width 25.
    EXPECT_EQ(CenterWithin({0, 0, 101, 10}, {-1000, -1000, 1000, 1000}, 50, 10).x, 25);
    // Centre -101/2 truncates to -50 (not -51), then minus 25.
    EXPECT_EQ(CenterWithin({-101, 0, 0, 10}, {-1000, -1000, 1000, 1000}, 50, 10).x, -75);
    // Odd window width: 51 / 2 truncates to 25.
    EXPECT_EQ(CenterWithin({0, 0, 100, 10}, {-1000, -1000, 1000, 1000}, 51, 10).x, 25);
}

TEST(Placement, CentredOverTargetInsideArea) {
    const PlacementPoint p = CenterWithin({100, 100, 500, 400}, kScreen, 200, 100);
    EXPECT_EQ(p.x, 200);
    EXPECT_EQ(p.y, 200);
}

TEST(Placement, StickingOutRightOrBottomIsPulledBackToThatEdge) {
    // Owner far right: centred x would be 1000 - 100 = 900, right edge 1100 > 1024.
    const PlacementPoint p = CenterWithin({900, 300, 1100, 500}, kScreen, 200, 100);
    EXPECT_EQ(p.x, 1024 - 200);
    EXPECT_EQ(p.y, 350);  // the owner's centre height is kept
    // Owner low down: the bottom edge meets the area's bottom.
    EXPECT_EQ(CenterWithin({100, 700, 300, 800}, kScreen, 100, 100).y, 738 - 100);
}

TEST(Placement, AboveOrLeftOfAreaIsClampedToThatEdge) {
    const PlacementPoint p = CenterWithin({-300, -300, -100, -100}, kScreen, 100, 100);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 0);
}

TEST(Placement, LargerThanAreaStartsAtItsLeftAndTopEdges) {
    // Centred on the area itself, a window wider and taller than it goes
    // negative; the low-edge test wins over the high-edge one.
    const PlacementPoint p = CenterWithin(kScreen, kScreen, 1200, 900);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 0);
}

TEST(Placement, WindowInsideButTooWideForRemainingSpaceLeavesAreaOnTheLeft) {
    // Starts inside (x = 10) yet sticks out: moved left until its right edge
    // meets the area's, even though its left edge then leaves the area.
    const PlacementPoint p = CenterWithin({-40, 0, 1160, 100}, {0, 0, 1000, 1000}, 1100, 10);
    EXPECT_EQ(p.x, 1000 - 1100);
}
