#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <vector>

namespace vantrel {

// The pixels of a ring as whole squared distances: the pixel at offset
// (dx, dy) from the centre pixel belongs to it when dx² + dy² lies in
// [innerSquared, outerSquared]. Being whole numbers, the rings around one
// centre can be compared and cut exactly.
struct RingBand {
    int centreX = 0; // the pixel the centre falls in
    int centreY = 0;
    int64_t innerSquared = 0;  // squared device pixels
    int64_t outerSquared = -1; // below innerSquared: no pixel at all
};

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

    // The outline's pixels as whole squared distances: a whole squared
    // distance is at most the outer edge's square exactly when it is at most
    // that square's floor, and at least the hole's square when at least its
    // ceiling. A radius that is negative or not finite paints nothing.
    RingBand Band() const {
        RingBand band{centreX, centreY, 0, -1};
        if (!(radius >= 0) || !std::isfinite(radius)) return band;
        // Far beyond any surface, and small enough to square a reach in 64 bits.
        constexpr double kFarthestSquared = 0x1p60;
        const double half = penWidth / 2.0;
        const double outer = radius + half;
        const double inner = radius - half;
        band.outerSquared = static_cast<int64_t>(std::min(std::floor(outer * outer), kFarthestSquared));
        if (inner > 0) band.innerSquared = static_cast<int64_t>(std::min(std::ceil(inner * inner), kFarthestSquared));
        return band;
    }
};

namespace detail {

// The largest whole number whose square is at most value; -1 when value < 0.
inline int64_t FloorSqrt(int64_t value) {
    if (value < 0) return -1;
    auto root = static_cast<int64_t>(std::sqrt(static_cast<double>(value)));
    while (root * root > value) --root;
    while ((root + 1) * (root + 1) <= value) ++root;
    return root;
}

} // namespace detail

// Calls visit(y, x0, x1) for every run of ring pixels in the rows
// cy + sign * dy, for dy from firstOffset to lastOffset, clipped to columns
// [0, width). Both reaches (of the outer edge and of the hole inside it)
// only shrink as the rows get farther from the centre, so after the first
// row each is found by stepping it inwards: a ring costs its pixel count
// plus a few integer comparisons a row.
template <typename Visit>
void ForEachRingHalfSpan(const RingBand& ring, int width, int64_t firstOffset, int64_t lastOffset, int64_t sign,
                         Visit&& visit) {
    if (firstOffset > lastOffset) return;
    const int64_t holeSquared = ring.innerSquared - 1; // the largest squared distance inside the hole
    int64_t outerReach = detail::FloorSqrt(ring.outerSquared - firstOffset * firstOffset);
    int64_t holeReach = detail::FloorSqrt(holeSquared - firstOffset * firstOffset); // |dx| <= holeReach: in the hole
    auto addRun = [&](int64_t y, int64_t from, int64_t to) {
        from = std::max<int64_t>(from, 0);
        to = std::min<int64_t>(to, width - 1);
        if (from <= to) visit(static_cast<int>(y), static_cast<int>(from), static_cast<int>(to));
    };
    for (int64_t dy = firstOffset; dy <= lastOffset; ++dy) {
        const int64_t dySquared = dy * dy;
        while (outerReach >= 0 && outerReach * outerReach + dySquared > ring.outerSquared) --outerReach;
        while (holeReach >= 0 && holeReach * holeReach + dySquared > holeSquared) --holeReach;
        if (outerReach < 0) return;
        const int64_t y = ring.centreY + sign * dy;
        if (holeReach < 0) {
            addRun(y, ring.centreX - outerReach, ring.centreX + outerReach);
        } else if (holeReach < outerReach) {
            addRun(y, ring.centreX - outerReach, ring.centreX - holeReach - 1);
            addRun(y, ring.centreX + holeReach + 1, ring.centreX + outerReach);
        }
    }
}

// Calls visit(y, x0, x1) for every run of ring pixels in row y, columns x0
// to x1 inclusive, clipped to a width x height surface and to the rows
// [firstRow, endRow). Each row gets at most two runs.
template <typename Visit>
void ForEachRingSpan(const RingBand& ring, int width, int height, Visit&& visit, int firstRow = 0,
                     int endRow = std::numeric_limits<int>::max()) {
    firstRow = std::max(firstRow, 0);
    endRow = std::min(endRow, height);
    if (width <= 0 || firstRow >= endRow || ring.outerSquared < ring.innerSquared) return;
    const int64_t reach = detail::FloorSqrt(ring.outerSquared);
    const int64_t centreY = ring.centreY;
    // The centre's row and those above it, nearest first; then those below.
    ForEachRingHalfSpan(ring, width, std::max<int64_t>(0, centreY - (endRow - 1)),
                        std::min<int64_t>(reach, centreY - firstRow), -1, visit);
    ForEachRingHalfSpan(ring, width, std::max<int64_t>(1, firstRow - centreY),
                        std::min<int64_t>(reach, endRow - 1 - centreY), +1, visit);
}

// A part of a ring that shows once the rings after it are drawn.
struct VisibleRingPart {
    RingBand band;
    size_t ring = 0; // the index of the ring it belongs to
};

// For rings that share one centre, drawn in order each over the ones before:
// the parts of each that no later ring paints over, farther than
// farthestSquared from the centre left out. Drawing the parts, in any order,
// leaves exactly the pixels that drawing every ring whole would, and paints
// each pixel once. Works from the last ring back, keeping the squared
// distances already taken as disjoint ranges (first -> last, both included).
inline std::vector<VisibleRingPart> VisibleRingParts(const std::vector<RingBand>& rings, int64_t farthestSquared) {
    std::vector<VisibleRingPart> parts;
    std::map<int64_t, int64_t> taken;
    for (size_t index = rings.size(); index-- > 0;) {
        const RingBand& ring = rings[index];
        const int64_t first = ring.innerSquared;
        const int64_t last = std::min(ring.outerSquared, farthestSquared);
        if (first > last) continue;
        auto next = taken.upper_bound(first);
        int64_t from = first; // the nearest distance of the ring not known to be taken
        if (next != taken.begin() && std::prev(next)->second >= first) {
            next = std::prev(next); // a taken range reaching into the ring absorbs it below
        }
        int64_t mergedFirst = first, mergedLast = last;
        while (next != taken.end() && next->first <= last + 1) {
            if (next->first > from) parts.push_back({{ring.centreX, ring.centreY, from, next->first - 1}, index});
            from = std::max(from, next->second + 1);
            mergedFirst = std::min(mergedFirst, next->first);
            mergedLast = std::max(mergedLast, next->second);
            next = taken.erase(next);
        }
        if (from <= last) parts.push_back({{ring.centreX, ring.centreY, from, last}, index});
        taken.emplace(mergedFirst, mergedLast);
    }
    return parts;
}

} // namespace vantrel
