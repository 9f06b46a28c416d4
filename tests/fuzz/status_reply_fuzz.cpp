// Feeds arbitrary bytes to the normalisation of status replies (see
// status_reply.h). Every input must either raise the runtime's
// type-mismatch error or give a form that starts with a blank or a minus
// sign, a minus sign only for a number that is not zero, the same non-zero
// digits in the same order as the text, and that normalises to itself.
// (Which zeros the form drops is the unit tests' table.) Whether the text is a number at all is decided here by an
// independent reading of the rules, not by the code under test.

#include "fuzz_check.h"
#include "runtime_error.h"
#include "status_reply.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel::fuzz {
namespace {

bool IsDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The text up to its first NUL is a number when, blanks around it aside, it
// reads [sign] digits [point digits] with a digit somewhere.
bool IsNumberText(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return false;
    text = text.substr(first, text.find_last_not_of(" \t") + 1 - first);
    if (text.front() == '+' || text.front() == '-') text.remove_prefix(1);
    const size_t point = text.find('.');
    const std::string_view fraction = point == std::string_view::npos ? "" : text.substr(point + 1);
    return text.size() > (point == std::string_view::npos ? 0 : 1) && IsDigits(text.substr(0, point)) && IsDigits(fraction);
}

std::string NonZeroDigits(std::string_view text) {
    std::string digits;
    for (const char c : text)
        if (c >= '1' && c <= '9') digits += c;
    return digits;
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
    FUZZ_CHECK(form.size() >= 2 && (form[0] == ' ' || form[0] == '-'), "no sign column in \"" + form + "\" for " + context());
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
