// The exact fallback of the detailed graph's reduction: where an end row
// without a witness would keep too many frames for the rasterizer's
// rounding to decide on, exact arithmetic decides whether its pixel is lit,
// and a spur inside the pixel lights it. A pixel there may differ from the
// strip through every frame (tests/pixel allows that where it says so).
// Platform-free; the rasterizer model is in view/detailed/RasterModel.h.
#pragma once
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "view/detailed/RasterModel.h"
#include "view/detailed/ReducedStrip.h"
#include "view/detailed/TraceGeometry.h"

// Frames an end row keeps when no witness proves its pixel lit, beyond which
// the stretch takes the exact-arithmetic answer instead (LeavesDiamond):
// keeps what a column costs bounded whatever the sound.
constexpr size_t MaxEndRowFrames = 64;

// Whether the strip through every frame of the stretch leaves the pixel's
// diamond after entering it, by exact arithmetic: the diamond-exit rule
// without the rasterizer's rounding, answered only where a frame lies inside
// the diamond, and a later one outside it, by more than that rounding could
// move them (ExactMargin). Only for stretches where no witness is found and
// too many frames would have to be kept to leave the question to the
// rasterizer; false where the answer is not certain.
constexpr double ExactMargin = 1.0 / 1024;
template <class Values>
bool LeavesDiamond(const TraceGeometry& g, const Values& values, uint64_t first, double column, double row) {
    const double cx = column + 0.5, cy = row + 0.5;
    const ValueRange nearRow = ValuesBetween(g, row - ExactMargin, row + 1 + ExactMargin);
    bool entered = false;
    for (size_t i = 0; i < values.size(); ++i) {
        const int32_t v = values[i];
        if (!nearRow.Holds(v)) {
            if (entered) return true;
            continue;
        }
        const double dy = std::fabs(g.PixelY(v) - cy), d = std::fabs(g.PixelX(first + i) - cx) + dy;
        // Inside, clear of the centre height, which the snap can move a
        // vertex across, and of the diamond's tips: there the rasterizer's
        // rounding decides, as the pixel table showed.
        if (d < 0.5 - ExactMargin && dy > RowSliver && dy < 0.4) entered = true;
        else if (entered && d > 0.5 + ExactMargin) return true;
    }
    return false;
}

// The spur that lights row `row`'s pixel when the strip through every frame
// of the stretch certainly leaves its diamond (LeavesDiamond): from a point
// inside the diamond to one outside it, inside the pixel, both clear of the
// centre, at a frame a quarter of a pixel from the column's middle. False,
// and spur untouched, otherwise.
template <class Values>
bool ExactSpur(const TraceGeometry& g, const Values& values, uint64_t first, double column, double row, Spur& spur) {
    if (!LeavesDiamond(g, values, first, column, row)) return false;
    const size_t n = values.size();
    for (size_t at : {n / 4, 3 * n / 4}) {
        const double dx = std::fabs(g.PixelX(first + at) - (column + 0.5));
        if (dx < 0.05 || dx > 0.4) continue;
        const double cy = row + 0.5;
        spur = {at, {double(first + at), double(first + at)}, {g.YAt(cy - 0.05), g.YAt(cy + 0.5 - 2 * RowSliver)}, 2};
        return true;
    }
    return false;
}
