#include "screen_rate_pacing.h"

#include "frame_clock.h"
#include "timer_scheduler.h"

#include <QScreen>
#include <QWindow>
#include <utility>

namespace vantrel {

ScreenRatePacing::ScreenRatePacing(QWidget& window, TimerScheduler& timers) : m_window(&window), m_timers(timers) {}

ScreenRatePacing::~ScreenRatePacing() { Stop(); }

void ScreenRatePacing::Start() {
    QWindow* handle = m_window ? m_window->windowHandle() : nullptr;
    if (handle == nullptr || m_screenChanged) return;
    m_screenChanged =
        QObject::connect(handle, &QWindow::screenChanged, handle, [this](QScreen* screen) { Follow(screen); });
    Follow(handle->screen());
}

void ScreenRatePacing::Stop() {
    QObject::disconnect(std::exchange(m_screenChanged, {}));
    QObject::disconnect(std::exchange(m_rateChanged, {}));
}

void ScreenRatePacing::Follow(QScreen* screen) {
    QObject::disconnect(std::exchange(m_rateChanged, {}));
    if (screen == nullptr) return;
    m_rateChanged = QObject::connect(screen, &QScreen::refreshRateChanged, screen, [this](qreal refreshHz) {
        m_timers.SetFramePeriod(TimerTickPeriodMs(refreshHz));
    });
    m_timers.SetFramePeriod(TimerTickPeriodMs(screen->refreshRate()));
}

} // namespace vantrel
