#pragma once

#include <cstdint>

namespace vantrel {

// Tells an audio output that has stopped asking for sound. SDL's PipeWire
// driver says nothing when its server goes away: the stream just stops
// asking the mixer for samples, and the music would wait on it for ever. An
// open output asks every few tens of milliseconds, with or without music, so
// one that has asked for nothing for kStallMs on the clock is taken to be
// gone. The watch only compares the output's count of requests between
// looks; a look comes with every command, twice a second at least.
class OutputStallWatch {
public:
    static constexpr int64_t kStallMs = 1000;

    // The output has just opened, having asked `requests` times so far.
    void Restart(uint64_t requests, int64_t nowNs);
    // Whether the output, now at `requests`, has asked for nothing since
    // kStallMs before `nowNs`, as far as the looks can tell.
    bool Stalled(uint64_t requests, int64_t nowNs);

private:
    uint64_t m_requests = 0;
    int64_t m_lastRequestNs = 0; // the look that last saw the count move
};

} // namespace vantrel
