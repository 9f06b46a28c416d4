#pragma once

#include <QMargins>
#include <QRect>
#include <optional>

class QWidget;

namespace vantrel {

// What the X server and the window manager say about where a top-level
// window sits, and requests to move it. Every rectangle and margin here is
// in device pixels, as X counts them; Qt's geometry is in logical pixels.
// Each function answers nothing (or does nothing) where Qt does not run on
// X11.

// The frame a window manager puts around a window, as it announces it in
// _NET_FRAME_EXTENTS; nothing while it has not.
std::optional<QMargins> X11FrameExtents(QWidget& window);

// The window's client area in root coordinates.
std::optional<QRect> X11ClientRect(QWidget& window);

// Whether a window manager runs (_NET_SUPPORTING_WM_CHECK on the root).
bool X11WindowManagerRuns();

// The part of the screen a maximized window may cover, as the window
// manager publishes it (_NET_WORKAREA); nothing where none runs or it
// publishes none (weston's X11 window manager).
std::optional<QRect> X11WorkArea();

// The whole screen as it is now, also after a RandR resize.
std::optional<QRect> X11Screen();

// Whether the window manager has the window in its maximized state.
bool X11Maximized(QWidget& window);

// Asks the window manager to maximize a mapped window (_NET_WM_STATE).
void RequestX11Maximized(QWidget& window);

// Asks for the client area at this place and size. The window carries
// static gravity (Qt sets it), so the position is the client's own.
void RequestX11ClientRect(QWidget& window, const QRect& client);

} // namespace vantrel
