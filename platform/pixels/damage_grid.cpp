#include "damage_grid.h"

namespace vantrel {

void DamageGrid::Reset(TileGrid grid) {
    m_grid = grid;
    m_damaged.assign(grid.size(), 1);
}

const std::vector<QRect>& DamageGrid::Take(const QRect& whole) {
    m_rects.clear();
    m_openAbove.clear();
    for (int row = 0; row < m_grid.rows; ++row) {
        TakeRow(row, whole);
        std::swap(m_openAbove, m_openHere);
        m_openHere.clear();
    }
    return m_rects;
}

// Runs of changed tiles in a row, each joined with the same run of the row
// above into one rectangle.
void DamageGrid::TakeRow(int row, const QRect& whole) {
    uint8_t* const tiles = &m_damaged[m_grid.Index(0, row)];
    uint8_t* const end = tiles + m_grid.columns;
    size_t above = 0; // the first of m_openAbove that may still continue
    for (uint8_t* first = std::find(tiles, end, 1); first != end; first = std::find(first, end, 1)) {
        uint8_t* const last = std::find(first, end, 0);
        std::fill(first, last, 0);
        const QRect band = QRect(static_cast<int>(first - tiles) * TileGrid::kTileWidth, row * TileGrid::kTileHeight,
                                 static_cast<int>(last - first) * TileGrid::kTileWidth, TileGrid::kTileHeight)
                               .intersected(whole);
        while (above < m_openAbove.size() && m_rects[m_openAbove[above]].left() < band.left()) ++above;
        if (above < m_openAbove.size() && m_rects[m_openAbove[above]].left() == band.left() &&
            m_rects[m_openAbove[above]].right() == band.right()) {
            m_rects[m_openAbove[above]].setBottom(band.bottom());
            m_openHere.push_back(m_openAbove[above++]);
        } else {
            m_openHere.push_back(m_rects.size());
            m_rects.push_back(band);
        }
        first = last;
    }
}

} // namespace vantrel
