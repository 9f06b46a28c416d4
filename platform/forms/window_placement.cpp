#include "window_placement.h"

#include "x11_frame_geometry.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <cmath>

namespace vantrel {
namespace {

// How long Show waits for the window system to map and place the window.
constexpr int kPlaceTimeoutMs = 2000;
// How often the placement looks at the window while it settles.
constexpr int kLookIntervalMs = 2;
// Looks in a row with the frame on the work area before it counts as placed.
constexpr int kSettledLooks = 5;
// Looks without the client where it was asked to be before asking again.
constexpr int kLooksBeforeAskingAgain = 10;
// How long a window manager that publishes no work area has to maximize
// the window before the placement puts it on the screen itself.
constexpr int kLooksAwaitingGrant = 250;
// After a screen change, how often and how long the placement looks again.
constexpr int kRefitIntervalMs = 10;
constexpr int kRefitLooks = 200;

bool OnX11() { return qGuiApp->nativeInterface<QNativeInterface::QX11Application>() != nullptr; }

} // namespace

void RunEventsUntil(int timeoutMs, const std::function<bool()>& done) {
    if (done()) return;
    QElapsedTimer waited;
    waited.start();
    QEventLoop loop;
    QTimer look;
    look.setInterval(kLookIntervalMs);
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (done() || waited.elapsed() > timeoutMs) loop.quit();
    });
    look.start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

MaximizedPlacement::MaximizedPlacement(QWidget& window, std::function<void()> resizedWhileHidden)
    : m_window(window), m_resizedWhileHidden(std::move(resizedWhileHidden)) {
    m_refit.setInterval(kRefitIntervalMs);
    QObject::connect(&m_refit, &QTimer::timeout, [this] {
        if (FitStep() || --m_refitLooksLeft <= 0) m_refit.stop();
    });
}

MaximizedPlacement::~MaximizedPlacement() {
    for (const auto& connection : m_screenConnections) QObject::disconnect(connection);
    QObject::disconnect(m_screenChangedConnection);
}

void MaximizedPlacement::Show() {
    if (!OnX11()) {
        m_window.showMaximized();
        RunEventsUntil(kPlaceTimeoutMs, [&] { return m_window.windowHandle()->isExposed(); });
        return;
    }
    m_window.show();
    RunEventsUntil(kPlaceTimeoutMs, [&] { return m_window.windowHandle()->isExposed(); });
    if (X11WindowManagerRuns()) RequestX11Maximized(m_window);
    // The first look that finds the frame on the work area ends the wait,
    // so that the first frame is not held up; should the window manager
    // move the window again, the looks that go on after it put it back.
    m_fittedLooks = 0;
    m_looksAwaitingGrant = 0;
    RunEventsUntil(kPlaceTimeoutMs, [&] { return FitStep() || m_fittedLooks > 0; });
    StartRefit();
    if (!m_screenChangedConnection) {
        m_screenChangedConnection = QObject::connect(m_window.windowHandle(), &QWindow::screenChanged,
                                                     [this](QScreen* screen) { FollowScreen(screen); });
        FollowScreen(m_window.windowHandle()->screen());
    }
}

bool MaximizedPlacement::FitStep() {
    const auto client = X11ClientRect(m_window);
    if (!client) return true;
    const bool steady = *client == m_lastClient;
    m_lastClient = *client;
    if (LeftToWindowManager()) {
        m_fittedLooks = steady ? m_fittedLooks + 1 : 0;
        return m_fittedLooks >= kSettledLooks;
    }
    if (X11WindowManagerRuns() && !X11WorkArea() && ++m_looksAwaitingGrant < kLooksAwaitingGrant) return false;
    const QRect target = TargetClientRect();
    if (target.isEmpty()) return true; // nothing to fit to
    if (*client == target) {
        ++m_fittedLooks;
    } else {
        m_fittedLooks = 0;
        if (target != m_requested || ++m_looksSinceRequest >= kLooksBeforeAskingAgain) {
            RequestX11ClientRect(m_window, target);
            m_requested = target;
            m_looksSinceRequest = 0;
        }
    }
    return m_fittedLooks >= kSettledLooks;
}

// A window manager that publishes no work area (weston's, under XWayland)
// alone knows where a maximized window goes: once it has maximized the
// window, the placement only waits for it to settle.
bool MaximizedPlacement::LeftToWindowManager() {
    return X11WindowManagerRuns() && !X11WorkArea() && X11Maximized(m_window);
}

QRect MaximizedPlacement::TargetClientRect() {
    const auto workArea = X11WindowManagerRuns() ? X11WorkArea() : X11Screen();
    if (!workArea) return X11Screen().value_or(QRect());
    // A window manager announces the frame it has put around the window;
    // a hidden window keeps the one it last had.
    if (m_window.isVisible()) m_frame = X11FrameExtents(m_window).value_or(m_frame);
    return workArea->marginsRemoved(m_frame);
}

void MaximizedPlacement::FollowScreen(QScreen* screen) {
    for (const auto& connection : m_screenConnections) QObject::disconnect(connection);
    m_screenConnections.clear();
    if (screen == nullptr) return;
    auto changed = [this] { OnScreenChanged(); };
    m_screenConnections.push_back(QObject::connect(screen, &QScreen::geometryChanged, changed));
    m_screenConnections.push_back(QObject::connect(screen, &QScreen::availableGeometryChanged, changed));
}

void MaximizedPlacement::OnScreenChanged() {
    if (!m_window.isVisible()) {
        FitHiddenWindow();
        return;
    }
    StartRefit();
}

void MaximizedPlacement::StartRefit() {
    m_fittedLooks = 0;
    m_refitLooksLeft = kRefitLooks;
    m_refit.start();
}

// A hidden window is not placed; it takes the client size its frame would
// need to cover the work area, so that whoever draws on its surface sees
// the size the screen offers.
void MaximizedPlacement::FitHiddenWindow() {
    const QRect target = TargetClientRect();
    if (target.isEmpty()) return;
    const double ratio = m_window.devicePixelRatioF();
    const QSize logical(static_cast<int>(std::lround(target.width() / ratio)),
                        static_cast<int>(std::lround(target.height() / ratio)));
    if (logical == m_window.size()) return;
    m_window.resize(logical);
    if (m_resizedWhileHidden) m_resizedWhileHidden();
}

} // namespace vantrel
