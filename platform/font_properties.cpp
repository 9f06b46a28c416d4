#include "font_properties.h"

#include "runtime_error.h"
#include "service_monitor.h"

#include <cmath>

namespace vantrel {
namespace {

constexpr float kMaxPointSize = 2160.0f;
constexpr int32_t kInvalidPropertyValue = 380;

[[noreturn]] void RaiseInvalidValue() { throw RuntimeError(kInvalidPropertyValue, "Invalid property value"); }

} // namespace

QFont ToQFont(const FontSpec& spec) {
    QFont font(QString::fromStdString(spec.name));
    font.setPointSizeF(spec.size);
    font.setBold(spec.bold);
    font.setItalic(spec.italic);
    font.setUnderline(spec.underline);
    font.setStrikeOut(spec.strikethrough);
    return font;
}

std::string FontProperties::Name() const {
    m_monitor->Use(Service::FontAttribute);
    return m_spec.name;
}

float FontProperties::Size() const {
    m_monitor->Use(Service::FontAttribute);
    return m_spec.size;
}

bool FontProperties::Bold() const {
    m_monitor->Use(Service::FontAttribute);
    return m_spec.bold;
}

bool FontProperties::Italic() const {
    m_monitor->Use(Service::FontAttribute);
    return m_spec.italic;
}

bool FontProperties::Underline() const {
    m_monitor->Use(Service::FontAttribute);
    return m_spec.underline;
}

bool FontProperties::Strikethrough() const {
    m_monitor->Use(Service::FontAttribute);
    return m_spec.strikethrough;
}

void FontProperties::SetName(const std::string& name) {
    m_monitor->Use(Service::FontAttribute);
    if (name.empty()) RaiseInvalidValue();
    m_spec.name = name;
}

void FontProperties::SetSize(float points) {
    m_monitor->Use(Service::FontAttribute);
    if (!(points > 0.0f && points <= kMaxPointSize)) RaiseInvalidValue();
    m_spec.size = points;
}

void FontProperties::SetBold(bool bold) {
    m_monitor->Use(Service::FontAttribute);
    m_spec.bold = bold;
}

void FontProperties::SetItalic(bool italic) {
    m_monitor->Use(Service::FontAttribute);
    m_spec.italic = italic;
}

} // namespace vantrel
