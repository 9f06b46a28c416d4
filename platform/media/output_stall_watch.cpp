#include "output_stall_watch.h"

namespace vantrel {
namespace {

constexpr int64_t kNsPerMs = 1'000'000;

} // namespace

void OutputStallWatch::Restart(uint64_t requests, int64_t nowNs) {
    m_requests = requests;
    m_lastRequestNs = nowNs;
}

bool OutputStallWatch::Stalled(uint64_t requests, int64_t nowNs) {
    if (requests != m_requests) {
        Restart(requests, nowNs);
        return false;
    }
    return nowNs - m_lastRequestNs >= kStallMs * kNsPerMs;
}

} // namespace vantrel
