#include "frame_path.h"

#include <cmath>

namespace vantrel {
namespace {

// The logical rectangle that covers a rectangle of device pixels.
QRect LogicalRect(const QRect& device, double ratio) {
    const int left = static_cast<int>(std::floor(device.left() / ratio));
    const int top = static_cast<int>(std::floor(device.top() / ratio));
    const int right = static_cast<int>(std::ceil((device.right() + 1) / ratio));
    const int bottom = static_cast<int>(std::ceil((device.bottom() + 1) / ratio));
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

} // namespace

QRegion LogicalRegion(const std::vector<QRect>& devicePixels, double devicePixelRatio) {
    QRegion region;
    for (const QRect& rect : devicePixels) region += LogicalRect(rect, devicePixelRatio);
    return region;
}

} // namespace vantrel
