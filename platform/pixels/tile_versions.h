#pragma once

#include "tile_grid.h"

#include <QRgb>
#include <QSize>
#include <algorithm>
#include <cstdint>
#include <vector>

namespace vantrel {

// What a block copy knows of a surface's tiles. Each tile has a version,
// new whenever the surface draws on it; and, of the last copy into the
// surface, the source's version of each tile when it was copied. A tile
// whose copied version is the source's version now holds what a copy would
// put there, and the next copy from the same source skips it.
class TileVersions {
public:
    TileVersions();

    // Every tile drawn on anew, none copied.
    void Reset(TileGrid grid);

    // A version for the tiles one drawing step writes.
    uint64_t NewVersion() { return m_nextVersion++; }

    // The surface drew on the tile: it holds no copy any more.
    void Drawn(size_t tile, uint64_t version) {
        m_version[tile] = version;
        m_copied[tile] = kUnknown;
    }
    // Text wrote over tiles [first, end); their copied versions stand, as
    // the next copy puts back the pixels the text wrote, run by run.
    void Overdrawn(size_t first, size_t end, uint64_t version) {
        std::fill(m_version.begin() + static_cast<ptrdiff_t>(first), m_version.begin() + static_cast<ptrdiff_t>(end),
                  version);
    }

    // Starts a copy of `size` device pixels from `source`, `outside` where it
    // does not reach. True when the last copy differed in any of these: then
    // no tile counts as copied.
    bool BeginCopy(const TileVersions& source, QSize size, QRgb outside);
    // Whether the first `columns` tiles of the row hold the source's tiles
    // as they are now.
    bool RowCopied(const TileVersions& source, int row, int columns) const {
        if (columns > source.m_grid.columns || row >= source.m_grid.rows) return false;
        const uint64_t* copied = &m_copied[m_grid.Index(0, row)];
        return std::equal(copied, copied + columns, &source.m_version[source.m_grid.Index(0, row)]);
    }
    // Notes the tile as copied from the source as it is now (the outside
    // colour where the source has no such tile); true when it held
    // something else, so that its pixels must be copied.
    bool TakeStale(const TileVersions& source, int column, int row) {
        const bool inSource = column < source.m_grid.columns && row < source.m_grid.rows;
        const uint64_t wanted = inSource ? source.m_version[source.m_grid.Index(column, row)] : kOutsideFill;
        uint64_t& copied = m_copied[m_grid.Index(column, row)];
        if (copied == wanted) return false;
        copied = wanted;
        return true;
    }

private:
    // What a tile holds, as far as a copy knows it, besides a source's version.
    static constexpr uint64_t kUnknown = 0;
    static constexpr uint64_t kOutsideFill = 1;

    TileGrid m_grid;
    uint64_t m_identity; // tells one surface's versions from another's
    uint64_t m_nextVersion = 2;
    std::vector<uint64_t> m_version; // bumped whenever the surface draws on a tile
    uint64_t m_copySource = 0;       // identity of the last copy's source
    std::vector<uint64_t> m_copied;  // the source's version when the tile was copied
    // The last copy's clipped size and outside colour.
    QSize m_copySize;
    QRgb m_copyOutside = 0;
};

} // namespace vantrel
