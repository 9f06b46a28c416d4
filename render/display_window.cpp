#include "display_window.h"

#include "failure_report.h"

namespace vantrel {
namespace {

constexpr int kTwipsPerDesignPixel = 15;

} // namespace

FrmDisplay::FrmDisplay(Runtime& runtime, Form& scene) : Form(runtime, Design()), m_scene(scene) {}

FormDesign FrmDisplay::Design() {
    FormDesign design;
    design.window.caption = "Vantrel Credits";
    design.window.backColour = kNavy;
    design.window.designClientSize = QSize(4680 / kTwipsPerDesignPixel, 3090 / kTwipsPerDesignPixel);
    design.window.maximized = true;
    design.window.toolWindow = true;
    design.window.showInTaskbar = false;
    design.window.invisiblePointer = true;
    design.font = FontAttributes{"Sans Serif", 8.25f};
    return design;
}

void FrmDisplay::Form_Unload(int& cancel) {
    (void)cancel; // the window always closes
    Trapped(runtime(), "Form_Unload", [&] { m_scene.Unload(); });
}

} // namespace vantrel
