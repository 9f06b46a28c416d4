#pragma once

namespace vantrel {

// Forms measure positions and sizes in twips: 1440 to the inch, 20 to the
// point. The designs were made on a screen of 96 dots per inch, where a
// pixel is 15 twips; a screen that reports no resolution is taken to be one.
constexpr double kTwipsPerInch = 1440.0;
constexpr double kDesignDotsPerInch = 96.0;
constexpr int kDesignTwipsPerPixel = 15;
constexpr double kPointsPerInch = 72.0;

} // namespace vantrel
