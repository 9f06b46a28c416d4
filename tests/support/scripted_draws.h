#pragma once

#include "random_source.h"

#include <cstdint>
#include <deque>

namespace vantrel::testing {

// The program's random draws, counted, with values of the test's own first
// where it wants exact draws such as 0 or 0.5.
struct ScriptedDraws final : RandomSource {
    float Next() override {
        ++count;
        if (script.empty()) return sequence.Next();
        const float value = script.front();
        script.pop_front();
        return value;
    }
    CongruentialRandom sequence;
    std::deque<float> script;
    uint64_t count = 0;
};

} // namespace vantrel::testing
