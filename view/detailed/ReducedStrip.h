// The reduced strip of one column stretch of the detailed graph, written in
// frame order: the frames the reduction keeps, joined across the frames it
// leaves out, and the spurs that light a pixel in their place. Platform-free;
// the rasterizer model is in view/detailed/RasterModel.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <utility>

#include "view/detailed/StripWriter.h"
#include "view/detailed/TraceGeometry.h"

// From a kept frame out to `points` points and back to it: lights a pixel
// that the frames left out lit (the inside frame of a witness, or a row
// decided by exact arithmetic).
struct Spur {
    size_t at;
    double x[2], y[2];
    int points;
};

// Frames go in as the reduction decides on them, in frame order; a frame
// handed in twice, or before one already kept, is kept once.
template <class Values>
class ReducedStrip {
public:
    // must: the frames kept whatever else is, and spurs, each at a frame
    // among them; both are put in frame order here and stay the caller's.
    // With `corridor` set a join across frames left out goes through the
    // height of corridorValue (view/detailed/ColumnReduction.h says when).
    ReducedStrip(const TraceGeometry& g, const Values& values, uint64_t first, StripWriter& out, size_t* must,
                 int mustCount, Spur* spurs, int spurCount, bool corridor, int32_t corridorValue)
        : g_(g),
          values_(values),
          first_(first),
          out_(out),
          must_(must),
          mustCount_(mustCount),
          spurs_(spurs),
          spurCount_(spurCount),
          corridor_(corridor),
          corridorValue_(corridorValue) {
        for (int i = 1; i < mustCount; ++i)
            for (int k = i; k > 0 && must[k] < must[k - 1]; --k) std::swap(must[k], must[k - 1]);
        for (int i = 1; i < spurCount; ++i)
            for (int k = i; k > 0 && spurs[k].at < spurs[k - 1].at; --k) std::swap(spurs[k], spurs[k - 1]);
    }

    // Every frame that must be kept before frame i, then i.
    void KeepUpTo(size_t i) {
        while (nextMust_ < mustCount_ && must_[nextMust_] <= i) Keep(must_[nextMust_++]);
        if (i != SIZE_MAX) Keep(i);
    }
    // Frame i with the segments into it and out of it, as the strip has them.
    void KeepWithSegments(size_t i) {
        if (i > 0) KeepUpTo(i - 1);
        KeepUpTo(i);
        if (i + 1 < values_.size()) KeepUpTo(i + 1);
    }
    // The frames that must be kept after the last one handed in.
    void Finish() { KeepUpTo(SIZE_MAX); }

private:
    // Frame i, joined to the frame kept before it. Frames that follow each
    // other keep their own segment. Across frames left out, the join goes
    // straight up or down from the earlier frame to the later one's height,
    // then level to it: a slanting line's ends are moved along it to the
    // pixel edges, which could take it into the next column, while a
    // vertical and a level line stay in the column and in the rows between
    // their ends, all of which the stretch lights anyway.
    void Keep(size_t i) {
        if (last_ != SIZE_MAX && i <= last_) return;
        const int32_t v = values_[i];
        if (corridor_ && last_ != SIZE_MAX && i > last_ + 1) {
            if (values_[last_] != corridorValue_) out_.Add(double(first_ + last_), g_.Y(corridorValue_));
            if (v != corridorValue_) out_.Add(double(first_ + i), g_.Y(corridorValue_));
        } else if (last_ != SIZE_MAX && i > last_ + 1 && v != values_[last_]) {
            out_.Add(double(first_ + last_), g_.Y(v));
        }
        out_.Add(double(first_ + i), g_.Y(v));
        last_ = i;
        for (; nextSpur_ < spurCount_ && spurs_[nextSpur_].at == i; ++nextSpur_) {
            const Spur& sp = spurs_[nextSpur_];
            for (int k = 0; k < sp.points; ++k) out_.Add(sp.x[k], sp.y[k]);
            out_.Add(double(first_ + i), g_.Y(v));
        }
    }

    const TraceGeometry& g_;
    const Values& values_;
    uint64_t first_;
    StripWriter& out_;
    const size_t* must_;
    int mustCount_;
    const Spur* spurs_;
    int spurCount_;
    bool corridor_;
    int32_t corridorValue_;
    size_t last_ = SIZE_MAX;  // the frame kept last
    int nextMust_ = 0, nextSpur_ = 0;
};
