#include "form_window.h"

#include "frame_path.h"
#include "screen_rate_pacing.h"
#include "surface.h"
#include "twips.h"
#include "wayland_frame_ticker.h"
#include "window_placement.h"
#include "x11_present_connection.h"
#include "x11_presenter.h"
#include "x11_visibility.h"
#include "x11_window_hints.h"

#include <QBackingStore>
#include <QCloseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <cmath>

namespace vantrel {
namespace {

// How long Show waits for the window system to map a window.
constexpr int kMapTimeoutMs = 2000;

QColor ToQColor(OleColour colour) { return QColor::fromRgb(ToPixel(colour)); }

Qt::WindowFlags FlagsFor(const WindowSettings& settings) {
    if (!settings.toolWindow) return Qt::Window;
    return Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
}

// The part of the surface, in device pixels, behind a logical rectangle.
QRect DeviceRect(const QRect& logical, double ratio) {
    const int left = static_cast<int>(std::floor(logical.left() * ratio));
    const int top = static_cast<int>(std::floor(logical.top() * ratio));
    const int right = static_cast<int>(std::ceil((logical.right() + 1) * ratio));
    const int bottom = static_cast<int>(std::ceil((logical.bottom() + 1) * ratio));
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

class WidgetHost final : public FormHost {
public:
    WidgetHost(const WindowSettings& settings, FormHostEvents& events, X11Desktop* desktop,
               const WidgetHostFactory::FramePathMaker& makeFramePath)
        : m_events(events), m_window(new FormWindow(settings, events)), m_visibility(*m_window) {
        if (settings.maximized) {
            m_placement =
                std::make_unique<MaximizedPlacement>(*m_window, desktop, [&events] { events.OnClientResized(); });
            m_window->ShowBackgroundWhile([this] { return m_placement->OnItsWay(); });
        }
        m_frames = makeFramePath(*m_window);
        m_mapPlaced.setSingleShot(true);
        QObject::connect(&m_mapPlaced, &QTimer::timeout, [this] {
            m_placement->ShowWithoutWaiting();
            m_frames->Start();
        });
    }

    ~WidgetHost() override {
        // The close request that unloads the form may still be running inside
        // the window's own event handler, so the window goes later.
        if (m_window) {
            m_window->Detach();
            m_window->hide();
            m_window->deleteLater();
        }
    }

    // A window whose client size can be foreseen has it at once, and is
    // mapped once the event loop next runs: a form hidden before then (the
    // scene, which hides itself as soon as it is shown) is never mapped.
    void Show() override {
        if (m_placement && m_placement->ForeseeClientSize()) {
            m_mapPlaced.start(0);
            return;
        }
        if (m_placement) {
            m_placement->Show();
        } else {
            m_window->show();
            WaitUntilExposed(*m_window->windowHandle(), kMapTimeoutMs);
        }
        m_frames->Start();
    }

    // A hidden window keeps no copy of its pixels: Qt would hold a whole
    // window's worth (8 MB at 1920x1080) for the scene, hidden for good. Shown
    // again, the window gets its buffer back at its size and is repainted.
    void Hide() override {
        m_mapPlaced.stop();
        m_frames->Stop();
        m_window->hide();
        if (QBackingStore* store = m_window->backingStore()) store->resize(QSize(1, 1));
    }

    QSize ClientSize() const override { return m_placement ? m_placement->ClientSize() : m_window->size(); }
    double DevicePixelRatio() const override { return m_window->devicePixelRatioF(); }
    double LogicalDpi() const override {
        const QScreen* screen = m_window->screen();
        return screen != nullptr ? screen->logicalDotsPerInchY() : kDesignDotsPerInch;
    }

    // Memory shared with the server costs a round trip to make, and serves
    // only frames the window shows: a window neither shown nor about to be
    // mapped (a form loaded at its design size, the scene hidden for good)
    // draws in memory of its own.
    QImage SurfaceImage(QSize devicePixels) override {
        return m_window->isVisible() || m_mapPlaced.isActive() ? m_frames->SurfaceImage(devicePixels) : QImage();
    }

    void Present(const std::vector<QRect>& damage) override {
        const QWindow* handle = m_window->windowHandle();
        const bool onScreen = handle != nullptr && handle->isExposed() && !m_visibility.FullyObscured() &&
                              !(m_placement && m_placement->OnItsWay());
        m_frames->Present(m_events.DrawingSurface().Image(), damage, onScreen);
    }

    void ShownTextsChanged() override { FormAccessibility::NoteShownTextsChanged(*m_window); }

private:
    FormHostEvents& m_events;
    QPointer<FormWindow> m_window;
    X11VisibilityWatch m_visibility;
    std::unique_ptr<MaximizedPlacement> m_placement; // for a maximized window
    std::unique_ptr<FramePath> m_frames;
    QTimer m_mapPlaced; // single shot: maps a window whose client size was foreseen
};

} // namespace

FormWindow::FormWindow(const WindowSettings& settings, FormHostEvents& events)
    : QWidget(nullptr, FlagsFor(settings)), m_events(&events), m_background(ToQColor(settings.backColour)) {
    setWindowTitle(QString::fromStdString(settings.caption));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, ToQColor(settings.backColour));
    setPalette(palette);
    if (settings.invisiblePointer) setCursor(Qt::BlankCursor);
    resize(settings.designClientSize);
    winId(); // the native window must exist to carry the hints before it is first mapped
    ApplyX11WindowHints(*this, settings);
}

void FormWindow::ShowFramesThrough(FramePresenter& frames) {
    m_frames = &frames;
    setAttribute(Qt::WA_PaintOnScreen);
}

// Qt paints a window that shows its frames itself with no engine of its own,
// and keeps no backing store for it.
QPaintEngine* FormWindow::paintEngine() const { return m_frames != nullptr ? nullptr : QWidget::paintEngine(); }

void FormWindow::paintEvent(QPaintEvent* event) {
    if (m_events == nullptr) return;
    // A window on its way to its size would show a corner of the frame.
    const bool onItsWay = m_onItsWay && m_onItsWay();
    if (m_frames != nullptr) {
        // Until something is drawn on the form, and while the window is on
        // its way to its size, the X server's own fill of the window (its
        // background pixel) is the frame: the display until its first tick
        // costs no copy of its whole surface.
        Surface& surface = m_events->DrawingSurface();
        if (onItsWay || surface.PlainColour() == m_background.rgb()) m_frames->ShowBackground();
        else m_frames->ShowAll(surface.Image());
        return;
    }
    QPainter painter(this);
    if (onItsWay) {
        painter.fillRect(event->rect(), m_background);
        return;
    }
    const QImage& image = m_events->DrawingSurface().Image();
    const double ratio = image.devicePixelRatio();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (const QRect& rect : event->region()) {
        painter.drawImage(QRectF(rect), image, QRectF(DeviceRect(rect, ratio)));
    }
    // A window the window manager has just made larger shows its background
    // where the surface does not reach yet, not whatever the screen held.
    const QRegion uncovered = event->region() - QRect(QPoint(), image.deviceIndependentSize().toSize());
    for (const QRect& rect : uncovered) painter.fillRect(rect, m_background);
}

void FormWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (m_frames != nullptr) m_frames->Stop();
}

void FormWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (m_events != nullptr) m_events->OnCloseRequested();
}

void FormWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_events != nullptr) m_events->OnClientResized();
}

WidgetHostFactory::WidgetHostFactory()
    : m_desktop(X11Desktop::Open()),
      m_makeFramePath([](FormWindow& window) { return std::make_unique<ScreenRatePath>(window, nullptr); }) {}
WidgetHostFactory::~WidgetHostFactory() = default;

void WidgetHostFactory::UseX11Present(std::unique_ptr<X11PresentConnection> connection, TimerScheduler& frameTimers) {
    m_presentConnection = std::move(connection);
    m_makeFramePath = [connection = m_presentConnection.get(), &frameTimers](FormWindow& window) {
        auto presenter = std::make_unique<X11Presenter>(window, *connection, frameTimers);
        window.ShowFramesThrough(presenter->Frames());
        return std::unique_ptr<FramePath>(std::move(presenter));
    };
}

void WidgetHostFactory::UseWaylandFrameCallbacks(TimerScheduler& frameTimers) {
    m_makeFramePath = [&frameTimers](FormWindow& window) {
        return std::make_unique<WaylandFrameTicker>(window, frameTimers);
    };
}

void WidgetHostFactory::UseScreenRate(TimerScheduler& frameTimers) {
    m_makeFramePath = [&frameTimers](FormWindow& window) {
        return std::make_unique<ScreenRatePath>(window, &frameTimers);
    };
}

std::unique_ptr<FormHost> WidgetHostFactory::Create(const WindowSettings& settings, FormHostEvents& events) {
    return std::make_unique<WidgetHost>(settings, events, m_desktop.get(), m_makeFramePath);
}

} // namespace vantrel
