#include "view/DetailedLayout.h"

DetailedGraphLayout DetailedLayoutFor(const PlotRectangle& plot, const PlotExtents& bounds, const SoundFragment* head,
                                      uint32_t fragmentSize, uint16_t channels, uint16_t bitsPerSample) {
    const PlotExtents view = ProjectedExtents(bounds);
    const int width = plot.width > 0 ? plot.width : 1;
    const int height = plot.height > 0 ? plot.height : 1;
    return {head,
            fragmentSize,
            channels,
            bitsPerSample,
            bounds.xMax,
            view.xMin,
            (view.xMax - view.xMin) / width,
            width,
            view.yMin,
            (view.yMax - view.yMin) / height};
}
