#include "roll_layout.h"

#include "form.h"

namespace vantrel {

void CentreLabels(Form& scene) {
    for (Control* control : scene.Controls()) {
        Label* label = control->AsLabel();
        if (label == nullptr) continue;
        const float halfScene = scene.ScaleWidth() / 2.0f;
        const double halfLabel = static_cast<double>(label->Width()) / 2.0;
        label->SetLeft(static_cast<float>(halfScene - halfLabel));
    }
}

void PlaceRollBelowScene(Form& scene) {
    for (Control* control : scene.Controls()) {
        Label* label = control->AsLabel();
        if (label == nullptr) continue;
        label->SetTop(label->Top() + scene.ScaleHeight());
    }
}

} // namespace vantrel
