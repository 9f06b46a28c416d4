#pragma once

#include "colour.h"
#include "font_attributes.h"

#include <QImage>
#include <QPoint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vantrel {

// One line of text rendered once, ready to be blended many times: a
// premultiplied image of its glyphs cut to their ink, where that ink lies
// relative to the text cell's top left corner, and each row cut into runs
// of fully covered and of partly covered pixels, so that blending copies
// the first, blends only the second and skips what has no ink at all.
struct TextImage {
    std::string text; // the line rendered
    QImage glyphs; // Format_ARGB32_Premultiplied, device pixels
    QPoint offset; // of glyphs' top left from the cell's top left
    struct Run {
        int from = 0; // columns, inclusive
        int to = 0;
        bool opaque = false;
    };
    std::vector<Run> runs;      // row by row
    std::vector<size_t> rowEnd; // runs of row y are runs[y == 0 ? 0 : rowEnd[y - 1]] up to rowEnd[y]
};

// Renders text in a font and colour at a resolution of dotsPerInch device
// pixels to the inch (the logical resolution times the device-pixel ratio).
TextImage RenderText(const std::string& text, const FontAttributes& font, OleColour colour, double dotsPerInch);

// Keeps the rendered lines of a surface, so that printing a line costs a
// blend of its glyphs and not a text layout. The program prints a few dozen
// distinct lines; past kCapacity the cache starts afresh, which bounds its
// memory whatever is printed.
class TextImageCache {
public:
    const TextImage& Get(const std::string& text, const FontAttributes& font, OleColour colour, double dotsPerInch);

private:
    // What makes two rendered lines the same; looked up without copying the
    // text, since every printed line asks.
    struct KeyView {
        std::string_view text;
        const FontAttributes& font;
        OleColour colour;
        double dotsPerInch;
    };
    struct Key {
        std::string text;
        FontAttributes font;
        OleColour colour;
        double dotsPerInch;
        KeyView View() const { return {text, font, colour, dotsPerInch}; }
    };
    struct KeyHash {
        using is_transparent = void;
        size_t operator()(const KeyView& key) const;
        size_t operator()(const Key& key) const { return (*this)(key.View()); }
    };
    struct KeyEqual {
        using is_transparent = void;
        static bool Same(const KeyView& a, const KeyView& b) {
            return a.colour == b.colour && a.dotsPerInch == b.dotsPerInch && a.font == b.font && a.text == b.text;
        }
        bool operator()(const Key& a, const Key& b) const { return Same(a.View(), b.View()); }
        bool operator()(const KeyView& a, const Key& b) const { return Same(a, b.View()); }
        bool operator()(const Key& a, const KeyView& b) const { return Same(a.View(), b); }
    };

    static constexpr size_t kCapacity = 256;
    std::unordered_map<Key, std::unique_ptr<TextImage>, KeyHash, KeyEqual> m_entries;
};

} // namespace vantrel
