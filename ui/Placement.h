#pragma once
// Window placement arithmetic, free of platform calls so it is tested natively.
#include <cstdint>

struct PlacementRect {
    std::int32_t left, top, right, bottom;
};
struct PlacementPoint {
    std::int32_t x, y;
};

// Top-left corner for a width x height window centred on `target` and then
// moved back inside `area`. Divisions truncate toward zero. Per axis the
// low-edge test wins: a window larger than the area ends at its left/top edge;
// one that sticks out past the right/bottom edge is moved until that edge
// meets the area's, even if its other edge then leaves the area.
PlacementPoint CenterWithin(const PlacementRect& target, const PlacementRect& area,
                            std::int32_t width, std::int32_t height);
