#pragma once

#include <chrono>
#include <cstdint>

namespace vantrel {

// Where the timers read the time. The program uses the steady clock; tests
// and the soak run use a clock they move by hand.
class Clock {
public:
    virtual ~Clock() = default;
    virtual int64_t NowNs() const = 0; // nanoseconds on a monotonic scale
};

class SteadyClock final : public Clock {
public:
    int64_t NowNs() const override {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

class ManualClock final : public Clock {
public:
    int64_t NowNs() const override { return m_now; }
    void Advance(int64_t nanoseconds) { m_now += nanoseconds; }
    void Set(int64_t nanoseconds) { m_now = nanoseconds; }

private:
    int64_t m_now = 0;
};

} // namespace vantrel
