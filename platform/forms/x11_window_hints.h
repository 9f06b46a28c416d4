#pragma once

#include "form_host.h"

#include <QMargins>
#include <optional>

class QWidget;

namespace vantrel {

// Sets the X11 properties Qt has no API for, on a native window that is not
// yet mapped: Motif hints that allow moving and closing but not resizing,
// minimizing or maximizing (a fixed tool-window frame with a close button
// only), and _NET_WM_STATE_SKIP_TASKBAR. Does nothing on other platforms.
void ApplyX11WindowHints(QWidget& window, const WindowSettings& settings);

// The frame a window manager puts around a window, as it announces it in
// _NET_FRAME_EXTENTS; nothing while it has not (or where there is no X11).
std::optional<QMargins> X11FrameExtents(QWidget& window);

// Asks the window manager, if one runs, for the extents of the frame it
// will put around a window not yet mapped (_NET_REQUEST_FRAME_EXTENTS);
// false when there is no window manager to ask.
bool RequestX11FrameExtents(QWidget& window);

} // namespace vantrel
