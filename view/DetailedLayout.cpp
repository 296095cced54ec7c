#include "view/DetailedLayout.h"

DetailedGraphLayout DetailedLayoutFor(const PlotRectangle& plot, const PlotExtents& bounds, const SoundFragment* head,
                                      uint32_t fragmentSize, uint16_t channels, uint16_t bitsPerSample) {
    const PlotExtents view = ProjectedExtents(bounds);
    // A plot without pixels gives a layout the graph draws nothing for.
    const int width = plot.width > 0 ? plot.width : 0;
    const double height = plot.height > 0 ? plot.height : 0.0;
    return {head,
            fragmentSize,
            channels,
            bitsPerSample,
            bounds.xMax,
            view.xMin,
            width > 0 ? (view.xMax - view.xMin) / width : 0,
            width,
            view.yMin,
            height > 0 ? (view.yMax - view.yMin) / height : 0};
}
