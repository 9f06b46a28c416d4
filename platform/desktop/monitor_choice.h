#pragma once

#include <QRect>
#include <cstdint>
#include <optional>
#include <vector>

namespace vantrel {

// One monitor of a desktop, in device pixels.
struct Monitor {
    QRect rect;
    uint32_t name = 0; // the window system's name for it; 0 where it has none
    bool primary = false;
    bool operator==(const Monitor&) const = default;
};

// The one monitor a program's windows cover, out of the monitors a desktop
// has: the one the first window was shown on, kept while it exists and
// follows it when it changes size; when it goes, the monitor that holds
// most of where it was, or else the primary. Until a window has been shown,
// or where no monitor is known, it is the primary (or the first).
class MonitorChoice {
public:
    // The monitor chosen. Empty only where `monitors` is.
    std::optional<Monitor> Current() const;
    // The desktop has these monitors now.
    void Update(std::vector<Monitor> monitors);
    // A window has been shown at `rect`: unless a monitor is chosen
    // already, the one holding most of it is.
    void ChooseFor(const QRect& rect);

private:
    std::vector<Monitor> m_monitors;
    std::optional<Monitor> m_chosen;
};

// The monitor that holds most of `rect`; the primary (or the first) where
// none holds any of it. Null where there are no monitors.
const Monitor* MonitorHolding(const std::vector<Monitor>& monitors, const QRect& rect);

} // namespace vantrel
