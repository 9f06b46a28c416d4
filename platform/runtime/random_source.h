#pragma once

#include <cstdint>
#include <deque>
#include <initializer_list>

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

    // Makes the next draws return these values, then the sequence goes on
    // where it stood. Tests use it to reach exact draws such as 0 or 0.5.
    void ScriptNextDraws(std::initializer_list<float> values) { m_scripted.insert(m_scripted.end(), values); }

private:
    static constexpr uint32_t kStartState = 0x50000;
    uint32_t m_state = kStartState;
    uint64_t m_drawCount = 0;
    std::deque<float> m_scripted;
};

} // namespace vantrel
