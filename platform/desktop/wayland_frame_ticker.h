#pragma once

#include "frame_clock.h"

#include <QBasicTimer>
#include <QObject>
#include <QPointer>
#include <QWidget>

namespace vantrel {

class TimerScheduler;

// Paces the frame timers by a Wayland compositor's frame callbacks. Qt
// delivers a window's update request once the compositor has asked for the
// next frame (its frame callback for the last buffer committed); each
// request is one refresh on a FrameClock, and the frames the timers compose
// there are flushed at once (FlushesNow), so that every one commits a buffer
// and asks for the next callback. A refresh with nothing to show still
// commits one unchanged pixel, for the same reason.
//
// A compositor sends no callbacks for a window it does not show: when none
// has come for a while, the timers go back to their own periods, so that the
// roll keeps moving, and the callbacks take over again when they return.
class WaylandFrameTicker final : public QObject {
public:
    WaylandFrameTicker(QWidget& window, TimerScheduler& timers);
    ~WaylandFrameTicker() override;
    WaylandFrameTicker(const WaylandFrameTicker&) = delete;
    WaylandFrameTicker& operator=(const WaylandFrameTicker&) = delete;

    // Whether a frame is to be flushed at once rather than on Qt's next
    // pass: while callbacks pace the frames.
    bool FlushesNow() const { return m_pacing; }
    // The window has flushed a frame during the current refresh.
    void NoteFlushed() { m_flushed = true; }

    void Start();
    void Stop();

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void OnFrameCallback();
    void StopPacing();

    QPointer<QWidget> m_window;
    TimerScheduler& m_timers;
    FrameClock m_clock;
    uint64_t m_refreshes = 0;
    bool m_running = false;
    bool m_pacing = false;  // the frame clock drives the timers
    bool m_flushed = false; // a frame went out in this refresh
    QBasicTimer m_silence;  // no callback for this long: back to the periods
};

} // namespace vantrel
