#include <gtest/gtest.h>

#include "ui/Placement.h"

TEST(Placement, CentredOnTheTargetThenMovedInsideTheArea) {
    constexpr PlacementRect kScreen{0, 0, 1024, 738}, kWide{-1000, -1000, 1000, 1000};
    const struct {
        const char* what;
        PlacementRect target, area;
        std::int32_t width, height, x, y;
    } kCases[] = {
        {"centred inside the area", {100, 100, 500, 400}, kScreen, 200, 100, 200, 200},
        {"odd target width: centre 101 / 2 = 50", {0, 0, 101, 10}, kWide, 50, 10, 25, 0},
        {"negative centre truncates toward zero: -50, not -51", {-101, 0, 0, 10}, kWide, 50, 10, -75, 0},
        {"odd window width: 51 / 2 = 25", {0, 0, 100, 10}, kWide, 51, 10, 25, 0},
        {"past the right edge: pulled back, centre height kept", {900, 300, 1100, 500}, kScreen, 200, 100, 824, 350},
        {"past the bottom edge: pulled back", {100, 700, 300, 800}, kScreen, 100, 100, 150, 638},
        {"above and left of the area: clamped to its edges", {-300, -300, -100, -100}, kScreen, 100, 100, 0, 0},
        {"larger than the area: the low edges win", kScreen, kScreen, 1200, 900, 0, 0},
        // Starts inside (x = 10) yet sticks out: its right edge meets the
        // area's even though its left edge then leaves the area.
        {"too wide for the room left", {-40, 0, 1160, 100}, {0, 0, 1000, 1000}, 1100, 10, -100, 45},
    };
    for (const auto& c : kCases) {
        const PlacementPoint p = CenterWithin(c.target, c.area, c.width, c.height);
        EXPECT_EQ(p.x, c.x) << c.what;
        EXPECT_EQ(p.y, c.y) << c.what;
    }
}
