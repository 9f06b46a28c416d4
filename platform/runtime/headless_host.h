#pragma once

#include "form_host.h"
#include "twips.h"

#include <functional>
#include <memory>
#include <vector>

namespace vantrel {

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
    void Present(const std::vector<QRect>& damage) override {
        ++presentCount;
        if (onPresent) onPresent(damage);
    }

    int presentCount = 0;
    // Hears each frame, as a window's frame path would.
    std::function<void(const std::vector<QRect>&)> onPresent;

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
