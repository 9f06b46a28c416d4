#pragma once

#include <cstddef>

namespace vantrel {

// A surface cut into tiles of 32×4 device pixels, row by row; the tiles of
// the last column and row may reach past the surface.
struct TileGrid {
    static constexpr int kTileWidth = 32; // device pixels
    static constexpr int kTileHeight = 4;

    int columns = 0;
    int rows = 0;

    static TileGrid Covering(int width, int height) {
        return {(width + kTileWidth - 1) / kTileWidth, (height + kTileHeight - 1) / kTileHeight};
    }
    size_t size() const { return static_cast<size_t>(columns) * static_cast<size_t>(rows); }
    size_t Index(int column, int row) const {
        return static_cast<size_t>(row) * static_cast<size_t>(columns) + static_cast<size_t>(column);
    }
    // The tile holding device pixel (x, y).
    size_t IndexAt(int x, int y) const { return Index(x / kTileWidth, y / kTileHeight); }
};

} // namespace vantrel
