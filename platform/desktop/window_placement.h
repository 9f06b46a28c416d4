#pragma once

#include "x11_desktop.h"

#include <QMargins>
#include <QRect>
#include <QTimer>
#include <functional>
#include <optional>

class QWidget;
class QWindow;

namespace vantrel {

// Runs the event loop (without user input) until the window is exposed,
// for at most `timeoutMs`.
void WaitUntilExposed(QWindow& window, int timeoutMs);

// Keeps a maximized window's frame, title bar and all, on the work area of
// the program's monitor (X11Desktop::ChosenMonitor): when it is shown, and
// whenever the work area, the monitors or the frame change while it runs
// (a panel appearing, a monitor going, a RandR resize). It looks at the
// window only when an event says that something changed.
//
// On X11 the window manager is asked to maximize the window; a window
// manager that refuses to maximize a frame the user may not resize
// (openbox, xfwm4, icewm do) is answered by placing the client so that its
// frame covers the work area, from the frame extents the window manager
// announces. That arithmetic is done in device pixels, which X and the
// extents count in. The window is first mapped at its design size, so that
// no window manager takes it for one too big for the screen. With no window
// manager the client covers the monitor. A window manager that publishes no
// work area (weston's, under XWayland) is left to maximize the window as it
// sees fit. Elsewhere (Wayland, `desktop` null) the platform maximizes it.
class MaximizedPlacement final : private X11Desktop::Listener {
public:
    // `resized` is called when the client size the placement gives the
    // window's form has changed with no resize event of the widget: the
    // window is hidden, or was mapped with a size foreseen.
    MaximizedPlacement(QWidget& window, X11Desktop* desktop, std::function<void()> resized);
    ~MaximizedPlacement();
    MaximizedPlacement(const MaximizedPlacement&) = delete;
    MaximizedPlacement& operator=(const MaximizedPlacement&) = delete;

    // Maps the window and returns once its frame covers the work area, or
    // after at most kPlaceTimeoutMs; later changes are followed as they come.
    void Show();
    // Works out, before the window is mapped, the client size its place on
    // the work area will give it, where that is known beforehand: with no
    // window manager (the client covers the monitor), or with one that
    // publishes a work area and announces, when asked, the frame extents it
    // will give the window. Returns whether it could; the window is then
    // mapped with ShowWithoutWaiting, else with Show.
    bool ForeseeClientSize();
    // Maps the window at its design size and returns at once; the events
    // that follow place it. Show does the same and then waits.
    void ShowWithoutWaiting();
    // The client size of the window as its form sees it (logical pixels):
    // the one foreseen, from when it was foreseen until the shown widget
    // first has it, or the window is placed at another; else the widget's.
    QSize ClientSize();
    // Whether the shown window has another size than its form sees: it was
    // mapped at its design size and is on its way to the size foreseen.
    bool OnItsWay() const;

private:
    void OnDesktopChanged() override;
    void OnWindowChanged() override;
    // One look at the shown window: asks for the client rectangle that puts
    // the frame on the work area where it is elsewhere.
    void Fit();
    void NotePlaced();
    // The form sees the widget's own size from now on.
    void ForgetForeseen();
    // The client rectangle (device pixels) whose frame covers the work area.
    QRect TargetClientRect() const;
    void FitHiddenWindow();
    // The frame extents the window manager announces for the window when
    // asked; nothing where it does not within kFrameTimeoutMs.
    std::optional<QMargins> AskForFrame();

    QWidget& m_window;
    X11Desktop* m_desktop;
    std::function<void()> m_resized;
    std::function<void()> m_placed;  // while Show waits
    std::function<void()> m_changed; // while AskForFrame waits
    QMargins m_frame;                // device pixels, as the window manager last announced it
    std::optional<QSize> m_foreseen; // logical pixels, until the window is placed
    QRect m_requested;               // device pixels, the client rectangle asked for last
    int m_requestsForTarget = 0;     // how often it has been asked for
    bool m_shown = false;            // the window manager has shown the window since it was mapped
    QTimer m_grantTimeout;           // single shot: how long a window manager has to maximize the window
};

} // namespace vantrel
