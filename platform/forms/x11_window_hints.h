#pragma once

#include "form_host.h"


class QWidget;

namespace vantrel {

// Sets the X11 properties Qt has no API for, on a native window that is not
// yet mapped: Motif hints that allow moving and closing but not resizing,
// minimizing or maximizing (a fixed tool-window frame with a close button
// only), and _NET_WM_STATE_SKIP_TASKBAR. Does nothing on other platforms.
void ApplyX11WindowHints(QWidget& window, const WindowSettings& settings);

} // namespace vantrel
