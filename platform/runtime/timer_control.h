#pragma once

#include "control.h"

#include <cstdint>
#include <functional>

namespace vantrel {

// What a form's designer stores for one timer.
struct TimerDesign {
    std::string name;
    int interval = 0; // milliseconds
    bool enabled = false;
};

// A timer of a form: raises its event once for every elapsed interval while
// it is enabled and its form is loaded. The timer scheduler delivers it.
class Timer final : public Control {
public:
    explicit Timer(const TimerDesign& design)
        : Control(design.name), m_interval(design.interval), m_enabled(design.enabled) {}

    int Interval() const { return m_interval; } // milliseconds
    bool Enabled() const { return m_enabled; }

    // Raises the timer's event: runs its handler and counts the event.
    void Fire() {
        if (m_handler) m_handler();
        ++m_events;
    }
    // Events raised since the timer was made; a harness counts ticks by it.
    uint64_t Events() const { return m_events; }

    // Names the handler of the timer's event.
    void SetHandler(std::function<void()> handler) { m_handler = std::move(handler); }

private:
    std::function<void()> m_handler;
    int m_interval;
    bool m_enabled;
    uint64_t m_events = 0;
};

} // namespace vantrel
