// How the rasterizer turns a one-pixel-wide line strip into pixels: the model
// the detailed graph's reduction relies on to leave frames out without
// changing the picture. Stated here once; the reduction's code refers to it.
// Platform-free.
//
// The model follows Mesa's llvmpipe (src/gallium/drivers/llvmpipe/
// lp_setup_line.c), the rasterizer the program gets under Wine and the native
// pixel tests get from Mesa's off-screen renderer:
//
// 1. Each segment of a strip is set up on its own. Its vertices are window
//    coordinates in single precision; the diamond tests below use those
//    floats, the coverage then uses them snapped to a 1/256-pixel grid.
// 2. A segment mostly along y (|dy| > |dx|, the rule for the graph's traces,
//    whose frames are a small fraction of a pixel apart in x) is a
//    parallelogram one pixel wide in x. It lights the pixels whose centres
//    it covers: in every row whose centre height lies between its ends, the
//    one pixel whose centre is within half a pixel of the line. A pixel
//    centre on the parallelogram's left side counts in, one on its right
//    side does not. A segment mostly along x is the same with x and y
//    swapped.
// 3. Its ends follow the diamond-exit rule: each pixel has a diamond
//    |x - cx| + |y - cy| < 1/2 around its centre (cx, cy). A segment lights
//    the pixel its start lies in when it starts inside that diamond and
//    leaves it, and does not light the pixel its end lies in when it ends
//    inside the diamond. Mesa moves the segment's ends along the line to
//    the pixel's edges to get there.
//
// What the reduction takes from it:
// - Inside one pixel column, a stretch of frames crosses every row between
//   the rows of its smallest and largest values, so those pixels are lit
//   whatever the segments are. Only the two end rows (one, when the stretch
//   stays in one row) depend on the segments, and a pixel there is proven
//   lit by a witness: a frame certainly inside its diamond, followed by a
//   frame certainly outside it, with every frame between them clear of its
//   centre height. Somewhere between them the strip leaves the diamond, and
//   the reduced strip leaves it too, by a spur from the inside frame (or by
//   the two frames' own segment when they follow each other).
// - "Certainly" means by a sliver (RowSliver) more than single precision and
//   the snap can move a vertex. A start level with the pixel's centre is
//   compared with it in single precision but snapped before the coverage is
//   decided, so such a start may lose its pixel: frames within a sliver of
//   the centre height never serve as (or between) a witness's frames.
// - Which column a vertex lights is decided after the snap: a vertex from a
//   column edge E up to E + 1/512 lights the column left of E, while the
//   diamond tests take it for the one right of E. Frames within EdgeMargin of
//   E or of E + EdgeSnap are never merged with others.
//
// A worked example: a 770-pixel plot of one hour at 44100 Hz has 206,000
// frames per pixel column, 1.5e-7 pixel apart (single precision tells
// x apart only to about 6e-5 pixel there, so some 12 frames share each
// float x). A quiet 16-bit mono trace at 280 sample values per pixel row
// stays in one row; its column is drawn as the stretch's first frame, its
// smallest and largest, a witness pair and its last frame: about 8 vertices
// instead of 206,000. Near the column edges (EdgeSnap + 2 EdgeMargin, about
// 0.0028 pixel, 570 frames) frames are kept by float position, at most four
// per position.
//
// If Mesa changed the line setup (another sub-pixel grid, another fill rule,
// lines drawn as rectangles instead of by diamond exit), the slivers here
// and the witness rule would have to be checked again; the native pixel
// tests (tests/pixel) draw both ways and compare every pixel, and would
// show it. On another renderer the reduced graph keeps the same extremes and
// joins per column, so it looks the same, but its pixels are not proven.
#pragma once
#include <cmath>

// The margin around a column edge within which single precision may put a
// vertex on either side: some 1.5e-7 pixel per pixel of viewport width
// (measured over sounds up to 317,520,000 frames and plots 61 to 1900
// pixels wide), taken about three times.
inline double EdgeMargin(int viewportWidth) { return 1.0 / 8192 + viewportWidth * 4e-7; }
// Half a step of the 1/256-pixel snap.
constexpr double EdgeSnap = 1.0 / 512;
// Rows, diamonds and centre heights are told apart by this much.
constexpr double RowSliver = 1.0 / 256;
// A start inside a pixel's diamond by this much is inside for the diamond
// test, which uses the unsnapped single-precision position (about 6e-5
// pixel apart at x = 1000); its row does not matter then, as the start is
// moved to the pixel's edge before the snap.
constexpr double DiamondTestSliver = 1.0 / 4096;

// Where a point lies for a pixel's diamond, told with a sliver of room.
enum class DiamondPlace { Inside, Outside, Unsure };

// (px, py): the point in viewport pixels; (cx, cy): the pixel's centre.
// Inside also asks the point to be clear of the centre's height and of its
// x, so that a segment starting there lights the pixel however it is
// snapped.
inline DiamondPlace PlaceInDiamond(double px, double py, double cx, double cy) {
    const double dx = std::fabs(px - cx), dy = std::fabs(py - cy);
    const double d = dx + dy;
    if (d >= 0.5 + RowSliver) return DiamondPlace::Outside;
    if (d <= 0.5 - RowSliver && dy > RowSliver && dx > RowSliver) return DiamondPlace::Inside;
    return DiamondPlace::Unsure;
}
