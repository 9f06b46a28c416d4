#include "random_source.h"

namespace vantrel {

float RandomSource::Next() {
    if (!m_scripted.empty()) {
        const float value = m_scripted.front();
        m_scripted.pop_front();
        ++m_drawCount;
        return value;
    }
    constexpr uint32_t kMultiplier = 1140671485u;
    constexpr uint32_t kIncrement = 12820163u;
    constexpr uint32_t kModulusMask = (1u << 24) - 1;
    m_state = (m_state * kMultiplier + kIncrement) & kModulusMask;
    ++m_drawCount;
    return static_cast<float>(m_state) / static_cast<float>(1u << 24);
}

} // namespace vantrel
