// The detailed graph's clipping marks: a few vertical marks for each column
// stretch or edge group that holds a clipped frame, at the frames that
// decide which end pixels the column's marks light. Platform-free.
#pragma once
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sound/DepthScale.h"

// The clipping marks, one per stretch or edge group that holds a clipped
// frame: where its largest value lies if that is clipped, or else its
// smallest.
class MarkWriter {
public:
    MarkWriter(std::vector<double>& marks, bool enabled, uint16_t channels, const DepthScale& depth, double unit)
        : marks_(marks), enabled_(enabled), channels_(channels), depth_(depth), unit_(unit) {}

    void Mark(int channel, int32_t min, uint64_t minAt, int32_t max, uint64_t maxAt) {
        if (!enabled_) return;
        if (Clipped(max * unit_, depth_))
            MarkAt(channel, maxAt);
        else if (Clipped(min * unit_, depth_))
            MarkAt(channel, minAt);
    }

    // A stretch's marks: at its first and last clipped frames and the one
    // nearest its middle. The marks of a column are vertical lines between
    // the same heights, and whether one lights its end pixels depends only
    // on how far it lies from the column's middle: those three hold the
    // furthest and the nearest. The values strictly between `below` and
    // `above` are exactly those not clipped at every depth.
    template <class Values>
    void MarkStretch(int channel, const Values& values, uint64_t first, int32_t low, int32_t high) {
        if (!enabled_ || (!Clipped(high * unit_, depth_) && !Clipped(low * unit_, depth_))) return;
        const int32_t below = int32_t(std::ceil(depth_.clipBelow / unit_)), above = int32_t(std::floor(depth_.clipAbove / unit_));
        const size_t n = values.size(), middle = n / 2;
        const size_t firstClipped = values.FirstOutside(below, above, 0, n);
        if (firstClipped == SIZE_MAX) return;
        const size_t lastClipped = values.LastOutside(below, above, 0, n);
        // The nearest the middle: the first from it on or the last before it.
        const size_t after = values.FirstOutside(below, above, middle, n);
        const size_t before = values.LastOutside(below, above, 0, middle);
        const size_t nearest = after == SIZE_MAX                                     ? before
                               : before == SIZE_MAX || after - middle < middle - before ? after
                                                                                       : before;
        MarkAt(channel, first + firstClipped);
        if (nearest != firstClipped && nearest != lastClipped) MarkAt(channel, first + nearest);
        if (lastClipped != firstClipped) MarkAt(channel, first + lastClipped);
    }

    void MarkAt(int channel, uint64_t at) {
        const double x = double(at);
        if (channels_ == 1) {
            marks_.insert(marks_.end(), {x, depth_.markBottom, x, depth_.markTop});
        } else if (channel == 0) {
            marks_.insert(marks_.end(), {x, 0.0, x, depth_.markTop});
        } else {
            marks_.insert(marks_.end(), {x, depth_.markBottom, x, 0.0});
        }
    }

private:
    std::vector<double>& marks_;
    bool enabled_;
    uint16_t channels_;
    const DepthScale& depth_;
    double unit_;
};
