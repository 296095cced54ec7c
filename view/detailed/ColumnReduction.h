// The reduction of one column stretch of the detailed graph: the frames of
// one trace that lie inside one pixel column (away from its edges), cut down
// to the vertices its pixels depend on. The rules follow the rasterizer
// model of view/detailed/RasterModel.h. Platform-free.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "view/detailed/DetailedGraph.h"
#include "view/detailed/EndRowKinds.h"
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

// Where one trace's vertices go: its strip, handed on in pieces as it grows
// when the caller takes them that way.
class StripWriter {
public:
    using PieceSink = std::function<void(int, std::vector<double>&)>;
    StripWriter(std::vector<double>& strip, int channel, const PieceSink& piece)
        : strip_(strip), channel_(channel), piece_(piece) {}

    void Add(double x, double y) {
        strip_.push_back(x);
        strip_.push_back(y);
        if (piece_ && strip_.size() >= 2 * StripPieceVertices) {
            piece_(channel_, strip_);
            // The next piece of the strip starts where this one ended.
            strip_.erase(strip_.begin(), strip_.end() - 2);
        }
    }
    // The trace is complete: what is left goes on too, so that each trace
    // is drawn whole before the next one starts.
    void Finish() {
        if (piece_ && strip_.size() >= 4) piece_(channel_, strip_);
        if (piece_) strip_.clear();
    }

private:
    std::vector<double>& strip_;
    int channel_;
    const PieceSink& piece_;
};

// Frames an end row keeps when no witness proves its pixel lit, beyond which
// the stretch takes the exact-arithmetic answer instead (LeavesDiamond):
// keeps what a column costs bounded whatever the sound.
constexpr size_t MaxEndRowFrames = 64;

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
// strip leaves the diamond by exact arithmetic, and the rasterizer's
// rounding is not followed there. An extreme within a sliver of a row's edge may be on
// either side of it in single precision: then the end row is the one inside
// that edge, and the frames near the edge keep their segments.
template <class Values>
void ReduceStretch(const TraceGeometry& g, const Values& values, uint64_t first, int32_t low, size_t lowAt,
                   int32_t high, size_t highAt, StripWriter& out) {
    const size_t n = values.size();
    const double s = RowSliver;
    const double column = std::floor(g.PixelX(first + n / 2));

    // Frames kept whatever else is, and the spurs that prove an end row lit.
    struct Spur {
        size_t at;
        double x[2], y[2];
        int points;
    };
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
                lit[side] = LeavesDiamond(g, values, first, column, row);
                if (!lit[side]) continue;
                // A spur inside the pixel from a point inside its diamond to
                // one outside it, both clear of the centre, at a frame a
                // quarter of a pixel from the column's middle.
                lit[side] = false;
                for (size_t at : {n / 4, 3 * n / 4}) {
                    const double dx = std::fabs(g.PixelX(first + at) - (column + 0.5));
                    if (dx < 0.05 || dx > 0.4) continue;
                    const double cy = row + 0.5;
                    spurs[spurCount++] = {at, {double(first + at), double(first + at)},
                                          {g.YAt(cy - 0.05), g.YAt(cy + 0.5 - 2 * s)}, 2};
                    lit[side] = true;
                    break;
                }
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
    for (int i = 1; i < mustCount; ++i)
        for (int k = i; k > 0 && must[k] < must[k - 1]; --k) std::swap(must[k], must[k - 1]);
    for (int i = 1; i < spurCount; ++i)
        for (int k = i; k > 0 && spurs[k].at < spurs[k - 1].at; --k) std::swap(spurs[k], spurs[k - 1]);
    size_t last = SIZE_MAX;  // the frame kept last
    int nextMust = 0, nextSpur = 0;
    // Frame i, joined to the frame kept before it. Frames that follow each
    // other keep their own segment. Across frames left out, the join goes
    // straight up or down from the earlier frame to the later one's height,
    // then level to it: a slanting line's ends are moved along it to the
    // pixel edges, which could take it into the next column, while a
    // vertical and a level line stay in the column and in the rows between
    // their ends, all of which the stretch lights anyway.
    auto keep = [&](size_t i) {
        if (last != SIZE_MAX && i <= last) return;
        const int32_t v = values[i];
        if (corridor && last != SIZE_MAX && i > last + 1) {
            if (values[last] != corridorValue) out.Add(double(first + last), g.Y(corridorValue));
            if (v != corridorValue) out.Add(double(first + i), g.Y(corridorValue));
        } else if (last != SIZE_MAX && i > last + 1 && v != values[last]) {
            out.Add(double(first + last), g.Y(v));
        }
        out.Add(double(first + i), g.Y(v));
        last = i;
        for (; nextSpur < spurCount && spurs[nextSpur].at == i; ++nextSpur) {
            const Spur& sp = spurs[nextSpur];
            for (int k = 0; k < sp.points; ++k) out.Add(sp.x[k], sp.y[k]);
            out.Add(double(first + i), g.Y(v));
        }
    };
    // Every frame that must be kept before frame i, then i.
    auto keepUpTo = [&](size_t i) {
        while (nextMust < mustCount && must[nextMust] <= i) keep(must[nextMust++]);
        if (i != SIZE_MAX) keep(i);
    };
    // Frame i with the segments into it and out of it, as the strip has them.
    auto keepWithSegments = [&](size_t i) {
        if (i > 0) keepUpTo(i - 1);
        keepUpTo(i);
        if (i + 1 < n) keepUpTo(i + 1);
    };
    if (innerLow != INT32_MIN || innerHigh != INT32_MAX) {
        values.ForEachOutside(innerLow, innerHigh, [&](size_t i) {
            if (adds(i)) keepWithSegments(i);
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
                keepWithSegments(i);
            },
            windowFrom, windowTo);
    }
    for (int r = 0; r < rangeCount; ++r)
        for (size_t i = ranges[r].from; i <= ranges[r].to; ++i) keepUpTo(i);
    keepUpTo(SIZE_MAX);
}
