#include "short_name.h"

#include "failure_report.h"
#include "short_path.h"

#include <cstdint>

namespace vantrel {
namespace {

constexpr uint32_t kShortNameBufferLength = 255; // characters, the NUL included

} // namespace

std::string GetShortName(Runtime& runtime, const std::string& sLongFileName) {
    std::string shortName;
    Trapped(runtime, "GetShortName", [&] {
        std::string buffer(kShortNameBufferLength, ' ');
        const uint32_t count = GetShortPathNameA(sLongFileName.c_str(), buffer.data(), kShortNameBufferLength);
        if (count < kShortNameBufferLength) shortName = buffer.substr(0, count);
    });
    return shortName;
}

} // namespace vantrel
