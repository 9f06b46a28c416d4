#pragma once

#include "credits_forms.h"
#include "runtime.h"

namespace vantrel {

// Start-up: loads the scene (its load handler starts the music) and shows it
// maximized (its resize handler centres the roll, its activate handler
// builds the scene and puts up the display window). No timer ticks before
// all of that is done.
void StartUp(Runtime& runtime, CreditsForms& forms);

// Unloads whatever is still loaded, the display first, exactly as closing
// its window does; the scene goes with it.
void ShutDown(CreditsForms& forms);

} // namespace vantrel
