#include "wayland_frame_ticker.h"

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
    : m_window(&window), m_pacer(timers) {}

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
    m_pacer.Stop();
    if (m_window != nullptr && m_window->windowHandle() != nullptr) {
        m_window->windowHandle()->removeEventFilter(this);
    }
}

bool WaylandFrameTicker::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::UpdateRequest && m_running) OnFrameCallback();
    return QObject::eventFilter(watched, event);
}

void WaylandFrameTicker::OnFrameCallback() {
    if (!m_pacer.Started()) {
        // A fresh measurement: the callbacks may have stopped for a while.
        m_pacer.ForgetRate();
        m_pacer.Start();
    }
    m_flushed = false;
    m_pacer.OnRefresh(++m_refreshes, m_pacer.NowUs());
    if (!m_running || m_window == nullptr) return; // the tick closed the window
    if (!m_flushed) m_window->repaint(0, 0, 1, 1);
    m_window->windowHandle()->requestUpdate();
    m_silence.start(kSilenceMs, this);
}

void WaylandFrameTicker::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_silence.timerId()) return QObject::timerEvent(event);
    m_pacer.Stop();
    // Asked again, in case the window shows once more.
    if (m_window != nullptr && m_window->windowHandle() != nullptr) m_window->windowHandle()->requestUpdate();
}

void WaylandFrameTicker::Present(const QImage&, const std::vector<QRect>& damage, bool onScreen) {
    if (!onScreen || m_window == nullptr) return;
    const QRegion region = LogicalRegion(damage, m_window->devicePixelRatioF());
    if (!m_pacer.Started()) {
        m_window->update(region);
    } else if (!region.isEmpty()) {
        m_window->repaint(region);
        m_flushed = true;
    }
}

} // namespace vantrel
