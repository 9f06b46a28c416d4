#pragma once

#include "circle_outline.h"
#include "damage_grid.h"
#include "pending_rings.h"
#include "text_image.h"
#include "tile_grid.h"
#include "tile_versions.h"

#include <QImage>
#include <QRect>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vantrel {

// A form's persistent drawing surface: an opaque 32-bit image of the client
// area in device pixels. Besides the pixels it remembers, in tiles, what has
// changed, for two readers:
//  - a block copy from another surface skips the tiles it has copied before
//    and neither side has drawn on since, so copying a whole backdrop costs
//    only what changed since the last copy;
//  - the window showing the surface asks for the tiles changed since it last
//    showed it (TakeDamage), so a refresh sends only those.
// Either way the pixels that result are exactly those of a full copy. The
// tiles' versions (TileVersions) serve the first, the damage grid
// (DamageGrid) the second; rings asked for wait in PendingRings until
// something reads or draws over the pixels.
//
// Text drawn over a copy is the exception to tiles: the pixels it wrote are
// noted, and the next copy puts back just those. Lines of text move every
// frame, and most of the tiles they touch are bare backdrop.
//
// It also remembers which lines of text it shows, for the window to tell a
// screen reader: a line counts from when some of its glyphs are drawn on
// the surface until a fill or a block copy covers all it drew.
class Surface {
public:
    static constexpr int kTileWidth = TileGrid::kTileWidth; // device pixels
    static constexpr int kTileHeight = TileGrid::kTileHeight;

    // `pixels`, when of that size and 32-bit RGB, is the memory to draw in
    // (the window's own, shared with the display server); else the surface
    // takes memory of its own.
    Surface(QSize devicePixels, double devicePixelRatio, QRgb fill, QImage pixels = {});

    // Takes an image of a new size, filled with one colour (when it is first
    // read or drawn on, as a fill is); `pixels` as for the constructor.
    void Reset(QSize devicePixels, double devicePixelRatio, QRgb fill, QImage pixels = {});

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    double DevicePixelRatio() const { return m_devicePixelRatio; }
    // The pixels, with everything asked for so far drawn: reading them
    // draws what is pending first.
    const QImage& Image() {
        DrawPending();
        return m_image;
    }

    // A fill and the circles after it are drawn in order, but not
    // necessarily at once: they are drawn together, band of rows by band, so
    // that each band's pixels stay in the cache, and of many circles around
    // one centre only what the later ones leave showing. Anything that reads
    // or draws over the pixels draws what is pending first, so the result is
    // that of drawing each one when asked.
    void Fill(QRgb colour);
    void StrokeCircle(const CircleOutline& circle, QRgb colour);
    // Blends a rendered line with its text cell's top left corner at (x, y).
    void DrawText(const TextImage& text, int x, int y);
    // Replaces the rectangle (0, 0, width, height) with the same rectangle of
    // source; where the rectangle reaches past source, with `outside`.
    // Nothing outside either surface is read or written. The source draws
    // what is pending on it first.
    void CopyFrom(Surface& source, int64_t width, int64_t height, QRgb outside);

    // The parts changed since the last call, as rectangles in device pixels;
    // the surface's own, valid until the next call.
    const std::vector<QRect>& TakeDamage();

    // A line of text the surface shows, and the part of the surface its
    // glyphs cover (device pixels).
    struct ShownText {
        std::string text;
        QRect rect;
    };
    // The lines shown, in the order they were drawn; at most kMostShownTexts.
    std::span<const ShownText> ShownTexts() const { return {m_shownTexts.data(), m_shownCount}; }
    // Whether the lines shown, as texts in order, may differ from those at
    // the last call: a line came or went (a line that only moved is the
    // same). Never false when they differ; a block copy that covers some of
    // the lines but not all may give a true for the same texts.
    bool TakeShownTextsChange();

    // The one colour the surface holds when nothing but a fill has been
    // asked of it since it was made or last filled.
    std::optional<QRgb> PlainColour() const { return m_plainColour; }

    // How many device pixels the block copies have written since the
    // surface was made; benchmarks and tests read it.
    uint64_t CopiedPixels() const { return m_copiedPixels; }

private:
    // The pixels text has written over copied tiles since the last copy.
    struct Span {
        int y, from, to; // device pixels, `to` included
    };
    // The columns of the surface a drawing wrote, none yet when right < left.
    struct Columns {
        int left, right;
    };
    // One row of a text's glyphs and the surface's row it is drawn on: the
    // surface's pixel under the glyphs' first, at column `left` of row `y`.
    struct TextRow {
        const QRgb* glyphs;
        QRgb* target;
        int left, y;
    };
    // The rows of both images in a block copy, taken once: the images' own
    // row accessors check the row and the sharing of the pixels each call.
    struct CopyRows {
        CopyRows(Surface& target, const Surface& source, QRgb outside);
        uchar* target;
        qsizetype targetStride;
        const uchar* source;
        qsizetype sourceStride;
        int sourceWidth, sourceHeight;
        QRgb outside;
    };

    void DrawPending();
    Columns BlendTextRow(const TextImage& text, int row, TextRow line, std::optional<uint64_t> noteVersion);
    void MarkDrawnRect(const QRect& rect);
    void NoteOverdrawn(const Span& span, uint64_t version);
    void RestoreOverdrawn(const CopyRows& rows, int width, int height);
    void CopyStaleTiles(const Surface& source, const CopyRows& rows, QSize size);
    void CopyStaleTilesOfRow(const Surface& source, const CopyRows& rows, int row, int columns, QSize size);
    void CopyTileRun(const CopyRows& rows, int row, int firstColumn, int lastColumn, QSize size);
    void CopyRowPart(const CopyRows& rows, int y, int from, int end);
    void NoteShownText(const std::string& text, const QRect& rect);
    void ForgetShownTextsWithin(const QRect& covered);

    QImage m_image;
    // The image's size and its tile grid, kept here because the per-frame
    // loops ask for them on every tile.
    int m_width = 0;
    int m_height = 0;
    TileGrid m_grid;
    double m_devicePixelRatio = 1.0;
    TileVersions m_versions;
    DamageGrid m_damage;    // changed since the last TakeDamage
    PendingRings m_pending; // asked for but not drawn yet
    static constexpr size_t kMostOverdrawnSpans = 1 << 16;
    static constexpr int kSpanGap = 16; // device pixels of a row put back with the runs around them
    std::vector<Span> m_overdrawn;
    uint64_t m_copiedPixels = 0;
    std::optional<QRgb> m_plainColour;
    // The lines shown are the first m_shownCount entries; the entries past
    // them keep what they last held, so that a frame which draws the same
    // lines again, as each copy forgets them, writes no text at all.
    static constexpr size_t kMostShownTexts = 256;
    std::vector<ShownText> m_shownTexts;
    size_t m_shownCount = 0;
    size_t m_shownCountTaken = 0;    // m_shownCount at the last TakeShownTextsChange
    bool m_shownTextsChanged = true; // an entry took another text since then
};

} // namespace vantrel
