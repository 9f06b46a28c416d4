#include "block_copy.h"

#include "service_monitor.h"

namespace vantrel {

int32_t BitBlt(HDC destination, int32_t x, int32_t y, int32_t width, int32_t height, HDC source, int32_t xSrc,
               int32_t ySrc, uint32_t rasterOperation) {
    if (destination == nullptr || source == nullptr || destination->surface == nullptr ||
        source->surface == nullptr) {
        return 0;
    }
    if (destination->monitor != nullptr && destination->monitor->ShouldFail(Service::BlockCopy)) return 0;
    if (rasterOperation != SRCCOPY || x != 0 || y != 0 || xSrc != 0 || ySrc != 0) return 0;
    destination->surface->CopyFrom(*source->surface, width, height, ToPixel(destination->background));
    return 1;
}

} // namespace vantrel
