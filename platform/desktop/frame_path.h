#pragma once

#include <QImage>
#include <QRect>
#include <QRegion>
#include <QSize>
#include <vector>

namespace vantrel {

// How one window's frames reach the screen, and what paces the frame timers
// there: the X server's Present extension (X11Presenter), a Wayland
// compositor's frame callbacks (WaylandFrameTicker), or Qt's backing store
// on the wall clock (ScreenRatePath). The program picks one at start-up, for
// every window it makes.
class FramePath {
public:
    virtual ~FramePath() = default;

    // The window has been shown, or is about to be hidden.
    virtual void Start() = 0;
    virtual void Stop() = 0;
    // Memory for the window's surface that the path shows without copying
    // it; a null image where it has none.
    virtual QImage SurfaceImage(QSize) { return {}; }
    // A frame: `image` changed in `damage` (device pixels) since the last
    // one. A window that nothing of is on screen (`onScreen` false) needs no
    // repaint: when it shows again, the window system asks for the parts.
    virtual void Present(const QImage& image, const std::vector<QRect>& damage, bool onScreen) = 0;
};

// The logical rectangles of a window that cover these device pixels.
QRegion LogicalRegion(const std::vector<QRect>& devicePixels, double devicePixelRatio);

} // namespace vantrel
