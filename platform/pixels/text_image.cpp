#include "text_image.h"

#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

namespace vantrel {
namespace {

QImage TransparentImage(QSize size, double dotsPerInch) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const int dotsPerMeter = qRound(dotsPerInch / 0.0254);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    return image;
}

// The smallest rectangle holding every pixel with any coverage.
QRect InkBounds(const QImage& image) {
    int top = image.height(), bottom = -1, left = image.width(), right = -1;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(row[x]) == 0) continue;
            top = std::min(top, y);
            bottom = y;
            left = std::min(left, x);
            right = std::max(right, x);
        }
    }
    return bottom < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

// Cuts every row into maximal runs of opaque and of partly covered pixels.
void CutIntoRuns(TextImage& text) {
    const QImage& image = text.glyphs;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width();) {
            const int alpha = qAlpha(row[x]);
            if (alpha == 0) {
                ++x;
                continue;
            }
            const bool opaque = alpha == 255;
            const int from = x;
            while (x < image.width() && qAlpha(row[x]) != 0 && (qAlpha(row[x]) == 255) == opaque) ++x;
            text.runs.push_back({from, x - 1, opaque});
        }
        text.rowEnd.push_back(text.runs.size());
    }
}

} // namespace

TextImage RenderText(const std::string& text, const FontAttributes& font, OleColour colour, double dotsPerInch) {
    const QString line = QString::fromStdString(text);
    const QFont qfont = ToQFont(font);
    QImage probe = TransparentImage(QSize(1, 1), dotsPerInch);
    const QFontMetricsF metrics(qfont, &probe);
    // Italic glyphs and underlines can reach past the advance and the cell,
    // so the canvas is the cell grown by the ink's own bounds and a margin.
    const QRectF cell(0, 0, metrics.horizontalAdvance(line), metrics.ascent() + metrics.descent());
    const QRectF ink = metrics.boundingRect(line).translated(0, metrics.ascent());
    const QRect canvas = cell.united(ink).toAlignedRect().adjusted(-2, -2, 2, 2);

    QImage image = TransparentImage(canvas.size(), dotsPerInch);
    {
        QPainter painter(&image);
        painter.setFont(qfont);
        painter.setPen(QColor::fromRgb(ToPixel(colour)));
        painter.drawText(QPointF(-canvas.left(), metrics.ascent() - canvas.top()), line);
    }
    const QRect bounds = InkBounds(image);
    TextImage result;
    result.text = text;
    if (bounds.isEmpty()) return result;
    result.glyphs = image.copy(bounds);
    result.offset = canvas.topLeft() + bounds.topLeft();
    CutIntoRuns(result);
    return result;
}

size_t TextImageCache::KeyHash::operator()(const KeyView& key) const {
    size_t hash = std::hash<std::string_view>{}(key.text);
    auto mix = [&hash](size_t value) { hash ^= value + 0x9e3779b97f4a7c15ull + (hash << 6) + (hash >> 2); };
    mix(std::hash<std::string_view>{}(key.font.name));
    mix(std::hash<float>{}(key.font.size));
    mix((key.font.bold ? 1u : 0u) | (key.font.italic ? 2u : 0u) | (key.font.underline ? 4u : 0u) |
        (key.font.strikethrough ? 8u : 0u));
    mix(key.colour);
    mix(std::hash<double>{}(key.dotsPerInch));
    return hash;
}

const TextImage& TextImageCache::Get(const std::string& text, const FontAttributes& font, OleColour colour,
                                     double dotsPerInch) {
    const KeyView wanted{text, font, colour, dotsPerInch};
    if (auto found = m_entries.find(wanted); found != m_entries.end()) return *found->second;
    if (m_entries.size() >= kCapacity) m_entries.clear();
    auto image = std::make_unique<TextImage>(RenderText(text, font, colour, dotsPerInch));
    return *m_entries.emplace(Key{text, font, colour, dotsPerInch}, std::move(image)).first->second;
}

} // namespace vantrel
