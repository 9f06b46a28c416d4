#include "headless_program.h"

#include "silent_media_backend.h"

namespace vantrel {

SnapshotRun::SnapshotRun(QSize clientSize, double devicePixelRatio, std::string applicationPath)
    : m_hosts(clientSize, devicePixelRatio),
      m_media(std::make_unique<SilentMediaBackend>(m_clock)),
      m_runtime(Runtime::Services{&m_clock, &m_messages, &m_hosts, &m_media, std::move(applicationPath)}),
      m_forms(m_runtime) {
    m_runtime.timers().SetFramePeriod(1000.0 / kRefreshHz);
    StartUp(m_runtime, m_forms);
    Timer& scroll = m_forms.frmCredits.TimerNamed("tmrScroll");
    scroll.onTimer = [this, tick = scroll.onTimer] {
        tick();
        ++m_scrollTicks;
    };
}

void SnapshotRun::RunScrollTicks(int count) {
    const int target = m_scrollTicks + count;
    TimerScheduler& timers = m_runtime.timers();
    while (m_scrollTicks < target) {
        const auto due = timers.NextDueNs();
        if (!due) return; // every form has gone
        m_clock.Set(std::max(*due, m_clock.NowNs()));
        timers.RunDue();
    }
}

} // namespace vantrel
