#pragma once

#include "colour.h"

#include <QImage>
#include <QRect>
#include <QSize>
#include <memory>
#include <string>
#include <vector>

namespace vantrel {

class Surface;

// The settings of a form's window, from its stored design.
struct WindowSettings {
    std::string caption;
    OleColour backColour = kNavy;
    QSize designClientSize; // logical pixels, when not maximized
    bool maximized = false;
    bool toolWindow = false;      // thin fixed frame, close button only
    bool showInTaskbar = true;
    bool invisiblePointer = false; // over the client area
};

// What a window tells its form.
class FormHostEvents {
public:
    virtual ~FormHostEvents() = default;
    // The user or the window manager asks to close the window.
    virtual void OnCloseRequested() = 0;
    // The client area changed size while the window was shown.
    virtual void OnClientResized() = 0;
    // The surface the window shows; reading its pixels draws what is
    // pending on it first.
    virtual Surface& DrawingSurface() = 0;
};

// The window behind one form. The runtime creates it when the form is
// loaded; the form draws only on its surface, and the window only shows it.
class FormHost {
public:
    virtual ~FormHost() = default;

    // Maps the window as its settings ask and returns once its client area
    // has the size it will keep (a window manager maximizes it first).
    virtual void Show() = 0;
    virtual void Hide() = 0;

    virtual QSize ClientSize() const = 0; // logical pixels
    virtual double DevicePixelRatio() const = 0;
    virtual double LogicalDpi() const = 0;

    // Memory for a surface of this many device pixels that the window can
    // show without copying it; a null image where it has none to offer (the
    // surface then takes its own).
    virtual QImage SurfaceImage(QSize) { return {}; }
    // Shows these parts of the surface (device pixels) in the window.
    virtual void Present(const std::vector<QRect>& damage) = 0;
    // The lines of text the surface shows are others than at the last
    // refresh: a line came or went. The window reads them from the surface.
    virtual void ShownTextsChanged() {}
};

class FormHostFactory {
public:
    virtual ~FormHostFactory() = default;
    virtual std::unique_ptr<FormHost> Create(const WindowSettings& settings, FormHostEvents& events) = 0;
};

} // namespace vantrel
