#include "view/SoundGraph.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "sound/Narration.h"
#include "sound/SampleCodec.h"
#include "view/FrameWalk.h"

#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "16-bit samples are read with the host's byte order, which must be little-endian like the data"
#endif

GraphColumn* ColumnsLeft = nullptr;
GraphColumn* ColumnsRight = nullptr;

namespace {

// A sound shorter than 16 bytes per column gets no envelope: its columns
// would hold a frame or less and the detailed graph is cheap anyway.
constexpr double MinimumEnvelopeBytes = 16.0 * ColumnCount;

// Running extremes of one column, per channel, in the integer sample values
// (8-bit: byte - 128; 24-bit before scaling). Integers keep the hot loop free
// of floating point; the conversion at the column's end is exact.
struct Extremes {
    int32_t min[2];
    int32_t max[2];
};

// 8- and 16-bit samples are plain integers in memory (8-bit with an offset
// of 128), so a span of frames is a flat array of them. The extremes are
// gathered in 16-byte vectors of samples (the compiler's vector extension,
// which becomes packed min/max instructions); a vector holds whole frames,
// so lane i always belongs to channel i mod channels and the lanes are
// folded into the channels at the end.
template <typename Sample, int Channels>
void ScanFlat(const uint8_t* bytes, size_t frames, Extremes& x) {
    typedef Sample Vector __attribute__((vector_size(16)));
    constexpr size_t PerVector = sizeof(Vector) / sizeof(Sample);
    static_assert(PerVector % Channels == 0, "a vector must hold whole frames");
    constexpr int32_t Offset = sizeof(Sample) == 1 ? 128 : 0;

    Vector lo0, hi0;
    for (size_t i = 0; i < PerVector; ++i) {
        lo0[i] = std::numeric_limits<Sample>::max();
        hi0[i] = std::numeric_limits<Sample>::min();
    }
    // Two pairs of accumulators keep two loads in flight.
    Vector lo1 = lo0, hi1 = hi0;
    const size_t count = frames * Channels;
    size_t n = 0;
    for (; n + 2 * PerVector <= count; n += 2 * PerVector) {
        Vector a, b;
        std::memcpy(&a, bytes + n * sizeof(Sample), sizeof a);
        std::memcpy(&b, bytes + (n + PerVector) * sizeof(Sample), sizeof b);
        lo0 = a < lo0 ? a : lo0;
        hi0 = a > hi0 ? a : hi0;
        lo1 = b < lo1 ? b : lo1;
        hi1 = b > hi1 ? b : hi1;
    }
    lo0 = lo1 < lo0 ? lo1 : lo0;
    hi0 = hi1 > hi0 ? hi1 : hi0;
    // Lanes that saw no sample still hold the type's extremes, which never
    // win over a real one.
    for (size_t i = 0; i < PerVector; ++i) {
        const int c = int(i % Channels);
        x.min[c] = std::min(x.min[c], int32_t(lo0[i]) - Offset);
        x.max[c] = std::max(x.max[c], int32_t(hi0[i]) - Offset);
    }
    // The few samples after the last pair of vectors.
    for (; n < count; ++n) {
        Sample v;
        std::memcpy(&v, bytes + n * sizeof(Sample), sizeof v);
        const int c = int(n % Channels);
        x.min[c] = std::min(x.min[c], int32_t(v) - Offset);
        x.max[c] = std::max(x.max[c], int32_t(v) - Offset);
    }
}

template <int Channels>
void Scan24(const uint8_t* bytes, size_t frames, Extremes& x) {
    int32_t lo[2] = {x.min[0], x.min[1]}, hi[2] = {x.max[0], x.max[1]};
    auto take = [&](int c, int32_t v) {
        lo[c] = v < lo[c] ? v : lo[c];
        hi[c] = v > hi[c] ? v : hi[c];
    };
    if (frames > 0) {
        // Every frame but the last is followed by another inside the span,
        // so its samples can be read with wide loads.
        const uint8_t* p = bytes;
        for (size_t f = 0; f + 1 < frames; ++f, p += 3 * Channels) {
            for (int c = 0; c < Channels; ++c) take(c, DecodeSample24Wide(p + 3 * c));
        }
        for (int c = 0; c < Channels; ++c) take(c, DecodeSample24(p + 3 * c));
    }
    for (int c = 0; c < Channels; ++c) {
        x.min[c] = lo[c];
        x.max[c] = hi[c];
    }
}

template <int Bits, int Channels>
struct Format {
    static constexpr unsigned FrameBytes = Bits / 8 * Channels;
    static constexpr int ChannelCount = Channels;
    // Column values are in the drawing's units: 24-bit scaled to [-1, 1).
    static constexpr double Scale = Bits == 24 ? 1.0 / 8388608.0 : 1.0;

    static void Scan(const uint8_t* bytes, size_t frames, Extremes& x) {
        if constexpr (Bits == 8) ScanFlat<uint8_t, Channels>(bytes, frames, x);
        else if constexpr (Bits == 16) ScanFlat<int16_t, Channels>(bytes, frames, x);
        else Scan24<Channels>(bytes, frames, x);
    }
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
