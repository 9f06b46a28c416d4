#pragma once

#include <cstdint>

namespace vantrel {

// Where the runtime's random draws come from: single precision values in
// [0, 1).
class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual float Next() = 0;
};

// The program's draws: a 24-bit linear congruential sequence that every run
// starts from the same fixed state and that nothing reseeds, so every run
// draws the same values in the same order. Each draw is exactly
// representable (a multiple of 2^-24).
class CongruentialRandom final : public RandomSource {
public:
    float Next() override;

private:
    static constexpr uint32_t kStartState = 0x50000;
    uint32_t m_state = kStartState;
};

} // namespace vantrel
