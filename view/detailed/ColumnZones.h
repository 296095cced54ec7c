// The pixel columns of the detailed graph as zones of frames: the frames
// well inside a column, which are merged into one stretch, and those within
// a sliver of a column edge, which are not (see view/detailed/RasterModel.h).
// Platform-free.
#pragma once
#include <cmath>
#include <cstdint>

#include "view/detailed/RasterModel.h"

// Column j of the viewport begins at plot x viewLeft + j x framesPerPixel;
// the edge zone around its left edge reaches EdgeMargin before it and
// EdgeSnap + EdgeMargin after it.
class ColumnZones {
public:
    ColumnZones(double viewLeft, double framesPerPixel, int viewportWidth)
        : left_(viewLeft),
          perPixel_(framesPerPixel),
          before_(EdgeMargin(viewportWidth) * framesPerPixel),
          after_((EdgeSnap + EdgeMargin(viewportWidth)) * framesPerPixel) {}

    // The zone holding frame f: its end (exclusive) and whether its frames
    // are merged.
    void At(uint64_t f, uint64_t& end, bool& merged) const {
        const double column = std::floor((double(f) - left_) / perPixel_);
        const uint64_t edgeEnd = EdgeZoneEnd(column);
        if (f < edgeEnd) {
            end = edgeEnd;
            merged = false;
            return;
        }
        const uint64_t nextStart = EdgeZoneStart(column + 1);
        if (f < nextStart) {
            end = nextStart;
            merged = true;
            return;
        }
        end = EdgeZoneEnd(column + 1);
        merged = false;
        if (end <= f) end = f + 1;  // rounding: at least this frame
    }

private:
    // First frame of the zone around the edge of column j, and the first
    // frame after it. Rounded outwards, so a frame on the zone's border is
    // in it.
    uint64_t EdgeZoneStart(double j) const { return Clamp(std::floor(left_ + j * perPixel_ - before_)); }
    uint64_t EdgeZoneEnd(double j) const { return Clamp(std::ceil(left_ + j * perPixel_ + after_) + 1); }
    static uint64_t Clamp(double f) { return f <= 0 ? 0 : f >= 1.8e19 ? UINT64_MAX : uint64_t(f); }

    double left_, perPixel_, before_, after_;
};
