#pragma once

#include <cstdint>

namespace vantrel {

// The runtime's random draw: a 24-bit linear congruential sequence that
// every run starts from the same fixed state and that nothing reseeds, so
// every run draws the same values in the same order. Each draw is a single
// precision value in [0, 1), exactly representable (a multiple of 2^-24).
class RandomSource {
public:
    float Next();

    // How many values have been drawn since the start; tests use it to
    // check that each circle consumes exactly its share of the sequence.
    uint64_t drawCount() const { return m_drawCount; }

private:
    static constexpr uint32_t kStartState = 0x50000;
    uint32_t m_state = kStartState;
    uint64_t m_drawCount = 0;
};

} // namespace vantrel
