#include "status_reply.h"

#include "runtime_error.h"

#include <algorithm>
#include <optional>

namespace vantrel {
namespace {

struct DecimalNumber {
    bool negative = false;
    std::string_view integerDigits;
    std::string_view fractionDigits;
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view TextBeforeNul(std::string_view buffer) { return buffer.substr(0, buffer.find('\0')); }

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::string_view TakeDigits(std::string_view& text) {
    size_t count = 0;
    while (count < text.size() && IsDigit(text[count])) ++count;
    const std::string_view digits = text.substr(0, count);
    text.remove_prefix(count);
    return digits;
}

std::optional<DecimalNumber> ParseDecimal(std::string_view text) {
    text = TrimBlanks(text);
    DecimalNumber number;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        number.negative = text.front() == '-';
        text.remove_prefix(1);
    }
    number.integerDigits = TakeDigits(text);
    if (!text.empty() && text.front() == '.') {
        text.remove_prefix(1);
        number.fractionDigits = TakeDigits(text);
    }
    if (!text.empty() || (number.integerDigits.empty() && number.fractionDigits.empty())) return std::nullopt;
    return number;
}

std::string FormatDecimal(const DecimalNumber& number) {
    std::string_view integer = number.integerDigits;
    std::string_view fraction = number.fractionDigits;
    integer.remove_prefix(std::min(integer.find_first_not_of('0'), integer.size()));
    fraction.remove_suffix(fraction.size() - (fraction.find_last_not_of('0') + 1));
    const bool zero = integer.empty() && fraction.empty();
    std::string text(1, number.negative && !zero ? '-' : ' ');
    text += integer.empty() ? std::string_view("0") : integer;
    if (!fraction.empty()) {
        text += '.';
        text += fraction;
    }
    return text;
}

} // namespace

std::string NormalizeStatusReply(std::string_view buffer) {
    const std::optional<DecimalNumber> number = ParseDecimal(TextBeforeNul(buffer));
    if (!number) Raise(errors::kTypeMismatch);
    return FormatDecimal(*number);
}

} // namespace vantrel
