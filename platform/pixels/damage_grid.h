#pragma once

#include "tile_grid.h"

#include <QRect>
#include <algorithm>
#include <cstdint>
#include <vector>

namespace vantrel {

// Which tiles of a surface changed since the window last showed it.
class DamageGrid {
public:
    // Every tile changed: the window has shown nothing of the surface yet.
    void Reset(TileGrid grid);

    void Mark(size_t tile) { m_damaged[tile] = 1; }
    // Tiles [first, end) changed.
    void Mark(size_t first, size_t end) {
        std::fill(m_damaged.begin() + static_cast<ptrdiff_t>(first), m_damaged.begin() + static_cast<ptrdiff_t>(end),
                  1);
    }

    // The tiles changed since the last call, as rectangles of device pixels
    // clipped to `whole`, and none changed from now on. The rectangles are
    // the grid's own, valid until the next call: a steady frame allocates
    // nothing.
    const std::vector<QRect>& Take(const QRect& whole);

private:
    void TakeRow(int row, const QRect& whole);

    TileGrid m_grid;
    std::vector<uint8_t> m_damaged;
    std::vector<QRect> m_rects;
    // Rectangles reaching down to the row above and to this row: the index of
    // each in m_rects, in the order of their runs; a row holds few.
    std::vector<size_t> m_openAbove;
    std::vector<size_t> m_openHere;
};

} // namespace vantrel
