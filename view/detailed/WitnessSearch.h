// The witness search of the detailed graph's reduction: the frames that
// prove an end row's pixel of a column stretch lit, so that the reduced
// strip can leave out every other frame of that row. The rule follows the
// rasterizer model of view/detailed/RasterModel.h. Platform-free.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "view/detailed/RasterModel.h"
#include "view/detailed/TraceGeometry.h"

// A witness for one pixel (see RasterModel.h): frame `inside` certainly inside
// the pixel's diamond (and more than two slivers from its middle column) and
// frame `outside`, later in the stretch, certainly outside it, every frame
// between them clear of the centre height. low and high are the stretch's
// extremes.
//
// The outside frames are the rare ones where a trace stays near the row
// (beyond the row, or within it at least half a pixel less their distance
// from the centre height away from the column's middle): the search looks
// for them, passing over the sub-blocks whose extremes and place in the
// column rule them out, and from each looks back for an inside frame, as
// far as the outside frame before it. It searches the column's right half,
// where a strip leaves the diamond towards the next column, then its left.
template <class Values>
bool FindWitness(const TraceGeometry& g, const Values& values, uint64_t first, double column, double row,
                 int32_t low, int32_t high, size_t& inside, size_t& outside) {
    const double s = RowSliver, cx = column + 0.5, cy = row + 0.5;
    const size_t n = values.size();
    // Values certainly in this row, and those clear of its centre height too.
    const ValueRange inRow = ValuesBetween(g, row + s, row + 1 - s);
    const ValueRange below = ValuesBetween(g, row - 2, cy - s), above = ValuesBetween(g, cy + s, row + 3);
    const ValueRange nearRow = ValuesBetween(g, row - s, row + 1 + s);
    if (inRow.low > inRow.high) return false;
    const auto clear = [&](int32_t v) { return below.Holds(v) || above.Holds(v); };
    // Inside frames lie only where the diamond reaches as near its centre
    // height as the stretch comes (all of it, when the stretch passes that
    // height): an outside frame before them, or after the first outside
    // frame beyond them, has none to look back to.
    const double lowY = g.PixelY(low), highY = g.PixelY(high);
    const double nearest = highY < cy ? cy - highY : lowY > cy ? lowY - cy : 0;
    const double half = 0.5 - DiamondTestSliver - nearest;
    if (half <= 2 * s) return false;
    size_t insideFrom = g.FrameIndexAt(cx - half, first, n);
    insideFrom -= insideFrom > 0;
    const size_t insideTo = std::min(n, g.FrameIndexAt(cx + half, first, n) + 2);

    // Without a frame there in the row and clear of its centre height (a
    // level at that height, say) there is no inside frame: one plain pass
    // tells.
    const ValueRange lowerHalf{inRow.low, below.high}, upperHalf{above.low, inRow.high};
    bool candidate = false;
    values.ForEachBlock(insideFrom, insideTo, [&](size_t start, size_t count, int32_t min, int32_t max) {
        // Beyond the row, or all within a sliver of its centre height.
        if (max < inRow.low || min > inRow.high || (min > below.high && max < above.low)) return false;
        return candidate = values.ForEachPiece(start, start + count, [&](size_t, const int32_t* v, size_t k) {
            bool any = false;
            for (size_t i = 0; i < k; ++i) any |= lowerHalf.Holds(v[i]) | upperHalf.Holds(v[i]);
            return any;
        });
    });
    if (!candidate) return false;
    const auto isInside = [&](size_t i, int32_t v) {
        if (!clear(v) || !inRow.Holds(v)) return false;
        // Room for a spur straight up or down from here to outside the
        // diamond, inside the row.
        const double dx = std::fabs(g.PixelX(first + i) - cx), dy = std::fabs(g.PixelY(v) - cy);
        return dx + dy <= 0.5 - DiamondTestSliver && dx > 2 * s;
    };
    // Frames far apart in x make segments along x, whose exit from the
    // diamond this search does not follow: there only a frame's own next
    // one serves.
    const size_t lookBackLimit = g.framesPerPixel < 1024 ? 1 : SIZE_MAX;

    const double yPerValue = g.PixelY(1) - g.PixelY(0), yAtZero = g.PixelY(0);
    bool found = false;
    auto search = [&](size_t from, size_t to) {
        size_t previousOutside = 0;  // where looking back stops
        values.ForEachBlock(std::max(from, insideFrom), to, [&](size_t start, size_t count, int32_t min, int32_t max) {
            // Values that cannot be outside anywhere in this block.
            const double dxMost = std::max(std::fabs(g.PixelX(first + start) - cx),
                                           std::fabs(g.PixelX(first + start + count - 1) - cx));
            const double halfHeight = 0.5 + s - dxMost;  // nearer the centre height than this: not outside
            if (halfHeight <= 0) return false;  // (the stretch holds no such block away from its edges)
            // First by the block's extremes, with a multiplication for the
            // division (a few units in the last place against a sliver).
            if (std::max(std::fabs(min * yPerValue + yAtZero - cy), std::fabs(max * yPerValue + yAtZero - cy)) <
                halfHeight - 2 * s)
                return false;
            const ValueRange within = ValuesBetween(g, cy - halfHeight + s, cy + halfHeight - s);
            if (min >= within.low && max <= within.high) return false;
            // A block wholly beyond the row holds only outside frames and no
            // inside one: its first frame is the one to look back from.
            const bool beyond = max < nearRow.low || min > nearRow.high;
            const auto outsideFrames = [&](size_t at, const int32_t* piece, size_t count) {
                for (size_t j = at; j < at + count; ++j) {
                    const int32_t v = piece[j - at];
                    if (within.Holds(v)) continue;
                    if (nearRow.Holds(v) &&
                        PlaceInDiamond(g.PixelX(first + j), g.PixelY(v), cx, cy) != DiamondPlace::Outside)
                        continue;
                    // Frame j is outside: an inside frame before it, with only
                    // frames clear of the centre height between, proves the pixel.
                    for (size_t k = j, steps = 0; k > std::max(previousOutside, insideFrom) && steps < lookBackLimit;
                         ++steps) {
                        const int32_t u = values[--k];
                        if (isInside(k, u)) {
                            inside = k;
                            outside = j;
                            return found = true;
                        }
                        if (!clear(u)) break;
                    }
                    previousOutside = j;
                    if (j >= insideTo) return true;
                }
                return false;
            };
            if (values.ForEachPiece(start, beyond ? start + 1 : start + count, outsideFrames)) return true;
            if (beyond) previousOutside = start + count - 1;
            return false;
        });
        return found;
    };
    return search(n / 2, n) || search(0, n / 2);
}
