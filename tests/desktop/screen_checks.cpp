#include "screen_checks.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <set>
#include <unordered_set>

namespace desktop {
namespace {

// Brighter than any ring can be: ring colours keep red at 40 or less.
bool IsInk(uint32_t pixel) { return Red(pixel) > 40 && Green(pixel) > 15; }

// Distinct colours that tell the rings from a flat or an unpainted area.
constexpr size_t kRingColours = 16;

} // namespace

const char* Name(StripState state) {
    switch (state) {
    case StripState::Unpainted: return "not painted";
    case StripState::Navy: return "navy";
    case StripState::Rings: return "rings";
    }
    return "?";
}

StripState ClassifyStrip(const Image& strip) {
    if (strip.pixels.empty()) return StripState::Unpainted;
    size_t navy = 0, backdrop = 0;
    std::set<uint32_t> colours;
    for (uint32_t pixel : strip.pixels) {
        if (pixel == kNavy) ++navy;
        if (IsBackdropColour(pixel)) ++backdrop;
        if (colours.size() < kRingColours) colours.insert(pixel);
    }
    if (navy == strip.pixels.size()) return StripState::Navy;
    // Hundreds of rings in random blues cross the centre: many colours, none
    // brighter than a ring colour, little of the plain navy left. A window
    // not painted yet shows one flat colour or what was there before.
    if (backdrop == strip.pixels.size() && navy * 2 < strip.pixels.size() && colours.size() >= kRingColours)
        return StripState::Rings;
    return StripState::Unpainted;
}

Rect SampleStrip(const Rect& client) {
    // Half the width across the middle: at any size it crosses hundreds of
    // pixels of radius, so many rings.
    const int half = std::max(1, client.width / 4);
    return Rect{client.x + client.width / 2 - half, client.y + client.height / 4, 2 * half, 4};
}

std::vector<bool> NearWhite(const Image& image, int radius) {
    const int width = image.width, height = image.height;
    // Dilation of the white mask, separably: along rows, then along columns.
    std::vector<bool> rows(image.pixels.size(), false), result(image.pixels.size(), false);
    for (int y = 0; y < height; ++y) {
        int lastWhite = std::numeric_limits<int>::min() / 2;
        for (int x = 0; x < width + radius; ++x) {
            if (x < width && IsPureWhite(image.At(x, y))) lastWhite = x;
            const int target = x - radius;
            if (target >= 0 && target < width && x - lastWhite <= 2 * radius) rows[y * width + target] = true;
        }
    }
    for (int x = 0; x < width; ++x) {
        int lastMarked = std::numeric_limits<int>::min() / 2;
        for (int y = 0; y < height + radius; ++y) {
            if (y < height && rows[y * width + x]) lastMarked = y;
            const int target = y - radius;
            if (target >= 0 && target < height && y - lastMarked <= 2 * radius) result[target * width + x] = true;
        }
    }
    return result;
}

StrayPixels FindStrayPixels(const Image& image, int radius) {
    const std::vector<bool> text = NearWhite(image, radius);
    StrayPixels stray;
    // A line entering at the bottom edge or leaving at the top shows its
    // antialiased edge a refresh or two before any of its pure white core.
    for (int y = kTextEdgeRows; y < image.height - kTextEdgeRows; ++y)
        for (int x = 0; x < image.width; ++x) {
            const size_t i = static_cast<size_t>(y) * image.width + x;
            if (IsBackdropColour(image.pixels[i]) || text[i]) continue;
            if (stray.count++ == 0) {
                stray.firstX = x;
                stray.firstY = y;
                stray.firstPixel = image.pixels[i];
            }
        }
    return stray;
}

std::string StrayPixels::Describe() const {
    char text[120];
    std::snprintf(text, sizeof text, "%zu stray pixels, the first #%06x at %d,%d", count, firstPixel, firstX, firstY);
    return text;
}

MirrorFit MirrorMatch(const Image& image, bool horizontal, const std::vector<bool>& text) {
    const int length = horizontal ? image.width : image.height;
    auto at = [&](int along) {
        const int x = horizontal ? along : image.width / 2;
        const int y = horizontal ? image.height / 2 : along;
        return std::make_pair(image.At(x, y), text[static_cast<size_t>(y) * image.width + x]);
    };
    MirrorFit best;
    // Pixels i and sum - i mirror each other about the line through
    // (sum + 1) / 2; sum = length - 1 is the middle of the image. Candidates
    // within two pixels either way, on pixel boundaries and pixel centres.
    for (int sum = length - 5; sum <= length + 3; ++sum) {
        size_t compared = 0, equal = 0;
        for (int i = sum / 2 + 1; i < length && sum - i >= 0; ++i) {
            const auto [a, aText] = at(i);
            const auto [b, bText] = at(sum - i);
            if (aText || bText) continue;
            ++compared;
            if (a == b) ++equal;
        }
        const double fraction = compared > 0 ? static_cast<double>(equal) / static_cast<double>(compared) : 0.0;
        if (fraction > best.match) best = MirrorFit{fraction, (sum + 1) / 2.0};
    }
    return best;
}

size_t DistinctColoursOnMiddleRow(const Image& image) {
    std::unordered_set<uint32_t> colours;
    for (int x = 0; x < image.width; ++x) colours.insert(image.At(x, image.height / 2));
    return colours.size();
}

std::vector<TextLine> FindTextLines(const Image& image) {
    std::vector<TextLine> lines;
    std::vector<bool> rowHasWhite(image.height, false);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width && !rowHasWhite[y]; ++x)
            if (IsPureWhite(image.At(x, y))) rowHasWhite[y] = true;

    for (int y = 0; y < image.height;) {
        if (!rowHasWhite[y]) {
            ++y;
            continue;
        }
        TextLine line;
        line.top = y;
        while (y < image.height && rowHasWhite[y]) ++y;
        line.bottom = y - 1;
        line.touchesEdge = line.top < kTextEdgeRows || line.bottom >= image.height - kTextEdgeRows;
        line.inkLeft = image.width;
        line.inkRight = -1;
        std::vector<int> runs;
        for (int row = line.top; row <= line.bottom; ++row) {
            int left = image.width, right = -1, run = 0;
            for (int x = 0; x < image.width; ++x) {
                const uint32_t pixel = image.At(x, row);
                if (IsPureWhite(pixel)) {
                    ++line.whitePixels;
                    ++run;
                    left = std::min(left, x);
                    right = std::max(right, x);
                } else {
                    if (run > 0) runs.push_back(run);
                    run = 0;
                    if (IsInk(pixel)) ++line.edgePixels;
                }
            }
            if (run > 0) runs.push_back(run);
            if (right >= left) {
                line.inkLeft = std::min(line.inkLeft, left);
                line.inkRight = std::max(line.inkRight, right);
            }
        }
        line.inkCentre = (line.inkLeft + line.inkRight) / 2.0;
        if (!runs.empty()) {
            std::nth_element(runs.begin(), runs.begin() + runs.size() / 2, runs.end());
            line.medianWhiteRun = runs[runs.size() / 2];
        }
        lines.push_back(line);
    }
    return lines;
}

std::vector<int> WhiteRowProfile(const Image& image) {
    std::vector<int> profile(image.height, 0);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (IsPureWhite(image.At(x, y))) ++profile[y];
    return profile;
}

int BestUpwardShift(const std::vector<int>& earlier, const std::vector<int>& later, int maxShift) {
    long total = 0;
    for (int value : earlier) total += value;
    if (total == 0) return -1;
    int best = -1;
    double bestCost = std::numeric_limits<double>::max();
    const int rows = static_cast<int>(std::min(earlier.size(), later.size()));
    for (int shift = 0; shift <= maxShift && shift < rows; ++shift) {
        // Row y of the earlier picture is row y - shift of the later one.
        long cost = 0, compared = 0;
        for (int y = shift; y < rows; ++y) {
            cost += std::abs(earlier[y] - later[y - shift]);
            ++compared;
        }
        const double normalised = static_cast<double>(cost) / static_cast<double>(compared);
        if (normalised < bestCost) {
            bestCost = normalised;
            best = shift;
        }
    }
    return best;
}

} // namespace desktop
