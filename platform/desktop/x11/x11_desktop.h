#pragma once

#include "monitor_choice.h"
#include "x11_atom.h"

#include <QAbstractNativeEventFilter>
#include <QRect>
#include <QTimer>
#include <memory>
#include <optional>
#include <vector>
#include <xcb/xcb.h>

namespace vantrel {

// What the X desktop says about where the program's windows go, kept up to
// date from its events rather than asked again and again: whether a window
// manager runs, the work area it publishes, the monitors and the one of
// them the program's windows cover. It reads Qt's connection; Qt's own
// screen signals tell it that the monitors changed, and the root window's
// property changes that the window manager or its work area did. Changes
// and the events of the windows it is told to watch reach their listeners
// once the event loop is next idle, a burst of them as one.
class X11Desktop final : public QAbstractNativeEventFilter {
public:
    // Hears of changes. Neither call may add or remove listeners.
    class Listener {
    public:
        // The window manager, its work area or the monitors changed.
        virtual void OnDesktopChanged() = 0;
        // The watched window was mapped, moved or resized, or its frame
        // extents or window-manager state changed.
        virtual void OnWindowChanged() = 0;

    protected:
        ~Listener() = default;
    };

    // Null where Qt does not run on X11.
    static std::unique_ptr<X11Desktop> Open();
    explicit X11Desktop(xcb_connection_t* connection);
    ~X11Desktop() override;
    X11Desktop(const X11Desktop&) = delete;
    X11Desktop& operator=(const X11Desktop&) = delete;

    xcb_connection_t* Connection() const { return m_connection; }
    const X11Atoms& Atoms() const { return m_atoms; }
    // Whether a window manager runs (_NET_SUPPORTING_WM_CHECK on the root).
    bool WindowManagerRuns() const { return m_windowManagerRuns; }
    // The part of the screen a maximized window may cover (_NET_WORKAREA),
    // device pixels; nothing where no window manager runs or it publishes
    // none (weston's, under XWayland).
    const std::optional<QRect>& WorkArea() const { return m_workArea; }
    // Whether the window manager tells a window not mapped yet the frame
    // extents it will give it, when asked (_NET_REQUEST_FRAME_EXTENTS in
    // _NET_SUPPORTED).
    bool AnnouncesFramesOnRequest() const { return m_announcesFrames; }
    // The monitor the program's windows cover, device pixels: the one the
    // window manager showed the first window on, or else the primary.
    QRect ChosenMonitor() const;
    // A window has been shown at `client`; the first one chooses the monitor.
    // Should that be another than the one assumed until then (the primary),
    // the listeners hear of a changed desktop, so that a window placed on
    // the assumption follows.
    void NoteShownAt(const QRect& client);

    void Watch(xcb_window_t window, Listener& listener);
    void Unwatch(Listener& listener);

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct Watched {
        xcb_window_t window;
        Listener* listener;
        bool changed = false;
    };

    void ReadWindowManager();
    // Whether the window manager lists `hint` in _NET_SUPPORTED.
    bool Supports(xcb_atom_t hint) const;
    void ReadMonitors();
    void FollowQtScreens();
    void DesktopChanged(bool monitors);
    void Dispatch();

    xcb_connection_t* m_connection;
    xcb_window_t m_root;
    X11Atoms m_atoms;
    bool m_windowManagerRuns = false;
    bool m_announcesFrames = false;
    std::optional<QRect> m_workArea;
    MonitorChoice m_monitors;
    std::vector<Watched> m_watched;
    bool m_desktopChanged = false;
    bool m_monitorsChanged = false;
    QTimer m_dispatch; // single shot: hands the changes gathered to the listeners
};

// The monitors of the X screen, device pixels: RandR's monitors where the
// server has RandR 1.5, else Xinerama's screens, else the root window.
std::vector<Monitor> QueryX11Monitors(xcb_connection_t* connection, xcb_window_t root);

} // namespace vantrel
