#pragma once

#include "x11_atom.h"

#include <QMargins>
#include <QRect>
#include <optional>
#include <xcb/xcb.h>

namespace vantrel {

// Where a top-level window sits as the X server and the window manager see
// it, and requests to move it. Every rectangle and margin here is in device
// pixels, as X counts them; Qt's geometry is in logical pixels.

// What one look at a window finds; its requests go out together, so a
// look costs one round trip.
struct X11WindowLook {
    QRect client;                  // the client area, in root coordinates
    bool viewable = false;         // mapped, and shown by the window manager
    std::optional<QMargins> frame; // as the window manager announces it (_NET_FRAME_EXTENTS)
    bool maximized = false;        // in the window manager's maximized state (_NET_WM_STATE)
};

// Nothing where the window is gone or the server does not answer.
std::optional<X11WindowLook> LookAtX11Window(xcb_connection_t* connection, const X11Atoms& atoms,
                                             xcb_window_t window);

// Asks the window manager to announce the frame extents it would give the
// window (_NET_REQUEST_FRAME_EXTENTS); it sets them on the window, mapped or
// not, as _NET_FRAME_EXTENTS.
void RequestX11FrameExtents(xcb_connection_t* connection, const X11Atoms& atoms, xcb_window_t window);
// The frame extents the window manager last set on the window; nothing
// where it has set none.
std::optional<QMargins> X11FrameExtents(xcb_connection_t* connection, const X11Atoms& atoms, xcb_window_t window);

// Asks the window manager to maximize a mapped window (_NET_WM_STATE).
void RequestX11Maximized(xcb_connection_t* connection, const X11Atoms& atoms, xcb_window_t window);

// Tells the window manager that the client keeps exactly this size
// (WM_NORMAL_HINTS), so that it offers no resize or maximize.
void FixX11ClientSize(xcb_connection_t* connection, xcb_window_t window, QSize size);

// Asks for the client area at this place and size, which it keeps. The window carries
// static gravity (Qt sets it), so the position is the client's own.
void RequestX11ClientRect(xcb_connection_t* connection, xcb_window_t window, const QRect& client);

} // namespace vantrel
