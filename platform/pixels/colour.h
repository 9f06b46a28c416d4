#pragma once

#include <QRgb>
#include <cstdint>

namespace vantrel {

// A colour as the forms runtime stores it: 0x00BBGGRR, red in the low byte.
using OleColour = uint32_t;

constexpr OleColour kNavy = 0x00800000;
constexpr OleColour kWhite = 0x00FFFFFF;

constexpr OleColour MakeColour(int red, int green, int blue) {
    return static_cast<OleColour>((red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16));
}

// The same colour as an opaque pixel of a 32-bit surface.
constexpr QRgb ToPixel(OleColour colour) {
    return 0xFF000000u | ((colour & 0xFFu) << 16) | (colour & 0xFF00u) | ((colour >> 16) & 0xFFu);
}

} // namespace vantrel
