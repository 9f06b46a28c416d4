#pragma once

#include "frame_presenter.h"

#include <cstdint>
#include <memory>
#include <vector>

class QWidget;
struct xcb_present_generic_event_t;

namespace vantrel {

class TimerScheduler;
class X11PresentConnection;

// The X11 side of a window's frames: shared-memory pixmaps handed to the
// server with PresentPixmap, plain NotifyMSC waits when there is nothing to
// show, and the server's Present events for this window, selected with an
// event id of its own. The frames themselves are managed by the
// FramePresenter it owns.
class X11Presenter final : private PresentServer {
public:
    // `connection` must outlive the presenter; `timers` may be null (see
    // FramePresenter).
    X11Presenter(QWidget& window, X11PresentConnection& connection, TimerScheduler* timers);
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
    void OnEvent(const xcb_present_generic_event_t& event);

    X11PresentConnection& m_connection;
    struct Connection;
    std::unique_ptr<Connection> m_x;
    std::vector<std::unique_ptr<SharedPixmap>> m_buffers;
    std::vector<uint8_t> m_rectangles; // the update region's rectangles, kept between frames
    uint32_t m_serial = 0;
    FramePresenter m_frames;
};

} // namespace vantrel
