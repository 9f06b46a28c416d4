#pragma once

#include <QFont>
#include <string>

namespace vantrel {

class ServiceMonitor;

// The attributes of a font as a form or label holds them.
struct FontSpec {
    std::string name = "Arial";
    float size = 8.25f; // points
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikethrough = false;

    bool operator==(const FontSpec&) const = default;
};

// The Qt font for a spec, with its size in points; the paint device's
// resolution turns points into pixels.
QFont ToQFont(const FontSpec& spec);

// A form's or label's `Font` object: each attribute is read and written by
// itself, and the runtime may refuse a value (a size that is not a usable
// point size, an empty face name).
class FontProperties {
public:
    FontProperties(ServiceMonitor& monitor, FontSpec spec) : m_monitor(&monitor), m_spec(std::move(spec)) {}

    std::string Name() const;
    float Size() const;
    bool Bold() const;
    bool Italic() const;
    bool Underline() const;
    bool Strikethrough() const;

    void SetName(const std::string& name);
    void SetSize(float points);
    void SetBold(bool bold);
    void SetItalic(bool italic);

    const FontSpec& spec() const { return m_spec; }

private:
    ServiceMonitor* m_monitor;
    FontSpec m_spec;
};

} // namespace vantrel
