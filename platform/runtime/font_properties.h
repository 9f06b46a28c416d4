#pragma once

#include "font_attributes.h"

#include <string>

namespace vantrel {

class ServiceMonitor;

// A form's or label's `Font` object: each attribute is read and written by
// itself, and the runtime may refuse a value (a size that is not a usable
// point size, an empty face name).
class FontProperties {
public:
    FontProperties(ServiceMonitor& monitor, FontAttributes attributes) : m_monitor(&monitor), m_attributes(std::move(attributes)) {}

    std::string Name() const;
    float Size() const;
    bool Bold() const;
    bool Italic() const;

    void SetName(const std::string& name);
    void SetSize(float points);
    void SetBold(bool bold);
    void SetItalic(bool italic);

    const FontAttributes& Attributes() const { return m_attributes; }

private:
    ServiceMonitor* m_monitor;
    FontAttributes m_attributes;
};

} // namespace vantrel
