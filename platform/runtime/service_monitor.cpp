#include "service_monitor.h"

#include <utility>

namespace vantrel {

bool ServiceMonitor::ShouldFail(Service service) {
    if (!m_armed) return false;
    const uint64_t use = ++m_uses[Index(service)];
    if (service != m_plannedService || use != m_plannedUse) return false;
    m_armed = false;
    return true;
}

void ServiceMonitor::CheckPlanned(Service service) {
    if (ShouldFail(service)) throw RuntimeError(m_plannedNumber, m_plannedDescription);
}

void ServiceMonitor::FailOnUse(Service service, uint64_t nthUseFromNow, int32_t number, std::string description) {
    m_uses.fill(0);
    m_armed = nthUseFromNow > 0;
    m_plannedService = service;
    m_plannedUse = nthUseFromNow;
    m_plannedNumber = number;
    m_plannedDescription = std::move(description);
}

} // namespace vantrel
