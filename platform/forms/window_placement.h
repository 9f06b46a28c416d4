#pragma once

#include <QMargins>
#include <QMetaObject>
#include <QRect>
#include <QTimer>
#include <functional>
#include <vector>

class QScreen;
class QWidget;

namespace vantrel {

// Runs the event loop (without user input) until done() holds or the
// window system has had timeoutMs to make it so.
void RunEventsUntil(int timeoutMs, const std::function<bool()>& done);

// Keeps a maximized window's frame, title bar and all, on the work area of
// its screen: when it is shown, and whenever the work area or the screen
// changes size while it runs (a panel appearing, a RandR resize).
//
// On X11 the window manager is asked to maximize the window; a window
// manager that refuses to maximize a frame the user may not resize
// (openbox, xfwm4, icewm do) is answered by placing the client so that its
// frame covers the work area, from the frame extents the window manager
// announces. That arithmetic is done in device pixels, which X and the
// extents count in. The window is first mapped at its design size, so that
// no window manager takes it for one too big for the screen. With no window
// manager the client covers the screen. A window manager that publishes no
// work area (weston's, under XWayland) is left to maximize the window as it
// sees fit. Elsewhere (Wayland) the platform maximizes it.
class MaximizedPlacement final {
public:
    // `resizedWhileHidden` is called when the placement has changed the
    // size of the hidden window; a hidden widget gets no resize event.
    MaximizedPlacement(QWidget& window, std::function<void()> resizedWhileHidden);
    ~MaximizedPlacement();
    MaximizedPlacement(const MaximizedPlacement&) = delete;
    MaximizedPlacement& operator=(const MaximizedPlacement&) = delete;

    // Maps the window and returns once its frame covers the work area, or
    // after a timeout; it goes on looking until the frame has stayed there
    // for a moment.
    void Show();

private:
    // One look at the window: asks again for the client rectangle that puts
    // the frame on the work area where it is elsewhere; true once it has
    // stayed there for a few looks in a row.
    bool FitStep();
    // The client rectangle (device pixels) whose frame covers the work area.
    QRect TargetClientRect();
    bool LeftToWindowManager();
    void FollowScreen(QScreen* screen);
    void OnScreenChanged();
    void StartRefit();
    void FitHiddenWindow();

    QWidget& m_window;
    std::function<void()> m_resizedWhileHidden;
    QMargins m_frame;     // device pixels, as the window manager last announced it
    QRect m_requested;    // device pixels, the client rectangle asked for last
    QRect m_lastClient;   // device pixels, as the last look found it
    int m_fittedLooks = 0;
    int m_looksAwaitingGrant = 0;
    int m_looksSinceRequest = 0;
    int m_refitLooksLeft = 0;
    QTimer m_refit; // looks again after a change, until the frame has settled
    std::vector<QMetaObject::Connection> m_screenConnections;
    QMetaObject::Connection m_screenChangedConnection;
};

} // namespace vantrel
