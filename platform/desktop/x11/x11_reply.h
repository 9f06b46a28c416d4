#pragma once

#include <cstdlib>
#include <memory>

namespace vantrel {

// A reply (or error) xcb handed over, freed with the owner.
template <typename T>
using X11Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
X11Reply<T> Owned(T* reply) {
    return {reply, &std::free};
}

} // namespace vantrel
