// The layout of a group's tab bar.
#include "TabLayout.h"

#include <algorithm>
#include <limits>

namespace {

int64_t StepOf(int16_t width, int16_t barHeight) {
    return int64_t{std::max<int16_t>(width, 0)} + std::max<int16_t>(barHeight, 0) / 2;
}

}  // namespace

int32_t TabOverlap(std::span<const int16_t> widths, int16_t barHeight, int32_t barWidth) {
    const auto count = static_cast<int64_t>(widths.size());
    if (count == 0) return 0;
    int64_t rowLength = kTabRowStart;
    int64_t shortestStep = std::numeric_limits<int64_t>::max();
    for (int16_t width : widths) {
        const int64_t step = StepOf(width, barHeight);
        rowLength += step;
        shortestStep = std::min(shortestStep, step);
    }
    const int64_t overlap = (rowLength - barWidth + count - 1) / count;
    return static_cast<int32_t>(std::clamp<int64_t>(overlap, 0, shortestStep));
}

std::vector<int32_t> TabOffsets(std::span<const int16_t> widths, int16_t barHeight, int32_t barWidth) {
    const int64_t overlap = TabOverlap(widths, barHeight, barWidth);
    std::vector<int32_t> offsets;
    offsets.reserve(widths.size());
    int64_t x = kTabRowStart;
    for (int16_t width : widths) {
        offsets.push_back(static_cast<int32_t>(std::min<int64_t>(x, std::numeric_limits<int32_t>::max())));
        x += StepOf(width, barHeight) - overlap;
    }
    return offsets;
}

std::vector<size_t> TabDrawOrder(size_t count, size_t active) {
    std::vector<size_t> order;
    order.reserve(count);
    if (active >= count) {
        for (size_t i = 0; i < count; ++i) order.push_back(i);
        return order;
    }
    for (size_t i = 0; i < active; ++i) order.push_back(i);
    for (size_t i = count; i-- > active + 1;) order.push_back(i);
    order.push_back(active);
    return order;
}
