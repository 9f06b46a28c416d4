#pragma once

#include "form.h"

#include <cstdint>

namespace vantrel {

constexpr uint32_t SRCCOPY = 0x00CC0020;

// The graphics block copy between two forms' surfaces. Replaces the
// destination rectangle at (x, y) with the source rectangle at (xSrc, ySrc),
// width by height device pixels; the rectangle is clipped to both
// surfaces, and where it reaches past the source the destination takes its
// own background colour. Only the plain source copy from and to the origin
// is supported; anything else, like a failed copy, returns 0 (false) and
// leaves the destination as it was.
int32_t BitBlt(HDC destination, int32_t x, int32_t y, int32_t width, int32_t height, HDC source, int32_t xSrc,
               int32_t ySrc, uint32_t rasterOperation);

} // namespace vantrel
