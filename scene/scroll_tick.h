#pragma once

namespace vantrel {

class Form;

constexpr float kScrollStepTwips = 15.0f; // one pixel at the default scale
constexpr float kWrapGapTwips = 6000.0f;  // below the bottom edge, where the roll restarts

// Moves every label up one step. When no label's bottom edge is below the
// top edge any more (a bottom edge exactly at 0 counts as gone), moves the
// whole roll down again so that its highest line stands the scene's height
// plus the wrap gap below the top: the roll is an endless loop.
//
// The smallest Top is kept as a 16-bit integer, rounded half to even; a Top
// below -32768.5 twips overflows there and ends the tick, leaving the labels
// moved so far where they are.
void MoveRoll(Form& scene);

} // namespace vantrel
