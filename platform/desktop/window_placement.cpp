#include "window_placement.h"

#include "x11_frame_geometry.h"

#include <QEvent>
#include <QEventLoop>
#include <QWidget>
#include <QWindow>
#include <cmath>

namespace vantrel {
namespace {

// How long Show waits for the window system to map and place the window.
constexpr int kPlaceTimeoutMs = 2000;
// How long a window manager that publishes no work area has to maximize
// the window before the placement puts it on the monitor itself.
constexpr int kGrantTimeoutMs = 500;
// How long a window manager that says it announces frame extents on request
// has to announce them for a window not mapped yet.
constexpr int kFrameTimeoutMs = 250;
// A window manager that answers this many requests for one place with
// another is left where it puts the window, until the place changes.
constexpr int kMostRequestsForTarget = 8;

// Ends an event loop once a window is exposed.
class ExposeWatch final : public QObject {
public:
    ExposeWatch(QWindow& window, QEventLoop& loop) : m_window(window), m_loop(loop) { window.installEventFilter(this); }
    ~ExposeWatch() override { m_window.removeEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        // The window's own handler sets the state after the filters ran.
        if (event->type() == QEvent::Expose) QTimer::singleShot(0, &m_loop, [this] { QuitIfExposed(); });
        return false;
    }
    void QuitIfExposed() {
        if (m_window.isExposed()) m_loop.quit();
    }

private:
    QWindow& m_window;
    QEventLoop& m_loop;
};

xcb_window_t Id(QWidget& window) { return static_cast<xcb_window_t>(window.winId()); }

// Runs an event loop without user input while `hook`, set for the wait
// only, is called, until `done` says so when it is or `timeoutMs` pass.
void WaitForHook(std::function<void()>& hook, const std::function<bool()>& done, int timeoutMs) {
    QEventLoop loop;
    hook = [&] {
        if (done()) loop.quit();
    };
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    hook = nullptr;
}

// The logical size Qt gives a window for a size in device pixels.
QSize LogicalSize(const QSize& devicePixels, double ratio) {
    return QSize(static_cast<int>(std::lround(devicePixels.width() / ratio)),
                 static_cast<int>(std::lround(devicePixels.height() / ratio)));
}

} // namespace

void WaitUntilExposed(QWindow& window, int timeoutMs) {
    if (window.isExposed()) return;
    QEventLoop loop;
    ExposeWatch watch(window, loop);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

MaximizedPlacement::MaximizedPlacement(QWidget& window, X11Desktop* desktop, std::function<void()> resized)
    : m_window(window), m_desktop(desktop), m_resized(std::move(resized)) {
    m_grantTimeout.setSingleShot(true);
    m_grantTimeout.setInterval(kGrantTimeoutMs);
    QObject::connect(&m_grantTimeout, &QTimer::timeout, [this] { Fit(); });
    if (m_desktop != nullptr) m_desktop->Watch(Id(m_window), *this);
}

MaximizedPlacement::~MaximizedPlacement() {
    if (m_desktop != nullptr) m_desktop->Unwatch(*this);
}

void MaximizedPlacement::Show() {
    if (m_desktop == nullptr) {
        m_window.showMaximized();
        WaitUntilExposed(*m_window.windowHandle(), kPlaceTimeoutMs);
        return;
    }
    ShowWithoutWaiting();
    // The first look that finds the frame on the work area ends the wait,
    // so that the first frame is not held up; should the window manager
    // move the window again, the event that says so puts it back.
    WaitForHook(m_placed, [] { return true; }, kPlaceTimeoutMs);
}

bool MaximizedPlacement::ForeseeClientSize() {
    if (m_desktop == nullptr) return false;
    if (m_desktop->WindowManagerRuns()) {
        // A window manager that publishes no work area alone knows where a
        // maximized window goes.
        if (!m_desktop->WorkArea() || !m_desktop->AnnouncesFramesOnRequest()) return false;
        const std::optional<QMargins> frame = AskForFrame();
        if (!frame) return false;
        m_frame = *frame;
    }
    const QRect target = TargetClientRect();
    if (target.isEmpty()) return false;
    m_foreseen = LogicalSize(target.size(), m_window.devicePixelRatioF());
    return true;
}

// The window is not mapped at the size foreseen: a window manager may take
// a window as large as the work area for one to maximize (xfwm4 does), and
// give it a frame of another size.
void MaximizedPlacement::ShowWithoutWaiting() {
    m_shown = false;
    m_requestsForTarget = 0;
    m_window.show();
}

std::optional<QMargins> MaximizedPlacement::AskForFrame() {
    RequestX11FrameExtents(m_desktop->Connection(), m_desktop->Atoms(), Id(m_window));
    std::optional<QMargins> frame;
    WaitForHook(m_changed, [&] {
        frame = X11FrameExtents(m_desktop->Connection(), m_desktop->Atoms(), Id(m_window));
        return frame.has_value();
    }, kFrameTimeoutMs);
    return frame;
}

void MaximizedPlacement::OnWindowChanged() {
    if (m_changed) m_changed();
    Fit();
}

void MaximizedPlacement::OnDesktopChanged() {
    if (m_window.isVisible()) {
        m_requestsForTarget = 0;
        Fit();
    } else {
        FitHiddenWindow();
    }
}

void MaximizedPlacement::Fit() {
    if (!m_window.isVisible()) return;
    const auto look = LookAtX11Window(m_desktop->Connection(), m_desktop->Atoms(), Id(m_window));
    if (!look) {
        ForgetForeseen();
        return NotePlaced();
    }
    if (!look->viewable) return; // the window manager has not shown it yet
    if (look->frame) m_frame = *look->frame;
    if (!m_shown) {
        // Where the window manager showed the first window is the program's
        // monitor; with none, nobody did, and the primary is.
        m_shown = true;
        if (m_desktop->WindowManagerRuns()) {
            m_desktop->NoteShownAt(look->client);
            RequestX11Maximized(m_desktop->Connection(), m_desktop->Atoms(), Id(m_window));
            if (!m_desktop->WorkArea()) m_grantTimeout.start();
        }
    }
    // A window manager that publishes no work area alone knows where a
    // maximized window goes; the placement only steps in if it does not
    // maximize the window in time.
    if (m_desktop->WindowManagerRuns() && !m_desktop->WorkArea() && (look->maximized || m_grantTimeout.isActive())) {
        if (!look->maximized) return;
        FixX11ClientSize(m_desktop->Connection(), Id(m_window), look->client.size());
        return NotePlaced();
    }
    const QRect target = TargetClientRect();
    // A window manager that puts the window elsewhere than foreseen gives it
    // another size, which its form then follows.
    if (m_foreseen && (target.isEmpty() || LogicalSize(target.size(), m_window.devicePixelRatioF()) != *m_foreseen))
        ForgetForeseen();
    if (target.isEmpty() || look->client == target) return NotePlaced();
    if (target != m_requested) m_requestsForTarget = 0;
    if (m_requestsForTarget >= kMostRequestsForTarget) {
        ForgetForeseen();
        return NotePlaced();
    }
    ++m_requestsForTarget;
    m_requested = target;
    RequestX11ClientRect(m_desktop->Connection(), Id(m_window), target);
}

void MaximizedPlacement::NotePlaced() {
    if (m_placed) m_placed();
}

QSize MaximizedPlacement::ClientSize() {
    if (m_foreseen && m_window.isVisible() && m_window.size() == *m_foreseen) m_foreseen.reset();
    return m_foreseen.value_or(m_window.size());
}

bool MaximizedPlacement::OnItsWay() const {
    return m_foreseen && m_window.isVisible() && m_window.size() != *m_foreseen;
}

void MaximizedPlacement::ForgetForeseen() {
    if (!m_foreseen) return;
    m_foreseen.reset();
    if (m_resized) m_resized();
}

// Without a window manager the window covers the monitor; with one, the
// part of the monitor its work area leaves. A work area that does not reach
// the monitor at all says nothing of it.
QRect MaximizedPlacement::TargetClientRect() const {
    const QRect monitor = m_desktop->ChosenMonitor();
    const auto& workArea = m_desktop->WorkArea();
    const QRect onMonitor = workArea ? monitor & *workArea : monitor;
    return (onMonitor.isEmpty() ? monitor : onMonitor).marginsRemoved(m_frame);
}

// A hidden window is not placed; it takes the client size its frame would
// need to cover the work area, so that whoever draws on its surface sees
// the size the monitor offers. It keeps the frame it last had.
void MaximizedPlacement::FitHiddenWindow() {
    const QRect target = TargetClientRect();
    if (target.isEmpty()) return;
    const QSize logical = LogicalSize(target.size(), m_window.devicePixelRatioF());
    if (logical == ClientSize()) return;
    m_foreseen.reset();
    m_window.resize(logical);
    if (m_resized) m_resized();
}

} // namespace vantrel
