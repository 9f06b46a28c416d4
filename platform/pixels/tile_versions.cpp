#include "tile_versions.h"

#include <atomic>

namespace vantrel {
namespace {

// Each surface gets an identity of its own, so that a block copy never takes
// tile versions of a surface that has gone for those of a new one that
// happens to live at the same address. Only a counter, shared by all.
uint64_t NewSurfaceIdentity() {
    static std::atomic<uint64_t> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
}

} // namespace

TileVersions::TileVersions() : m_identity(NewSurfaceIdentity()) {}

void TileVersions::Reset(TileGrid grid) {
    m_grid = grid;
    m_version.assign(grid.size(), NewVersion());
    m_copied.assign(grid.size(), kUnknown);
    m_copySource = 0;
}

bool TileVersions::BeginCopy(const TileVersions& source, QSize size, QRgb outside) {
    if (m_copySource == source.m_identity && m_copyOutside == outside && m_copySize == size) return false;
    std::fill(m_copied.begin(), m_copied.end(), kUnknown);
    m_copySource = source.m_identity;
    m_copyOutside = outside;
    m_copySize = size;
    return true;
}

} // namespace vantrel
