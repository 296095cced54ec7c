#include "view/DetailedGraph.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>

#include "sound/SampleCodec.h"
#include "view/DepthScale.h"
#include "view/FrameWalk.h"
#include "view/StretchValues.h"

namespace {

// Below this many frames per pixel merging saves little, and every frame
// keeps its vertex as in a plain strip.
constexpr double MinimumFramesPerPixel = 8.0;
// Vertices handed on at a time when the caller takes the strips in pieces.
constexpr size_t PieceVertices = 1 << 16;

// One channel's group of frames at one position near a column edge: its
// first and last frames and where its extremes first occur. Values are
// integer samples (8-bit: byte - 128, 24-bit before scaling), which keeps
// the hot loops free of floating point.
struct Run {
    int32_t first, last, min, max;
    uint64_t firstAt, lastAt, minAt, maxAt;
};

// Where the vertices of one trace go, in the units of the drawing.
struct TraceOutput {
    std::vector<double>* strip;
    double scale, offset;  // y = value x unit x scale + offset
};

class GraphBuilder {
public:
    GraphBuilder(const DetailedGraphLayout& layout, bool clipMarks, DetailedGraphVertices& out,
                 const std::function<void(int, std::vector<double>&)>& piece)
        : layout_(layout), clipMarks_(clipMarks), out_(out), depth_(*ScaleFor(layout.bitsPerSample)), piece_(piece) {
        unit_ = layout.bitsPerSample == 24 ? 1.0 / 8388608.0 : 1.0;
        if (layout.channels == 1) {
            traces_[0] = {&out.traces[0], 1.0, 0.0};
        } else {
            traces_[0] = {&out.traces[0], 0.5, depth_.stereoOffset};
            traces_[1] = {&out.traces[1], 0.5, -depth_.stereoOffset};
        }
    }

    // Ends a group of frames that share one position: its vertices in the
    // order the frames occur, and a mark where one of them is clipped.
    void EmitRun(int channel, const Run& r, bool tracing) {
        if (tracing) {
            Vertex(channel, r.firstAt, r.first);
            const bool minFirst = r.minAt < r.maxAt;
            const uint64_t a = minFirst ? r.minAt : r.maxAt, b = minFirst ? r.maxAt : r.minAt;
            const int32_t va = minFirst ? r.min : r.max, vb = minFirst ? r.max : r.min;
            if (a != r.firstAt) Vertex(channel, a, va);
            if (b != a && b != r.lastAt) Vertex(channel, b, vb);
            if (r.lastAt != r.firstAt && r.lastAt != a) Vertex(channel, r.lastAt, r.last);
        }
        Mark(channel, r.min, r.minAt, r.max, r.maxAt);
    }

    // Ends a stretch of frames inside one column, values[i] being frame
    // first + i: a mark where one of them is clipped, and the vertices its
    // pixels depend on.
    //
    // Between the rows of its smallest and largest values the stretch
    // crosses every row from bottom to top, so every pixel there is lit
    // whatever the segments are, in this strip as in the one through every
    // frame, as long as the first, the smallest, the largest and the last
    // frame are kept. Each end row is handled on its own. Usually it is lit
    // by a segment that starts inside the pixel's diamond (a sliver clear of
    // its edge and of its centre's height) and ends in another row (a sliver
    // clear of it): the rasterizer lights the pixel a line starts in when it
    // starts inside the diamond and leaves it, so that segment is kept and
    // nothing else of the end row is needed. Otherwise every frame in the
    // end row, or within a sliver of it, keeps its segments, with the frames
    // before and after it. An extreme within a sliver of a row's edge may be
    // on either side of it in single precision: then the end row is the one
    // inside that edge, and the frames near the edge keep their segments.
    template <class Values>
    void EmitStretch(int channel, const Values& values, uint64_t first, bool tracing) {
        const size_t n = values.size();
        int32_t low, high;
        size_t lowAt, highAt;
        values.Extremes(low, lowAt, high, highAt);
        Mark(channel, low, first + lowAt, high, first + highAt);
        if (!tracing) return;
        stretchLast_ = SIZE_MAX;

        const double s = RowSliver;
        const double lowY = PixelY(channel, low), highY = PixelY(channel, high);
        const double column = std::floor(PixelX(first + n / 2));
        std::vector<size_t>& kept = kept_;
        kept.assign({0, n - 1, lowAt, highAt});
        // Frames whose values lie outside [keepFrom, keepTo] keep their segments.
        int32_t keepFrom = INT32_MIN, keepTo = INT32_MAX;
        size_t inside, next;

        const double topEdge = std::round(highY);
        const bool topUnsure = std::fabs(highY - topEdge) < s;
        if (Witness(channel, values, n, first, column, topUnsure ? topEdge - 1 : std::floor(highY), inside, next)) {
            kept.push_back(inside), kept.push_back(next);
            if (topUnsure) keepTo = LargestValueBelow(channel, topEdge - s);
        } else {
            keepTo = LargestValueBelow(channel, std::floor(highY - s) - s);
        }
        const double bottomEdge = std::round(lowY);
        const bool bottomUnsure = std::fabs(lowY - bottomEdge) < s;
        if (Witness(channel, values, n, first, column, bottomUnsure ? bottomEdge : std::floor(lowY), inside, next)) {
            kept.push_back(inside), kept.push_back(next);
            if (bottomUnsure) keepFrom = SmallestValueAbove(channel, bottomEdge + s);
        } else {
            keepFrom = SmallestValueAbove(channel, std::floor(lowY + s) + 1 + s);
        }

        if (keepFrom != INT32_MIN || keepTo != INT32_MAX) {
            values.ForEachOutside(keepFrom, keepTo, [&](size_t i) {
                // A frame inside a run of equal values lies on the straight
                // line through its neighbours and adds nothing.
                if (i > 0 && i + 1 < n && values[i - 1] == values[i] && values[i] == values[i + 1]) return;
                if (i > 0) kept.push_back(i - 1);
                kept.push_back(i);
                if (i + 1 < n) kept.push_back(i + 1);
            });
        }
        std::sort(kept.begin(), kept.end());
        for (size_t k = 0; k < kept.size(); ++k)
            if (k == 0 || kept[k] != kept[k - 1]) StretchVertex(channel, values, first, kept[k]);
    }

    const DetailedGraphLayout& layout() const { return layout_; }

private:
    double Y(int channel, int32_t value) const { return value * unit_ * traces_[channel].scale + traces_[channel].offset; }
    double PixelY(int channel, int32_t value) const {
        return (Y(channel, value) - layout_.viewBottom) / layout_.valuesPerPixel;
    }

    // A frame certainly inside the diamond of the pixel (column, row) whose
    // next frame is certainly in another row: the segment between them
    // lights the pixel, in the strip through every frame as in this one.
    // Frames are first told apart by their integer values; the search starts
    // at the middle of the column, where the diamond is tallest.
    template <class Values>
    bool Witness(int channel, const Values& values, size_t n, uint64_t first, double column, double row,
                 size_t& inside, size_t& next) const {
        const double s = RowSliver, cx = column + 0.5, cy = row + 0.5;
        int32_t insideLow, insideHigh, rowLow, rowHigh;
        if (!ValuesBetween(channel, row + s, row + 1 - s, insideLow, insideHigh)) return false;
        if (!ValuesBetween(channel, row - s, row + 1 + s, rowLow, rowHigh)) rowLow = 1, rowHigh = 0;
        auto found = [&](size_t i) {
            const int32_t v = values[i];
            if (v < insideLow || v > insideHigh) return false;
            const int32_t w = values[i + 1];
            if (w >= rowLow && w <= rowHigh) return false;
            // A start level with the pixel's centre is compared with it in
            // single precision but snapped to the grid before the fill rule
            // decides: only a start clear of the centre row is certain.
            const double dy = std::fabs(PixelY(channel, v) - cy);
            if (dy <= s || std::fabs(PixelX(first + i) - cx) + dy >= 0.5 - s) return false;
            inside = i;
            next = i + 1;
            return true;
        };
        const size_t middle = n / 2;
        for (size_t i = middle; i + 1 < n; ++i)
            if (found(i)) return true;
        for (size_t i = 0; i < middle && i + 1 < n; ++i)
            if (found(i)) return true;
        return false;
    }

    // The integer values whose pixel y lies in [from, to]; false when none.
    bool ValuesBetween(int channel, double from, double to, int32_t& low, int32_t& high) const {
        low = SmallestValueAbove(channel, from);
        high = LargestValueBelow(channel, to);
        return low <= high;
    }
    // The smallest value drawn at pixel y `from` or above, and the largest
    // drawn at `to` or below. Pixel y grows with the value: the estimate is
    // stepped until it holds. Values stay within the 24-bit range.
    int32_t SmallestValueAbove(int channel, double from) const {
        int64_t v = Clamp(std::floor((from - PixelY(channel, 0)) / PixelsPerValue(channel))) - 1;
        while (v < ValueLimit && PixelY(channel, int32_t(v)) < from) ++v;
        return int32_t(v);
    }
    int32_t LargestValueBelow(int channel, double to) const {
        int64_t v = Clamp(std::ceil((to - PixelY(channel, 0)) / PixelsPerValue(channel))) + 1;
        while (v > -ValueLimit && PixelY(channel, int32_t(v)) > to) --v;
        return int32_t(v);
    }
    double PixelsPerValue(int channel) const { return unit_ * traces_[channel].scale / layout_.valuesPerPixel; }
    static constexpr int64_t ValueLimit = 1 << 25;
    static int64_t Clamp(double v) { return v < -ValueLimit ? -ValueLimit : v > ValueLimit ? ValueLimit : int64_t(v); }

    double PixelX(uint64_t frame) const { return (double(frame) - layout_.viewLeft) / layout_.framesPerPixel; }

    // Frame i of a stretch, joined to the frame kept before it. Frames that
    // follow each other keep their own segment. Across frames left out, the
    // join goes straight up or down from the earlier frame to the later
    // one's height, then level to it: a slanting line's ends are moved along
    // it to the pixel edges, which could take it into the next column, while
    // a vertical and a level line stay in the column and in the rows between
    // their ends, all of which the stretch lights anyway.
    template <class Values>
    void StretchVertex(int channel, const Values& values, uint64_t first, size_t i) {
        if (stretchLast_ != SIZE_MAX && i > stretchLast_ + 1 && values[i] != values[stretchLast_]) {
            std::vector<double>& strip = *traces_[channel].strip;
            strip.push_back(double(first + stretchLast_));
            strip.push_back(Y(channel, values[i]));
        }
        stretchLast_ = i;
        Vertex(channel, first + i, values[i]);
    }

    void Vertex(int channel, uint64_t at, int32_t value) {
        std::vector<double>& strip = *traces_[channel].strip;
        strip.push_back(double(at));
        strip.push_back(Y(channel, value));
        if (piece_ && strip.size() >= 2 * PieceVertices) {
            piece_(channel, strip);
            // The next piece of the strip starts where this one ended.
            strip.erase(strip.begin(), strip.end() - 2);
        }
    }

    // One mark for frames whose extremes are min and max: where the largest
    // value lies if it is clipped, or else the smallest.
    void Mark(int channel, int32_t min, uint64_t minAt, int32_t max, uint64_t maxAt) {
        if (!clipMarks_) return;
        uint64_t at;
        if (Clipped(max * unit_, depth_))
            at = maxAt;
        else if (Clipped(min * unit_, depth_))
            at = minAt;
        else
            return;
        const double x = double(at);
        std::vector<double>& m = out_.marks;
        if (layout_.channels == 1) {
            m.insert(m.end(), {x, depth_.markBottom, x, depth_.markTop});
        } else if (channel == 0) {
            m.insert(m.end(), {x, 0.0, x, depth_.markTop});
        } else {
            m.insert(m.end(), {x, depth_.markBottom, x, 0.0});
        }
    }

    const DetailedGraphLayout& layout_;
    bool clipMarks_;
    DetailedGraphVertices& out_;
    const DepthScale& depth_;
    double unit_;
    TraceOutput traces_[2];
    const std::function<void(int, std::vector<double>&)>& piece_;
    size_t stretchLast_ = SIZE_MAX;  // the stretch's frame kept last
    std::vector<size_t> kept_;        // the frames a stretch keeps
};

// The stretches of frames that are merged and those that are not. Column j
// of the viewport begins at plot x viewLeft + j x framesPerPixel; frames in
// the edge zone around it (see EdgeMargin) are left alone.
class Zones {
public:
    explicit Zones(const DetailedGraphLayout& l)
        : left_(l.viewLeft), perPixel_(l.framesPerPixel), before_(EdgeMargin(l.viewportWidth) * l.framesPerPixel),
          after_((EdgeSnap + EdgeMargin(l.viewportWidth)) * l.framesPerPixel) {}

    // The zone holding frame f: its end (exclusive) and whether its frames
    // are merged.
    void At(uint64_t f, uint64_t& end, bool& merged) const {
        const double column = std::floor((double(f) - left_) / perPixel_);
        const uint64_t edgeEnd = SliverEnd(column);
        if (f < edgeEnd) {
            end = edgeEnd;
            merged = false;
            return;
        }
        const uint64_t nextStart = SliverStart(column + 1);
        if (f < nextStart) {
            end = nextStart;
            merged = true;
            return;
        }
        end = SliverEnd(column + 1);
        merged = false;
        if (end <= f) end = f + 1;  // rounding: at least this frame
    }

private:
    // First frame of the zone around the edge of column j, and the first
    // frame after it. Rounded outwards, so a frame on the zone's border is
    // in it.
    uint64_t SliverStart(double j) const { return Clamp(std::floor(left_ + j * perPixel_ - before_)); }
    uint64_t SliverEnd(double j) const { return Clamp(std::ceil(left_ + j * perPixel_ + after_) + 1); }
    static uint64_t Clamp(double f) { return f <= 0 ? 0 : f >= 1.8e19 ? UINT64_MAX : uint64_t(f); }

    double left_, perPixel_, before_, after_;
};

// One trace (the samples of `channel`) and its marks, in one pass over the
// sound.
template <int Bits, int Channels, class Values>
void Build(GraphBuilder& g, int channel, Values& stretch) {
    constexpr unsigned SampleBytes = Bits / 8, FrameBytes = SampleBytes * Channels;
    const DetailedGraphLayout& l = g.layout();
    const bool merging = l.framesPerPixel >= MinimumFramesPerPixel;
    const unsigned sampleOffset = channel * SampleBytes;
    Zones zones(l);

    FrameStream stream(l.head, l.fragmentSize, FrameBytes);
    FrameStream::Span span;
    Run run{};
    bool open = false;     // a group near an edge holds frames not yet emitted
    bool tracing = true;   // the trace still takes frames
    bool merged = false;   // the current zone lies inside one column
    uint64_t zoneEnd = 0;  // first frame after the current zone
    float runX = 0;        // where the open group's frames all lie, in single precision
    uint64_t f = 0;
    // The current stretch inside a column.
    uint64_t stretchStart = 0;
    stretch.Clear();

    auto close = [&] {
        if (open) {
            g.EmitRun(channel, run, tracing);
            open = false;
        }
        if (stretch.size() > 0) {
            g.EmitStretch(channel, stretch, stretchStart, tracing);
            stretch.Clear();
        }
    };

    while (stream.Next(UINT64_MAX, span)) {
        if (tracing && span.firstInFragment && double(f) >= l.frameLimit) {
            // The trace ends here; the marks go on to the end of the chain.
            close();
            tracing = false;
        }
        const uint8_t* p = span.bytes + sampleOffset;
        for (uint64_t left = span.frames; left > 0;) {
            if (merging && f >= zoneEnd) {
                close();
                zones.At(f, zoneEnd, merged);
            }
            if (merging && merged) {
                // A stretch inside one column: every frame is kept for its end.
                uint64_t n = zoneEnd - f;
                if (n > left) n = left;
                if (stretch.size() == 0) stretchStart = f;
                stretch.Append(p - sampleOffset, size_t(n));
                p += n * FrameBytes, f += n, left -= n;
                continue;
            }
            // Near a column edge (or too few frames per pixel to merge): a
            // frame joins the group only when single precision puts it at
            // the same x as the group's frames.
            const float x = float(f);
            if (open && x != runX) close();
            const int32_t v = DecodeSample<Bits>(p);
            if (!open) {
                run = {v, v, v, v, f, f, f, f};
                runX = x;
                open = true;
            } else {
                if (v < run.min) run.min = v, run.minAt = f;
                if (v > run.max) run.max = v, run.maxAt = f;
                run.last = v, run.lastAt = f;
            }
            p += FrameBytes, ++f, --left;
        }
    }
    close();
}

// Fragments of whole frames are read in place; otherwise a frame may
// straddle two fragments and be put together in a buffer that the next frame
// reuses, so the stretch's samples are copied out.
template <int Bits, int Channels>
void BuildFor(GraphBuilder& g, int channel, typename RunValues<Bits, Channels>::OtherChannel& other) {
    if (g.layout().fragmentSize % (Bits / 8 * Channels) == 0) {
        RunValues<Bits, Channels> values(channel, &other);
        Build<Bits, Channels>(g, channel, values);
    } else {
        CopiedValues<Bits, Channels> values(channel);
        Build<Bits, Channels>(g, channel, values);
    }
}

// Both traces of one format, the left one first.
template <int Bits, int Channels>
void BuildAll(GraphBuilder& g) {
    typename RunValues<Bits, Channels>::OtherChannel other;
    for (int channel = 0; channel < Channels; ++channel) BuildFor<Bits, Channels>(g, channel, other);
}

}  // namespace

void BuildDetailedGraph(const DetailedGraphLayout& layout, bool clipMarks, DetailedGraphVertices& out,
                        const std::function<void(int, std::vector<double>&)>& piece) {
    for (auto& t : out.traces) t.clear();
    out.marks.clear();
    if (!layout.head || (layout.channels != 1 && layout.channels != 2) || !ScaleFor(layout.bitsPerSample)) return;
    GraphBuilder g(layout, clipMarks, out, piece);
    switch (layout.channels * 100 + layout.bitsPerSample) {
    case 108: BuildAll<8, 1>(g); break;
    case 116: BuildAll<16, 1>(g); break;
    case 124: BuildAll<24, 1>(g); break;
    case 208: BuildAll<8, 2>(g); break;
    case 216: BuildAll<16, 2>(g); break;
    case 224: BuildAll<24, 2>(g); break;
    }
}
