#pragma once

#include <QMetaObject>
#include <QPointer>
#include <QWidget>

class QScreen;

namespace vantrel {

class TimerScheduler;

// Where the wall clock alone paces the frame timers (no Present, no frame
// callbacks), keeps their period at TimerTickPeriodMs of the screen a shown
// window is on, so that the roll moves at the paced paths' speed there too;
// when the window moves to a screen of another rate, or its screen's rate
// changes, the period follows. Only a shown window sets the period.
class ScreenRatePacing final {
public:
    ScreenRatePacing(QWidget& window, TimerScheduler& timers);
    ~ScreenRatePacing();
    ScreenRatePacing(const ScreenRatePacing&) = delete;
    ScreenRatePacing& operator=(const ScreenRatePacing&) = delete;

    // The window has been shown: its screen sets the period from now on.
    void Start();
    void Stop();

private:
    void Follow(QScreen* screen);

    QPointer<QWidget> m_window;
    TimerScheduler& m_timers;
    QMetaObject::Connection m_screenChanged;
    QMetaObject::Connection m_rateChanged;
};

} // namespace vantrel
