#pragma once

#include "font_attributes.h"

#include <string>

namespace vantrel {

// The size of one line of text in logical pixels: its advance width and
// the font's line height (ascent plus descent), as the machine resolves
// the face.
struct TextExtent {
    double width = 0;
    double height = 0;
};

TextExtent MeasureText(const std::string& text, const FontAttributes& font, double logicalDpi);

} // namespace vantrel
