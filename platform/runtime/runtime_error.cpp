#include "runtime_error.h"

#include <utility>

namespace vantrel {

RuntimeError::RuntimeError(int32_t number, std::string description)
    : std::runtime_error(description), m_number(number), m_description(std::move(description)) {}

std::string DescribeError(int32_t number) {
    switch (number) {
    case errors::kInvalidCall: return "Invalid procedure call or argument";
    case errors::kOverflow: return "Overflow";
    case errors::kOutOfMemory: return "Out of memory";
    case errors::kTypeMismatch: return "Type mismatch";
    case errors::kInvalidPropertyValue: return "Invalid property value";
    case errors::kObjectRequired: return "Object required";
    case errors::kPropertyAccessFailed: return "Automation error: unspecified failure";
    default: return "";
    }
}

void Raise(int32_t number) { throw RuntimeError(number, DescribeError(number)); }

} // namespace vantrel
