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
    QSize ClientSize() const override { return m_clientSize; }
    double DevicePixelRatio() const override { return m_devicePixelRatio; }
    double LogicalDpi() const override { return m_logicalDpi; }
    void Present(const std::vector<QRect>& damage) override {
        if (m_frameListener) m_frameListener(damage);
    }

    // Hears each frame the form presents, with its damage, as a window's
    // frame path would.
    void ListenToFrames(std::function<void(const std::vector<QRect>&)> listener) {
        m_frameListener = std::move(listener);
    }

private:
    QSize m_clientSize;
    double m_devicePixelRatio;
    double m_logicalDpi;
    FormHostEvents* m_events;
    std::function<void(const std::vector<QRect>&)> m_frameListener;
};

class HeadlessHostFactory final : public FormHostFactory {
public:
    HeadlessHostFactory(QSize clientSize, double devicePixelRatio = 1.0, double logicalDpi = kDesignDotsPerInch)
        : m_clientSize(clientSize), m_devicePixelRatio(devicePixelRatio), m_logicalDpi(logicalDpi) {}

    std::unique_ptr<FormHost> Create(const WindowSettings& settings, FormHostEvents& events) override {
        QSize size = settings.maximized ? m_clientSize : settings.designClientSize;
        if (!m_nextSizes.empty()) {
            size = m_nextSizes.front();
            m_nextSizes.erase(m_nextSizes.begin());
        }
        auto host = std::make_unique<HeadlessHost>(size, m_devicePixelRatio, m_logicalDpi, events);
        m_created.push_back(host.get());
        return host;
    }

    // Gives the next windows these client sizes, in order, instead of the
    // screen's or their design's.
    void SizeNextWindows(std::vector<QSize> clientSizes) { m_nextSizes = std::move(clientSizes); }
    // The windows made so far, in order; each lives as long as its form is
    // loaded.
    int WindowCount() const { return static_cast<int>(m_created.size()); }
    HeadlessHost& Window(int index) const { return *m_created.at(static_cast<size_t>(index)); }

private:
    QSize m_clientSize;
    double m_devicePixelRatio;
    double m_logicalDpi;
    std::vector<QSize> m_nextSizes;
    std::vector<HeadlessHost*> m_created;
};

} // namespace vantrel
