// The detailed graph's reduction without a renderer: what it reads, what it
// keeps and in which order it hands the strips on. Its pixels are compared
// with Mesa's renderer in tests/pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>
#include <random>
#include <vector>

#include "sound/FrameExtremes.h"
#include "sound/SampleCodec.h"
#include "sound/SoundChain.h"
#include "view/detailed/DetailedGraph.h"
#include "view/detailed/StretchValues.h"

namespace {

// 16-bit stereo noise of a given amplitude around `centre`, in fragments.
SoundFragment* StereoChain(uint32_t fragmentSize, uint32_t fragments, int centre, int amplitude, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> noise(-amplitude, amplitude);
    SoundFragment* head = nullptr;
    SoundFragment* last = nullptr;
    for (uint32_t i = 0; i < fragments; ++i) {
        SoundFragment* f = AllocateFragment(fragmentSize);
        for (uint32_t b = 0; b + 1 < fragmentSize; b += 2) EncodeSample16(f->Data + b, centre + noise(rng));
        (last ? last->Next : head) = f;
        last = f;
    }
    return head;
}

// The in-place reader (with the left pass's extremes handed to the right
// one) and the copying reader see the same samples, extremes and outliers.
TEST(DetailedGraphStretch, InPlaceAndCopiedReadersAgree) {
    SoundFragment* head = StereoChain(8820, 6, 0, 20000, 7);
    InPlaceStretch<16, 2>::OtherChannel other;
    for (int channel = 0; channel < 2; ++channel) {
        InPlaceStretch<16, 2> inPlace(channel, &other);
        CopiedStretch<16, 2> copied(channel);
        // Uneven runs across fragments, as column zones cut them.
        std::mt19937 cuts(3);
        for (const SoundFragment* f = head; f; f = f->Next) {
            const size_t split = std::uniform_int_distribution<size_t>(1, 2204)(cuts);
            inPlace.Append(f->Data, split), copied.Append(f->Data, split);
            inPlace.Append(f->Data + 4 * split, 2205 - split), copied.Append(f->Data + 4 * split, 2205 - split);
        }
        ASSERT_EQ(inPlace.size(), copied.size());
        for (size_t i = 0; i < copied.size(); i += 97) ASSERT_EQ(inPlace[i], copied[i]) << i;
        int32_t lo1, hi1, lo2, hi2;
        size_t lo1At, hi1At, lo2At, hi2At;
        inPlace.Extremes(lo1, lo1At, hi1, hi1At);
        copied.Extremes(lo2, lo2At, hi2, hi2At);
        EXPECT_EQ(lo1, lo2);
        EXPECT_EQ(lo1At, lo2At);
        EXPECT_EQ(hi1, hi2);
        EXPECT_EQ(hi1At, hi2At);
        std::vector<size_t> a, b;
        inPlace.ForEachOutside(-15000, 15000, [&](size_t i) { a.push_back(i); });
        copied.ForEachOutside(-15000, 15000, [&](size_t i) { b.push_back(i); });
        EXPECT_EQ(a, b);
        ASSERT_FALSE(a.empty());
        // The searches from either end, over ranges that start and end inside
        // a block, find the outliers the visit found.
        const size_t n = copied.size(), from = a.front() / 2 + 3, to = n - 5;
        const auto firstIn = std::lower_bound(a.begin(), a.end(), from);
        const auto lastIn = std::lower_bound(a.begin(), a.end(), to) - 1;
        const auto ends = [&](const auto& r) {
            return std::pair{r.FirstOutside(-15000, 15000, from, to), r.LastOutside(-15000, 15000, from, to)};
        };
        EXPECT_EQ(ends(inPlace), std::pair(*firstIn, *lastIn));
        EXPECT_EQ(ends(copied), std::pair(*firstIn, *lastIn));
        EXPECT_EQ(inPlace.FirstOutside(INT32_MIN, INT32_MAX, 0, n), SIZE_MAX);
        EXPECT_EQ(copied.LastOutside(INT32_MIN, INT32_MAX, 0, n), SIZE_MAX);
        // Read in order, in pieces, they give the same values, each piece
        // starting where the last one ended.
        const auto read = [&](const auto& r) {
            std::vector<int32_t> out;
            r.ForEachPiece(7, n - 3, [&](size_t at, const int32_t* v, size_t count) {
                EXPECT_EQ(at, 7 + out.size());
                out.insert(out.end(), v, v + count);
                return false;
            });
            return out;
        };
        const std::vector<int32_t> inPieces = read(inPlace);
        EXPECT_EQ(inPieces.size(), n - 10);
        EXPECT_EQ(inPieces, read(copied));
    }
    // The right pass took every extreme the left one gathered: none was
    // read afresh or left over.
    EXPECT_EQ(other.taken, other.extremes.size());
    FreeChain(head);
}

struct Drawn {
    DetailedGraphVertices out;
    std::vector<int> pieceChannels;
    size_t vertices[2] = {0, 0};
};

Drawn Draw(SoundFragment* head, uint32_t fragmentSize, uint32_t fragments, int width, int height) {
    const double frames = double(fragmentSize) / 4 * fragments, dx = frames / 500, dy = 65535.0 / 500;
    const DetailedGraphLayout layout{head, fragmentSize, 2, 16, frames, -dx, (frames + 2 * dx) / (width > 0 ? width : 1),
                                     width, -32768 - dy, height > 0 ? (65535 + 2 * dy) / height : 0};
    Drawn d;
    BuildDetailedGraph(layout, true, d.out, [&](int channel, std::vector<double>& piece) {
        d.pieceChannels.push_back(channel);
        d.vertices[channel] += piece.size() / 2;
    });
    return d;
}

// Quiet stereo room noise, each trace inside one pixel row: a column costs a
// few vertices (the frames near its edges, grouped by position, and a
// handful inside), not one per frame; each trace is handed on whole, the
// left before the right; a plot without pixels draws nothing.
TEST(DetailedGraphReduction, QuietNoiseKeepsAFewVerticesPerColumnAndTracesGoOnInOrder) {
    const uint32_t fragmentSize = 8820, fragments = 2000;  // 100 s of 16-bit stereo at 44100 Hz
    SoundFragment* head = StereoChain(fragmentSize, fragments, 0, 40, 11);
    const Drawn d = Draw(head, fragmentSize, fragments, 770, 235);
    for (int channel = 0; channel < 2; ++channel) {
        EXPECT_GT(d.vertices[channel], 770u);
        EXPECT_LT(d.vertices[channel], 200u * 770) << "channel " << channel;
        EXPECT_TRUE(d.out.traces[channel].empty()) << "the remainder was handed on";
    }
    ASSERT_FALSE(d.pieceChannels.empty());
    EXPECT_EQ(d.pieceChannels.front(), 0);
    EXPECT_EQ(d.pieceChannels.back(), 1);
    EXPECT_TRUE(std::is_sorted(d.pieceChannels.begin(), d.pieceChannels.end())) << "a trace began before the last ended";

    for (const auto& [width, height] : {std::pair{0, 235}, std::pair{770, 0}, std::pair{-3, -3}}) {
        const Drawn none = Draw(head, fragmentSize, fragments, width, height);
        EXPECT_TRUE(none.pieceChannels.empty()) << width << " x " << height;
        EXPECT_EQ(none.out.marks.capacity(), 0u);
        EXPECT_EQ(none.out.traces[0].capacity() + none.out.traces[1].capacity(), 0u);
    }
    FreeChain(head);
}

}  // namespace
