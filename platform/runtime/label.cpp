#include "label.h"

#include "service_monitor.h"
#include "text_metrics.h"
#include "twips.h"

namespace vantrel {

Label::Label(ServiceMonitor& monitor, const LabelDesign& design)
    : Control(design.name),
      m_monitor(&monitor),
      m_caption(design.caption),
      m_left(design.left),
      m_top(design.top),
      m_width(design.width),
      m_height(design.height),
      m_foreColour(design.foreColour),
      m_font(monitor, design.font),
      m_autoSize(design.autoSize) {}

float Label::Top() const {
    m_monitor->Use(Service::PropertyRead);
    return m_top;
}

float Label::Left() const {
    m_monitor->Use(Service::PropertyRead);
    return m_left;
}

float Label::Width() const {
    m_monitor->Use(Service::PropertyRead);
    return m_width;
}

float Label::Height() const {
    m_monitor->Use(Service::PropertyRead);
    return m_height;
}

const std::string& Label::Caption() const {
    m_monitor->Use(Service::PropertyRead);
    return m_caption;
}

OleColour Label::ForeColor() const {
    m_monitor->Use(Service::PropertyRead);
    return m_foreColour;
}

FontProperties& Label::Font() {
    m_monitor->Use(Service::PropertyRead);
    return m_font;
}

void Label::SetTop(float twips) {
    m_monitor->Use(Service::PropertyWrite);
    m_top = twips;
}

void Label::SetLeft(float twips) {
    m_monitor->Use(Service::PropertyWrite);
    m_left = twips;
}

void Label::FitToCaption(double logicalDpi) {
    const TextExtent extent = MeasureText(m_caption, m_font.Attributes(), logicalDpi);
    const double twipsPerPixel = kTwipsPerInch / logicalDpi;
    m_width = static_cast<float>(extent.width * twipsPerPixel);
    m_height = static_cast<float>(extent.height * twipsPerPixel);
}

} // namespace vantrel
