#pragma once

#include "frame_pacer.h"
#include "frame_path.h"

#include <QBasicTimer>
#include <QObject>
#include <QPointer>
#include <QWidget>

namespace vantrel {

class TimerScheduler;

// The frame path under native Wayland: a compositor's frame callbacks pace
// the frame timers, and the frames go through Qt's backing store. Qt
// delivers a window's update request once the compositor has asked for the
// next frame (its frame callback for the last buffer committed); each
// request is one refresh of a FramePacer, and the frames the timers compose
// there are flushed at once, so that every one commits a buffer and asks for
// the next callback. A refresh with nothing to show still commits one
// unchanged pixel, for the same reason.
//
// A compositor sends no callbacks for a window it does not show: when none
// has come for a while, the timers go back to their own periods, so that the
// roll keeps moving, and the callbacks take over again when they return.
class WaylandFrameTicker final : public QObject, public FramePath {
public:
    WaylandFrameTicker(QWidget& window, TimerScheduler& timers);
    ~WaylandFrameTicker() override;
    WaylandFrameTicker(const WaylandFrameTicker&) = delete;
    WaylandFrameTicker& operator=(const WaylandFrameTicker&) = delete;

    void Start() override;
    void Stop() override;
    // While callbacks pace the frames, a frame is flushed at once rather
    // than on Qt's next pass.
    void Present(const QImage& image, const std::vector<QRect>& damage, bool onScreen) override;

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void OnFrameCallback();

    QPointer<QWidget> m_window;
    FramePacer m_pacer; // started while the callbacks drive the timers
    uint64_t m_refreshes = 0;
    bool m_running = false;
    bool m_flushed = false; // a frame went out in this refresh
    QBasicTimer m_silence;  // no callback for this long: back to the periods
};

} // namespace vantrel
