#include "surface.h"

#include <algorithm>
#include <cstring>

namespace vantrel {
namespace {

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

// Writes pixels [from, to] of one row of a text's glyphs over the target's.
void BlendRun(const TextImage::Run& run, const QRgb* source, QRgb* target, int from, int to) {
    if (run.opaque) {
        std::memcpy(target + from, source + from, static_cast<size_t>(to - from + 1) * sizeof(QRgb));
        return;
    }
    for (int column = from; column <= to; ++column) target[column] = BlendOver(source[column], target[column]);
}

} // namespace

Surface::Surface(QSize devicePixels, double devicePixelRatio, QRgb fill, QImage pixels) {
    Reset(devicePixels, devicePixelRatio, fill, std::move(pixels));
}

void Surface::Reset(QSize devicePixels, double devicePixelRatio, QRgb fill, QImage pixels) {
    const bool fits = !pixels.isNull() && pixels.size() == devicePixels && pixels.format() == QImage::Format_RGB32;
    m_image = fits ? std::move(pixels) : QImage(devicePixels.expandedTo(QSize(0, 0)), QImage::Format_RGB32);
    m_image.setDevicePixelRatio(devicePixelRatio);
    m_devicePixelRatio = devicePixelRatio;
    m_width = m_image.width();
    m_height = m_image.height();
    m_grid = TileGrid::Covering(m_width, m_height);
    m_versions.Reset(m_grid);
    m_damage.Reset(m_grid);
    m_pending.Reset(m_grid);
    m_overdrawn.clear();
    m_shownCount = 0;
    // Filled when first read or drawn on: a window may be resized several
    // times before it shows anything, and pages never written cost nothing.
    if (!m_image.isNull()) m_pending.Fill(fill);
    m_plainColour = fill;
}

void Surface::Fill(QRgb colour) {
    if (m_image.isNull()) return;
    m_pending.Fill(colour);
    m_plainColour = colour;
    m_shownCount = 0;
    MarkDrawnRect(m_image.rect());
}

void Surface::StrokeCircle(const CircleOutline& circle, QRgb colour) {
    if (m_image.isNull()) return;
    m_plainColour.reset();
    if (m_pending.Add(circle, colour)) DrawPending();
}

// The rings' tiles get their new version and damage here, once each.
void Surface::DrawPending() {
    if (m_pending.empty() || !m_pending.DrawInto(m_image)) return;
    const uint64_t version = m_versions.NewVersion();
    m_pending.TakeRingTiles([&](size_t tile) {
        m_versions.Drawn(tile, version);
        m_damage.Mark(tile);
    });
}

void Surface::DrawText(const TextImage& text, int x, int y) {
    if (m_image.isNull() || text.glyphs.isNull()) return;
    DrawPending();
    const int left = x + text.offset.x();
    const int top = y + text.offset.y();
    if (!QRect(QPoint(left, top), text.glyphs.size()).intersects(m_image.rect())) return;
    const int firstRow = std::max(0, -top);
    const int lastRow = std::min(text.glyphs.height(), Height() - top) - 1;
    uchar* const bits = m_image.bits();
    const qsizetype stride = m_image.bytesPerLine();
    const uchar* const glyphBits = text.glyphs.constBits();
    const qsizetype glyphStride = text.glyphs.bytesPerLine();
    // Past a bound on the notes, the tiles themselves are copied again.
    const bool noted = m_overdrawn.size() + text.runs.size() <= kMostOverdrawnSpans;
    const uint64_t version = m_versions.NewVersion();
    const std::optional<uint64_t> noteVersion = noted ? std::optional(version) : std::nullopt;
    Columns touched{Width(), -1};
    for (int row = firstRow; row <= lastRow; ++row) {
        const TextRow line{reinterpret_cast<const QRgb*>(glyphBits + row * glyphStride),
                           reinterpret_cast<QRgb*>(bits + (top + row) * stride) + left, left, top + row};
        const Columns wrote = BlendTextRow(text, row, line, noteVersion);
        touched = {std::min(touched.left, wrote.left), std::max(touched.right, wrote.right)};
    }
    if (touched.right < touched.left) return;
    m_plainColour.reset();
    const QRect rect(QPoint(touched.left, top + firstRow), QPoint(touched.right, top + lastRow));
    if (!noted) MarkDrawnRect(rect);
    NoteShownText(text.text, rect);
}

// Blends row `row` of the text's glyphs onto the surface and returns the
// columns it wrote. With a `noteVersion`, notes the pixels written as
// overdrawn runs of that version.
Surface::Columns Surface::BlendTextRow(const TextImage& text, int row, TextRow line,
                                       std::optional<uint64_t> noteVersion) {
    const int width = m_width;
    Columns wrote{width, -1};
    const size_t begin = row == 0 ? 0 : text.rowEnd[static_cast<size_t>(row) - 1];
    const size_t end = text.rowEnd[static_cast<size_t>(row)];
    Span span{line.y, 0, -1}; // the runs of the row written so far, gaps and all
    for (size_t index = begin; index < end; ++index) {
        const TextImage::Run& run = text.runs[index];
        const int from = std::max(run.from, -line.left);
        const int to = std::min(run.to, width - line.left - 1);
        if (from > to) continue;
        BlendRun(run, line.glyphs, line.target, from, to);
        wrote.left = std::min(wrote.left, line.left + from);
        wrote.right = std::max(wrote.right, line.left + to);
        // Putting back a few untouched pixels with a run costs less than
        // another run.
        if (span.to >= 0 && line.left + from - span.to > kSpanGap) {
            if (noteVersion) NoteOverdrawn(span, *noteVersion);
            span.to = -1;
        }
        if (span.to < 0) span.from = line.left + from;
        span.to = line.left + to;
    }
    if (noteVersion && span.to >= 0) NoteOverdrawn(span, *noteVersion);
    return wrote;
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

void Surface::CopyFrom(Surface& source, int64_t copyWidth, int64_t copyHeight, QRgb outside) {
    if (m_image.isNull() || copyWidth <= 0 || copyHeight <= 0) return;
    m_plainColour.reset();
    source.DrawPending();
    DrawPending();
    const CopyRows rows{*this, source, outside};
    const QSize size(static_cast<int>(std::min<int64_t>(copyWidth, Width())),
                     static_cast<int>(std::min<int64_t>(copyHeight, Height())));
    if (m_versions.BeginCopy(source.m_versions, size, outside)) m_overdrawn.clear(); // every tile is copied whole
    RestoreOverdrawn(rows, size.width(), size.height());
    ForgetShownTextsWithin(QRect(QPoint(), size));
    CopyStaleTiles(source, rows, size);
}

Surface::CopyRows::CopyRows(Surface& target, const Surface& source, QRgb outside)
    : target(target.m_image.bits()),
      targetStride(target.m_image.bytesPerLine()),
      source(source.m_image.constBits()),
      sourceStride(source.m_image.bytesPerLine()),
      sourceWidth(source.Width()),
      sourceHeight(source.Height()),
      outside(outside) {}

// Copies the tiles of the copied rectangle that hold other than the
// source's tiles as they are now.
void Surface::CopyStaleTiles(const Surface& source, const CopyRows& rows, QSize size) {
    const TileGrid copied = TileGrid::Covering(size.width(), size.height());
    for (int row = 0; row < copied.rows; ++row) {
        // Most rows hold what they held at the last copy: one comparison of
        // the whole row's versions tells.
        if (m_versions.RowCopied(source.m_versions, row, copied.columns)) continue;
        CopyStaleTilesOfRow(source, rows, row, copied.columns, size);
    }
}

// Copies the stale tiles of the row's first `columns`, run of tiles by run.
void Surface::CopyStaleTilesOfRow(const Surface& source, const CopyRows& rows, int row, int columns, QSize size) {
    int runStart = -1;
    for (int column = 0; column <= columns; ++column) {
        const bool stale = column < columns && m_versions.TakeStale(source.m_versions, column, row);
        if (stale) m_damage.Mark(m_grid.Index(column, row));
        if (stale && runStart < 0) runStart = column;
        if (!stale && runStart >= 0) {
            CopyTileRun(rows, row, runStart, column - 1, size);
            runStart = -1;
        }
    }
}

void Surface::CopyTileRun(const CopyRows& rows, int row, int firstColumn, int lastColumn, QSize size) {
    const int x0 = firstColumn * kTileWidth;
    const int x1 = std::min((lastColumn + 1) * kTileWidth, size.width()); // exclusive
    const int y0 = row * kTileHeight;
    const int y1 = std::min(y0 + kTileHeight, size.height());
    for (int y = y0; y < y1; ++y) CopyRowPart(rows, y, x0, x1);
}

// Notes a run of a row that text wrote, and marks its tiles changed: only
// those, so the window is sent the tiles the text touches rather than the
// whole rectangle around a line.
void Surface::NoteOverdrawn(const Span& span, uint64_t version) {
    m_overdrawn.push_back(span);
    const size_t first = m_grid.IndexAt(span.from, span.y);
    const size_t end = m_grid.IndexAt(span.to, span.y) + 1;
    m_versions.Overdrawn(first, end, version);
    m_damage.Mark(first, end);
}

// Puts back the source's pixels where text was written since the last copy,
// inside the copied rectangle.
void Surface::RestoreOverdrawn(const CopyRows& rows, int width, int height) {
    for (const Span& span : m_overdrawn) {
        if (span.y >= height || span.from >= width) continue;
        const int end = std::min(span.to + 1, width);
        CopyRowPart(rows, span.y, span.from, end);
        m_damage.Mark(m_grid.IndexAt(span.from, span.y), m_grid.IndexAt(end - 1, span.y) + 1);
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

const std::vector<QRect>& Surface::TakeDamage() {
    DrawPending();
    return m_damage.Take(m_image.rect());
}

void Surface::MarkDrawnRect(const QRect& rect) {
    const QRect clipped = rect.intersected(m_image.rect());
    if (clipped.isEmpty()) return;
    const uint64_t version = m_versions.NewVersion();
    for (int row = clipped.top() / kTileHeight; row <= clipped.bottom() / kTileHeight; ++row) {
        for (int column = clipped.left() / kTileWidth; column <= clipped.right() / kTileWidth; ++column) {
            const size_t tile = m_grid.Index(column, row);
            m_versions.Drawn(tile, version);
            m_damage.Mark(tile);
        }
    }
}

} // namespace vantrel
