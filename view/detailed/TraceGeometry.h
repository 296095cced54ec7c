// Where one trace of the detailed graph lands in viewport pixels: frames to
// pixel columns, sample values to pixel heights, and back. Platform-free.
#pragma once
#include <cmath>
#include <cstddef>
#include <cstdint>

// Where one trace's frames and values land in viewport pixels, and the
// vertices in the drawing's units.
struct TraceGeometry {
    double viewLeft, framesPerPixel;  // plot x at the viewport's left edge, frames per pixel
    double viewBottom, valuesPerPixel;
    double scale, offset;  // y = value x scale + offset (24-bit values scaled into scale)

    double PixelX(uint64_t frame) const { return (double(frame) - viewLeft) / framesPerPixel; }
    double Y(int32_t value) const { return value * scale + offset; }
    double PixelY(int32_t value) const { return (Y(value) - viewBottom) / valuesPerPixel; }
    double YAt(double pixelY) const { return viewBottom + pixelY * valuesPerPixel; }
    // The index, within a stretch of n frames from frame `first`, of the
    // last frame at or before pixel x, kept within [0, n].
    size_t FrameIndexAt(double pixelX, uint64_t first, size_t n) const {
        const double i = std::floor(pixelX * framesPerPixel + viewLeft - double(first));
        return i <= 0 ? 0 : i >= double(n) ? n : size_t(i);
    }

    // The smallest value drawn at pixel y `from` or above, and the largest
    // drawn at `to` or below. Pixel y grows with the value: the estimate is
    // stepped until it holds. Values stay within the 24-bit range.
    int32_t SmallestValueAbove(double from) const {
        int64_t v = Clamp(std::floor((from - PixelY(0)) / PixelsPerValue())) - 1;
        while (v < ValueLimit && PixelY(int32_t(v)) < from) ++v;
        return int32_t(v);
    }
    int32_t LargestValueBelow(double to) const {
        int64_t v = Clamp(std::ceil((to - PixelY(0)) / PixelsPerValue())) + 1;
        while (v > -ValueLimit && PixelY(int32_t(v)) > to) --v;
        return int32_t(v);
    }

private:
    double PixelsPerValue() const { return scale / valuesPerPixel; }
    static constexpr int64_t ValueLimit = 1 << 25;
    static int64_t Clamp(double v) { return v < -ValueLimit ? -ValueLimit : v > ValueLimit ? ValueLimit : int64_t(v); }
};

// The integer values whose pixel y lies in [from, to]; empty when low > high.
struct ValueRange {
    int32_t low = 1, high = 0;
    bool Holds(int32_t v) const { return v >= low && v <= high; }
};
inline ValueRange ValuesBetween(const TraceGeometry& g, double from, double to) {
    return {g.SmallestValueAbove(from), g.LargestValueBelow(to)};
}
