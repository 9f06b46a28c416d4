#pragma once

#include "form_accessibility.h"
#include "form_host.h"

#include <QPointer>
#include <QWidget>
#include <functional>

namespace vantrel {

class FramePath;
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
        m_onItsWay = nullptr;
    }
    // While `onItsWay` holds, the window is not yet at the size of the
    // surface it shows, and shows its background only.
    void ShowBackgroundWhile(std::function<bool()> onItsWay) { m_onItsWay = std::move(onItsWay); }
    // From now on the surface reaches the screen through `frames`, not
    // through Qt's backing store: an expose sends the whole surface.
    void ShowFramesThrough(FramePresenter& frames);
    // The surface the window shows; null once the form has gone.
    const Surface* DrawingSurface() const { return m_events != nullptr ? &m_events->DrawingSurface() : nullptr; }

    QPaintEngine* paintEngine() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    FormHostEvents* m_events;
    FramePresenter* m_frames = nullptr;
    std::function<bool()> m_onItsWay;
    QColor m_background;
};

// Makes a FormWindow for each loaded form.
class WidgetHostFactory final : public FormHostFactory {
public:
    WidgetHostFactory();
    ~WidgetHostFactory() override;

    std::unique_ptr<FormHost> Create(const WindowSettings& settings, FormHostEvents& events) override;

    // The frame path of the windows made from now on; one is chosen at
    // start-up. Until then they show their frames through Qt's backing store
    // and pace nothing.
    //
    // Through the X Present extension, on `connection`, the display's
    // refreshes pacing the frame timers of `frameTimers`. The hosts made must
    // go before the factory.
    void UseX11Present(std::unique_ptr<X11PresentConnection> connection, TimerScheduler& frameTimers);
    // Through Qt's backing store, a Wayland compositor's frame callbacks
    // pacing the frame timers of `frameTimers`; the frames go out as they
    // are composed.
    void UseWaylandFrameCallbacks(TimerScheduler& frameTimers);
    // Through Qt's backing store, the screen each shown window is on setting
    // the period of the frame timers of `frameTimers`.
    void UseScreenRate(TimerScheduler& frameTimers);

    using FramePathMaker = std::function<std::unique_ptr<FramePath>(FormWindow&)>;

private:
    FormAccessibility m_accessibility; // before any window is made
    std::unique_ptr<X11Desktop> m_desktop; // null off X11
    std::unique_ptr<X11PresentConnection> m_presentConnection;
    FramePathMaker m_makeFramePath;
};

} // namespace vantrel
