#include "frame_clock.h"

#include <algorithm>
#include <cmath>

namespace vantrel {
namespace {

constexpr double kTickRateHz = 60.0;
// A screen refreshing less often than this does not know its rate.
constexpr double kSlowestKnownRefreshHz = 1.0;
constexpr int kMostRefreshesPerTick = 16;
// The first measurement spans this many refreshes, from the second report
// on (the first one may come at once, stamped between two refreshes); later
// ones span about a second, so a change of rate (another monitor) is
// followed within one.
constexpr uint64_t kFirstMeasureRefreshes = 8;
constexpr uint64_t kMeasureSpanUs = 1'000'000;
// Periods outside these bounds are not a display's: the measurement starts
// afresh.
constexpr double kShortestPeriodUs = 1'000;
constexpr double kLongestPeriodUs = 250'000;

} // namespace

int RefreshesPerTick(double refreshHz) {
    if (!(refreshHz > 0) || !std::isfinite(refreshHz)) return 1;
    int best = 1;
    double bestDistance = std::abs(std::log(refreshHz / kTickRateHz));
    for (int refreshes = 2; refreshes <= kMostRefreshesPerTick; ++refreshes) {
        const double distance = std::abs(std::log(refreshHz / refreshes / kTickRateHz));
        if (distance < bestDistance) best = refreshes, bestDistance = distance;
    }
    return best;
}

double TimerTickPeriodMs(double screenRefreshHz) {
    const double refreshHz =
        screenRefreshHz >= kSlowestKnownRefreshHz && std::isfinite(screenRefreshHz) ? screenRefreshHz : kTickRateHz;
    return 1000.0 * RefreshesPerTick(refreshHz) / refreshHz;
}

bool FrameClock::OnRefresh(uint64_t msc, uint64_t ustUs) {
    Measure(msc, ustUs);
    m_lastMsc = msc, m_lastUstUs = ustUs;
    if (m_started && msc < m_nextTickMsc) return false;
    m_started = true;
    m_nextTickMsc = msc + static_cast<uint64_t>(m_refreshesPerTick);
    return true;
}

uint64_t FrameClock::TargetMsc(uint64_t nowUs) const {
    // Only a clock that agrees with the reports' within reason is trusted.
    if (m_refreshPeriodUs <= 0 || nowUs < m_lastUstUs || nowUs - m_lastUstUs > kLongestPeriodUs) {
        return m_nextTickMsc;
    }
    const auto passed = static_cast<uint64_t>(static_cast<double>(nowUs - m_lastUstUs) / m_refreshPeriodUs);
    return std::max(m_nextTickMsc, m_lastMsc + passed + 1);
}

void FrameClock::Measure(uint64_t msc, uint64_t ustUs) {
    const bool first = m_reports++ == 0;
    if (first || !m_haveBase || msc <= m_baseMsc || ustUs <= m_baseUstUs) {
        m_haveBase = !first;
        m_baseMsc = msc, m_baseUstUs = ustUs;
        return;
    }
    const uint64_t refreshes = msc - m_baseMsc;
    const uint64_t spanUs = ustUs - m_baseUstUs;
    if (m_refreshPeriodUs > 0 ? spanUs < kMeasureSpanUs : refreshes < kFirstMeasureRefreshes) return;
    const double periodUs = static_cast<double>(spanUs) / static_cast<double>(refreshes);
    if (periodUs >= kShortestPeriodUs && periodUs <= kLongestPeriodUs) {
        m_refreshPeriodUs = periodUs;
        m_refreshesPerTick = RefreshesPerTick(1e6 / periodUs);
    }
    m_baseMsc = msc, m_baseUstUs = ustUs;
}

} // namespace vantrel
