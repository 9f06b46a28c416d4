#include "frame_composition.h"

#include "block_copy.h"
#include "conversions.h"
#include "form.h"

namespace vantrel {
namespace {

void PrintLabel(Label& label, Form& display) {
    display.SetCurrentY(label.Top());
    display.SetCurrentX(display.ScaleWidth() / 2.0f - label.Width() / 2.0f);
    FontProperties& font = display.Font();
    font.SetName(label.Font().Name());
    font.SetSize(label.Font().Size());
    font.SetBold(label.Font().Bold());
    font.SetItalic(label.Font().Italic());
    display.SetForeColor(static_cast<OleColour>(CLng(label.ForeColor())));
    display.Print(label.Caption());
}

} // namespace

void ComposeFrame(Form& scene, Form& display) {
    const HDC target = display.hDC();
    const float width = scene.ScaleWidth();
    const float height = scene.ScaleHeight();
    const HDC source = scene.hDC();
    // The scene's size in twips is passed as a count of pixels, so the
    // rectangle always spans the whole backdrop; the copy clips it.
    BitBlt(target, 0, 0, CLng(width), CLng(height), source, 0, 0, SRCCOPY);
    for (Control* control : scene.Controls()) {
        if (Label* label = control->AsLabel()) PrintLabel(*label, display);
    }
    display.Refresh();
}

} // namespace vantrel
