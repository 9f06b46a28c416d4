#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace vantrel {

// The geometry of one circle outline in device pixels. The pen is centred on
// the path: a pixel belongs to the outline when the distance between its
// centre and the centre pixel's centre lies within half the pen width of
// the radius. Snapping the centre to a pixel keeps the rings symmetric and
// makes a radius of 0 paint a dot of the pen's width.
struct CircleOutline {
    int centreX = 0; // the pixel the centre falls in
    int centreY = 0;
    double radius = 0; // device pixels
    int penWidth = 1;  // device pixels, at least 1

    // Whether the pixel at offset (dx, dy) from the centre pixel is painted.
    bool Covers(int64_t dx, int64_t dy) const {
        const double half = penWidth / 2.0;
        const double outer = radius + half;
        const double inner = radius - half;
        const auto distanceSquared = static_cast<double>(dx * dx + dy * dy);
        if (distanceSquared > outer * outer) return false;
        return inner <= 0 || distanceSquared >= inner * inner;
    }
};

namespace detail {

// The largest dx >= 0 with Covers-style test `inside(dx)` true, given that
// inside() is monotone (true up to some dx, then false); -1 when none.
template <typename Inside>
int64_t LastInside(double estimate, Inside&& inside) {
    int64_t dx = static_cast<int64_t>(std::max(0.0, std::floor(estimate)));
    while (dx >= 0 && !inside(dx)) --dx;
    while (inside(dx + 1)) ++dx;
    return dx;
}

} // namespace detail

// Calls visit(y, x0, x1) for every run of outline pixels in the rows
// cy + sign * dy, for dy from firstOffset to lastOffset, clipped to columns
// [0, width). Both reaches (of the pen's outer edge and of the hole inside
// it) only shrink as the rows get farther from the centre, so after the
// first row each is found by stepping it inwards: a ring costs its pixel
// count plus a few comparisons a row.
template <typename Visit>
void ForEachOutlineHalfSpan(const CircleOutline& circle, int width, int64_t firstOffset, int64_t lastOffset,
                            int64_t sign, Visit&& visit) {
    if (firstOffset > lastOffset) return;
    const double half = circle.penWidth / 2.0;
    const double outerSquared = (circle.radius + half) * (circle.radius + half);
    const double inner = circle.radius - half;
    const double innerSquared = inner > 0 ? inner * inner : 0.0;
    auto insideOuter = [&](int64_t dx, double dySquared) {
        return static_cast<double>(dx * dx) + dySquared <= outerSquared;
    };
    auto insideHole = [&](int64_t dx, double dySquared) {
        return static_cast<double>(dx * dx) + dySquared < innerSquared;
    };
    const auto firstDySquared = static_cast<double>(firstOffset * firstOffset);
    int64_t outerReach = detail::LastInside(std::sqrt(std::max(0.0, outerSquared - firstDySquared)),
                                            [&](int64_t dx) { return insideOuter(dx, firstDySquared); });
    int64_t holeReach = inner > 0 ? detail::LastInside(std::sqrt(std::max(0.0, innerSquared - firstDySquared)),
                                                       [&](int64_t dx) { return insideHole(dx, firstDySquared); })
                                  : -1; // pixels with |dx| <= holeReach lie inside the hole
    auto addRun = [&](int64_t y, int64_t from, int64_t to) {
        from = std::max<int64_t>(from, 0);
        to = std::min<int64_t>(to, width - 1);
        if (from <= to) visit(static_cast<int>(y), static_cast<int>(from), static_cast<int>(to));
    };
    for (int64_t dy = firstOffset; dy <= lastOffset; ++dy) {
        const auto dySquared = static_cast<double>(dy * dy);
        while (outerReach >= 0 && !insideOuter(outerReach, dySquared)) --outerReach;
        while (holeReach >= 0 && !insideHole(holeReach, dySquared)) --holeReach;
        if (outerReach < 0) return;
        const int64_t y = circle.centreY + sign * dy;
        if (holeReach < 0) {
            addRun(y, circle.centreX - outerReach, circle.centreX + outerReach);
        } else {
            addRun(y, circle.centreX - outerReach, circle.centreX - holeReach - 1);
            addRun(y, circle.centreX + holeReach + 1, circle.centreX + outerReach);
        }
    }
}

// Calls visit(y, x0, x1) for every run of outline pixels in row y, columns x0
// to x1 inclusive, clipped to a width x height surface and to the rows
// [firstRow, endRow). Each row gets at most two runs.
template <typename Visit>
void ForEachOutlineSpan(const CircleOutline& circle, int width, int height, Visit&& visit, int firstRow = 0,
                        int endRow = std::numeric_limits<int>::max()) {
    firstRow = std::max(firstRow, 0);
    endRow = std::min(endRow, height);
    if (width <= 0 || firstRow >= endRow || !(circle.radius >= 0) || !std::isfinite(circle.radius)) return;
    const auto reach = static_cast<int64_t>(std::floor(circle.radius + circle.penWidth / 2.0));
    const int64_t centreY = circle.centreY;
    // The centre's row and those above it, nearest first; then those below.
    ForEachOutlineHalfSpan(circle, width, std::max<int64_t>(0, centreY - (endRow - 1)),
                           std::min<int64_t>(reach, centreY - firstRow), -1, visit);
    ForEachOutlineHalfSpan(circle, width, std::max<int64_t>(1, firstRow - centreY),
                           std::min<int64_t>(reach, endRow - 1 - centreY), +1, visit);
}

} // namespace vantrel
