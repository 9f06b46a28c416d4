#pragma once

#include <QFont>
#include <string>

namespace vantrel {

// The attributes of a font as a form or label holds them.
struct FontAttributes {
    std::string name = "Arial";
    float size = 8.25f; // points
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikethrough = false;

    bool operator==(const FontAttributes&) const = default;
};

// The Qt font for these attributes, with its size in points; the paint device's
// resolution turns points into pixels.
QFont ToQFont(const FontAttributes& font);

} // namespace vantrel
