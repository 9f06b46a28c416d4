#pragma once

#include <string>
#include <string_view>

namespace vantrel {

// Turns a media status reply buffer into the program's number text:
// 1. the text is the buffer's characters up to its first NUL;
// 2. the text must be a plain decimal number: optional blanks (space, tab)
//    around it, an optional '+' or '-', then digits with at most one
//    decimal point and at least one digit ("12", " 12 ", "-3", "4.5", "4.",
//    ".5"). Anything else, the empty text included, is not a number
//    ("", "abc", "1x", "1 2", "1,000", "1e3", "-"), and raises the runtime's
//    type-mismatch error (13);
// 3. the number is written as a blank for zero or a positive number (a
//    minus sign for a negative one), then its integer digits without
//    leading zeros (a single 0 when there are none), then, only if the
//    number has a fraction, a point and the fraction's digits without
//    trailing zeros. "2000" -> " 2000", "0" -> " 0", "-0" -> " 0",
//    "-5" -> "-5", "007.50" -> " 7.5".
// The number is kept as digits, never converted to a machine number, so no
// text is too long or too large: it is total over all inputs.
std::string NormalizeStatusReply(std::string_view buffer);

} // namespace vantrel
