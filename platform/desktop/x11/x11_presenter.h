#pragma once

#include "frame_path.h"
#include "frame_presenter.h"

#include <cstdint>
#include <memory>
#include <vector>

class QWidget;
struct xcb_present_generic_event_t;

namespace vantrel {

class TimerScheduler;
class X11PresentConnection;

// The frame path through the X server's Present extension: shared-memory
// pixmaps handed to the server with PresentPixmap, plain NotifyMSC waits
// when there is nothing to show, and the server's Present events for this
// window, selected with an event id of its own. The frames themselves, and
// the ticks of the frame timers at the refreshes the server reports, are
// managed by the FramePresenter it owns; the window starts it with its
// first expose and stops it when it is hidden (FormWindow).
class X11Presenter final : public FramePath, private PresentServer {
public:
    // `connection` must outlive the presenter.
    X11Presenter(QWidget& window, X11PresentConnection& connection, TimerScheduler& timers);
    ~X11Presenter() override;
    X11Presenter(const X11Presenter&) = delete;
    X11Presenter& operator=(const X11Presenter&) = delete;

    FramePresenter& Frames() { return m_frames; }

    void Start() override {}
    void Stop() override {}
    // Memory for the window's surface that the server shows as it is (see
    // FramePresenter); null where it cannot be made.
    QImage SurfaceImage(QSize devicePixels) override;
    void Present(const QImage& image, const std::vector<QRect>& damage, bool onScreen) override {
        m_frames.Show(image, damage, onScreen);
    }

private:
    struct SharedPixmap;

    std::optional<BufferMemory> AddBuffer(QSize size) override;
    void ReleaseBuffers() override;
    void PresentBuffer(int index, const std::vector<QRect>& update, uint64_t targetMsc, bool atOnce) override;
    void NotifyAt(uint64_t targetMsc) override;
    bool SharesImage(const QImage& image) const override;
    void PresentImage(const QImage& image, const std::vector<QRect>& update, uint64_t targetMsc, bool atOnce) override;
    void PresentPixmap(uint32_t pixmap, const std::vector<QRect>& update, uint64_t targetMsc, bool atOnce);
    void OnEvent(const xcb_present_generic_event_t& event);

    X11PresentConnection& m_connection;
    struct Connection;
    std::unique_ptr<Connection> m_x;
    std::vector<std::unique_ptr<SharedPixmap>> m_buffers;
    // The pixmap behind the image SurfaceImage made last, for as long as the
    // image lives: the surface's, whose frames are presented. An image of
    // an earlier size is not shown again.
    std::weak_ptr<SharedPixmap> m_surface;
    uint32_t m_surfacePixmap = 0;
    uint32_t m_heldImage = 0;          // the surface pixmap presented and not let go yet
    std::vector<uint8_t> m_rectangles; // the update region's rectangles, kept between frames
    uint32_t m_serial = 0;
    FramePresenter m_frames;
};

} // namespace vantrel
