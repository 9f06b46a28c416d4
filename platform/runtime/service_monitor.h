#pragma once

#include "runtime_error.h"

#include <array>
#include <cstdint>
#include <string>

namespace vantrel {

// The runtime services whose use can be counted and, in tests, made to fail.
enum class Service : uint8_t {
    PropertyRead,
    PropertyWrite,
    FontAttribute,
    Clear,
    Circle,
    BlockCopy,
    Print,
    Refresh,
    ApplicationPath,
    MediaCommand,
    FormUnload,
    kCount
};

// Every runtime service reports each use here. In the program nothing is
// planned and a use costs one branch; a test plans "the n-th use of this
// service fails with this error" to walk a failure through the handlers.
class ServiceMonitor {
public:
    // Counts one use; raises the planned error if this is the planned use.
    void Use(Service service) {
        if (m_armed) CheckPlanned(service);
    }

    // Counts one use of a service that reports failure as a result code
    // instead of raising (the media commands); true when it must fail.
    bool ShouldFail(Service service);

    void FailOnUse(Service service, uint64_t nthUseFromNow, int32_t number = errors::kPropertyAccessFailed,
                   std::string description = DescribeError(errors::kPropertyAccessFailed));

private:
    static size_t Index(Service service) { return static_cast<size_t>(service); }
    void CheckPlanned(Service service);

    bool m_armed = false;
    Service m_plannedService = Service::kCount;
    uint64_t m_plannedUse = 0;
    int32_t m_plannedNumber = 0;
    std::string m_plannedDescription;
    std::array<uint64_t, static_cast<size_t>(Service::kCount)> m_uses{};
};

} // namespace vantrel
