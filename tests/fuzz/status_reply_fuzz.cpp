// Feeds arbitrary bytes to the normalisation of status replies (see
// status_reply.h). Every input must either raise the runtime's
// type-mismatch error or give a form that starts with a blank or a minus
// sign, keeps the text's non-zero digits in their order, and normalises to
// itself. Which texts are numbers, and which zeros the form drops, is the
// unit tests' table.

#include "fuzz_check.h"
#include "runtime_error.h"
#include "status_reply.h"

#include <string>
#include <string_view>

namespace {

using namespace vantrel;

std::string NonZeroDigits(std::string_view text) {
    std::string digits;
    for (const char c : text.substr(0, text.find('\0')))
        if (c >= '1' && c <= '9') digits += c;
    return digits;
}

void Check(std::string_view input) {
    const auto context = [&] { return "reply \"" + std::string(input.substr(0, input.find('\0'))) + "\""; };
    std::string form;
    try {
        form = NormalizeStatusReply(input);
    } catch (const RuntimeError& error) {
        FUZZ_CHECK(error.Number() == errors::kTypeMismatch, "raised error " + std::to_string(error.Number()) + " for " + context());
        return;
    }
    FUZZ_CHECK(form.size() >= 2 && (form[0] == ' ' || form[0] == '-'), "no sign column in \"" + form + "\" for " + context());
    FUZZ_CHECK(NonZeroDigits(form) == NonZeroDigits(input), "digits changed to \"" + form + "\" for " + context());
    FUZZ_CHECK(NormalizeStatusReply(form) == form, "normal form \"" + form + "\" not stable for " + context());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Check(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
