#include "frm_display.h"

#include "failure_report.h"
#include "runtime.h"

namespace vantrel {

FrmDisplay::FrmDisplay(Runtime& runtime, Form& scene) : Form(runtime, Design()), m_scene(scene) {}

FormDesign FrmDisplay::Design() {
    FormDesign design = MaximizedToolWindowDesign(Runtime::kTitle, 4680, 3090);
    design.window.invisiblePointer = true;
    return design;
}

void FrmDisplay::Form_Unload(int& cancel) {
    (void)cancel; // the window always closes
    Trapped(Services(), "Form_Unload", [&] { m_scene.Unload(); });
}

} // namespace vantrel
