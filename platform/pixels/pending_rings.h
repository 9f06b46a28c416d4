#pragma once

#include "circle_outline.h"
#include "tile_grid.h"

#include <QImage>
#include <cstring>
#include <optional>
#include <vector>

namespace vantrel {

// A fill and the rings after it, asked of a surface but not drawn yet. They
// are drawn together, band of rows by band, so that each band's pixels stay
// in the cache; of many rings around one centre, only what the later ones
// leave showing. The pixels are those of drawing each one when asked.
class PendingRings {
public:
    // Past this many rings, the surface draws them rather than asking more.
    static constexpr size_t kMostPending = 2048;

    // Nothing pending, for an image cut into `grid`.
    void Reset(TileGrid grid);

    bool empty() const { return m_rings.empty() && !m_fill; }
    // A fill covers all asked before it.
    void Fill(QRgb colour) {
        m_rings.clear();
        m_fill = colour;
    }
    // True once there are kMostPending.
    bool Add(const CircleOutline& circle, QRgb colour) {
        m_rings.push_back({circle, colour});
        return m_rings.size() >= kMostPending;
    }

    // Draws what is pending into `image` (of the grid's size), leaving
    // nothing pending. True when rings were drawn: their tiles are noted for
    // TakeRingTiles.
    bool DrawInto(QImage& image);
    // Calls `visit` with the index of each tile the rings drew on, once
    // each, and forgets them. The notes are found with memchr, which skips
    // the untouched tiles many at a time.
    template <typename Visit>
    void TakeRingTiles(Visit&& visit) {
        uint8_t* const first = m_ringTiles.data();
        uint8_t* const end = first + m_ringTiles.size();
        auto nextNoted = [&](uint8_t* from) {
            return static_cast<uint8_t*>(std::memchr(from, 1, static_cast<size_t>(end - from)));
        };
        for (uint8_t* noted = nextNoted(first); noted != nullptr; noted = nextNoted(noted)) {
            *noted++ = 0;
            visit(static_cast<size_t>(noted - 1 - first));
        }
    }

private:
    static constexpr int kBandRows = 32;
    struct Ring {
        CircleOutline circle;
        QRgb colour;
    };

    std::vector<VisibleRingPart> VisibleParts(int width, int height) const;
    void FillRows(QImage& image, int firstRow, int endRow) const;
    void DrawRingRows(QImage& image, const RingBand& ring, QRgb colour, int firstRow, int endRow);

    TileGrid m_grid;
    std::optional<QRgb> m_fill; // comes before the rings
    std::vector<Ring> m_rings;
    std::vector<uint8_t> m_ringTiles; // drawn on by the rings, while they are drawn
};

} // namespace vantrel
