#pragma once

#include "frm_display.h"
#include "frm_credits.h"
#include "runtime.h"

namespace vantrel {

// The program's two forms, one instance each for the whole run. The display
// is constructed first and only remembers the scene, which is constructed
// right after it.
struct CreditsForms {
    explicit CreditsForms(Runtime& runtime) : frmDisplay(runtime, frmCredits), frmCredits(runtime, frmDisplay) {}

    FrmDisplay frmDisplay;
    FrmCredits frmCredits;
};

// Start-up: loads the scene (its load handler starts the music) and shows it
// maximized (its resize handler centres the roll, its activate handler
// builds the scene and puts up the display window). No timer ticks before
// all of that is done.
void StartUp(Runtime& runtime, CreditsForms& forms);

// Unloads whatever is still loaded, the display first, exactly as closing
// its window does; the scene goes with it.
void ShutDown(CreditsForms& forms);

} // namespace vantrel
