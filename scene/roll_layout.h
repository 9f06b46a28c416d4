#pragma once

namespace vantrel {

class Form;

// Centres every label horizontally on the scene: Left becomes half the
// scene's width (single precision) less half the label's width (double
// precision). Top is left alone; a label wider than the scene gets a
// negative Left.
void CentreLabels(Form& scene);

// Moves every label down by the scene's height, read again for each label,
// so that the roll starts below the visible area and enters from the
// bottom edge with its designed spacing.
void PlaceRollBelowScene(Form& scene);

} // namespace vantrel
