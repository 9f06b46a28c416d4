#pragma once

#include "form_host.h"

class QWidget;

namespace vantrel {

// Sets the X11 attributes and properties Qt has no API for, on a native
// window that is not yet mapped: the form's background colour as the
// window's background pixel; for a tool window, Motif hints that allow
// moving and closing but not resizing, minimizing or maximizing (a fixed
// frame with a close button only); and _NET_WM_STATE_SKIP_TASKBAR for a
// window kept out of the taskbar. Does nothing on other platforms.
void ApplyX11WindowHints(QWidget& window, const WindowSettings& settings);

} // namespace vantrel
