#include "screen_rate_pacing.h"

#include <QScreen>
#include <QWindow>
#include <utility>

namespace vantrel {

ScreenRatePath::ScreenRatePath(QWidget& window, TimerScheduler* timers) : m_window(&window) {
    if (timers != nullptr) m_pacer.emplace(*timers);
}

ScreenRatePath::~ScreenRatePath() { Stop(); }

void ScreenRatePath::Start() {
    QWindow* handle = m_window ? m_window->windowHandle() : nullptr;
    if (!m_pacer || handle == nullptr || m_screenChanged) return;
    m_screenChanged =
        QObject::connect(handle, &QWindow::screenChanged, handle, [this](QScreen* screen) { Follow(screen); });
    Follow(handle->screen());
}

void ScreenRatePath::Stop() {
    QObject::disconnect(std::exchange(m_screenChanged, {}));
    QObject::disconnect(std::exchange(m_rateChanged, {}));
}

void ScreenRatePath::Follow(QScreen* screen) {
    QObject::disconnect(std::exchange(m_rateChanged, {}));
    if (screen == nullptr) return;
    m_rateChanged = QObject::connect(screen, &QScreen::refreshRateChanged, screen,
                                     [this](qreal refreshHz) { m_pacer->FollowRefreshRate(refreshHz); });
    m_pacer->FollowRefreshRate(screen->refreshRate());
}

void ScreenRatePath::Present(const QImage&, const std::vector<QRect>& damage, bool onScreen) {
    if (!onScreen || m_window == nullptr) return;
    m_window->update(LogicalRegion(damage, m_window->devicePixelRatioF()));
}

} // namespace vantrel
