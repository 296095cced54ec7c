// The detailed whole-sound graph as the vertices its picture depends on.
// Platform-free: the Windows program hands the result to OpenGL, the native
// pixel tests to Mesa's off-screen renderer.
//
// A line strip through every frame of a long sound puts tens of thousands of
// short segments into each pixel column of the plot, and the rasterizer
// lights the same pixels with far fewer: every frame is still read and
// decides its column's extremes, but a column hands on only the frames its
// pixels depend on. view/detailed/RasterModel.h states the rasterizer model
// this relies on; view/detailed/ColumnReduction.h reduces one column.
//
// The engine needs neither Windows nor OpenGL (the build refuses their
// headers here) and reads the sound through sound/ alone; tests/pixel draws
// its vertices and compares them with the strip through every frame.
//
// Words used for ranges of frames, throughout:
// - zone: the frames of one pixel column well inside it, or those within a
//   sliver of a column edge (view/detailed/ColumnZones.h);
// - stretch: the frames of one inside zone gathered for reduction, at most
//   a bounded number at a time (StretchValues.h, ColumnReduction.h);
// - block: the part of a stretch lying in one fragment, read in place;
// - edge group: frames in an edge zone that single precision puts at the
//   same x, written as at most four vertices;
// - piece: a part of a trace's strip handed to the drawing.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "sound/SoundChain.h"

// The sound and the plot the graph is drawn for.
struct DetailedGraphLayout {
    const SoundFragment* head;
    uint32_t fragmentSize;
    uint16_t channels;       // 1 or 2
    uint16_t bitsPerSample;  // 8, 16 or 24
    double frameLimit;       // fragments are entered while their first frame number is below this (the plot's xMax)
    double viewLeft;         // plot x at the viewport's left edge (xMin minus the projection's margin)
    double framesPerPixel;   // plot x units per viewport pixel; not above 0: every frame keeps its vertex
    int viewportWidth;       // pixels
    double viewBottom;       // plot y at the viewport's lower edge
    double valuesPerPixel;   // plot y units per viewport pixel
};

// Vertices as x, y pairs, ready for a vertex array of doubles.
struct DetailedGraphVertices {
    std::vector<double> traces[2];  // line strips: mono or left, right
    std::vector<double> marks;      // lines: the clipping marks, two vertices each
};

// Vertices handed on at a time when the strips are taken in pieces (and the
// size of the drawing's vertex batches): large enough that a call per piece
// costs nothing, small enough that a piece's array stays in the cache.
constexpr size_t StripPieceVertices = size_t(1) << 16;

// Builds the traces (y = value / 2 + o and value / 2 - o for stereo, value
// for mono, as the graph draws them) and, when clipMarks is set, the marks:
// a full-height mark for mono, the upper half for a clipped left sample and
// the lower half for a clipped right one, one per column stretch (or group
// of frames at one position near an edge) that holds a clipped frame.
// Nothing for a format the graph cannot draw or a viewport without pixels.
//
// With `piece` set, each trace is handed to it in pieces of at most
// StripPieceVertices vertices as it is built (channel, strip so far), the
// last piece when the trace is complete, so that out.traces stay empty and
// the left trace is drawn whole before the right one begins; each piece ends
// with the vertex the next one starts from.
void BuildDetailedGraph(const DetailedGraphLayout& layout, bool clipMarks, DetailedGraphVertices& out,
                        const std::function<void(int, std::vector<double>&)>& piece = nullptr);
