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

std::string CacheKey(const std::string& text, const FontSpec& font, OleColour colour, double dotsPerInch) {
    std::string key = text;
    key += '\0';
    key += font.name;
    key += '\0';
    key += std::to_string(font.size) + (font.bold ? "b" : "") + (font.italic ? "i" : "") +
           (font.underline ? "u" : "") + (font.strikethrough ? "s" : "");
    key += '\0';
    key += std::to_string(colour) + '@' + std::to_string(dotsPerInch);
    return key;
}

} // namespace

TextImage RenderText(const std::string& text, const FontSpec& font, OleColour colour, double dotsPerInch) {
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
    if (bounds.isEmpty()) return result;
    result.glyphs = image.copy(bounds);
    result.offset = canvas.topLeft() + bounds.topLeft();
    CutIntoRuns(result);
    return result;
}

const TextImage& TextImageCache::Get(const std::string& text, const FontSpec& font, OleColour colour,
                                     double dotsPerInch) {
    std::string key = CacheKey(text, font, colour, dotsPerInch);
    auto found = m_entries.find(key);
    if (found != m_entries.end()) return *found->second;
    if (m_entries.size() >= kCapacity) m_entries.clear();
    auto image = std::make_unique<TextImage>(RenderText(text, font, colour, dotsPerInch));
    return *m_entries.emplace(std::move(key), std::move(image)).first->second;
}

} // namespace vantrel
