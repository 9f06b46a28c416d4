#pragma once

#include "form_accessibility.h"
#include "form_host.h"

#include <QPointer>
#include <QWidget>

namespace vantrel {

class FramePresenter;
class TimerScheduler;
class X11Desktop;
class X11PresentConnection;

// The top-level Qt window behind a form. It shows the form's surface and
// does nothing else when it paints; a close request goes to the form, which
// decides whether and when the window goes.
class FormWindow final : public QWidget {
public:
    FormWindow(const WindowSettings& settings, FormHostEvents& events);

    // The form is going: no event reaches it from now on.
    void Detach() {
        m_events = nullptr;
        m_frames = nullptr;
    }
    // From now on the surface reaches the screen through `frames`, not
    // through Qt's backing store: an expose sends the whole surface.
    void ShowFramesThrough(FramePresenter& frames);
    // The surface the window shows; null once the form has gone.
    const Surface* surface() const { return m_events != nullptr ? &m_events->surface() : nullptr; }

    QPaintEngine* paintEngine() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    FormHostEvents* m_events;
    FramePresenter* m_frames = nullptr;
    QColor m_background;
};

// Makes a FormWindow for each loaded form.
class WidgetHostFactory final : public FormHostFactory {
public:
    WidgetHostFactory();
    ~WidgetHostFactory() override;

    std::unique_ptr<FormHost> Create(const WindowSettings& settings, FormHostEvents& events) override;

    // From now on the windows show their frames through the X Present
    // extension, on `connection`, and the display's refreshes pace the frame
    // timers of `frameTimers`. The hosts made must go before the factory.
    void UseX11Present(std::unique_ptr<X11PresentConnection> connection, TimerScheduler& frameTimers);
    // From now on a Wayland compositor's frame callbacks pace the frame
    // timers of `frameTimers`, and the windows' frames go out as they are
    // composed.
    void UseWaylandFrameCallbacks(TimerScheduler& frameTimers) {
        m_frameTimers = &frameTimers;
        m_framePath = FramePath::WaylandFrameCallbacks;
    }

    // From now on, where neither of the above is used, the screen each shown
    // window is on sets the period of the frame timers of `frameTimers`.
    void UseScreenRate(TimerScheduler& frameTimers) { m_frameTimers = &frameTimers; }

    enum class FramePath { Timers, X11Present, WaylandFrameCallbacks };

private:
    FormAccessibility m_accessibility; // before any window is made
    std::unique_ptr<X11Desktop> m_desktop; // null off X11
    std::unique_ptr<X11PresentConnection> m_presentConnection;
    TimerScheduler* m_frameTimers = nullptr;
    FramePath m_framePath = FramePath::Timers;
};

} // namespace vantrel
