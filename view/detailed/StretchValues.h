// One channel's samples of a column stretch of the detailed graph, two ways:
// copied out of the fragments (the general case), or read in place from
// the blocks of whole frames that the fragments hold, with each block's
// extremes gathered in packed min and max as it is added. Both give a
// sample by its index in the stretch and where the stretch's extremes first
// occur. Platform-free.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sound/FrameExtremes.h"
#include "sound/SampleCodec.h"

// Samples copied out, one per frame.
template <int Bits, int Channels>
class CopiedStretch {
public:
    explicit CopiedStretch(int channel) : channel_(channel) {}
    void Clear() { values_.clear(); }
    void Append(const uint8_t* frames, size_t count) {
        constexpr unsigned FrameBytes = Bits / 8 * Channels;
        const size_t at = values_.size();
        values_.resize(at + count);
        const uint8_t* p = frames + channel_ * (Bits / 8);
        for (size_t i = 0; i < count; ++i, p += FrameBytes) values_[at + i] = DecodeSample<Bits>(p);
    }
    size_t size() const { return values_.size(); }
    int32_t operator[](size_t i) const { return values_[i]; }
    // Calls visit(start, values, count) for the values of frames [from, to)
    // until it returns true; whether one did. Here in one piece.
    template <class Visit>
    bool ForEachPiece(size_t from, size_t to, Visit&& visit) const {
        to = std::min(to, values_.size());
        return from < to && visit(from, values_.data() + from, to - from);
    }
    // The frames of [from, to) as one block whose extremes are not known.
    template <class Visit>
    bool ForEachBlock(size_t from, size_t to, Visit&& visit) const {
        to = std::min(to, values_.size());
        return from < to && visit(from, to - from, INT32_MIN, INT32_MAX);
    }
    void Extremes(int32_t& low, size_t& lowAt, int32_t& high, size_t& highAt) const {
        const int32_t* v = values_.data();
        const size_t n = values_.size();
        // The extremes first (a loop the compiler turns into packed min and
        // max), then where each first occurs.
        low = high = v[0];
        for (size_t i = 1; i < n; ++i) {
            low = v[i] < low ? v[i] : low;
            high = v[i] > high ? v[i] : high;
        }
        lowAt = size_t(std::find(v, v + n, low) - v);
        highAt = size_t(std::find(v, v + n, high) - v);
    }

    // Calls visit(i) for every sample of [from, to) below low or above high,
    // in order.
    template <class Visit>
    void ForEachOutside(int32_t low, int32_t high, Visit&& visit, size_t from = 0, size_t to = SIZE_MAX) const {
        const int32_t* v = values_.data();
        for (size_t i = from, end = std::min(to, values_.size()); i < end; ++i)
            if (v[i] < low || v[i] > high) visit(i);
    }
    // The first and the last sample of [from, to) below low or above high;
    // SIZE_MAX when there is none.
    size_t FirstOutside(int32_t low, int32_t high, size_t from, size_t to) const {
        for (size_t i = from; i < std::min(to, values_.size()); ++i)
            if (values_[i] < low || values_[i] > high) return i;
        return SIZE_MAX;
    }
    size_t LastOutside(int32_t low, int32_t high, size_t from, size_t to) const {
        for (size_t i = std::min(to, values_.size()); i-- > from;)
            if (values_[i] < low || values_[i] > high) return i;
        return SIZE_MAX;
    }

private:
    int channel_;
    std::vector<int32_t> values_;
};

// Samples read in place from blocks of whole frames that stay valid while the
// stretch is in use (fragments of a chain whose size is a whole number of
// frames).
template <int Bits, int Channels>
class InPlaceStretch {
public:
    static constexpr unsigned SampleBytes = Bits / 8, FrameBytes = SampleBytes * Channels;

    // The extremes of the other channel, gathered by the same packed scan:
    // the pass over channel 0 keeps them block by block, and the pass over
    // channel 1, which adds the very same blocks in the same order, takes them
    // instead of reading the frames again.
    struct OtherChannel {
        std::vector<int32_t> extremes;  // min, max of each block, in order
        size_t taken = 0;
    };

    InPlaceStretch(int channel, OtherChannel* other) : channel_(channel), other_(Channels == 2 ? other : nullptr) {}
    void Clear() {
        blocks_.clear();
        size_ = 0;
        cursor_ = 0;
    }
    // Extremes are kept per sub-block of at most this many frames, fine
    // enough for a search to pass over the sub-blocks that cannot hold what
    // it looks for (ForEachBlock), coarse enough to cost nothing in the scan.
    static constexpr size_t SubBlockFrames = 256;

    void Append(const uint8_t* frames, size_t count) {
        while (count > 0) {
            const size_t part = std::min(count, SubBlockFrames);
            AppendBlock(frames, part);
            frames += part * FrameBytes;
            count -= part;
        }
    }
    size_t size() const { return size_; }
    int32_t operator[](size_t i) const {
        // Reads go mostly forward: the block of the last read is tried first.
        const Block* r = &blocks_[cursor_];
        if (i < r->start || i - r->start >= r->count) r = &blocks_[cursor_ = BlockOf(i)];
        return DecodeSample<Bits>(r->sample + (i - r->start) * FrameBytes);
    }
    // Calls visit(start, values, count) for the values of frames [from, to)
    // in pieces of at most PieceFrames, in order, until it returns true;
    // whether one did. The values are decoded into a buffer first, so that
    // the caller's loop over them keeps its state in registers (with the
    // samples' bytes in the way, every store would have to wait for them).
    static constexpr size_t PieceFrames = 256;
    template <class Visit>
    bool ForEachPiece(size_t from, size_t to, Visit&& visit) const {
        int32_t buffer[PieceFrames];
        for (to = std::min(to, size_); from < to; from += PieceFrames) {
            const size_t end = std::min(to, from + PieceFrames);
            int32_t* out = buffer;
            ForEachPart(from, end, [&](const Block& r, size_t start, size_t stop) {
                const uint8_t* p = r.sample + (start - r.start) * FrameBytes;
                for (size_t i = start; i < stop; ++i, p += FrameBytes) *out++ = DecodeSample<Bits>(p);
                return false;
            });
            if (visit(from, buffer, end - from)) return true;
        }
        return false;
    }
    // Calls visit(start, count, min, max) for each sub-block's part within
    // [from, to), in order, until it returns true; whether one did.
    template <class Visit>
    bool ForEachBlock(size_t from, size_t to, Visit&& visit) const {
        return ForEachPart(from, to, [&](const Block& r, size_t start, size_t stop) {
            return visit(start, stop - start, r.min, r.max);
        });
    }

    void Extremes(int32_t& low, size_t& lowAt, int32_t& high, size_t& highAt) const {
        low = INT32_MAX;
        high = INT32_MIN;
        for (const Block& r : blocks_) {
            low = std::min(low, r.min);
            high = std::max(high, r.max);
        }
        lowAt = FirstInBlocks(low, true);
        highAt = FirstInBlocks(high, false);
    }

    // The first and the last sample of [from, to) below low or above high;
    // SIZE_MAX when there is none. Blocks whose extremes lie inside are not
    // read.
    size_t FirstOutside(int32_t low, int32_t high, size_t from, size_t to) const {
        size_t found = SIZE_MAX;
        ScanOutside(low, high, from, to, [&](size_t i) { return found = i, true; });
        return found;
    }
    size_t LastOutside(int32_t low, int32_t high, size_t from, size_t to) const {
        to = std::min(to, size_);
        if (from >= to) return SIZE_MAX;
        for (size_t b = BlockOf(to - 1) + 1; b-- > 0 && blocks_[b].start + blocks_[b].count > from;) {
            const Block& r = blocks_[b];
            if (r.min >= low && r.max <= high) continue;
            const size_t start = std::max(from, r.start), end = std::min(to, r.start + r.count);
            for (size_t i = end; i-- > start;) {
                const int32_t v = DecodeSample<Bits>(r.sample + (i - r.start) * FrameBytes);
                if (v < low || v > high) return i;
            }
        }
        return SIZE_MAX;
    }

    // Calls visit(i) for every sample of [from, to) below low or above high,
    // in order; blocks whose extremes lie inside are not read.
    template <class Visit>
    void ForEachOutside(int32_t low, int32_t high, Visit&& visit, size_t from = 0, size_t to = SIZE_MAX) const {
        ScanOutside(low, high, from, to, [&](size_t i) { return visit(i), false; });
    }

private:
    void AppendBlock(const uint8_t* frames, size_t count) {
        int32_t min, max;
        if (other_ && channel_ == 1 && other_->taken + 2 <= other_->extremes.size()) {
            min = other_->extremes[other_->taken++];
            max = other_->extremes[other_->taken++];
        } else {
            ::Extremes x{{INT32_MAX, INT32_MAX}, {INT32_MIN, INT32_MIN}};
            ScanFrameExtremes<Bits, Channels>(frames, count, x);
            min = x.min[channel_], max = x.max[channel_];
            if (other_ && channel_ == 0) other_->extremes.insert(other_->extremes.end(), {x.min[1], x.max[1]});
        }
        blocks_.push_back({frames + channel_ * SampleBytes, size_, count, min, max});
        size_ += count;
    }
    // The block holding frame i: reads go mostly forward, so the block of
    // the last search and the one after it are tried first.
    size_t BlockOf(size_t i) const {
        for (size_t b = cursor_; b < blocks_.size() && b <= cursor_ + 1; ++b)
            if (i >= blocks_[b].start && i - blocks_[b].start < blocks_[b].count) return cursor_ = b;
        return cursor_ = size_t(std::upper_bound(blocks_.begin(), blocks_.end(), i,
                                                 [](size_t at, const Block& block) { return at < block.start; }) -
                                blocks_.begin()) -
                         1;
    }

    // ForEachOutside until visit(i) returns true; whether one did.
    template <class Visit>
    bool ScanOutside(int32_t low, int32_t high, size_t from, size_t to, Visit&& visit) const {
        return ForEachPart(from, to, [&](const Block& r, size_t start, size_t stop) {
            if (r.min >= low && r.max <= high) return false;
            const uint8_t* p = r.sample + (start - r.start) * FrameBytes;
            for (size_t i = start; i < stop; ++i, p += FrameBytes) {
                const int32_t v = DecodeSample<Bits>(p);
                if ((v < low || v > high) && visit(i)) return true;
            }
            return false;
        });
    }
    // Calls visit(block, start, stop) for the part [start, stop) of each
    // block within [from, to), in order, until it returns true; whether one
    // did.
    template <class Visit>
    bool ForEachPart(size_t from, size_t to, Visit&& visit) const {
        to = std::min(to, size_);
        if (from >= to) return false;
        for (size_t b = BlockOf(from); b < blocks_.size() && blocks_[b].start < to; ++b) {
            const Block& r = blocks_[b];
            if (visit(r, std::max(from, r.start), std::min(to, r.start + r.count))) return true;
        }
        return false;
    }

    struct Block {
        const uint8_t* sample;  // the channel's sample of the block's first frame
        size_t start, count;    // the block's first frame in the stretch, its frames
        int32_t min, max;
    };
    // Only the first block that reaches the value is read sample by sample.
    size_t FirstInBlocks(int32_t value, bool low) const {
        for (const Block& r : blocks_) {
            if ((low ? r.min : r.max) != value) continue;
            const uint8_t* p = r.sample;
            for (size_t i = 0; i < r.count; ++i, p += FrameBytes)
                if (DecodeSample<Bits>(p) == value) return r.start + i;
        }
        return 0;
    }

    int channel_;
    OtherChannel* other_;
    std::vector<Block> blocks_;
    size_t size_ = 0;
    mutable size_t cursor_ = 0;
};
