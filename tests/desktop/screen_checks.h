#pragma once

// Reading the program's picture from a screenshot of its client area: the
// backdrop of rings and the white text lines over it.

#include "desktop_harness.h"

#include <string>
#include <vector>

namespace desktop {

enum class StripState { Unpainted, Navy, Rings };

// What a strip of the client area shows: plain navy, the rings, or neither
// (not painted yet: one flat colour, or what was on screen before).
StripState ClassifyStrip(const Image& strip);
const char* Name(StripState state);

// The strip of the client area sampled to tell those apart: a few rows a
// quarter of the way down, across the middle, where the rings are from the
// first frame on and neither the text (for its first seconds) nor a message
// box centred on the screen reach.
Rect SampleStrip(const Rect& client);

// Pixels no farther than `radius` (in x and in y) from a pure white pixel:
// the text and its antialiased edge.
std::vector<bool> NearWhite(const Image& image, int radius);

// Rows at the top and bottom edges where a text line coming into view or
// going out of it may show its antialiased edge without its white core.
inline constexpr int kTextEdgeRows = 8;

// Pixels that are neither a ring colour nor part of the text (within
// `radius` of pure white), away from the top and bottom edges.
struct StrayPixels {
    size_t count = 0;
    int firstX = -1, firstY = -1;
    uint32_t firstPixel = 0;
    std::string Describe() const;
};
StrayPixels FindStrayPixels(const Image& image, int radius);

// How well the picture mirrors itself through a line across its middle row
// (`horizontal`: left against right) or its middle column (top against
// bottom), for the best of the lines within two pixels of the middle: the
// fraction of mirrored pixel pairs untouched by text that have the same
// colour, and where that line is (in pixels from the left or top edge; the
// middle of the image is length / 2).
struct MirrorFit {
    double match = 0.0;
    double centre = 0.0;
};
MirrorFit MirrorMatch(const Image& image, bool horizontal, const std::vector<bool>& text);

// Distinct colours along the middle row.
size_t DistinctColoursOnMiddleRow(const Image& image);

struct TextLine {
    int top = 0, bottom = 0;       // rows holding pure white, inclusive
    // The outermost columns of pure white, inclusive: the ink's extent as far
    // as it does not depend on what the antialiased edges are blended over.
    int inkLeft = 0, inkRight = 0;
    double inkCentre = 0.0;        // halfway between inkLeft and inkRight
    size_t whitePixels = 0;        // pure white 255,255,255
    size_t edgePixels = 0;         // brighter than any ring but not pure white
    double medianWhiteRun = 0.0;   // median length of horizontal runs of pure white
    bool touchesEdge = false;      // within kTextEdgeRows of the top or the bottom edge: maybe cut
};

// The text lines, top to bottom: bands of rows with pure white pixels,
// separated by rows without.
std::vector<TextLine> FindTextLines(const Image& image);

// The white-pixel count of every row: a profile of the text that moves with it.
std::vector<int> WhiteRowProfile(const Image& image);

// The upward shift (0..maxShift rows) that best maps the earlier profile onto
// the later one; -1 when neither has any text.
int BestUpwardShift(const std::vector<int>& earlier, const std::vector<int>& later, int maxShift);

} // namespace desktop
