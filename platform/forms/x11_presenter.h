#pragma once

#include "frame_presenter.h"

#include <QAbstractNativeEventFilter>
#include <cstdint>
#include <memory>
#include <vector>

class QWidget;

namespace vantrel {

class TimerScheduler;

// Whether the X server this program talks to offers what X11Presenter
// needs: the Present extension, MIT-SHM pixmaps, XFixes regions, and a
// 24-bit screen laid out as the surfaces' images (32 bits a pixel, blue
// first). A forwarded or remote display lacks MIT-SHM; elsewhere than on
// X11 there is no X server at all.
bool X11PresentAvailable();

// The X11 side of a window's frames: shared-memory pixmaps handed to the
// server with PresentPixmap, plain NotifyMSC waits when there is nothing to
// show, and the server's Present events for this window, taken from Qt's
// event stream by the event id only this object selected them with. The
// frames themselves are managed by the FramePresenter it owns.
class X11Presenter final : private PresentServer, private QAbstractNativeEventFilter {
public:
    // Only where X11PresentAvailable. `timers` may be null (see
    // FramePresenter).
    X11Presenter(QWidget& window, TimerScheduler* timers);
    ~X11Presenter() override;
    X11Presenter(const X11Presenter&) = delete;
    X11Presenter& operator=(const X11Presenter&) = delete;

    FramePresenter& frames() { return m_frames; }

private:
    struct SharedPixmap;

    std::optional<BufferMemory> AddBuffer(QSize size) override;
    void ReleaseBuffers() override;
    void PresentBuffer(int index, const std::vector<QRect>& update, uint64_t targetMsc) override;
    void NotifyAt(uint64_t targetMsc) override;
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    struct Connection;
    std::unique_ptr<Connection> m_x;
    std::vector<std::unique_ptr<SharedPixmap>> m_buffers;
    std::vector<uint8_t> m_rectangles; // the update region's rectangles, kept between frames
    uint32_t m_serial = 0;
    FramePresenter m_frames;
};

} // namespace vantrel
