#include "surface.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace vantrel {
namespace {

// Each surface gets an identity of its own, so that a block copy never takes
// tile versions of a surface that has gone for those of a new one that
// happens to live at the same address. Only a counter, shared by all.
uint64_t NewSurfaceIdentity() {
    static std::atomic<uint64_t> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
}

// Each channel of a pixel times alpha / 255, two channels at a time.
inline uint32_t ScaleChannels(uint32_t pixel, uint32_t alpha) {
    uint32_t redBlue = (pixel & 0xFF00FF) * alpha;
    redBlue = ((redBlue + ((redBlue >> 8) & 0xFF00FF) + 0x800080) >> 8) & 0xFF00FF;
    uint32_t alphaGreen = ((pixel >> 8) & 0xFF00FF) * alpha;
    alphaGreen = (alphaGreen + ((alphaGreen >> 8) & 0xFF00FF) + 0x800080) & 0xFF00FF00;
    return alphaGreen | redBlue;
}

// Source-over of a premultiplied pixel onto an opaque one.
inline QRgb BlendOver(QRgb source, QRgb target) {
    return 0xFF000000u | (source + ScaleChannels(target, 255 - qAlpha(source)));
}

} // namespace

Surface::Surface(QSize devicePixels, double devicePixelRatio, QRgb fill, QImage pixels)
    : m_identity(NewSurfaceIdentity()) {
    Reset(devicePixels, devicePixelRatio, fill, std::move(pixels));
}

void Surface::Reset(QSize devicePixels, double devicePixelRatio, QRgb fill, QImage pixels) {
    m_pendingCircles.clear();
    m_pendingFill.reset();
    const bool fits = !pixels.isNull() && pixels.size() == devicePixels && pixels.format() == QImage::Format_RGB32;
    m_image = fits ? std::move(pixels) : QImage(devicePixels.expandedTo(QSize(0, 0)), QImage::Format_RGB32);
    m_image.setDevicePixelRatio(devicePixelRatio);
    m_devicePixelRatio = devicePixelRatio;
    m_width = m_image.width();
    m_height = m_image.height();
    m_tileColumns = (m_width + kTileWidth - 1) / kTileWidth;
    m_tileRows = (m_height + kTileHeight - 1) / kTileHeight;
    const size_t tiles = static_cast<size_t>(TileColumns()) * static_cast<size_t>(TileRows());
    m_tileVersion.assign(tiles, m_nextVersion++);
    m_copiedVersion.assign(tiles, kUnknown);
    m_damaged.assign(tiles, 1);
    m_ringTiles.assign(tiles, 0);
    m_copySource = 0;
    m_overdrawn.clear();
    m_shownCount = 0;
    // Filled when first read or drawn on: a window may be resized several
    // times before it shows anything, and pages never written cost nothing.
    if (!m_image.isNull()) m_pendingFill = fill;
    m_plainColour = fill;
}

void Surface::Fill(QRgb colour) {
    m_pendingCircles.clear(); // all covered by the fill
    if (m_image.isNull()) return;
    m_pendingFill = colour;
    m_plainColour = colour;
    m_shownCount = 0;
    MarkAllDrawn();
}

void Surface::StrokeCircle(const CircleOutline& circle, QRgb colour) {
    if (m_image.isNull()) return;
    m_plainColour.reset();
    m_pendingCircles.push_back({circle, colour});
    if (m_pendingCircles.size() >= kMaxPendingCircles) DrawPending();
}

void Surface::DrawPending() const {
    if (m_pendingCircles.empty() && !m_pendingFill) return;
    // No surface is ever made const; readers only see it through const
    // references, and what they read must have every circle on it.
    const_cast<Surface&>(*this).DrawPendingBands();
}

void Surface::DrawPendingBands() {
    const std::vector<VisibleRingPart> parts = PendingRingParts();
    // One ring alone gains nothing from bands.
    const int bandRows = parts.size() == 1 && !m_pendingFill ? m_height : kBandRows;
    for (int band = 0; band < m_height; band += bandRows) {
        const int endRow = std::min(band + bandRows, m_height);
        if (m_pendingFill) {
            for (int y = band; y < endRow; ++y) {
                auto* row = reinterpret_cast<QRgb*>(m_image.scanLine(y));
                std::fill(row, row + m_width, *m_pendingFill);
            }
        }
        for (const VisibleRingPart& part : parts) {
            DrawRingRows(part.band, m_pendingCircles[part.ring].colour, band, endRow);
        }
    }
    if (!parts.empty()) MarkRingTilesDrawn();
    m_pendingFill.reset();
    m_pendingCircles.clear();
}

// Rings around one centre (as the backdrop's all are) mostly lie over each
// other: of the activation's thousand, two thirds end up wholly hidden. Then
// only what shows of each is drawn, every pixel once.
std::vector<VisibleRingPart> Surface::PendingRingParts() const {
    std::vector<RingBand> rings;
    rings.reserve(m_pendingCircles.size());
    for (const PendingCircle& pending : m_pendingCircles) rings.push_back(pending.circle.Band());
    const bool sharedCentre = std::all_of(rings.begin(), rings.end(), [&](const RingBand& ring) {
        return ring.centreX == rings.front().centreX && ring.centreY == rings.front().centreY;
    });
    if (rings.size() > 1 && sharedCentre) {
        const int64_t centreX = rings.front().centreX, centreY = rings.front().centreY;
        const int64_t farX = std::max(centreX, m_width - 1 - centreX);
        const int64_t farY = std::max(centreY, m_height - 1 - centreY);
        return VisibleRingParts(rings, farX * farX + farY * farY);
    }
    std::vector<VisibleRingPart> parts;
    for (size_t index = 0; index < rings.size(); ++index) parts.push_back({rings[index], index});
    return parts;
}

void Surface::DrawRingRows(const RingBand& ring, QRgb colour, int firstRow, int endRow) {
    uchar* bits = m_image.bits();
    const qsizetype stride = m_image.bytesPerLine();
    const auto tileColumns = static_cast<size_t>(m_tileColumns);
    auto fillRun = [&](int y, int x0, int x1) {
        auto* row = reinterpret_cast<QRgb*>(bits + y * stride);
        std::fill(row + x0, row + x1 + 1, colour);
        const size_t rowStart = static_cast<size_t>(y / kTileHeight) * tileColumns;
        for (int column = x0 / kTileWidth; column <= x1 / kTileWidth; ++column) {
            m_ringTiles[rowStart + static_cast<size_t>(column)] = 1;
        }
    };
    ForEachRingSpan(ring, m_width, m_height, fillRun, firstRow, endRow);
}

// The rings' tiles are noted with one store a run while drawing, and get
// their new version and damage here, once each; the notes are found with
// memchr, which skips the untouched tiles many at a time.
void Surface::MarkRingTilesDrawn() {
    if (m_ringTiles.empty()) return;
    const uint64_t version = m_nextVersion++;
    uint8_t* const first = m_ringTiles.data();
    uint8_t* const end = first + m_ringTiles.size();
    auto nextNoted = [&](uint8_t* from) {
        return static_cast<uint8_t*>(std::memchr(from, 1, static_cast<size_t>(end - from)));
    };
    for (uint8_t* noted = nextNoted(first); noted != nullptr; noted = nextNoted(noted)) {
        const auto tile = static_cast<size_t>(noted - first);
        *noted++ = 0;
        m_tileVersion[tile] = version;
        m_copiedVersion[tile] = kUnknown;
        m_damaged[tile] = 1;
    }
}

void Surface::DrawText(const TextImage& text, int x, int y) {
    if (m_image.isNull() || text.glyphs.isNull()) return;
    DrawPending();
    const int surfaceWidth = width();
    const int left = x + text.offset.x();
    const int top = y + text.offset.y();
    if (!QRect(left, top, text.glyphs.width(), text.glyphs.height()).intersects(m_image.rect())) return;
    const int firstRow = std::max(0, -top);
    const int lastRow = std::min(text.glyphs.height(), height() - top) - 1;
    uchar* bits = m_image.bits();
    const qsizetype stride = m_image.bytesPerLine();
    const uchar* glyphBits = text.glyphs.constBits();
    const qsizetype glyphStride = text.glyphs.bytesPerLine();
    int touchedLeft = surfaceWidth, touchedRight = -1;
    // Past a bound on the notes, the tiles themselves are copied again.
    const bool noted = m_overdrawn.size() + text.runs.size() <= kMostOverdrawnSpans;
    const uint64_t version = m_nextVersion++;
    for (int row = firstRow; row <= lastRow; ++row) {
        const auto* source = reinterpret_cast<const QRgb*>(glyphBits + row * glyphStride);
        auto* target = reinterpret_cast<QRgb*>(bits + (top + row) * stride) + left;
        const size_t begin = row == 0 ? 0 : text.rowEnd[static_cast<size_t>(row) - 1];
        Span span{top + row, 0, -1}; // the runs of the row written so far, gaps and all
        for (size_t index = begin; index < text.rowEnd[static_cast<size_t>(row)]; ++index) {
            const TextImage::Run& run = text.runs[index];
            const int from = std::max(run.from, -left);
            const int to = std::min(run.to, surfaceWidth - left - 1);
            if (from > to) continue;
            if (run.opaque) {
                std::memcpy(target + from, source + from, static_cast<size_t>(to - from + 1) * sizeof(QRgb));
            } else {
                for (int column = from; column <= to; ++column) {
                    target[column] = BlendOver(source[column], target[column]);
                }
            }
            touchedLeft = std::min(touchedLeft, left + from);
            touchedRight = std::max(touchedRight, left + to);
            // Putting back a few untouched pixels with a run costs less than
            // another run.
            if (span.to >= 0 && left + from - span.to > kSpanGap) {
                if (noted) NoteOverdrawn(span, version);
                span.to = -1;
            }
            if (span.to < 0) span.from = left + from;
            span.to = left + to;
        }
        if (noted && span.to >= 0) NoteOverdrawn(span, version);
    }
    if (touchedRight >= touchedLeft) {
        m_plainColour.reset();
        const QRect touched(QPoint(touchedLeft, top + firstRow), QPoint(touchedRight, top + lastRow));
        if (!noted) MarkDrawnRect(touched);
        NoteShownText(text.text, touched);
    }
}

// The frame path draws the same lines after every copy: an entry that
// already holds the text only takes the line's new place.
void Surface::NoteShownText(const std::string& text, const QRect& rect) {
    if (m_shownCount == kMostShownTexts) return;
    if (m_shownCount == m_shownTexts.size()) {
        m_shownTexts.push_back({text, rect});
        m_shownTextsChanged = true;
    } else if (ShownText& entry = m_shownTexts[m_shownCount]; entry.text != text) {
        entry.text = text;
        entry.rect = rect;
        m_shownTextsChanged = true;
    } else {
        entry.rect = rect;
    }
    ++m_shownCount;
}

// Drops the lines whose glyphs lie wholly inside `covered`, keeping the
// others in order.
void Surface::ForgetShownTextsWithin(const QRect& covered) {
    size_t kept = 0;
    for (size_t index = 0; index < m_shownCount; ++index) {
        if (covered.contains(m_shownTexts[index].rect)) continue;
        if (kept != index) {
            std::swap(m_shownTexts[kept], m_shownTexts[index]);
            m_shownTextsChanged = true;
        }
        ++kept;
    }
    m_shownCount = kept;
}

bool Surface::TakeShownTextsChange() {
    const bool changed = m_shownTextsChanged || m_shownCount != m_shownCountTaken;
    m_shownTextsChanged = false;
    m_shownCountTaken = m_shownCount;
    return changed;
}

void Surface::CopyFrom(const Surface& source, int64_t copyWidth, int64_t copyHeight, QRgb outside) {
    if (m_image.isNull() || copyWidth <= 0 || copyHeight <= 0) return;
    m_plainColour.reset();
    source.DrawPending();
    DrawPending();
    const CopyRows rows{*this, source, outside};
    const int width = static_cast<int>(std::min<int64_t>(copyWidth, this->width()));
    const int height = static_cast<int>(std::min<int64_t>(copyHeight, this->height()));
    if (m_copySource != source.m_identity || m_copyOutside != outside || m_copySize != QSize(width, height)) {
        std::fill(m_copiedVersion.begin(), m_copiedVersion.end(), kUnknown);
        m_copySource = source.m_identity;
        m_copyOutside = outside;
        m_copySize = QSize(width, height);
        m_overdrawn.clear(); // every tile is copied whole
    }
    RestoreOverdrawn(rows, width, height);
    ForgetShownTextsWithin(QRect(0, 0, width, height));
    const int columns = (width + kTileWidth - 1) / kTileWidth;
    const int tileRows = (height + kTileHeight - 1) / kTileHeight;
    const bool withinSource = columns <= source.TileColumns();
    for (int row = 0; row < tileRows; ++row) {
        // Most rows hold what they held at the last copy: one comparison of
        // the whole row's versions tells.
        if (withinSource && row < source.TileRows() &&
            std::equal(&m_copiedVersion[TileIndex(0, row)], &m_copiedVersion[TileIndex(0, row)] + columns,
                       &source.m_tileVersion[source.TileIndex(0, row)])) {
            continue;
        }
        int runStart = -1;
        for (int column = 0; column <= columns; ++column) {
            bool stale = false;
            if (column < columns) {
                const bool inSource = column < source.TileColumns() && row < source.TileRows();
                const uint64_t wanted =
                    inSource ? source.m_tileVersion[source.TileIndex(column, row)] : kOutsideFill;
                const size_t tile = TileIndex(column, row);
                stale = m_copiedVersion[tile] != wanted;
                if (stale) {
                    m_copiedVersion[tile] = wanted;
                    m_damaged[tile] = 1;
                }
            }
            if (stale && runStart < 0) runStart = column;
            if (!stale && runStart >= 0) {
                CopyTileRun(rows, row, runStart, column - 1, width, height);
                runStart = -1;
            }
        }
    }
}

Surface::CopyRows::CopyRows(Surface& target, const Surface& source, QRgb outside)
    : target(target.m_image.bits()),
      targetStride(target.m_image.bytesPerLine()),
      source(source.m_image.constBits()),
      sourceStride(source.m_image.bytesPerLine()),
      sourceWidth(source.width()),
      sourceHeight(source.height()),
      outside(outside) {}

void Surface::CopyTileRun(const CopyRows& rows, int row, int firstColumn, int lastColumn, int64_t width,
                          int64_t height) {
    const int x0 = firstColumn * kTileWidth;
    const int x1 = static_cast<int>(std::min<int64_t>((lastColumn + 1) * kTileWidth, width)); // exclusive
    const int y0 = row * kTileHeight;
    const int y1 = static_cast<int>(std::min<int64_t>(y0 + kTileHeight, height));
    for (int y = y0; y < y1; ++y) CopyRowPart(rows, y, x0, x1);
}

// Notes a run of a row that text wrote, and marks its tiles changed: only
// those, so the window is sent the tiles the text touches rather than the
// whole rectangle around a line.
void Surface::NoteOverdrawn(const Span& span, uint64_t version) {
    m_overdrawn.push_back(span);
    const size_t first = TileIndex(span.from / kTileWidth, span.y / kTileHeight);
    const size_t end = TileIndex(span.to / kTileWidth, span.y / kTileHeight) + 1;
    std::fill(m_tileVersion.begin() + static_cast<ptrdiff_t>(first), m_tileVersion.begin() + static_cast<ptrdiff_t>(end),
              version);
    std::fill(m_damaged.begin() + static_cast<ptrdiff_t>(first), m_damaged.begin() + static_cast<ptrdiff_t>(end), 1);
}

// Puts back the source's pixels where text was written since the last copy,
// inside the copied rectangle.
void Surface::RestoreOverdrawn(const CopyRows& rows, int width, int height) {
    for (const Span& span : m_overdrawn) {
        if (span.y >= height || span.from >= width) continue;
        const int end = std::min(span.to + 1, width);
        CopyRowPart(rows, span.y, span.from, end);
        std::fill(m_damaged.begin() + static_cast<ptrdiff_t>(TileIndex(span.from / kTileWidth, span.y / kTileHeight)),
                  m_damaged.begin() + static_cast<ptrdiff_t>(TileIndex((end - 1) / kTileWidth, span.y / kTileHeight)) + 1,
                  1);
    }
    m_overdrawn.clear();
}

// Copies pixels [from, end) of row y from the source, `outside` where the
// source does not reach.
void Surface::CopyRowPart(const CopyRows& rows, int y, int from, int end) {
    auto* target = reinterpret_cast<QRgb*>(rows.target + y * rows.targetStride);
    int fillFrom = from;
    if (y < rows.sourceHeight) {
        const int sourceEnd = std::clamp(rows.sourceWidth, from, end); // source pixels end here
        const auto* pixels = reinterpret_cast<const QRgb*>(rows.source + y * rows.sourceStride);
        std::memcpy(target + from, pixels + from, static_cast<size_t>(sourceEnd - from) * sizeof(QRgb));
        fillFrom = sourceEnd;
    }
    std::fill(target + fillFrom, target + end, rows.outside);
    m_copiedPixels += static_cast<uint64_t>(end - from);
}

// Runs of damaged tiles in a row, joined with the same run of the rows
// above into one rectangle.
const std::vector<QRect>& Surface::TakeDamage() {
    DrawPending();
    std::vector<QRect>& rects = m_damageRects;
    // Rectangles reaching down to the row above and to this row: the index of
    // each, in the order of their runs; a row holds few.
    std::vector<size_t>& openAbove = m_openAbove;
    std::vector<size_t>& openHere = m_openHere;
    rects.clear();
    openAbove.clear();
    const QRect whole = m_image.rect();
    for (int row = 0; row < TileRows(); ++row) {
        uint8_t* const tiles = &m_damaged[TileIndex(0, row)];
        uint8_t* const end = tiles + TileColumns();
        size_t above = 0; // the first of openAbove that may still continue
        for (uint8_t* first = std::find(tiles, end, 1); first != end; first = std::find(first, end, 1)) {
            uint8_t* const last = std::find(first, end, 0);
            std::fill(first, last, 0);
            const QRect band = QRect(static_cast<int>(first - tiles) * kTileWidth, row * kTileHeight,
                                     static_cast<int>(last - first) * kTileWidth, kTileHeight).intersected(whole);
            while (above < openAbove.size() && rects[openAbove[above]].left() < band.left()) ++above;
            if (above < openAbove.size() && rects[openAbove[above]].left() == band.left() &&
                rects[openAbove[above]].right() == band.right()) {
                rects[openAbove[above]].setBottom(band.bottom());
                openHere.push_back(openAbove[above++]);
            } else {
                openHere.push_back(rects.size());
                rects.push_back(band);
            }
            first = last;
        }
        std::swap(openAbove, openHere);
        openHere.clear();
    }
    return rects;
}

void Surface::MarkDrawnRect(const QRect& rect) {
    const QRect clipped = rect.intersected(m_image.rect());
    if (clipped.isEmpty()) return;
    const uint64_t version = m_nextVersion++;
    for (int row = clipped.top() / kTileHeight; row <= clipped.bottom() / kTileHeight; ++row) {
        for (int column = clipped.left() / kTileWidth; column <= clipped.right() / kTileWidth; ++column) {
            const size_t tile = TileIndex(column, row);
            m_tileVersion[tile] = version;
            m_copiedVersion[tile] = kUnknown;
            m_damaged[tile] = 1;
        }
    }
}

void Surface::MarkAllDrawn() { MarkDrawnRect(m_image.rect()); }

} // namespace vantrel
