// Per sample depth, the values the whole-sound graph and the live lamps
// share: where a sample counts as clipped (the graph's red marks and the red
// overload lamp), how far a mark reaches, and how far a half-height stereo
// trace is raised (left) or lowered (right). In the drawing's units: 8-bit
// byte - 128, 16-bit as stored, 24-bit scaled to [-1, 1). Platform-free, and
// kept with the sound so that the drawing, the lamps and the detailed graph's
// engine all take them from below them.
#pragma once
#include <cstdint>

struct DepthScale {
    // Strictly beyond these a sample is clipped. The negative side sits one
    // step lower because full scale is one step further below zero than
    // above it.
    double clipAbove, clipBelow;
    double markBottom, markTop;
    double stereoOffset;
};

// Null for a depth the drawing does not know.
inline const DepthScale* ScaleFor(uint16_t bitsPerSample) {
    static const DepthScale eight = {126.99, -127.99, -128, 127, 64};
    static const DepthScale sixteen = {32763, -32764, -32768, 32767, 16383.5};
    static const DepthScale twentyFour = {0.9999, -0.9999, -1, 1, 0.5};
    switch (bitsPerSample) {
    case 8: return &eight;
    case 16: return &sixteen;
    case 24: return &twentyFour;
    default: return nullptr;
    }
}

inline bool Clipped(double value, const DepthScale& s) { return value > s.clipAbove || value < s.clipBelow; }
