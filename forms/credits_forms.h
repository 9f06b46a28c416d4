#pragma once

#include "frm_credits.h"
#include "frm_display.h"

namespace vantrel {

// The program's two forms, one instance each for the whole run. The scene
// builds the display it composes frames on, so nothing refers to a form
// that does not exist yet.
struct CreditsForms {
    explicit CreditsForms(Runtime& runtime) : frmCredits(runtime) {}

    FrmCredits frmCredits;
    FrmDisplay& frmDisplay = frmCredits.Display();
};

} // namespace vantrel
