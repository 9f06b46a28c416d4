#include "pending_rings.h"

#include <algorithm>

namespace vantrel {

void PendingRings::Reset(TileGrid grid) {
    m_grid = grid;
    m_fill.reset();
    m_rings.clear();
    m_ringTiles.assign(grid.size(), 0);
}

bool PendingRings::DrawInto(QImage& image) {
    const int height = image.height();
    const std::vector<VisibleRingPart> parts = VisibleParts(image.width(), height);
    // One ring alone gains nothing from bands.
    const int bandRows = parts.size() == 1 && !m_fill ? height : kBandRows;
    for (int band = 0; band < height; band += bandRows) {
        const int endRow = std::min(band + bandRows, height);
        if (m_fill) FillRows(image, band, endRow);
        for (const VisibleRingPart& part : parts) DrawRingRows(image, part.band, m_rings[part.ring].colour, band, endRow);
    }
    m_fill.reset();
    m_rings.clear();
    return !parts.empty();
}

// Rings around one centre (as the backdrop's all are) mostly lie over each
// other: of the activation's thousand, two thirds end up wholly hidden. Then
// only what shows of each is drawn, every pixel once.
std::vector<VisibleRingPart> PendingRings::VisibleParts(int width, int height) const {
    std::vector<RingBand> bands;
    bands.reserve(m_rings.size());
    for (const Ring& ring : m_rings) bands.push_back(ring.circle.Band());
    const bool sharedCentre = std::all_of(bands.begin(), bands.end(), [&](const RingBand& band) {
        return band.centreX == bands.front().centreX && band.centreY == bands.front().centreY;
    });
    if (bands.size() > 1 && sharedCentre) {
        const int64_t centreX = bands.front().centreX, centreY = bands.front().centreY;
        const int64_t farX = std::max(centreX, width - 1 - centreX);
        const int64_t farY = std::max(centreY, height - 1 - centreY);
        return VisibleRingParts(bands, farX * farX + farY * farY);
    }
    std::vector<VisibleRingPart> parts;
    for (size_t index = 0; index < bands.size(); ++index) parts.push_back({bands[index], index});
    return parts;
}

void PendingRings::FillRows(QImage& image, int firstRow, int endRow) const {
    const int width = image.width();
    for (int y = firstRow; y < endRow; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        std::fill(row, row + width, *m_fill);
    }
}

// Replaces the ring's pixels in rows [firstRow, endRow), noting each tile
// with one store a run.
void PendingRings::DrawRingRows(QImage& image, const RingBand& ring, QRgb colour, int firstRow, int endRow) {
    uchar* bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    auto fillRun = [&](int y, int x0, int x1) {
        auto* row = reinterpret_cast<QRgb*>(bits + y * stride);
        std::fill(row + x0, row + x1 + 1, colour);
        const size_t rowStart = m_grid.Index(0, y / TileGrid::kTileHeight);
        for (int column = x0 / TileGrid::kTileWidth; column <= x1 / TileGrid::kTileWidth; ++column) {
            m_ringTiles[rowStart + static_cast<size_t>(column)] = 1;
        }
    };
    ForEachRingSpan(ring, image.width(), image.height(), fillRun, firstRow, endRow);
}

} // namespace vantrel
