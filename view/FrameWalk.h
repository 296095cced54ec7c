// Walking the frames of a whole chain in order. Platform-free.
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

// Calls visit(const uint8_t* frame, uint64_t frameNumber) for every whole
// frame of the chain from head. A fragment is entered only while the number
// of the first frame that begins in it is below fragmentLimit (the graph's
// width in frames; pass infinity for all). A last frame cut short by the
// end of the chain is left out.
template <class Visit>
void ForEachFrame(const SoundFragment* head, uint32_t fragmentSize, unsigned frameBytes, double fragmentLimit,
                  Visit&& visit) {
    if (!head || fragmentSize == 0 || frameBytes == 0 || frameBytes > MaxFrameBytes) return;
    uint64_t number = 0;
    uint64_t offset = 0;  // start of the next frame, counted from the start of fragment f
    for (const SoundFragment* f = head; f; f = f->Next, offset -= fragmentSize) {
        // The whole fragment lies inside a frame that began earlier.
        if (offset >= fragmentSize) continue;
        if (double(number) >= fragmentLimit) return;
        const uint8_t* data = f->Data;
        for (; offset + frameBytes <= fragmentSize; offset += frameBytes) visit(data + offset, number++);
        if (offset == fragmentSize) continue;

        uint8_t frame[MaxFrameBytes];
        unsigned have = unsigned(fragmentSize - offset);
        std::memcpy(frame, data + offset, have);
        for (const SoundFragment* g = f->Next; have < frameBytes; g = g->Next) {
            if (!g) return;
            const unsigned take = frameBytes - have < fragmentSize ? frameBytes - have : fragmentSize;
            std::memcpy(frame + have, g->Data, take);
            have += take;
        }
        visit(static_cast<const uint8_t*>(frame), number++);
        offset += frameBytes;
    }
}
