#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vantrel {

// The one failure every runtime service raises: the runtime's error number
// and its one-line description. Procedures never catch it themselves; the
// failure trap of each handler does (`Trapped`, failure_report.h).
class RuntimeError : public std::runtime_error {
public:
    RuntimeError(int32_t number, std::string description);

    int32_t Number() const { return m_number; }
    const std::string& Description() const { return m_description; }

private:
    int32_t m_number = 0;
    std::string m_description;
};

// The runtime's error numbers that the program can meet.
namespace errors {
constexpr int32_t kInvalidCall = 5;
constexpr int32_t kOverflow = 6;
constexpr int32_t kOutOfMemory = 7;
constexpr int32_t kTypeMismatch = 13;
constexpr int32_t kInvalidPropertyValue = 380;
constexpr int32_t kObjectRequired = 424;
// A property access that the platform refused carries the platform's own
// status code, which is negative (an HRESULT-style "unspecified failure").
constexpr int32_t kPropertyAccessFailed = -2147467259;
} // namespace errors

// The runtime's description of a known error number ("" for others).
std::string DescribeError(int32_t number);

// Raises the error with the runtime's own description of its number.
[[noreturn]] void Raise(int32_t number);

} // namespace vantrel
