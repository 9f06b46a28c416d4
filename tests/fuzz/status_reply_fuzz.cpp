// Feeds arbitrary bytes to the normalisation of status replies (see
// status_reply.h). Every input must either raise the runtime's
// type-mismatch error or give a normal form:
//   a blank or a minus sign, integer digits without leading zeros (a lone 0
//   when there are none), and optionally a point and fraction digits
//   without trailing zeros;
// a minus sign only for a number that is not zero, the same non-zero digits
// in the same order as the text, and a normal form that normalises to
// itself. Whether the text is a number at all is decided here by an
// independent reading of the rules, not by the code under test.

#include "fuzz_check.h"
#include "runtime_error.h"
#include "status_reply.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel::fuzz {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The text up to its first NUL is a number when, blanks around it aside, it
// reads [sign] digits [point digits] with a digit somewhere.
bool IsNumberText(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return false;
    text = text.substr(first, text.find_last_not_of(" \t") + 1 - first);
    if (text.front() == '+' || text.front() == '-') text.remove_prefix(1);
    bool digit = false;
    bool point = false;
    for (const char c : text) {
        if (IsDigit(c)) {
            digit = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digit;
}

std::string NonZeroDigits(std::string_view text) {
    std::string digits;
    for (const char c : text)
        if (c >= '1' && c <= '9') digits += c;
    return digits;
}

bool IsNormalForm(std::string_view form) {
    if (form.size() < 2 || (form[0] != ' ' && form[0] != '-')) return false;
    const std::string_view number = form.substr(1);
    const size_t point = number.find('.');
    const std::string_view integer = number.substr(0, point);
    if (integer.empty() || (integer.size() > 1 && integer[0] == '0')) return false;
    for (const char c : integer)
        if (!IsDigit(c)) return false;
    if (point == std::string_view::npos) return true;
    const std::string_view fraction = number.substr(point + 1);
    if (fraction.empty() || fraction.back() == '0') return false;
    for (const char c : fraction)
        if (!IsDigit(c)) return false;
    return true;
}

void Check(std::string_view input) {
    const std::string_view text = input.substr(0, input.find('\0'));
    const auto context = [&] { return "reply \"" + std::string(text) + "\""; };
    std::string form;
    try {
        form = NormalizeStatusReply(input);
    } catch (const RuntimeError& error) {
        FUZZ_CHECK(error.number() == errors::kTypeMismatch, "raised error " + std::to_string(error.number()) + " for " + context());
        FUZZ_CHECK(!IsNumberText(input), "refused a number: " + context());
        return;
    }
    FUZZ_CHECK(IsNumberText(input), "accepted a non-number as \"" + form + "\": " + context());
    FUZZ_CHECK(IsNormalForm(form), "not a normal form: \"" + form + "\" for " + context());
    const std::string digits = NonZeroDigits(text);
    FUZZ_CHECK(NonZeroDigits(form) == digits, "digits changed to \"" + form + "\" for " + context());
    const bool negative = text.find('-') != std::string_view::npos && !digits.empty();
    FUZZ_CHECK((form[0] == '-') == negative, "sign of \"" + form + "\" for " + context());
    FUZZ_CHECK(NormalizeStatusReply(form) == form, "normal form \"" + form + "\" not stable for " + context());
}

} // namespace
} // namespace vantrel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vantrel::fuzz::Check(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
