#include "view/SoundGraph.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "sound/FrameExtremes.h"
#include "sound/FrameWalk.h"
#include "sound/Narration.h"
#include "sound/SampleCodec.h"


GraphColumn* ColumnsLeft = nullptr;
GraphColumn* ColumnsRight = nullptr;

namespace {

// A sound shorter than 16 bytes per column gets no envelope: its columns
// would hold a frame or less and the detailed graph is cheap anyway.
constexpr double MinimumEnvelopeBytes = 16.0 * ColumnCount;

template <int Bits, int Channels>
struct Format {
    static constexpr unsigned FrameBytes = Bits / 8 * Channels;
    static constexpr int ChannelCount = Channels;
    // Column values are in the drawing's units: 24-bit scaled to [-1, 1).
    static constexpr double Scale = Bits == 24 ? 1.0 / 8388608.0 : 1.0;

    static void Scan(const uint8_t* bytes, size_t frames, Extremes& x) { ScanFrameExtremes<Bits, Channels>(bytes, frames, x); }
};

// The extremes of the next `frames` frames of the stream.
template <class Fmt>
void ScanFrames(FrameStream& stream, uint64_t frames, Extremes& x) {
    FrameStream::Span span;
    while (frames > 0 && stream.Next(frames, span)) {
        Fmt::Scan(span.bytes, size_t(span.frames), x);
        frames -= span.frames;
    }
}

template <class Fmt>
void FillColumns(const SoundFragment* head, uint64_t fragmentCount, uint32_t fragmentSize, double totalBytes) {
    constexpr unsigned k = Fmt::FrameBytes;
    GraphColumn* const columns[2] = {ColumnsLeft, ColumnsRight};
    // Bytes the fragments really hold; only a sound whose total disagrees
    // with its chain could ask for more.
    const uint64_t held = fragmentCount * fragmentSize;
    // Columns are consecutive and each starts on a frame, so one stream
    // serves them all.
    FrameStream stream(head, fragmentSize, k, fragmentCount);

    uint64_t start = 0;  // first byte of the current column
    for (uint32_t c = 0; c + 1 < ColumnCount; ++c) {
        uint64_t last = uint64_t(std::floor(totalBytes / ColumnCount * double(c + 1)));
        // End on the last byte of a whole frame so that no frame is split
        // between two columns. 8-bit mono frames are single bytes: the
        // column stops before its end byte, which opens the next column.
        uint64_t end;
        if (k > 1) {
            last -= (last + 1) % k;
            end = last + 1;
        } else {
            end = last;
        }
        const uint64_t stop = std::min(end, held);
        const uint64_t frames = stop > start ? (stop - start) / k : 0;

        Extremes x{{INT32_MAX, INT32_MAX}, {INT32_MIN, INT32_MIN}};
        ScanFrames<Fmt>(stream, frames, x);
        for (int ch = 0; ch < Fmt::ChannelCount; ++ch) {
            if (frames == 0) {
                // Only possible when the chain holds less than the total:
                // an empty column is drawn flat rather than off the plot.
                columns[ch][c] = {0.0, 0.0};
            } else {
                columns[ch][c] = {x.min[ch] * Fmt::Scale, x.max[ch] * Fmt::Scale};
            }
        }
        if (end > start) start = end;
    }
    // The bytes after the last full column are not read; the last column
    // stays flat.
    for (int ch = 0; ch < Fmt::ChannelCount; ++ch) columns[ch][ColumnCount - 1] = {0.0, 0.0};
}

// Whether the chain from head has at least `count` fragments (a total that
// claims more than the chain holds gets no envelope).
bool ChainHolds(const SoundFragment* head, uint64_t count) {
    for (; count > 0; --count, head = head->Next) {
        if (!head) return false;
    }
    return true;
}

bool FillForFormat(const SoundFragment* head, uint64_t n, uint32_t fragmentSize, double totalBytes) {
    const int format = Sound.Channels * 100 + Sound.BitsPerSample;
    switch (format) {
    case 108: FillColumns<Format<8, 1>>(head, n, fragmentSize, totalBytes); return true;
    case 116: FillColumns<Format<16, 1>>(head, n, fragmentSize, totalBytes); return true;
    case 124: FillColumns<Format<24, 1>>(head, n, fragmentSize, totalBytes); return true;
    case 208: FillColumns<Format<8, 2>>(head, n, fragmentSize, totalBytes); return true;
    case 216: FillColumns<Format<16, 2>>(head, n, fragmentSize, totalBytes); return true;
    case 224: FillColumns<Format<24, 2>>(head, n, fragmentSize, totalBytes); return true;
    default: return false;
    }
}

bool AllocateColumns() {
    if (!ColumnsLeft) ColumnsLeft = new (std::nothrow) GraphColumn[ColumnCount]();
    if (!ColumnsRight) ColumnsRight = new (std::nothrow) GraphColumn[ColumnCount]();
    return ColumnsLeft && ColumnsRight;
}

}  // namespace

void InitSoundGraph() {
    AllocateColumns();
    FastGraphReady = false;
    FastGraphMode = true;
}

void PrepareSoundGraph(SoundFragment* head, uint32_t fragmentSize, double totalBytes) {
    FastGraphReady = false;
    if (!head || fragmentSize == 0) return;
    if (totalBytes < MinimumEnvelopeBytes) return;
    if (!AllocateColumns()) return;

    void* popup = nullptr;
    const bool busy = totalBytes > BusyPopupBytes;
    if (busy) popup = BusyBegin(L"Подготовка графика звука...");

    const double rounded = std::round(totalBytes / fragmentSize);
    bool filled = false;
    if (rounded >= 1.0 && rounded <= 9007199254740992.0 && ChainHolds(head, uint64_t(rounded))) {
        filled = FillForFormat(head, uint64_t(rounded), fragmentSize, totalBytes);
    }

    if (busy) BusyEnd(popup);
    FastGraphReady = filled;
}
