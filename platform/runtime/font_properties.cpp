#include "font_properties.h"

#include "runtime_error.h"
#include "service_monitor.h"

#include <cmath>

namespace vantrel {
namespace {

constexpr float kMaxPointSize = 2160.0f;
} // namespace

std::string FontProperties::Name() const {
    m_monitor->Use(Service::FontAttribute);
    return m_attributes.name;
}

float FontProperties::Size() const {
    m_monitor->Use(Service::FontAttribute);
    return m_attributes.size;
}

bool FontProperties::Bold() const {
    m_monitor->Use(Service::FontAttribute);
    return m_attributes.bold;
}

bool FontProperties::Italic() const {
    m_monitor->Use(Service::FontAttribute);
    return m_attributes.italic;
}

void FontProperties::SetName(const std::string& name) {
    m_monitor->Use(Service::FontAttribute);
    if (name.empty()) Raise(errors::kInvalidPropertyValue);
    m_attributes.name = name;
}

void FontProperties::SetSize(float points) {
    m_monitor->Use(Service::FontAttribute);
    if (!(points > 0.0f && points <= kMaxPointSize)) Raise(errors::kInvalidPropertyValue);
    m_attributes.size = points;
}

void FontProperties::SetBold(bool bold) {
    m_monitor->Use(Service::FontAttribute);
    m_attributes.bold = bold;
}

void FontProperties::SetItalic(bool italic) {
    m_monitor->Use(Service::FontAttribute);
    m_attributes.italic = italic;
}

} // namespace vantrel
