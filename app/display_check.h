#pragma once

#include <optional>
#include <string>

namespace vantrel {

// Why no window can be shown here, or nothing when a display can be
// reached. Checked before Qt starts, because Qt aborts (and dumps core)
// when its window system cannot be opened.
std::optional<std::string> DisplayProblem();

} // namespace vantrel
