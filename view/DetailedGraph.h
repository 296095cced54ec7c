// The detailed whole-sound graph as the vertices its picture depends on.
// Platform-free: the Windows program hands the result to OpenGL, the native
// pixel tests to Mesa's off-screen renderer.
//
// A line strip through every frame of a long sound puts tens of thousands of
// short segments into each pixel column of the plot. Between the rows of the
// column's smallest and largest values the strip crosses every row from
// bottom to top, so every pixel there is lit whatever the segments are; only
// the two end rows depend on how the strip moves inside them (the rasterizer
// lights a pixel when a line leaves the diamond inscribed in it). So every
// frame is still read and decides its column's extremes, and a column hands
// on its first and last frames and every frame in or next to its end rows;
// a run of frames strictly between is replaced by one segment, which lights
// nothing the strip did not. Segments that cross from one column into the
// next stay exactly as they were.
//
// Which column a frame's vertex falls in is decided by the rasterizer after
// it has taken the coordinates to single precision and snapped them to its
// sub-pixel grid, not by exact arithmetic. Frames lying within a sliver of a
// column edge are therefore never merged with others: each keeps its own
// vertex (frames that single precision cannot tell apart share one position
// anyway and are merged only with each other).
#pragma once
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

// Which column a line lights and which pixel the rasterizer's diamond tests
// see a vertex in are both decided in single precision. The line is a
// parallelogram one pixel wide around the vertex snapped to a 1/256-pixel
// grid, with a pixel centre on its left side counted in: a vertex from a
// column edge E up to E + 1/512 lights the column left of E, while the
// diamond tests take it for one right of E. Frames within EdgeMargin of E
// or of E + 1/512 are therefore never merged. Single precision moves a
// vertex by up to some 1.5e-7 pixel per pixel of viewport width (measured
// over sounds up to 317,520,000 frames and plots 61 to 1900 pixels wide);
// the margin is about three times that.
inline double EdgeMargin(int viewportWidth) { return 1.0 / 8192 + viewportWidth * 4e-7; }
constexpr double EdgeSnap = 1.0 / 512;
// Rows are told apart by a sliver too: a frame within it of a row's edge,
// or of the height of a pixel's centre, is not counted on either side.
constexpr double RowSliver = 1.0 / 256;

// Builds the traces (y = value / 2 + o and value / 2 - o for stereo, value
// for mono, as the graph draws them) and, when clipMarks is set, the marks:
// a full-height mark for mono, the upper half for a clipped left sample and
// the lower half for a clipped right one, one per column stretch (or group
// of frames at one position near an edge) that holds a clipped frame. Nothing for a format the graph cannot draw.
//
// With `piece` set, a trace that grows long is handed to it in pieces of
// 65536 vertices as it is built (channel, strip so far), and only what is
// left after the last piece stays in out; each piece ends with the vertex
// the next one starts from. The left trace is complete before the right one
// begins.
void BuildDetailedGraph(const DetailedGraphLayout& layout, bool clipMarks, DetailedGraphVertices& out,
                        const std::function<void(int, std::vector<double>&)>& piece = nullptr);
