// An end row of a column stretch that no witness proves lit, visited in
// excursions from the proven side: a level at the height of the row's
// centre, such as a clipped square wave whose flat tops carry dither. Which
// of its frames the pixel depends on, found by kinds of segments instead of
// frame by frame. Platform-free; the rasterizer model is in
// view/detailed/RasterModel.h.
//
// Whether the pixel is lit is the union of what every segment does to it,
// and segments of one kind do the same: the graph's y depends on the value
// alone, so two segments between the same values, both deep inside the
// diamond and on the same side of the column's middle, are set up with the
// same heights and decisions and differ in x only by less than the pixel
// they light. So one segment of each kind stands for all, together with
// every segment that is not of a clean kind (near the diamond's edge, or
// along x near the column's middle), and the frames between are passed by
// joins that are themselves of kinds the row already holds: down from the
// proven side onto a frame the strip already arrives at that way, or up
// from one it already leaves that way, or from a frame beyond the row.
#pragma once
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "view/detailed/RasterModel.h"
#include "view/detailed/TraceGeometry.h"

// Frames [from, to] kept with every segment between them.
struct FrameRange {
    size_t from, to;
};
// What a row's kinds and kept ranges may number before the row keeps its
// frames the plain way instead: keeps the search and the vertices bounded.
constexpr int MaxSegmentKinds = 32;
constexpr int MaxKeptRanges = 64;
// Ranges this few frames apart are kept as one, with the frames between
// (real segments, so nothing changes): dither near the column's middle
// would otherwise make a range of every other frame.
constexpr size_t RangeMergeGap = 16;
// A segment along x starts on a side of the column's middle that single
// precision and the 1/256-pixel snap may change within this much of it:
// half a snap step and single precision's error on plots up to 2,000
// pixels wide (view/detailed/RasterModel.h).
constexpr double MiddleMargin = EdgeSnap + 1.0 / 1024;

// The ranges of frames of the stretch (values[i] is frame first + i) that
// row `row` depends on, in order, when the other end row (above when
// provenAbove, else below) is proven lit and holds the stretch's far
// extreme; must[] are the frames kept anyway. The count, or -1 when the row
// is not of this sort or has too many kinds.
template <class Values>
int KeptRangesByKind(const TraceGeometry& g, const Values& values, uint64_t first, double column, double row,
                     bool provenAbove, const size_t* must, int mustCount, FrameRange* ranges) {
    const size_t n = values.size();
    const double s = RowSliver, cx = column + 0.5, cy = row + 0.5;
    // Beyond the row on the proven side by a sliver: a join from or to such
    // a frame stays clear of the row's pixel.
    const int32_t safeLimit = provenAbove ? g.SmallestValueAbove(row + 1 + s) : g.LargestValueBelow(row - s);
    const auto safe = [&](int32_t v) { return provenAbove ? v >= safeLimit : v <= safeLimit; };
    const auto deep = [&](size_t i, int32_t v) {
        return std::fabs(g.PixelX(first + i) - cx) + std::fabs(g.PixelY(v) - cy) <= 0.5 - DiamondTestSliver;
    };
    const auto right = [&](size_t i) { return g.PixelX(first + i) > cx; };

    enum Type : uint8_t { Arrival, Departure, Internal };
    struct Kind {
        int32_t from, to;
        Type type;
        bool right;
        size_t at;  // the first segment of the kind: its first frame
    };
    Kind kinds[MaxSegmentKinds];
    int kindCount = 0;
    int8_t lastFound[3][2] = {{-1, -1}, {-1, -1}, {-1, -1}};  // per type and side: the kind found last
    const auto find = [&](Type type, int32_t from, int32_t to, bool onRight) {
        const int8_t hint = lastFound[type][onRight];
        if (hint >= 0 && kinds[hint].from == from && kinds[hint].to == to) return int(hint);
        for (int k = 0; k < kindCount; ++k)
            if (kinds[k].type == type && kinds[k].from == from && kinds[k].to == to && kinds[k].right == onRight)
                return int(lastFound[type][onRight] = int8_t(k));
        return -1;
    };
    bool tooMany = false;
    const auto note = [&](Type type, int32_t from, int32_t to, bool onRight, size_t i) {
        if (find(type, from, to, onRight) >= 0) return;
        if (kindCount == MaxSegmentKinds) tooMany = true;
        else kinds[kindCount++] = {from, to, type, onRight, i};
    };
    // The frames kept whole whatever the kinds: segments of no clean kind.
    FrameRange seeds[MaxKeptRanges + MaxSegmentKinds + 16];
    int seedCount = 0;
    const auto seed = [&](size_t from, size_t to) {
        if (seedCount > 0 && from <= seeds[seedCount - 1].to + RangeMergeGap) {
            if (to > seeds[seedCount - 1].to) seeds[seedCount - 1].to = to;
        } else if (seedCount == MaxKeptRanges) {
            tooMany = true;
        } else {
            seeds[seedCount++] = {from, to};
        }
    };

    // Every segment with an end in the row, block by block, in order. A
    // block's frames are deep inside when their values lie within what the
    // diamond holds at the block's end furthest from the middle (a frame
    // nearer the diamond's edge counts as of no clean kind, which keeps it).
    // Two frames of values far enough apart are a sliver apart in y and a
    // thousandth of a pixel or less apart in x, so their segment runs along
    // y and the side of the middle does not enter its setup; along x, near
    // the middle, it does.
    const double pixelsPerValue = std::fabs(g.PixelY(1) - g.PixelY(0));
    const int64_t alongXValues = int64_t(std::floor(2 / g.framesPerPixel / pixelsPerValue));
    struct Frame {
        int32_t v;
        bool safe, deep, right;
        size_t i;
    };
    Frame previous{0, true, false, false, SIZE_MAX};  // before the stretch: nothing to look back to
    const auto pair = [&](const Frame& p, const Frame& f) {
        if (p.i == SIZE_MAX) return;
        if (p.safe) {
            if (!f.safe && f.deep) note(Arrival, f.v, f.v, f.right, f.i);
        } else if (p.deep) {
            if (f.safe) note(Departure, p.v, p.v, p.right, p.i);
            else if (!f.deep) return;  // the next frame's own seed holds the segment
            else if (std::llabs(int64_t(f.v) - p.v) <= alongXValues &&
                     std::fabs(g.PixelX(first + p.i) - cx) <= MiddleMargin)
                seed(p.i, f.i);
            else note(Internal, p.v, f.v, p.right, p.i);
        }
    };
    values.ForEachBlock(0, n, [&](size_t start, size_t count, int32_t min, int32_t max) {
        const size_t end = start + count;
        if (provenAbove ? min >= safeLimit : max <= safeLimit) {  // wholly beyond the row
            previous = {max, true, false, false, end - 1};
            return false;
        }
        const double x0 = g.PixelX(first + start) - cx, x1 = g.PixelX(first + end - 1) - cx;
        const double reach = 0.5 - DiamondTestSliver - std::max(std::fabs(x0), std::fabs(x1));
        const ValueRange deepValues = reach > 0 ? ValuesBetween(g, cy - reach, cy + reach) : ValueRange{};
        const bool oneSide = (x0 > 0) == (x1 > 0);
        // Away from the middle, the segments between deep frames of a few
        // values at the row's end of the block (a level) are gathered in a
        // mask of the pairs of values that follow each other; only a new
        // kind among them is looked for frame by frame.
        constexpr int32_t MaskValues = 8;
        const bool maskable = oneSide && std::fabs(x0) > MiddleMargin && std::fabs(x1) > MiddleMargin;
        const bool onRight = x0 > 0;
        const int32_t base = provenAbove ? min : max - (MaskValues - 1);
        const auto masked = [&](int32_t v) { return uint32_t(v - base) < uint32_t(MaskValues); };
        uint64_t pairs = 0;
        // The kinds known already, in the mask's terms: a stretch of the
        // level holding only those is passed over (it adds nothing).
        uint64_t known = 0;
        for (int k = 0; k < kindCount; ++k)
            if (kinds[k].type == Internal && kinds[k].right == onRight && masked(kinds[k].from) && masked(kinds[k].to))
                known |= uint64_t(1) << ((kinds[k].from - base) * MaskValues + (kinds[k].to - base));
        const auto allKnown = [&](int32_t lo, int32_t hi) {
            const uint64_t row = ((uint64_t(1) << (hi - lo + 1)) - 1) << (lo - base);
            for (int32_t a = lo; a <= hi; ++a)
                if ((known & (row << ((a - base) * MaskValues))) != row << ((a - base) * MaskValues)) return false;
            return true;
        };
        constexpr size_t Chunk = 32;
        const Frame before = previous;
        Frame last = previous;
        // One frame looked at on its own.
        int32_t pv = last.v;
        bool pDeepInRow = last.deep && !last.safe;
        const auto look = [&](size_t i, int32_t v) {
            const bool isSafe = safe(v);
            if (isSafe && last.safe) {  // beyond the row and staying there: nothing of the row's
                pv = v;
                return;
            }
            const bool isDeep = !isSafe && deepValues.Holds(v);
            const bool onSide = maskable ? onRight : right(i);
            if (maskable && isDeep && pDeepInRow && masked(v) && masked(pv)) {
                pairs |= uint64_t(1) << ((pv - base) * MaskValues + (v - base));
            } else {
                if (!isSafe && !isDeep) seed(i, i);
                pair({pv, last.safe, last.deep, last.right, i - 1}, {v, isSafe, isDeep, onSide, i});
            }
            last.safe = isSafe, last.deep = isDeep, last.right = onSide;
            pv = v;
            pDeepInRow = isDeep;
        };
        values.ForEachPiece(start, end, [&](size_t from, const int32_t* piece, size_t count) {
            const size_t to = from + count;
            // Chunk by chunk: one wholly beyond the row, or of the level and
            // of known kinds only, is passed over after its first frame,
            // which pairs with the frame before it.
            for (size_t c = from; c < to; c += Chunk) {
                const size_t cEnd = std::min(to, c + Chunk);
                const int32_t* b = piece + (c - from);
                int32_t lo = b[0], hi = b[0];
                for (size_t k = 1; k < cEnd - c; ++k) {
                    lo = std::min(lo, b[k]);
                    hi = std::max(hi, b[k]);
                }
                look(c, b[0]);
                const bool beyondRow = provenAbove ? lo >= safeLimit : hi <= safeLimit;
                const bool knownLevel = maskable && pDeepInRow && masked(lo) && masked(hi) && deepValues.Holds(lo) &&
                                        deepValues.Holds(hi) && !safe(lo) && !safe(hi) && allKnown(lo, hi);
                if (beyondRow || knownLevel) {
                    if (cEnd - c > 1) {
                        pv = b[cEnd - c - 1];  // the chunk's frames all alike to the last
                        if (beyondRow) last.safe = true, last.deep = false;
                    }
                    continue;
                }
                for (size_t i = c + 1; i < cEnd; ++i) look(i, b[i - c]);
            }
            last.v = pv, last.i = to - 1;
            return false;
        });
        previous = last;
        for (; pairs; pairs &= pairs - 1) {
            const int bit = __builtin_ctzll(pairs);
            const int32_t from = base + bit / MaskValues, to = base + bit % MaskValues;
            if (find(Internal, from, to, onRight) >= 0) continue;
            int32_t v = before.v;  // the pair may begin with the frame before the block
            values.ForEachPiece(start, end, [&](size_t at, const int32_t* piece, size_t count) {
                for (size_t i = at; i < at + count; ++i) {
                    const int32_t next = piece[i - at];
                    if (v == from && next == to && (i > start || (before.deep && !before.safe))) {
                        note(Internal, from, to, onRight, i - 1);
                        return true;
                    }
                    v = next;
                }
                return false;
            });
        }
        return tooMany;
    });
    if (tooMany) return -1;

    // The kinds' segments and the frames kept anyway join the seeds, in order.
    const auto insert = [&](FrameRange r) {
        int i = seedCount++;
        for (; i > 0 && seeds[i - 1].from > r.from; --i) seeds[i] = seeds[i - 1];
        seeds[i] = r;
    };
    for (int k = 0; k < kindCount; ++k) {
        const size_t at = kinds[k].at;
        insert(kinds[k].type == Arrival ? FrameRange{at - 1, at} : FrameRange{at, at + 1});
    }
    for (int m = 0; m < mustCount; ++m)
        if (!safe(values[must[m]])) insert({must[m], must[m]});

    // Each range grows until a join may reach it: backwards to a frame beyond
    // the row or one the strip already arrives at from the proven side,
    // forwards to a frame beyond the row or one it already leaves that way.
    const auto landing = [&](size_t i) {
        const int32_t v = values[i];
        return i == 0 || safe(v) || (deep(i, v) && find(Arrival, v, v, right(i)) >= 0);
    };
    const auto leaving = [&](size_t i) {
        const int32_t v = values[i];
        return i + 1 == n || safe(v) || (deep(i, v) && find(Departure, v, v, right(i)) >= 0);
    };
    int count = 0;
    for (int k = 0; k < seedCount; ++k) {
        FrameRange r = seeds[k];
        if (count > 0 && r.to <= ranges[count - 1].to) continue;
        if (count > 0 && r.from <= ranges[count - 1].to + RangeMergeGap) {
            r.from = ranges[count - 1].from;
            --count;
        } else {
            while (!landing(r.from)) --r.from;
            if (count > 0 && r.from <= ranges[count - 1].to + RangeMergeGap) r.from = ranges[--count].from;
        }
        while (!leaving(r.to)) ++r.to;
        if (count == MaxKeptRanges) return -1;
        ranges[count++] = r;
    }
    return count;
}
