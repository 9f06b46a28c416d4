#pragma once

namespace vantrel {

class Form;
class Runtime;

constexpr int kInitialCircles = 1000;

// Paints one circle on the scene's surface, centred on the scene, from the
// next five random draws in order: the pen width (1 to 10 pixels), red
// (0 to 40), green (0 to 15), blue (0 to 255) and the radius (below the
// scene's height). A failure is reported under "DrawRandomCircles" and the
// call returns normally; what was set before it stays set.
void DrawRandomCircles(Runtime& runtime, Form& scene);

// Clears the scene's surface to its background and paints the initial
// circles. A failed clear ends it before any circle (the caller reports it).
void PaintInitialBackdrop(Runtime& runtime, Form& scene);

} // namespace vantrel
