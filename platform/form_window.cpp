#include "form_window.h"

#include "surface.h"
#include "x11_visibility.h"
#include "x11_window_hints.h"

#include <QBackingStore>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <cmath>

namespace vantrel {
namespace {

// How long Show waits for the window manager to map and size the window.
constexpr int kMapTimeoutMs = 2000;
constexpr int kFrameExtentsTimeoutMs = 300;
constexpr int kSettledPolls = 5; // of 2 ms each

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
    WidgetHost(const WindowSettings& settings, FormHostEvents& events)
        : m_settings(settings), m_window(new FormWindow(settings, events)), m_visibility(*m_window) {}

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
        if (!m_settings.maximized) {
            m_window->show();
            WaitUntilExposed();
            return;
        }
        // Maximized means that the frame fills the work area. Window managers
        // may refuse to maximize a frame that may not be resized (openbox
        // does), so the window is placed there as a normal one: the extents of
        // its frame are asked for before it is mapped, and the client gets
        // the rest of the work area. With no window manager there is no frame.
        const QRect workArea = WorkArea();
        QMargins frame;
        if (RequestX11FrameExtents(*m_window)) {
            WaitUntil(kFrameExtentsTimeoutMs, [&] {
                const auto extents = X11FrameExtents(*m_window);
                if (extents) frame = *extents;
                return extents.has_value();
            });
        }
        m_window->setGeometry(workArea.marginsRemoved(frame));
        m_window->show();
        WaitUntilExposed();
        FitFrameToWorkArea(workArea);
    }

    // A hidden window keeps no copy of its pixels: Qt would hold a whole
    // window's worth (8 MB at 1920x1080) for the scene, hidden for good. Shown
    // again, the window gets its buffer back at its size and is repainted.
    void Hide() override {
        m_window->hide();
        if (QBackingStore* store = m_window->backingStore()) store->resize(QSize(1, 1));
    }
    bool visible() const override { return m_window->isVisible(); }

    QSize clientSize() const override { return m_window->size(); }
    double devicePixelRatio() const override { return m_window->devicePixelRatioF(); }
    double logicalDpi() const override {
        const QScreen* screen = m_window->screen();
        return screen != nullptr ? screen->logicalDotsPerInchY() : 96.0;
    }
    double refreshRateHz() const override {
        const QScreen* screen = m_window->screen();
        return screen != nullptr ? screen->refreshRate() : 0.0;
    }

    void Present(const std::vector<QRect>& damage) override {
        // A window that nothing of is on screen needs no repaint; when it is
        // uncovered or exposed again, the window system asks for the parts.
        const QWindow* handle = m_window->windowHandle();
        if (handle == nullptr || !handle->isExposed() || m_visibility.fullyObscured()) return;
        const double ratio = m_window->devicePixelRatioF();
        QRegion region;
        for (const QRect& rect : damage) region += LogicalRect(rect, ratio);
        m_window->update(region);
    }

private:
    QRect WorkArea() const {
        const QScreen* screen = m_window->screen();
        return screen != nullptr ? screen->availableGeometry() : QRect(QPoint(), m_window->size());
    }

    // Should the window manager have framed the window otherwise than it
    // said, the client is placed again, until it has fitted the frame as it
    // stands for a few polls in a row.
    void FitFrameToWorkArea(const QRect& workArea) {
        QRect requested = m_window->geometry();
        int fittedPolls = 0;
        WaitUntil(kMapTimeoutMs, [&] {
            const QRect client = workArea.marginsRemoved(X11FrameExtents(*m_window).value_or(QMargins()));
            if (client != requested) {
                requested = client;
                fittedPolls = 0;
                m_window->setGeometry(client);
            }
            fittedPolls = m_window->geometry() == client ? fittedPolls + 1 : 0;
            return fittedPolls >= kSettledPolls;
        });
    }

    // Returns once the window system shows the window, or after a timeout
    // where nothing ever exposes it.
    void WaitUntilExposed() {
        WaitUntil(kMapTimeoutMs, [&] {
            const QWindow* handle = m_window->windowHandle();
            return handle != nullptr && handle->isExposed();
        });
    }

    // Runs the event loop (without user input) until done() holds or the
    // window system has had timeoutMs to make it so.
    template <typename Done>
    void WaitUntil(int timeoutMs, Done&& done) {
        if (done()) return;
        QElapsedTimer waited;
        waited.start();
        QEventLoop loop;
        QTimer poll;
        poll.setInterval(2);
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (done() || waited.elapsed() > timeoutMs) loop.quit();
        });
        poll.start();
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }

    WindowSettings m_settings;
    QPointer<FormWindow> m_window;
    X11VisibilityWatch m_visibility;
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
    if (settings.toolWindow || !settings.showInTaskbar) {
        winId(); // the native window must exist to carry the hints before it is first mapped
        ApplyX11WindowHints(*this, settings);
    }
}

void FormWindow::paintEvent(QPaintEvent* event) {
    if (m_events == nullptr) return;
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

void FormWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (m_events != nullptr) m_events->OnCloseRequested();
}

void FormWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_events != nullptr) m_events->OnClientResized();
}

std::unique_ptr<FormHost> WidgetHostFactory::Create(const WindowSettings& settings, FormHostEvents& events) {
    return std::make_unique<WidgetHost>(settings, events);
}

} // namespace vantrel
