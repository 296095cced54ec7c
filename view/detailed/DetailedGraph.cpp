#include "view/detailed/DetailedGraph.h"

#include <cmath>
#include <cstdint>
#include <functional>

#include "sound/DepthScale.h"
#include "sound/FrameWalk.h"
#include "sound/SampleCodec.h"
#include "view/detailed/ClippingMarks.h"
#include "view/detailed/ColumnReduction.h"
#include "view/detailed/ColumnZones.h"
#include "view/detailed/StretchValues.h"
#include "view/detailed/StripWriter.h"

namespace {

// Below this many frames per pixel merging saves little, and every frame
// keeps its vertex as in a plain strip.
constexpr double MinimumFramesPerPixel = 8.0;
// The longest stretch reduced at once. A longer column (a very long sound on
// a narrow plot) is reduced in several stretches, each proving its own end
// rows, so that what a stretch holds stays bounded whatever the sound.
constexpr size_t MaxStretchFrames = size_t(1) << 20;

// The frames near a column edge that single precision puts at one x: their
// first and last frames and where their extremes first occur. Values are
// integer samples (8-bit: byte - 128, 24-bit before scaling).
struct EdgeGroup {
    int32_t first, last, min, max;
    uint64_t firstAt, lastAt, minAt, maxAt;
};

// Everything one trace's walk writes to.
struct TraceOutput {
    const DetailedGraphLayout& layout;
    TraceGeometry geometry;
    StripWriter& strip;
    MarkWriter& marks;
};

// An edge group's vertices in the order its frames occur.
void EmitGroup(TraceOutput& o, const EdgeGroup& r) {
    const TraceGeometry& g = o.geometry;
    o.strip.Add(double(r.firstAt), g.Y(r.first));
    const bool minFirst = r.minAt < r.maxAt;
    const uint64_t a = minFirst ? r.minAt : r.maxAt, b = minFirst ? r.maxAt : r.minAt;
    const int32_t va = minFirst ? r.min : r.max, vb = minFirst ? r.max : r.min;
    if (a != r.firstAt) o.strip.Add(double(a), g.Y(va));
    if (b != a && b != r.lastAt) o.strip.Add(double(b), g.Y(vb));
    if (r.lastAt != r.firstAt && r.lastAt != a) o.strip.Add(double(r.lastAt), g.Y(r.last));
}

// One trace (the samples of `channel`) and its marks, in one pass over the
// sound: stretches inside columns are reduced, frames near column edges are
// grouped by the x single precision gives them.
template <int Bits, int Channels, class Values>
void WalkTrace(TraceOutput& o, int channel, Values& stretch) {
    constexpr unsigned SampleBytes = Bits / 8, FrameBytes = SampleBytes * Channels;
    const DetailedGraphLayout& l = o.layout;
    const bool merging = l.framesPerPixel >= MinimumFramesPerPixel;
    const unsigned sampleOffset = channel * SampleBytes;
    const ColumnZones zones(l.viewLeft, l.framesPerPixel, l.viewportWidth);

    FrameStream stream(l.head, l.fragmentSize, FrameBytes);
    FrameStream::Span span;
    EdgeGroup group{};
    bool grouping = false;  // an edge group holds frames not yet written
    bool tracing = true;    // the trace still takes frames; the marks go on to the end of the chain
    bool merged = false;    // the current zone lies inside one column
    uint64_t zoneEnd = 0;   // first frame after the current zone
    float groupX = 0;       // where the open group's frames all lie, in single precision
    uint64_t f = 0;
    uint64_t stretchStart = 0;
    stretch.Clear();

    auto closeStretch = [&] {
        if (stretch.size() == 0) return;
        int32_t low, high;
        size_t lowAt, highAt;
        stretch.Extremes(low, lowAt, high, highAt);
        o.marks.MarkStretch(channel, stretch, stretchStart, low, high);
        if (tracing) ReduceStretch(o.geometry, stretch, stretchStart, low, lowAt, high, highAt, o.strip);
        stretch.Clear();
    };
    auto close = [&] {
        if (grouping) {
            if (tracing) EmitGroup(o, group);
            o.marks.Mark(channel, group.min, group.minAt, group.max, group.maxAt);
            grouping = false;
        }
        closeStretch();
    };

    while (stream.Next(UINT64_MAX, span)) {
        if (tracing && span.firstInFragment && double(f) >= l.frameLimit) {
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
                // Frames inside one column: the stretch reads them at its end.
                if (stretch.size() >= MaxStretchFrames) closeStretch();
                uint64_t n = zoneEnd - f;
                if (n > left) n = left;
                if (n > MaxStretchFrames - stretch.size()) n = MaxStretchFrames - stretch.size();
                if (stretch.size() == 0) stretchStart = f;
                stretch.Append(p - sampleOffset, size_t(n));
                p += n * FrameBytes, f += n, left -= n;
                continue;
            }
            // Near a column edge (or too few frames per pixel to merge): a
            // frame joins the group only when single precision puts it at
            // the same x as the group's frames.
            const float x = float(f);
            if (grouping && x != groupX) close();
            const int32_t v = DecodeSample<Bits>(p);
            if (!grouping) {
                group = {v, v, v, v, f, f, f, f};
                groupX = x;
                grouping = true;
            } else {
                if (v < group.min) group.min = v, group.minAt = f;
                if (v > group.max) group.max = v, group.maxAt = f;
                group.last = v, group.lastAt = f;
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
void WalkTraceFor(TraceOutput& o, int channel, typename InPlaceStretch<Bits, Channels>::OtherChannel& other) {
    if (o.layout.fragmentSize % (Bits / 8 * Channels) == 0) {
        InPlaceStretch<Bits, Channels> values(channel, &other);
        WalkTrace<Bits, Channels>(o, channel, values);
    } else {
        CopiedStretch<Bits, Channels> values(channel);
        WalkTrace<Bits, Channels>(o, channel, values);
    }
}

// Both traces of one format, each complete before the next begins.
template <int Bits, int Channels>
void WalkAll(const DetailedGraphLayout& l, bool clipMarks, DetailedGraphVertices& out,
             const StripWriter::PieceSink& piece) {
    const DepthScale& depth = *ScaleFor(l.bitsPerSample);
    const double unit = Bits == 24 ? 1.0 / 8388608.0 : 1.0;
    MarkWriter marks(out.marks, clipMarks, Channels, depth, unit);
    typename InPlaceStretch<Bits, Channels>::OtherChannel other;
    for (int channel = 0; channel < Channels; ++channel) {
        const double scale = Channels == 1 ? 1.0 : 0.5;
        const double offset = Channels == 1 ? 0.0 : channel == 0 ? depth.stereoOffset : -depth.stereoOffset;
        StripWriter strip(out.traces[channel], channel, piece, StripPieceVertices);
        TraceOutput o{l, {l.viewLeft, l.framesPerPixel, l.viewBottom, l.valuesPerPixel, unit * scale, offset}, strip,
                      marks};
        WalkTraceFor<Bits, Channels>(o, channel, other);
        strip.Finish();
    }
}

}  // namespace

void BuildDetailedGraph(const DetailedGraphLayout& layout, bool clipMarks, DetailedGraphVertices& out,
                        const std::function<void(int, std::vector<double>&)>& piece) {
    for (auto& t : out.traces) t.clear();
    out.marks.clear();
    if (!layout.head || (layout.channels != 1 && layout.channels != 2) || !ScaleFor(layout.bitsPerSample)) return;
    // A plot without pixels shows nothing.
    if (layout.viewportWidth <= 0 || !(layout.valuesPerPixel > 0)) return;
    switch (layout.channels * 100 + layout.bitsPerSample) {
    case 108: WalkAll<8, 1>(layout, clipMarks, out, piece); break;
    case 116: WalkAll<16, 1>(layout, clipMarks, out, piece); break;
    case 124: WalkAll<24, 1>(layout, clipMarks, out, piece); break;
    case 208: WalkAll<8, 2>(layout, clipMarks, out, piece); break;
    case 216: WalkAll<16, 2>(layout, clipMarks, out, piece); break;
    case 224: WalkAll<24, 2>(layout, clipMarks, out, piece); break;
    }
}
