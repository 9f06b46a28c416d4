#include "timer_scheduler.h"

#include "timer_control.h"

#include <algorithm>
#include <utility>

namespace vantrel {

TimerScheduler::TimerScheduler(const Clock& clock, double framePeriodMs)
    : m_clock(&clock), m_framePeriodNs(static_cast<int64_t>(framePeriodMs * 1e6)) {}

void TimerScheduler::SetFramePeriod(double framePeriodMs) {
    const auto periodNs = static_cast<int64_t>(framePeriodMs * 1e6);
    // A frame clock reports its period on every tick; only a change repaces.
    if (periodNs <= 0 || periodNs == m_framePeriodNs) return;
    m_framePeriodNs = periodNs;
    Repace();
}

// A timer is a frame timer when a frame pacer is attached and the timer
// asks for a frame or less; one that stops being one resumes on the wall
// clock a period from now.
void TimerScheduler::Repace() {
    const int64_t now = m_clock->NowNs();
    for (Entry& entry : m_entries) {
        entry.periodNs = PeriodOf(*entry.timer);
        const bool framePaced = m_framePacer != nullptr && entry.periodNs <= m_framePeriodNs;
        if (entry.framePaced && !framePaced) entry.dueNs = now + entry.periodNs;
        entry.framePaced = framePaced;
    }
    Changed();
}

void TimerScheduler::AttachFramePacer(const FramePacer& pacer) {
    if (m_framePacer != nullptr) return;
    m_framePacer = &pacer;
    Repace();
}

void TimerScheduler::DetachFramePacer(const FramePacer& pacer) {
    if (m_framePacer != &pacer) return;
    m_framePacer = nullptr;
    Repace();
}

int TimerScheduler::RunFrame(const FramePacer& pacer) {
    // A handler that runs a nested event loop must not start another frame
    // over the list this one is going through.
    if (Held() || m_inFrame || &pacer != m_framePacer) return 0;
    m_inFrame = true;
    m_frameDue.clear();
    for (const Entry& entry : m_entries) {
        if (entry.framePaced) m_frameDue.push_back(entry.timer);
    }
    int fired = 0;
    Fire(m_frameDue, fired);
    m_inFrame = false;
    return fired;
}

int64_t TimerScheduler::PeriodOf(const Timer& timer) const {
    return std::max<int64_t>(static_cast<int64_t>(timer.Interval()) * 1'000'000, m_framePeriodNs);
}

void TimerScheduler::Add(Timer& timer) {
    if (!timer.Enabled() || timer.Interval() <= 0) return;
    const int64_t period = PeriodOf(timer);
    m_entries.push_back({&timer, period, m_clock->NowNs() + period, m_framePacer != nullptr && period <= m_framePeriodNs});
    Changed();
}

void TimerScheduler::Remove(Timer& timer) {
    std::erase_if(m_entries, [&](const Entry& entry) { return entry.timer == &timer; });
    Changed();
}

int TimerScheduler::RunDue() {
    if (Held()) return 0;
    const int64_t now = m_clock->NowNs();
    // Collect first: a handler may unload the form and remove its timers.
    // Fired in the order they fell due, so that after a hold the scroll
    // timer shows a frame before a slower timer's failure report covers it.
    std::vector<std::pair<int64_t, Timer*>> due;
    for (Entry& entry : m_entries) {
        if (entry.framePaced || entry.dueNs > now) continue;
        due.emplace_back(entry.dueNs, entry.timer);
        entry.dueNs += entry.periodNs;
        if (entry.dueNs <= now) entry.dueNs = now + entry.periodNs;
    }
    std::stable_sort(due.begin(), due.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    int fired = 0;
    std::vector<Timer*> inDueOrder;
    inDueOrder.reserve(due.size());
    for (const auto& [dueNs, timer] : due) inDueOrder.push_back(timer);
    Fire(inDueOrder, fired);
    Changed();
    return fired;
}

// Runs the handlers of the timers collected as due, skipping any that a
// handler before them has stopped, and all once delivery is held.
void TimerScheduler::Fire(const std::vector<Timer*>& due, int& fired) {
    for (Timer* timer : due) {
        const bool stillScheduled =
            std::any_of(m_entries.begin(), m_entries.end(), [&](const Entry& e) { return e.timer == timer; });
        if (!stillScheduled || Held()) continue;
        timer->Fire();
        ++fired;
    }
}

std::optional<int64_t> TimerScheduler::NextDueNs() const {
    std::optional<int64_t> next;
    for (const Entry& entry : m_entries) {
        if (!entry.framePaced && (!next || entry.dueNs < *next)) next = entry.dueNs;
    }
    return next;
}

void TimerScheduler::Release() {
    if (m_holds > 0 && --m_holds == 0) Changed();
}

void TimerScheduler::RestartPeriods() {
    const int64_t now = m_clock->NowNs();
    for (Entry& entry : m_entries) entry.dueNs = now + entry.periodNs;
    Changed();
}

void TimerScheduler::Changed() const {
    if (onScheduleChanged) onScheduleChanged();
}

} // namespace vantrel
