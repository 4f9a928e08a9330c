#include "ui/Placement.h"

namespace {
std::int32_t ClampAxis(std::int32_t pos, std::int32_t size, std::int32_t low, std::int32_t high) {
    if (pos < low) return low;
    if (pos + size > high) return high - size;
    return pos;
}
}  // namespace

PlacementPoint CenterWithin(const PlacementRect& target, const PlacementRect& area,
                            std::int32_t width, std::int32_t height) {
    const std::int32_t x = (target.left + target.right) / 2 - width / 2;
    const std::int32_t y = (target.top + target.bottom) / 2 - height / 2;
    return {ClampAxis(x, width, area.left, area.right), ClampAxis(y, height, area.top, area.bottom)};
}
