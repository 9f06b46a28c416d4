#include "playhead.h"

#include <algorithm>
#include <limits>

namespace vantrel {
namespace {

constexpr uint64_t kNsPerMs = 1'000'000;

} // namespace

Playhead::Playhead(const Clock& clock, int64_t lengthMs) : m_clock(clock), m_lengthMs(std::max<int64_t>(0, lengthMs)) {}

void Playhead::Start(int64_t fromMs) {
    m_fromMs = std::clamp<int64_t>(fromMs, 0, m_lengthMs);
    m_startNs = m_clock.NowNs();
    m_running = true;
}

void Playhead::Halt() {
    m_fromMs = PositionMs();
    m_running = false;
}

void Playhead::Finish() {
    m_fromMs = m_lengthMs;
    m_running = false;
}

int64_t Playhead::PositionMs() const { return std::min(UnclampedPositionMs(), m_lengthMs); }

int64_t Playhead::UnclampedPositionMs() const {
    if (!m_running) return m_fromMs;
    const int64_t elapsedMs = ElapsedMs();
    // m_fromMs is at most the length, so this only saturates on absurd clocks.
    return elapsedMs > std::numeric_limits<int64_t>::max() - m_fromMs ? std::numeric_limits<int64_t>::max()
                                                                       : m_fromMs + elapsedMs;
}

// A clock read before the start (a test moving its clock back) counts as no
// time at all. The difference is taken unsigned so that it cannot overflow.
int64_t Playhead::ElapsedMs() const {
    const int64_t now = m_clock.NowNs();
    if (now <= m_startNs) return 0;
    const uint64_t elapsedNs = static_cast<uint64_t>(now) - static_cast<uint64_t>(m_startNs);
    return static_cast<int64_t>(elapsedNs / kNsPerMs);
}

} // namespace vantrel
