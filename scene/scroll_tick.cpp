#include "scroll_tick.h"

#include "conversions.h"
#include "form.h"

#include <cstdlib>

namespace vantrel {
namespace {

// Moves the labels up; returns whether any still reaches below the top
// edge, and the smallest Top seen (never above 0).
bool MoveLabelsUp(Form& scene, int16_t& minimumTop) {
    bool anyVisible = false;
    for (Control* control : scene.Controls()) {
        Label* label = control->AsLabel();
        if (label == nullptr) continue;
        label->SetTop(label->Top() - kScrollStepTwips);
        if (label->Top() + label->Height() > 0.0f) anyVisible = true;
        if (label->Top() < static_cast<float>(minimumTop)) minimumTop = CInt(label->Top());
    }
    return anyVisible;
}

void WrapRoll(Form& scene, int16_t minimumTop) {
    // Widened before taking the magnitude: -32768 has no positive 16-bit twin.
    const auto lift = static_cast<float>(std::abs(static_cast<int32_t>(minimumTop)));
    for (Control* control : scene.Controls()) {
        Label* label = control->AsLabel();
        if (label == nullptr) continue;
        float top = label->Top() + lift;
        top = top + scene.ScaleHeight();
        top = top + kWrapGapTwips;
        label->SetTop(top);
    }
}

} // namespace

void MoveRoll(Form& scene) {
    int16_t minimumTop = 0;
    if (!MoveLabelsUp(scene, minimumTop)) WrapRoll(scene, minimumTop);
}

} // namespace vantrel
