#pragma once

#include <cstdint>

namespace vantrel {

// The runtime's numeric conversions. The integer conversions round to the
// nearest integer with ties to even and raise the overflow error (6) for a
// value outside the type's range or one that is not a number.
int16_t CInt(double value);
int32_t CLng(double value);

// The integer part of a value, rounded down (towards minus infinity).
double Int(double value);

} // namespace vantrel
