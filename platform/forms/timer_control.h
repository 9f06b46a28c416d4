#pragma once

#include "control.h"

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

    // The handler of the timer's event.
    std::function<void()> onTimer;

private:
    int m_interval;
    bool m_enabled;
};

} // namespace vantrel
