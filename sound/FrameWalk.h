// Walking the frames of a chain in order: the one way every reader of the
// whole sound (the envelope, the detailed graph) steps across fragments.
// Platform-free.
//
// The fragments are consecutive pieces of one byte stream, so when the
// fragment size is not a whole number of frames (a WAV file with an odd
// rate) a frame begins near the end of one fragment and ends in the next.
// Such a frame is put together in a small buffer: a walk never reads past
// a fragment's end, and every frame keeps its true sample values.
#pragma once
#include <cstdint>
#include <cstring>

#include "sound/SoundChain.h"

// The largest frame: two channels of 32 bits.
constexpr unsigned MaxFrameBytes = 8;

// Hands out the frames of a chain as spans: runs of whole frames lying inside
// one fragment, read in place, and single frames put together from the
// fragments they straddle. A last frame cut short by the end of the chain
// (or of the fragments the stream may use) is never handed out.
class FrameStream {
public:
    struct Span {
        const uint8_t* bytes;  // frames * frameBytes bytes, valid until the next call
        uint64_t frames;       // at least 1
        bool firstInFragment;  // the span's first frame is the first to begin in its fragment
    };

    // fragmentCount: how many fragments from head the stream may use.
    FrameStream(const SoundFragment* head, uint32_t fragmentSize, unsigned frameBytes,
                uint64_t fragmentCount = UINT64_MAX)
        : fragment_(head), fragmentSize_(fragmentSize), frameBytes_(frameBytes), fragmentsLeft_(fragmentCount) {
        if (fragmentSize == 0 || frameBytes == 0 || frameBytes > MaxFrameBytes || fragmentCount == 0)
            fragment_ = nullptr;
    }

    // The next span of at most `most` frames (most >= 1); false at the end.
    bool Next(uint64_t most, Span& span) {
        // Leave fragments that are done, or lie wholly inside a frame that
        // began earlier.
        while (fragment_ && offset_ >= fragmentSize_) {
            fragment_ = --fragmentsLeft_ > 0 ? fragment_->Next : nullptr;
            offset_ -= fragmentSize_;
            entered_ = false;
        }
        if (!fragment_ || most == 0) return false;
        span.firstInFragment = !entered_;
        entered_ = true;

        const uint64_t whole = (fragmentSize_ - offset_) / frameBytes_;
        if (whole > 0) {
            span.bytes = fragment_->Data + offset_;
            span.frames = whole < most ? whole : most;
            offset_ += span.frames * frameBytes_;
            return true;
        }
        unsigned have = unsigned(fragmentSize_ - offset_);
        std::memcpy(gathered_, fragment_->Data + offset_, have);
        const SoundFragment* g = fragment_->Next;
        for (uint64_t left = fragmentsLeft_ - 1; have < frameBytes_; g = g->Next, --left) {
            if (!g || left == 0) {
                fragment_ = nullptr;
                return false;
            }
            const unsigned need = frameBytes_ - have;
            const unsigned take = need < fragmentSize_ ? need : fragmentSize_;
            std::memcpy(gathered_ + have, g->Data, take);
            have += take;
        }
        span.bytes = gathered_;
        span.frames = 1;
        offset_ += frameBytes_;
        return true;
    }

private:
    const SoundFragment* fragment_;
    uint32_t fragmentSize_;
    unsigned frameBytes_;
    uint64_t fragmentsLeft_;  // including the current one
    uint64_t offset_ = 0;     // start of the next frame, counted from the start of the current fragment
    bool entered_ = false;    // a frame of the current fragment was handed out
    uint8_t gathered_[MaxFrameBytes];
};

// Calls visit(const uint8_t* frame, uint64_t frameNumber) for every whole
// frame of the chain from head. A fragment is entered only while the number
// of the first frame that begins in it is below fragmentLimit (the graph's
// width in frames; pass infinity for all).
template <class Visit>
void ForEachFrame(const SoundFragment* head, uint32_t fragmentSize, unsigned frameBytes, double fragmentLimit,
                  Visit&& visit) {
    FrameStream stream(head, fragmentSize, frameBytes);
    FrameStream::Span span;
    uint64_t number = 0;
    while (stream.Next(UINT64_MAX, span)) {
        if (span.firstInFragment && double(number) >= fragmentLimit) return;
        for (uint64_t i = 0; i < span.frames; ++i) visit(span.bytes + i * frameBytes, number++);
    }
}
