#include "conversions.h"

#include "runtime_error.h"

#include <cmath>
#include <limits>

namespace vantrel {
namespace {

// Rounds half to even regardless of the floating-point environment's mode.
double RoundHalfEven(double value) {
    const double floor = std::floor(value);
    const double fraction = value - floor;
    if (fraction > 0.5) return floor + 1.0;
    if (fraction < 0.5) return floor;
    return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
}

template <typename Integer>
Integer ConvertRounded(double value) {
    if (std::isnan(value)) Raise(errors::kOverflow);
    const double rounded = RoundHalfEven(value);
    if (rounded < static_cast<double>(std::numeric_limits<Integer>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<Integer>::max())) {
        Raise(errors::kOverflow);
    }
    return static_cast<Integer>(rounded);
}

} // namespace

int16_t CInt(double value) { return ConvertRounded<int16_t>(value); }

int32_t CLng(double value) { return ConvertRounded<int32_t>(value); }

double Int(double value) { return std::floor(value); }

} // namespace vantrel
