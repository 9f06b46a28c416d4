#pragma once

#include "form.h"

namespace vantrel {

// The scene form's stored design: a maximized tool window on navy, the 25
// credit lines as white 48-point bold "Arial" labels (the six section
// headings in italic) and its three timers, in the stored control order:
// tmrReplay, tmrScroll, tmrCircle, then Label25 down to Label1.
FormDesign CreditsDesign();

} // namespace vantrel
