#include "timer_scheduler.h"

#include "timer_control.h"

#include <algorithm>

namespace vantrel {

TimerScheduler::TimerScheduler(const Clock& clock, double framePeriodMs)
    : m_clock(&clock), m_framePeriodNs(static_cast<int64_t>(framePeriodMs * 1e6)) {}

void TimerScheduler::SetFramePeriod(double framePeriodMs) {
    m_framePeriodNs = static_cast<int64_t>(framePeriodMs * 1e6);
    for (Entry& entry : m_entries) entry.periodNs = PeriodOf(*entry.timer);
    Changed();
}

int64_t TimerScheduler::PeriodOf(const Timer& timer) const {
    return std::max<int64_t>(static_cast<int64_t>(timer.Interval()) * 1'000'000, m_framePeriodNs);
}

void TimerScheduler::Add(Timer& timer) {
    if (!timer.Enabled() || timer.Interval() <= 0) return;
    const int64_t period = PeriodOf(timer);
    m_entries.push_back({&timer, period, m_clock->NowNs() + period});
    Changed();
}

void TimerScheduler::Remove(Timer& timer) {
    std::erase_if(m_entries, [&](const Entry& entry) { return entry.timer == &timer; });
    Changed();
}

int TimerScheduler::RunDue() {
    if (held()) return 0;
    const int64_t now = m_clock->NowNs();
    // Collect first: a handler may unload the form and remove its timers.
    std::vector<Timer*> due;
    for (Entry& entry : m_entries) {
        if (entry.dueNs > now) continue;
        due.push_back(entry.timer);
        entry.dueNs += entry.periodNs;
        if (entry.dueNs <= now) entry.dueNs = now + entry.periodNs;
    }
    int fired = 0;
    for (Timer* timer : due) {
        const bool stillScheduled =
            std::any_of(m_entries.begin(), m_entries.end(), [&](const Entry& e) { return e.timer == timer; });
        if (!stillScheduled || held()) continue;
        timer->Fire();
        ++fired;
    }
    Changed();
    return fired;
}

std::optional<int64_t> TimerScheduler::NextDueNs() const {
    if (m_entries.empty()) return std::nullopt;
    return std::min_element(m_entries.begin(), m_entries.end(),
                            [](const Entry& a, const Entry& b) { return a.dueNs < b.dueNs; })
        ->dueNs;
}

void TimerScheduler::Release() {
    if (m_holds > 0 && --m_holds == 0) Changed();
}

void TimerScheduler::Changed() const {
    if (onScheduleChanged) onScheduleChanged();
}

} // namespace vantrel
