#include "random_source.h"

namespace vantrel {

float CongruentialRandom::Next() {
    constexpr uint32_t kMultiplier = 1140671485u;
    constexpr uint32_t kIncrement = 12820163u;
    constexpr uint32_t kModulusMask = (1u << 24) - 1;
    m_state = (m_state * kMultiplier + kIncrement) & kModulusMask;
    return static_cast<float>(m_state) / static_cast<float>(1u << 24);
}

} // namespace vantrel
