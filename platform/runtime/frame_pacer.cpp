#include "frame_pacer.h"

#include "timer_scheduler.h"

#include <utility>

namespace vantrel {

FramePacer::FramePacer(TimerScheduler& timers) : m_timers(timers) {}

FramePacer::~FramePacer() { Stop(); }

void FramePacer::Start() {
    if (m_started) return;
    m_started = true;
    m_timers.AttachFramePacer(*this);
}

void FramePacer::Stop() {
    m_tickHeld = false;
    m_tickedLate = false;
    if (!std::exchange(m_started, false)) return;
    m_timers.DetachFramePacer(*this);
}

void FramePacer::OnRefresh(uint64_t msc, uint64_t ustUs, bool canDraw) {
    const bool tickedLate = std::exchange(m_tickedLate, false);
    if (!m_clock.OnRefresh(msc, ustUs) || tickedLate) return;
    m_timers.SetFramePeriod(m_clock.TickPeriodMs());
    if (canDraw) m_timers.RunFrame(*this);
    else m_tickHeld = true;
}

void FramePacer::RunHeldTick() {
    if (!std::exchange(m_tickHeld, false)) return;
    m_tickedLate = true;
    m_timers.RunFrame(*this);
}

void FramePacer::FollowRefreshRate(double refreshHz) { m_timers.SetFramePeriod(TimerTickPeriodMs(refreshHz)); }

uint64_t FramePacer::NowUs() const { return static_cast<uint64_t>(m_timers.WallClock().NowNs() / 1000); }

} // namespace vantrel
