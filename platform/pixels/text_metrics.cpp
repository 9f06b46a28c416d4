#include "text_metrics.h"

#include <QFontMetricsF>
#include <QImage>

namespace vantrel {
namespace {

// A paint device whose resolution turns points into the wanted pixels.
QImage DeviceAt(double dpi) {
    QImage device(1, 1, QImage::Format_ARGB32_Premultiplied);
    const int dotsPerMeter = qRound(dpi / 0.0254);
    device.setDotsPerMeterX(dotsPerMeter);
    device.setDotsPerMeterY(dotsPerMeter);
    return device;
}

} // namespace

TextExtent MeasureText(const std::string& text, const FontAttributes& font, double logicalDpi) {
    QImage device = DeviceAt(logicalDpi);
    const QFontMetricsF metrics(ToQFont(font), &device);
    return {metrics.horizontalAdvance(QString::fromStdString(text)), metrics.ascent() + metrics.descent()};
}

} // namespace vantrel
