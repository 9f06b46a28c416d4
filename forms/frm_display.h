#pragma once

#include "form.h"

namespace vantrel {

// The window the user sees: a maximized navy tool window with a close button
// only, no taskbar button and an invisible pointer. It draws nothing by
// itself; every frame is composed onto its surface. Closing it unloads the
// scene, and with no form left the program ends.
class FrmDisplay final : public Form {
public:
    // The scene is only remembered, to be unloaded with the display.
    FrmDisplay(Runtime& runtime, Form& scene);

    static FormDesign Design();

protected:
    void Form_Unload(int& cancel) override;

private:
    Form& m_scene;
};

} // namespace vantrel
