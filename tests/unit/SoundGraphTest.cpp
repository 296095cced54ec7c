#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "sound/FrameWalk.h"
#include "sound/Narration.h"
#include "sound/SampleCodec.h"
#include "sound/SoundChain.h"
#include "view/SoundGraph.h"

namespace {

// A chain cut from one flat byte stream, fragment by fragment, the way a WAV
// file is read in.
struct GraphChain {
    SoundFragment* head = nullptr;
    GraphChain(const std::vector<uint8_t>& bytes, uint32_t fragmentSize) {
        SoundFragment* last = nullptr;
        for (size_t at = 0; at + fragmentSize <= bytes.size(); at += fragmentSize) {
            SoundFragment* f = AllocateFragment(fragmentSize);
            std::memcpy(f->Data, bytes.data() + at, fragmentSize);
            (last ? last->Next : head) = f;
            last = f;
        }
    }
    ~GraphChain() { FreeChain(head); }
    GraphChain(const GraphChain&) = delete;
    GraphChain& operator=(const GraphChain&) = delete;
};

// Plain decoding of one sample from the flat stream, in the graph's units.
double FlatSample(const std::vector<uint8_t>& bytes, size_t at, uint16_t bits) {
    if (bits == 8) return DecodeSample8(&bytes[at]);
    if (bits == 16) return DecodeSample16(&bytes[at]);
    return Sample24ToDouble(&bytes[at]);
}

// The envelope written out simply: each column's bytes by the column rule
// (column c ends at floor(T / 40000 x (c + 1)), moved down onto the last
// byte of a frame when frames are longer than a byte, where 8-bit mono
// stops before it), then the smallest and largest value of each channel.
std::vector<GraphColumn> ReferenceEnvelope(const std::vector<uint8_t>& bytes, double total, uint16_t channels,
                                           uint16_t bits, int channel) {
    const unsigned k = channels * bits / 8;
    std::vector<GraphColumn> out(ColumnCount);
    double q = 0;
    for (uint32_t c = 0; c + 1 < ColumnCount; ++c) {
        double e = std::floor(total / 40000 * (c + 1));
        double end;
        if (k == 1) {
            end = e;
        } else {
            while (std::fmod(e, k) != k - 1) e -= 1;
            end = e + 1;
        }
        double lo = 1e300, hi = -1e300;
        for (double pos = q; pos + k <= end; pos += k) {
            const double v = FlatSample(bytes, size_t(pos) + channel * (bits / 8), bits);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        out[c] = {lo, hi};
        q = end;
    }
    out[ColumnCount - 1] = {0, 0};
    return out;
}

void FillColumns(GraphColumn* columns, double value) {
    for (uint32_t c = 0; c < ColumnCount; ++c) columns[c] = {value, -value};
}

class SoundGraphTest : public ::testing::Test {
protected:
    SoundChain saved;
    void SetUp() override {
        saved = Sound;
        InitSoundGraph();
        SetBusySinks(nullptr, nullptr);
    }
    void TearDown() override {
        Sound = saved;
        SetBusySinks(nullptr, nullptr);
    }
    static void UseFormat(uint16_t channels, uint16_t bits) {
        Sound.Channels = channels;
        Sound.BitsPerSample = bits;
    }
    // Builds the chain, runs the preparation on it with the chain's own
    // total, frees it.
    static void Prepare(const std::vector<uint8_t>& bytes, uint32_t fragmentSize) {
        GraphChain chain(bytes, fragmentSize);
        Sound.FragmentSize = fragmentSize;
        Sound.TotalBytes = double(bytes.size() / fragmentSize * fragmentSize);
        PrepareSoundGraph(chain.head, fragmentSize, Sound.TotalBytes);
    }
};

void Put16(std::vector<uint8_t>& b, size_t sampleIndex, int value) { EncodeSample16(&b[sampleIndex * 2], value); }

TEST_F(SoundGraphTest, ShortSoundsGetNoEnvelopeAndTheFloorGetsSixteenBytesPerColumn) {
    UseFormat(1, 8);
    // 8000 Hz 8-bit mono: fragments of 400 bytes.
    std::vector<uint8_t> bytes(1600 * 400, 128);
    // Mark both ends of every column: a 127 in the last byte of even
    // columns, a -128 in the first byte of odd columns. A boundary off by
    // one byte moves a mark into the neighbour.
    for (uint32_t c = 0; c + 1 < ColumnCount; ++c) {
        if (c % 2 == 0) bytes[16 * c + 15] = 255;
        else bytes[16 * c] = 0;
    }

    FillColumns(ColumnsLeft, 77);
    FastGraphReady = true;
    Prepare(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 1599 * 400), 400);
    EXPECT_FALSE(FastGraphReady);
    EXPECT_EQ(ColumnsLeft[0].min, 77);
    EXPECT_EQ(ColumnsLeft[20000].max, -77);

    Prepare(bytes, 400);
    ASSERT_TRUE(FastGraphReady);
    for (uint32_t c = 0; c + 1 < ColumnCount; ++c) {
        const bool even = c % 2 == 0;
        ASSERT_EQ(ColumnsLeft[c].min, even ? 0 : -128) << "column " << c;
        ASSERT_EQ(ColumnsLeft[c].max, even ? 127 : 0) << "column " << c;
    }
}

TEST_F(SoundGraphTest, SilentEightBitSoundIsFlatAndTheLastColumnAlwaysFlat) {
    UseFormat(1, 8);
    FillColumns(ColumnsLeft, 50);
    Prepare(std::vector<uint8_t>(2000 * 400, 128), 400);
    ASSERT_TRUE(FastGraphReady);
    for (uint32_t c = 0; c < ColumnCount; ++c) {
        ASSERT_EQ(ColumnsLeft[c].min, 0) << "column " << c;
        ASSERT_EQ(ColumnsLeft[c].max, 0) << "column " << c;
    }

    // A loud sound leaves the last column flat as well: it is never read.
    Prepare(std::vector<uint8_t>(2000 * 400, 250), 400);
    ASSERT_TRUE(FastGraphReady);
    EXPECT_EQ(ColumnsLeft[ColumnCount - 2].min, 122);
    EXPECT_EQ(ColumnsLeft[ColumnCount - 1].min, 0);
    EXPECT_EQ(ColumnsLeft[ColumnCount - 1].max, 0);
}

TEST_F(SoundGraphTest, SixteenBitMonoColumnZeroIsTheFirstSixteenBytes) {
    UseFormat(1, 16);
    std::vector<uint8_t> bytes(800 * 800, 0);
    Put16(bytes, 0, -500);   // bytes 0-1
    Put16(bytes, 7, 1000);   // bytes 14-15, still column 0
    Put16(bytes, 8, -1000);  // bytes 16-17, column 1 begins here
    Put16(bytes, 15, 2000);
    Prepare(bytes, 800);
    ASSERT_TRUE(FastGraphReady);
    EXPECT_EQ(ColumnsLeft[0].min, -500);
    EXPECT_EQ(ColumnsLeft[0].max, 1000);
    EXPECT_EQ(ColumnsLeft[1].min, -1000);
    EXPECT_EQ(ColumnsLeft[1].max, 2000);
    EXPECT_EQ(ColumnsLeft[2].min, 0);
    EXPECT_EQ(ColumnsLeft[2].max, 0);
}

TEST_F(SoundGraphTest, TwentyFourBitStereoColumnsEndOnWholeFrames) {
    UseFormat(2, 24);
    // 8000 Hz: fragments of 2400 bytes; 48 bytes (eight frames) a column.
    std::vector<uint8_t> bytes(800 * 2400, 0);
    EncodeSample24(&bytes[7 * 6], 4194304);       // frame 7 left: 0.5, last frame of column 0
    EncodeSample24(&bytes[7 * 6 + 3], -6291456);  // frame 7 right: -0.75
    EncodeSample24(&bytes[8 * 6], -2097152);      // frame 8 left: -0.25, first of column 1
    EncodeSample24(&bytes[8 * 6 + 3], 8388607);   // frame 8 right: just below 1
    // The last frame of the first fragment (bytes 2394-2399) closes column
    // 49; column 50 starts in the second fragment.
    EncodeSample24(&bytes[399 * 6], -8388608);
    Prepare(bytes, 2400);
    ASSERT_TRUE(FastGraphReady);
    EXPECT_EQ(ColumnsLeft[0].min, 0);
    EXPECT_EQ(ColumnsLeft[0].max, 0.5);
    EXPECT_EQ(ColumnsRight[0].min, -0.75);
    EXPECT_EQ(ColumnsRight[0].max, 0);
    EXPECT_EQ(ColumnsLeft[1].min, -0.25);
    EXPECT_EQ(ColumnsLeft[1].max, 0);
    EXPECT_EQ(ColumnsRight[1].max, 8388607 / 8388608.0);
    EXPECT_EQ(ColumnsLeft[49].min, -1.0);
    EXPECT_EQ(ColumnsLeft[50].min, 0);
}

TEST_F(SoundGraphTest, FullScaleValuesReplaceTheStartingValues) {
    UseFormat(1, 16);
    std::vector<uint8_t> low(800 * 800);
    for (size_t i = 0; i < low.size() / 2; ++i) Put16(low, i, -32768);
    Prepare(low, 800);
    ASSERT_TRUE(FastGraphReady);
    EXPECT_EQ(ColumnsLeft[123].min, -32768);
    EXPECT_EQ(ColumnsLeft[123].max, -32768);

    std::vector<uint8_t> high(800 * 800);
    for (size_t i = 0; i < high.size() / 2; ++i) Put16(high, i, 32767);
    Prepare(high, 800);
    EXPECT_EQ(ColumnsLeft[123].min, 32767);
    EXPECT_EQ(ColumnsLeft[123].max, 32767);

    UseFormat(1, 24);
    std::vector<uint8_t> low24(1200 * 600);
    for (size_t i = 0; i < low24.size() / 3; ++i) EncodeSample24(&low24[i * 3], -8388608);
    Prepare(low24, 1200);
    ASSERT_TRUE(FastGraphReady);
    EXPECT_EQ(ColumnsLeft[7].min, -1.0);
    EXPECT_EQ(ColumnsLeft[7].max, -1.0);
}

TEST_F(SoundGraphTest, EachChannelHasItsOwnColumns) {
    UseFormat(2, 16);
    std::vector<uint8_t> bytes(400 * 1600);
    for (size_t f = 0; f < bytes.size() / 4; ++f) {
        Put16(bytes, 2 * f, f % 3 == 0 ? 100 : -100);           // quiet left
        Put16(bytes, 2 * f + 1, f % 2 == 0 ? 30000 : -30000);   // loud right
    }
    Prepare(bytes, 1600);
    ASSERT_TRUE(FastGraphReady);
    for (uint32_t c = 0; c + 1 < ColumnCount; c += 997) {
        EXPECT_EQ(ColumnsLeft[c].min, -100) << c;
        EXPECT_EQ(ColumnsLeft[c].max, 100) << c;
        EXPECT_EQ(ColumnsRight[c].min, -30000) << c;
        EXPECT_EQ(ColumnsRight[c].max, 30000) << c;
    }

    // A mono sound afterwards leaves the right columns as they were.
    UseFormat(1, 16);
    std::vector<uint8_t> mono(800 * 800, 0);
    Prepare(mono, 800);
    ASSERT_TRUE(FastGraphReady);
    EXPECT_EQ(ColumnsLeft[5].max, 0);
    EXPECT_EQ(ColumnsRight[5].min, -30000);
    EXPECT_EQ(ColumnsRight[5].max, 30000);
}

TEST_F(SoundGraphTest, NothingIsComputedWithoutAUsableSound) {
    UseFormat(1, 16);
    std::vector<uint8_t> bytes(800 * 800, 9);
    GraphChain chain(bytes, 800);
    FillColumns(ColumnsLeft, 3);

    FastGraphReady = true;
    PrepareSoundGraph(nullptr, 800, 640000);
    EXPECT_FALSE(FastGraphReady);

    FastGraphReady = true;
    PrepareSoundGraph(chain.head, 0, 640000);
    EXPECT_FALSE(FastGraphReady);

    for (uint16_t bits : {12, 32}) {
        UseFormat(1, bits);
        FastGraphReady = true;
        PrepareSoundGraph(chain.head, 800, 640000);
        EXPECT_FALSE(FastGraphReady) << bits;
    }
    UseFormat(3, 16);
    PrepareSoundGraph(chain.head, 800, 640000);
    EXPECT_FALSE(FastGraphReady);

    // A total that claims more fragments than the chain holds.
    UseFormat(1, 16);
    FastGraphReady = true;
    PrepareSoundGraph(chain.head, 800, 2 * 640000);
    EXPECT_FALSE(FastGraphReady);

    EXPECT_EQ(ColumnsLeft[0].min, 3);
    EXPECT_EQ(ColumnsLeft[39999].max, -3);
}

TEST_F(SoundGraphTest, LongSoundsShowTheWaitingPopupAroundTheWork) {
    std::vector<std::string> events;
    std::wstring shownText;
    static int token;
    SetBusySinks(
        [&](const std::wstring& text) -> void* {
            shownText = text;
            events.push_back("show");
            return &token;
        },
        [&](void* t) { events.push_back(t == &token ? "hide" : "hide-wrong-token"); });

    // 44100 Hz 16-bit stereo: 300 s is exactly the limit, no popup.
    UseFormat(2, 16);
    std::vector<uint8_t> bytes(size_t(6001) * 8820, 0);
    Prepare(std::vector<uint8_t>(bytes.begin(), bytes.begin() + size_t(6000) * 8820), 8820);
    EXPECT_TRUE(FastGraphReady);
    EXPECT_TRUE(events.empty());

    Prepare(bytes, 8820);
    EXPECT_TRUE(FastGraphReady);
    EXPECT_EQ(events, (std::vector<std::string>{"show", "hide"}));
    EXPECT_EQ(shownText, L"Подготовка графика звука...");

    // The popup also goes away when the format cannot be drawn.
    events.clear();
    UseFormat(2, 32);
    Prepare(bytes, 8820);
    EXPECT_FALSE(FastGraphReady);
    EXPECT_EQ(events, (std::vector<std::string>{"show", "hide"}));
}

struct RandomCase {
    uint16_t channels, bits;
    uint32_t fragmentSize;
    uint32_t fragments;
};

TEST_F(SoundGraphTest, MatchesAPlainComputationForEveryFormat) {
    // Fragment sizes: whole frames as recorded, sizes from an odd rate
    // (8010 Hz) that cut frames at fragment ends, and tiny fragments that a
    // single frame spans several of.
    const RandomCase cases[] = {
        {1, 8, 400, 1700},   {1, 8, 401, 1613},   {1, 16, 800, 911},   {1, 16, 801, 877},
        {1, 24, 1200, 601},  {1, 24, 1201, 555},  {2, 8, 800, 853},    {2, 8, 801, 850},
        {2, 16, 1600, 419},  {2, 16, 1602, 431},  {2, 24, 2400, 301},  {2, 24, 2403, 289},
        {2, 24, 4, 170003},  {1, 16, 1, 650001},
    };
    std::mt19937 random(20261207);
    for (const RandomCase& rc : cases) {
        SCOPED_TRACE(testing::Message() << rc.channels << " ch, " << rc.bits << " bits, F=" << rc.fragmentSize);
        UseFormat(rc.channels, rc.bits);
        std::vector<uint8_t> bytes(size_t(rc.fragmentSize) * rc.fragments);
        for (auto& b : bytes) b = uint8_t(random());
        Prepare(bytes, rc.fragmentSize);
        ASSERT_TRUE(FastGraphReady);
        const double total = double(bytes.size());
        for (int ch = 0; ch < rc.channels; ++ch) {
            const GraphColumn* got = ch == 0 ? ColumnsLeft : ColumnsRight;
            const std::vector<GraphColumn> want = ReferenceEnvelope(bytes, total, rc.channels, rc.bits, ch);
            for (uint32_t c = 0; c < ColumnCount; ++c) {
                ASSERT_EQ(got[c].min, want[c].min) << "channel " << ch << " column " << c;
                ASSERT_EQ(got[c].max, want[c].max) << "channel " << ch << " column " << c;
            }
        }
    }
}

TEST(FrameWalk, VisitsTheFramesOfTheByteStreamInOrder) {
    std::mt19937 random(7);
    for (unsigned frameBytes : {1u, 2u, 3u, 4u, 6u}) {
        for (uint32_t fragmentSize : {1u, 2u, 4u, 5u, 7u, 12u, 801u}) {
            SCOPED_TRACE(testing::Message() << "k=" << frameBytes << " F=" << fragmentSize);
            std::vector<uint8_t> bytes(size_t(fragmentSize) * (1 + 2400 / fragmentSize));
            for (auto& b : bytes) b = uint8_t(random());
            GraphChain chain(bytes, fragmentSize);
            std::vector<uint8_t> seen;
            uint64_t expectedNumber = 0;
            bool numbersInOrder = true;
            ForEachFrame(chain.head, fragmentSize, frameBytes, 1e300, [&](const uint8_t* frame, uint64_t number) {
                numbersInOrder = numbersInOrder && number == expectedNumber++;
                seen.insert(seen.end(), frame, frame + frameBytes);
            });
            EXPECT_TRUE(numbersInOrder);
            // Every whole frame, true to the stream; a cut-off last frame is left out.
            const size_t whole = bytes.size() / frameBytes * frameBytes;
            EXPECT_EQ(seen, std::vector<uint8_t>(bytes.begin(), bytes.begin() + whole));
        }
    }
}

TEST(FrameWalk, StopsBeforeTheFirstFragmentThatStartsAtTheLimit) {
    // 16-bit mono, fragments of 10 bytes = 5 frames.
    std::vector<uint8_t> bytes(100, 0);
    GraphChain chain(bytes, 10);
    uint64_t count = 0;
    ForEachFrame(chain.head, 10, 2, 12, [&](const uint8_t*, uint64_t) { ++count; });
    EXPECT_EQ(count, 15u);  // fragments starting at frames 0, 5 and 10 are drawn whole
    count = 0;
    ForEachFrame(chain.head, 10, 2, 10, [&](const uint8_t*, uint64_t) { ++count; });
    EXPECT_EQ(count, 10u);
    count = 0;
    ForEachFrame(chain.head, 0, 2, 1e9, [&](const uint8_t*, uint64_t) { ++count; });
    ForEachFrame(nullptr, 10, 2, 1e9, [&](const uint8_t*, uint64_t) { ++count; });
    EXPECT_EQ(count, 0u);
}

}  // namespace
