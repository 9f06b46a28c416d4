#pragma once

#include "colour.h"
#include "twips.h"

#include <QImage>
#include <QRect>
#include <QSize>
#include <memory>
#include <string>
#include <vector>

namespace vantrel {

class Surface;

// The settings of a form's window, from its stored design.
struct WindowSettings {
    std::string caption;
    OleColour backColour = kNavy;
    QSize designClientSize; // logical pixels, when not maximized
    bool maximized = false;
    bool toolWindow = false;      // thin fixed frame, close button only
    bool showInTaskbar = true;
    bool invisiblePointer = false; // over the client area
};

// What a window tells its form.
class FormHostEvents {
public:
    virtual ~FormHostEvents() = default;
    // The user or the window manager asks to close the window.
    virtual void OnCloseRequested() = 0;
    // The client area changed size while the window was shown.
    virtual void OnClientResized() = 0;
    // The surface the window shows; reading its pixels draws what is
    // pending on it first.
    virtual Surface& surface() = 0;
};

// The window behind one form. The runtime creates it when the form is
// loaded; the form draws only on its surface, and the window only shows it.
class FormHost {
public:
    virtual ~FormHost() = default;

    // Maps the window as its settings ask and returns once its client area
    // has the size it will keep (a window manager maximizes it first).
    virtual void Show() = 0;
    virtual void Hide() = 0;

    virtual QSize clientSize() const = 0; // logical pixels
    virtual double devicePixelRatio() const = 0;
    virtual double logicalDpi() const = 0;

    // Memory for a surface of this many device pixels that the window can
    // show without copying it; a null image where it has none to offer (the
    // surface then takes its own).
    virtual QImage SurfaceImage(QSize) { return {}; }
    // Shows these parts of the surface (device pixels) in the window.
    virtual void Present(const std::vector<QRect>& damage) = 0;
    // The lines of text the surface shows are others than at the last
    // refresh: a line came or went. The window reads them from the surface.
    virtual void ShownTextsChanged() {}
};

class FormHostFactory {
public:
    virtual ~FormHostFactory() = default;
    virtual std::unique_ptr<FormHost> Create(const WindowSettings& settings, FormHostEvents& events) = 0;
};

// A window that is never mapped: the model runs with no display, at a fixed
// client size. Tests, the snapshot renderer and the benchmarks use it.
class HeadlessHost final : public FormHost {
public:
    HeadlessHost(QSize clientSize, double devicePixelRatio, double logicalDpi, FormHostEvents& events)
        : m_clientSize(clientSize), m_devicePixelRatio(devicePixelRatio), m_logicalDpi(logicalDpi), m_events(&events) {}

    // As if the window system gave the window another client size.
    void ResizeClient(QSize clientSize) {
        m_clientSize = clientSize;
        m_events->OnClientResized();
    }
    // As if the user closed the window.
    void RequestClose() { m_events->OnCloseRequested(); }

    void Show() override {}
    void Hide() override {}
    QSize clientSize() const override { return m_clientSize; }
    double devicePixelRatio() const override { return m_devicePixelRatio; }
    double logicalDpi() const override { return m_logicalDpi; }
    void Present(const std::vector<QRect>&) override { ++presentCount; }
    void ShownTextsChanged() override { ++shownTextsChanges; }

    int presentCount = 0;
    int shownTextsChanges = 0;

private:
    QSize m_clientSize;
    double m_devicePixelRatio;
    double m_logicalDpi;
    FormHostEvents* m_events;
};

class HeadlessHostFactory final : public FormHostFactory {
public:
    HeadlessHostFactory(QSize clientSize, double devicePixelRatio = 1.0, double logicalDpi = kDesignDotsPerInch)
        : m_clientSize(clientSize), m_devicePixelRatio(devicePixelRatio), m_logicalDpi(logicalDpi) {}

    std::unique_ptr<FormHost> Create(const WindowSettings& settings, FormHostEvents& events) override {
        QSize size = settings.maximized ? m_clientSize : settings.designClientSize;
        if (!nextSizes.empty()) {
            size = nextSizes.front();
            nextSizes.erase(nextSizes.begin());
        }
        auto host = std::make_unique<HeadlessHost>(size, m_devicePixelRatio, m_logicalDpi, events);
        created.push_back(host.get());
        return host;
    }

    // Client sizes for the next windows, in order, instead of the screen's.
    std::vector<QSize> nextSizes;
    // The hosts made so far, in order; each lives as long as its form is loaded.
    std::vector<HeadlessHost*> created;

private:
    QSize m_clientSize;
    double m_devicePixelRatio;
    double m_logicalDpi;
};

} // namespace vantrel
