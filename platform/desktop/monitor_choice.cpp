#include "monitor_choice.h"

#include <algorithm>

namespace vantrel {
namespace {

int64_t Overlap(const QRect& a, const QRect& b) {
    const QRect common = a & b;
    return common.isEmpty() ? 0 : int64_t{common.width()} * common.height();
}

const Monitor* Primary(const std::vector<Monitor>& monitors) {
    if (monitors.empty()) return nullptr;
    const auto primary = std::ranges::find_if(monitors, &Monitor::primary);
    return primary != monitors.end() ? &*primary : &monitors.front();
}

} // namespace

const Monitor* MonitorHolding(const std::vector<Monitor>& monitors, const QRect& rect) {
    const Monitor* best = nullptr;
    int64_t bestOverlap = 0;
    for (const Monitor& monitor : monitors) {
        const int64_t overlap = Overlap(monitor.rect, rect);
        if (overlap > bestOverlap) best = &monitor, bestOverlap = overlap;
    }
    return best != nullptr ? best : Primary(monitors);
}

std::optional<Monitor> MonitorChoice::Current() const {
    if (m_chosen) return m_chosen;
    if (const Monitor* primary = Primary(m_monitors)) return *primary;
    return std::nullopt;
}

void MonitorChoice::Update(std::vector<Monitor> monitors) {
    m_monitors = std::move(monitors);
    if (!m_chosen) return;
    // A named monitor is the same one while its name lasts, wherever it has
    // moved; one without a name is the same one while it stays in place.
    const auto same = std::ranges::find_if(m_monitors, [&](const Monitor& monitor) {
        return m_chosen->name != 0 ? monitor.name == m_chosen->name : monitor.rect == m_chosen->rect;
    });
    const Monitor* next = same != m_monitors.end() ? &*same : MonitorHolding(m_monitors, m_chosen->rect);
    m_chosen = next != nullptr ? std::optional(*next) : std::nullopt;
}

void MonitorChoice::ChooseFor(const QRect& rect) {
    if (m_chosen) return;
    if (const Monitor* holding = MonitorHolding(m_monitors, rect)) m_chosen = *holding;
}

} // namespace vantrel
