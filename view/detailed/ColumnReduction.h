// The reduction of one column stretch of the detailed graph: the frames of
// one trace that lie inside one pixel column (away from its edges), cut down
// to the vertices its pixels depend on. The rules follow the rasterizer
// model of view/detailed/RasterModel.h; the witness search, the exact
// fallback and the kinds of an end row's segments have files of their own.
// Platform-free.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "view/detailed/EndRowKinds.h"
#include "view/detailed/ExactDiamondExit.h"
#include "view/detailed/RasterModel.h"
#include "view/detailed/ReducedStrip.h"
#include "view/detailed/StripWriter.h"
#include "view/detailed/TraceGeometry.h"
#include "view/detailed/WitnessSearch.h"

// Reduces a column stretch (values[i] is frame first + i; low and high its
// extremes, first found at lowAt and highAt) to the vertices its pixels
// depend on, written in frame order.
//
// The stretch's first, smallest, largest and last frames are kept, so its
// strip crosses every row between its end rows. Each end row is handled on
// its own: a witness proves its pixel lit, and the reduced strip leaves the
// diamond the same way (a spur from the witness's inside frame to its
// outside frame and back, or the two frames' own segment when they follow
// each other). An end row without a witness, where the other one has one,
// keeps the frames the rasterizer's rounding decides on: across a row's edge
// those too near its diamond's edge to tell, at a level at its centre height
// one segment of each kind (view/detailed/EndRowKinds.h), the strip joined
// through the proven row. Otherwise the end row's frames keep their
// segments, with the frames before and after them, as long as they are few;
// beyond MaxEndRowFrames the pixel is lit (by a spur inside it) when the
// strip leaves the diamond by exact arithmetic (ExactDiamondExit.h), and the
// rasterizer's rounding is not followed there. An extreme within a sliver of a row's edge may be on
// either side of it in single precision: then the end row is the one inside
// that edge, and the frames near the edge keep their segments.
template <class Values>
void ReduceStretch(const TraceGeometry& g, const Values& values, uint64_t first, int32_t low, size_t lowAt,
                   int32_t high, size_t highAt, StripWriter& out) {
    const size_t n = values.size();
    const double s = RowSliver;
    const double column = std::floor(g.PixelX(first + n / 2));

    // Frames kept whatever else is, and the spurs that prove an end row lit.
    Spur spurs[4];  // a witness or an exact-arithmetic spur per end row, and one beyond each unsure edge
    size_t pairs[4];
    int spurCount = 0, pairCount = 0;
    // Frames whose values lie outside [innerLow, innerHigh] keep their segments.
    int32_t innerLow = INT32_MIN, innerHigh = INT32_MAX;

    struct EndRow {
        double row;
        bool unsure;  // the extreme lies within a sliver of the row's outer edge
        double edge;
    };
    const double highY = g.PixelY(high), lowY = g.PixelY(low);
    const double topEdge = std::round(highY), bottomEdge = std::round(lowY);
    const bool topUnsure = std::fabs(highY - topEdge) < s, bottomUnsure = std::fabs(lowY - bottomEdge) < s;
    const EndRow top{topUnsure ? topEdge - 1 : std::floor(highY), topUnsure, topEdge};
    const EndRow bottom{bottomUnsure ? bottomEdge : std::floor(lowY), bottomUnsure, bottomEdge};
    const bool oneRow = top.row == bottom.row;
    bool proven[2] = {false, false};

    for (int end = 0; end < (oneRow ? 1 : 2); ++end) {
        size_t in, outAt;
        proven[end] = FindWitness(g, values, first, column, end == 0 ? top.row : bottom.row, low, high, in, outAt);
        if (proven[end]) {
            if (outAt == in + 1) {
                pairs[pairCount++] = in;
                pairs[pairCount++] = outAt;
            } else {
                // Straight up or down from the inside frame to the row's edge
                // by a sliver: outside the diamond, inside the pixel.
                const double row = end == 0 ? top.row : bottom.row, cy = row + 0.5;
                const double toward = g.PixelY(values[in]) > cy ? 1.0 : -1.0;
                spurs[spurCount++] = {in, {double(first + in), 0}, {g.YAt(cy + toward * (0.5 - s)), 0}, 1};
            }
        }
        // The frames of this end row (or only those near its unsure edge)
        // keep their segments.
        if (end == 0 || oneRow) {
            if (top.unsure) innerHigh = g.LargestValueBelow(top.edge - s);
            else if (!proven[end]) innerHigh = g.LargestValueBelow(std::floor(highY - s) - s);
        }
        if (end == 1 || oneRow) {
            if (bottom.unsure) innerLow = g.SmallestValueAbove(bottom.edge + s);
            else if (!proven[end]) innerLow = g.SmallestValueAbove(std::floor(lowY + s) + 1 + s);
        }
    }

    // A stretch lying across a row's edge (a quiet trace at the height of
    // an edge) has one end row proven lit and the other not, with every
    // frame beyond the unproven row's centre height on the proven side.
    // There the strip lights the unproven row's pixel exactly when a frame
    // lies inside its diamond and the stretch ends outside it (near the
    // column's edge, unless the sound ends there): the strip leaves the
    // diamond later, upwards or downwards away from the centre height. So
    // the frames certainly outside it go, one frame certainly inside it
    // stands for all such when the stretch ends outside, and those too near its edge
    // to tell stay, with their segments: the strip is joined by corridor joins,
    // which go from a kept frame straight to the proven extreme's height,
    // level, and straight back to the next kept frame. From a frame inside
    // the diamond such a join leaves it as the strip would, from one
    // outside it stays outside (beyond the centre height, moving away), and
    // otherwise it lights only rows the stretch lights anyway.
    bool corridor = false;
    double unprovenRow = 0;
    int32_t corridorValue = 0;
    // Frames far apart in x make segments along x that may cut through the
    // diamond between two frames outside it: only where frames are packed
    // closer than a sliver does an outside frame's segment stay outside.
    const bool oneProven =
        !oneRow && proven[0] != proven[1] && !top.unsure && !bottom.unsure && g.framesPerPixel >= 1024;
    if (oneProven) {
        if (proven[0] && lowY > bottom.row + 0.5 + s) {
            corridor = true, unprovenRow = bottom.row, corridorValue = high;
        } else if (proven[1] && highY < top.row + 0.5 - s) {
            corridor = true, unprovenRow = top.row, corridorValue = low;
        }
    }
    // An end row without a witness whose frames the other, proven end row
    // reaches it from (a level at its centre height, say) keeps one segment
    // of each kind it holds and the segments of no clean kind
    // (view/detailed/EndRowKinds.h), joined through the proven row like the
    // corridor above; its extreme is passed by the kept segments.
    FrameRange ranges[MaxKeptRanges];
    int rangeCount = -1;
    const bool provenAbove = proven[0];
    if (oneProven && !corridor && (provenAbove ? highY > bottom.row + 1 + s : lowY < top.row - s)) {
        size_t kept[12];
        int keptCount = 0;
        for (size_t i : {size_t(0), n - 1, provenAbove ? highAt : lowAt}) kept[keptCount++] = i;
        for (int k = 0; k < pairCount; ++k) kept[keptCount++] = pairs[k];
        for (int k = 0; k < spurCount; ++k) kept[keptCount++] = spurs[k].at;
        const double row = provenAbove ? bottom.row : top.row;
        rangeCount = KeptRangesByKind(g, values, first, column, row, provenAbove, kept, keptCount, ranges);
        if (rangeCount >= 0) {
            corridor = true, unprovenRow = row, corridorValue = provenAbove ? high : low;
            if (provenAbove) innerLow = INT32_MIN;
            else innerHigh = INT32_MAX;
        }
    }
    // Only frames this near the column's middle may lie inside the
    // unproven row's diamond: the stretch comes no nearer its centre height
    // than its extreme on that side.
    size_t windowFrom = 0, windowTo = n;
    int32_t edgeLow = INT32_MIN, edgeHigh = INT32_MAX;  // the corridor's row: frames outside these values
    const bool acrossEdge = corridor && rangeCount < 0;
    if (acrossEdge) {
        const double nearest = std::min(std::fabs(lowY - (unprovenRow + 0.5)), std::fabs(highY - (unprovenRow + 0.5)));
        const double half = 0.5 + DiamondTestSliver - nearest;
        windowFrom = g.FrameIndexAt(column + 0.5 - half, first, n);
        windowFrom -= windowFrom > 0;
        windowTo = std::min(n, g.FrameIndexAt(column + 0.5 + half, first, n) + 3);
        if (unprovenRow == bottom.row) std::swap(edgeLow, innerLow);
        else std::swap(edgeHigh, innerHigh);
    }

    // A frame inside a run of equal values lies on the straight line
    // through its neighbours and adds nothing.
    auto adds = [&](size_t i) {
        return !(i > 0 && i + 1 < n && values[i - 1] == values[i] && values[i] == values[i + 1]);
    };
    if (innerLow != INT32_MIN || innerHigh != INT32_MAX) {
        size_t count = 0;
        values.ForEachOutside(innerLow, innerHigh, [&](size_t i) {
            if (count <= MaxEndRowFrames && adds(i)) ++count;
        });
        if (count > MaxEndRowFrames) {
            // Too many to keep: a side whose row (the end row without a
            // witness, or the row beyond an unsure edge) the strip certainly
            // leaves the diamond of by exact arithmetic is lit by a spur
            // instead. Elsewhere the frames stay: a row the strip never
            // lights cannot lose its frames without joins that would light
            // it, and a near thing is left to the rasterizer.
            const double none = -1e300;
            const double topRow = top.unsure ? top.edge : proven[0] ? none : top.row;
            const double bottomRow = bottom.unsure ? bottom.edge - 1 : proven[oneRow ? 0 : 1] ? none : bottom.row;
            bool lit[2] = {false, false};
            for (int side = 0; side < 2; ++side) {
                const double row = side == 0 ? topRow : bottomRow;
                if (row == none) continue;
                if (side == 1 && row == topRow) {
                    lit[1] = lit[0];
                    continue;
                }
                lit[side] = ExactSpur(g, values, first, column, row, spurs[spurCount]);
                if (lit[side]) ++spurCount;
            }
            if (lit[0]) innerHigh = INT32_MAX;
            if (lit[1]) innerLow = INT32_MIN;
        }
    }

    // Every frame kept whatever else is, in order: the fixed four, the
    // witness pairs and the frames the spurs leave from.
    // (The extreme in a row kept by kinds is passed by the kept segments.)
    const size_t fixed[4] = {0, rangeCount >= 0 && !provenAbove ? 0 : lowAt,
                             rangeCount >= 0 && provenAbove ? 0 : highAt, n - 1};
    size_t must[12];
    int mustCount = 0;
    for (size_t i : fixed) must[mustCount++] = i;
    for (int k = 0; k < pairCount; ++k) must[mustCount++] = pairs[k];
    for (int k = 0; k < spurCount; ++k) must[mustCount++] = spurs[k].at;
    ReducedStrip<Values> strip(g, values, first, out, must, mustCount, spurs, spurCount, corridor, corridorValue);
    if (innerLow != INT32_MIN || innerHigh != INT32_MAX) {
        values.ForEachOutside(innerLow, innerHigh, [&](size_t i) {
            if (adds(i)) strip.KeepWithSegments(i);
        });
    }
    if (acrossEdge) {
        const auto place = [&](size_t i) {
            return std::fabs(g.PixelX(first + i) - (column + 0.5)) + std::fabs(g.PixelY(values[i]) - (unprovenRow + 0.5));
        };
        // The strip leaves the diamond after an inside frame only if it goes
        // on to a frame outside it: not so where the sound (or the stretch)
        // ends inside it.
        const bool endsOutside = place(n - 1) >= 0.5 + DiamondTestSliver;
        bool insideKept = false;
        values.ForEachOutside(
            edgeLow, edgeHigh, [&](size_t i) {
                const double d = place(i);
                if (d >= 0.5 + DiamondTestSliver) return;
                if (d <= 0.5 - DiamondTestSliver) {
                    if (insideKept && endsOutside) return;
                    insideKept = true;
                }
                strip.KeepWithSegments(i);
            },
            windowFrom, windowTo);
    }
    for (int r = 0; r < rangeCount; ++r)
        for (size_t i = ranges[r].from; i <= ranges[r].to; ++i) strip.KeepUpTo(i);
    strip.Finish();
}
