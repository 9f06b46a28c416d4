#pragma once

#include "frame_pacer.h"
#include "frame_path.h"

#include <QMetaObject>
#include <QPointer>
#include <QWidget>
#include <optional>

class QScreen;

namespace vantrel {

class TimerScheduler;

// The frame path where nothing reports the display's refreshes (no Present,
// no frame callbacks): the window's frames go through Qt's backing store, a
// repaint of the parts that changed, and the wall clock paces the frame
// timers at N refreshes of the screen a shown window is on, so that the roll
// moves at the paced paths' speed there too. When the window moves to a
// screen of another rate, or its screen's rate changes, the period follows.
// Only a shown window sets the period.
class ScreenRatePath final : public FramePath {
public:
    // `timers` may be null: the window then shows frames but paces nothing.
    ScreenRatePath(QWidget& window, TimerScheduler* timers);
    ~ScreenRatePath() override;
    ScreenRatePath(const ScreenRatePath&) = delete;
    ScreenRatePath& operator=(const ScreenRatePath&) = delete;

    // The window has been shown: its screen sets the period from now on.
    void Start() override;
    void Stop() override;
    void Present(const QImage& image, const std::vector<QRect>& damage, bool onScreen) override;

private:
    void Follow(QScreen* screen);

    QPointer<QWidget> m_window;
    std::optional<FramePacer> m_pacer; // none without timers
    QMetaObject::Connection m_screenChanged;
    QMetaObject::Connection m_rateChanged;
};

} // namespace vantrel
