#pragma once

namespace vantrel {

class Form;

// Composes one frame on the display: copies the scene's backdrop onto the
// display's surface from the top left corner, prints every label's caption
// at the label's Top, centred on the display's width by the label's own
// Width, in its font and colour (glyphs only, in collection order), then
// refreshes the display, which shows the finished frame in one step.
//
// Has no failure trap of its own: a failure ends the composition in the
// caller's trap, and the display is not refreshed for that frame.
void ComposeFrame(Form& scene, Form& display);

} // namespace vantrel
