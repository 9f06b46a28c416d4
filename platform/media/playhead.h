#pragma once

#include "clock.h"

#include <cstdint>

namespace vantrel {

// Where a playing track is, measured on a clock from the moment it started:
// the start position plus the time since, in whole milliseconds, held within
// [0, length]. Once the time runs past the end the position is exactly the
// length and stays there until the next Start.
class Playhead {
public:
    Playhead(const Clock& clock, int64_t lengthMs);

    void Start(int64_t fromMs); // clamped to [0, length]
    void Halt();                // stays at the current position
    void Finish();              // stays at the end

    bool Running() const { return m_running; }
    int64_t LengthMs() const { return m_lengthMs; }
    int64_t PositionMs() const;
    // Like PositionMs, but not held at the end: how far the clock says the
    // track would be if it went on.
    int64_t UnclampedPositionMs() const;

private:
    int64_t ElapsedMs() const;

    const Clock& m_clock;
    int64_t m_lengthMs = 0;
    int64_t m_fromMs = 0;
    int64_t m_startNs = 0;
    bool m_running = false;
};

} // namespace vantrel
