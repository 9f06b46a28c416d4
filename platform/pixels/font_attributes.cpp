#include "font_attributes.h"

namespace vantrel {

QFont ToQFont(const FontAttributes& attributes) {
    QFont font(QString::fromStdString(attributes.name));
    font.setPointSizeF(attributes.size);
    font.setBold(attributes.bold);
    font.setItalic(attributes.italic);
    font.setUnderline(attributes.underline);
    font.setStrikeOut(attributes.strikethrough);
    return font;
}

} // namespace vantrel
