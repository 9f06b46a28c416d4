#pragma once

#include "colour.h"
#include "control.h"
#include "font_properties.h"

#include <string>

namespace vantrel {

class ServiceMonitor;

// What a form's designer stores for one label.
struct LabelDesign {
    std::string name;
    std::string caption;
    float left = 0; // twips
    float top = 0;
    float width = 0;
    float height = 0;
    OleColour foreColour = 0;
    FontAttributes font;
    bool autoSize = false;
};

// A text line of a form. Its position and size are in twips, single
// precision; every property access is a runtime service that can fail.
class Label final : public Control {
public:
    Label(ServiceMonitor& monitor, const LabelDesign& design);

    Label* AsLabel() override { return this; }

    float Top() const;
    float Left() const;
    float Width() const;
    float Height() const;
    const std::string& Caption() const;
    OleColour ForeColor() const;
    FontProperties& Font();

    void SetTop(float twips);
    void SetLeft(float twips);

    bool AutoSize() const { return m_autoSize; }
    // Fits Width and Height to the caption drawn on one line in the label's
    // font, measured at the given resolution (dots per inch).
    void FitToCaption(double logicalDpi);

private:
    ServiceMonitor* m_monitor;
    std::string m_caption;
    float m_left;
    float m_top;
    float m_width;
    float m_height;
    OleColour m_foreColour;
    FontProperties m_font;
    bool m_autoSize;
};

} // namespace vantrel
