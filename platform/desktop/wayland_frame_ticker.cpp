#include "wayland_frame_ticker.h"

#include "timer_scheduler.h"

#include <QEvent>
#include <QTimerEvent>
#include <QWindow>

namespace vantrel {
namespace {

// Qt itself gives up waiting for a frame callback after 100 ms and counts
// the window as hidden.
constexpr int kSilenceMs = 150;

} // namespace

WaylandFrameTicker::WaylandFrameTicker(QWidget& window, TimerScheduler& timers)
    : m_window(&window), m_timers(timers) {}

WaylandFrameTicker::~WaylandFrameTicker() { Stop(); }

void WaylandFrameTicker::Start() {
    if (m_running || m_window == nullptr || m_window->windowHandle() == nullptr) return;
    m_running = true;
    m_window->windowHandle()->installEventFilter(this);
    m_window->windowHandle()->requestUpdate();
    m_silence.start(kSilenceMs, this);
}

void WaylandFrameTicker::Stop() {
    if (!m_running) return;
    m_running = false;
    m_silence.stop();
    StopPacing();
    if (m_window != nullptr && m_window->windowHandle() != nullptr) {
        m_window->windowHandle()->removeEventFilter(this);
    }
}

void WaylandFrameTicker::StopPacing() {
    if (!m_pacing) return;
    m_pacing = false;
    m_timers.DetachFrameClock(&m_clock);
}

bool WaylandFrameTicker::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::UpdateRequest && m_running) OnFrameCallback();
    return QObject::eventFilter(watched, event);
}

void WaylandFrameTicker::OnFrameCallback() {
    if (!m_pacing) {
        // A fresh measurement: the callbacks may have stopped for a while.
        m_clock = FrameClock();
        m_pacing = true;
        m_timers.AttachFrameClock(&m_clock);
    }
    m_flushed = false;
    const auto nowUs = static_cast<uint64_t>(m_timers.clock().NowNs() / 1000);
    if (m_clock.OnRefresh(++m_refreshes, nowUs)) {
        m_timers.SetFramePeriod(m_clock.tickPeriodMs());
        m_timers.RunFrame(&m_clock);
    }
    if (!m_running || m_window == nullptr) return; // the tick closed the window
    if (!m_flushed) m_window->repaint(0, 0, 1, 1);
    m_window->windowHandle()->requestUpdate();
    m_silence.start(kSilenceMs, this);
}

void WaylandFrameTicker::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_silence.timerId()) return QObject::timerEvent(event);
    StopPacing();
    // Asked again, in case the window shows once more.
    if (m_window != nullptr && m_window->windowHandle() != nullptr) m_window->windowHandle()->requestUpdate();
}

} // namespace vantrel
