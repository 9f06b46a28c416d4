#include "form_window.h"

#include "screen_rate_pacing.h"
#include "surface.h"
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

// The logical rectangle that covers a rectangle of device pixels.
QRect LogicalRect(const QRect& device, double ratio) {
    const int left = static_cast<int>(std::floor(device.left() / ratio));
    const int top = static_cast<int>(std::floor(device.top() / ratio));
    const int right = static_cast<int>(std::ceil((device.right() + 1) / ratio));
    const int bottom = static_cast<int>(std::ceil((device.bottom() + 1) / ratio));
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

class WidgetHost final : public FormHost {
public:
    WidgetHost(const WindowSettings& settings, FormHostEvents& events, WidgetHostFactory::FramePath path,
               X11Desktop* desktop, X11PresentConnection* presentConnection, TimerScheduler* frameTimers)
        : m_events(events), m_window(new FormWindow(settings, events)), m_visibility(*m_window) {
        if (settings.maximized) {
            m_placement =
                std::make_unique<MaximizedPlacement>(*m_window, desktop, [&events] { events.OnClientResized(); });
        }
        if (path == WidgetHostFactory::FramePath::X11Present) {
            m_presenter = std::make_unique<X11Presenter>(*m_window, *presentConnection, frameTimers);
            m_window->ShowFramesThrough(m_presenter->frames());
        } else if (path == WidgetHostFactory::FramePath::WaylandFrameCallbacks) {
            m_frameCallbacks = std::make_unique<WaylandFrameTicker>(*m_window, *frameTimers);
        } else if (frameTimers != nullptr) {
            m_screenRate = std::make_unique<ScreenRatePacing>(*m_window, *frameTimers);
        }
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

    void Show() override {
        if (m_placement) {
            m_placement->Show();
        } else {
            m_window->show();
            WaitUntilExposed(*m_window->windowHandle(), kMapTimeoutMs);
        }
        if (m_frameCallbacks) m_frameCallbacks->Start();
        if (m_screenRate) m_screenRate->Start();
    }

    // A hidden window keeps no copy of its pixels: Qt would hold a whole
    // window's worth (8 MB at 1920x1080) for the scene, hidden for good. Shown
    // again, the window gets its buffer back at its size and is repainted.
    void Hide() override {
        if (m_frameCallbacks) m_frameCallbacks->Stop();
        if (m_screenRate) m_screenRate->Stop();
        m_window->hide();
        if (QBackingStore* store = m_window->backingStore()) store->resize(QSize(1, 1));
    }

    QSize clientSize() const override { return m_window->size(); }
    double devicePixelRatio() const override { return m_window->devicePixelRatioF(); }
    double logicalDpi() const override {
        const QScreen* screen = m_window->screen();
        return screen != nullptr ? screen->logicalDotsPerInchY() : kDesignDotsPerInch;
    }

    // Memory shared with the server costs a round trip to make, and serves
    // only frames the window shows: a window not shown (a form loaded at its
    // design size, the scene hidden for good) draws in memory of its own.
    QImage SurfaceImage(QSize devicePixels) override {
        return m_presenter && m_window->isVisible() ? m_presenter->SurfaceImage(devicePixels) : QImage();
    }

    void Present(const std::vector<QRect>& damage) override {
        // A window that nothing of is on screen needs no repaint; when it is
        // uncovered or exposed again, the window system asks for the parts.
        const QWindow* handle = m_window->windowHandle();
        const bool onScreen = handle != nullptr && handle->isExposed() && !m_visibility.fullyObscured();
        if (m_presenter) {
            m_presenter->frames().Show(m_events.surface().image(), damage, onScreen);
            return;
        }
        if (!onScreen) return;
        const double ratio = m_window->devicePixelRatioF();
        QRegion region;
        for (const QRect& rect : damage) region += LogicalRect(rect, ratio);
        if (m_frameCallbacks && m_frameCallbacks->FlushesNow()) {
            if (region.isEmpty()) return;
            m_window->repaint(region);
            m_frameCallbacks->NoteFlushed();
        } else {
            m_window->update(region);
        }
    }

    void ShownTextsChanged() override { FormAccessibility::NoteShownTextsChanged(*m_window); }

private:
    FormHostEvents& m_events;
    QPointer<FormWindow> m_window;
    X11VisibilityWatch m_visibility;
    std::unique_ptr<MaximizedPlacement> m_placement; // for a maximized window
    std::unique_ptr<X11Presenter> m_presenter; // null where frames go through Qt's backing store
    std::unique_ptr<WaylandFrameTicker> m_frameCallbacks; // on Wayland only
    std::unique_ptr<ScreenRatePacing> m_screenRate; // where the wall clock paces the frames
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
    if (m_frames != nullptr) {
        // Until something is drawn on the form, the X server's own fill of
        // the window (its background pixel) is the frame: the scene, shown
        // only for as long as it takes to hide itself, and the display until
        // its first tick cost no copy of their whole surface.
        Surface& surface = m_events->surface();
        if (surface.PlainColour() == m_background.rgb()) m_frames->ShowBackground();
        else m_frames->ShowAll(surface.image());
        return;
    }
    const QImage& image = m_events->surface().image();
    const double ratio = image.devicePixelRatio();
    QPainter painter(this);
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

WidgetHostFactory::WidgetHostFactory() : m_desktop(X11Desktop::Open()) {}
WidgetHostFactory::~WidgetHostFactory() = default;

void WidgetHostFactory::UseX11Present(std::unique_ptr<X11PresentConnection> connection, TimerScheduler& frameTimers) {
    m_presentConnection = std::move(connection);
    m_frameTimers = &frameTimers;
    m_framePath = FramePath::X11Present;
}

std::unique_ptr<FormHost> WidgetHostFactory::Create(const WindowSettings& settings, FormHostEvents& events) {
    return std::make_unique<WidgetHost>(settings, events, m_framePath, m_desktop.get(), m_presentConnection.get(),
                                        m_frameTimers);
}

} // namespace vantrel
