// The checks the recording and playback system tests rely on must see what
// they are meant to see: a clean 441 Hz recording passes, and one lost,
// repeated or garbled fragment anywhere is found at its boundary.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/system/AudioAnalysis.h"

namespace {

using namespace audio_check;

// A 441 Hz sine of the given peak, quantised to a depth, as fragments of
// fragmentFrames frames.
std::vector<std::vector<double>> SineFragments(uint32_t rate, size_t fragmentFrames, size_t count, double peak,
                                               uint16_t bits, double phase0 = 0.3) {
    std::vector<std::vector<double>> fragments(count);
    const double step = Step(bits);
    size_t n = 0;
    for (auto& f : fragments) {
        f.resize(fragmentFrames);
        for (double& v : f) {
            v = std::round(peak * std::sin(2 * Pi * 441.0 * double(n++) / rate + phase0) / step) * step;
        }
    }
    return fragments;
}

std::vector<double> Join(const std::vector<std::vector<double>>& fragments) {
    std::vector<double> x;
    for (const auto& f : fragments) x.insert(x.end(), f.begin(), f.end());
    return x;
}

Pcm Encode16(const std::vector<double>& x) {
    Pcm pcm;
    for (double v : x) {
        const int s = int(std::lround(v * 32768));
        pcm.data.push_back(uint8_t(s & 0xFF));
        pcm.data.push_back(uint8_t((s >> 8) & 0xFF));
    }
    return pcm;
}

TEST(AudioAnalysis, DecodesEveryDepth) {
    Pcm p8{1, 8000, 8, {0, 128, 255}};
    EXPECT_EQ(Channel(p8, 0), (std::vector<double>{-1.0, 0.0, 127 / 128.0}));
    Pcm p16{1, 8000, 16, {0x00, 0x80, 0xFF, 0x7F}};
    EXPECT_EQ(Channel(p16, 0), (std::vector<double>{-1.0, 32767 / 32768.0}));
    Pcm p24{2, 8000, 24, {0x00, 0x00, 0x80, 0x01, 0x00, 0x00}};
    EXPECT_EQ(Channel(p24, 0), std::vector<double>{-1.0});
    EXPECT_EQ(Channel(p24, 1), std::vector<double>{1 / 8388608.0});
}

TEST(AudioAnalysis, ACleanRecordingShowsNoJumpAtAnyDepthOrRate) {
    struct Case { uint32_t rate; size_t frames; uint16_t bits; };
    for (const Case c : {Case{44100, 2205, 16}, Case{11025, 552, 8}, Case{48000, 2400, 24}, Case{8000, 400, 8}}) {
        SCOPED_TRACE(c.rate);
        const std::vector<double> x = Join(SineFragments(c.rate, c.frames, 40, 0.5, c.bits));
        EXPECT_NEAR(ZeroCrossingFrequency(x, c.rate), 441.0, 0.5);
        EXPECT_NEAR(Peak(x), 0.5, 0.01);
        const auto blocks = Blocks(x, c.rate, 441, c.frames);
        ASSERT_EQ(blocks.size(), 40u);
        EXPECT_TRUE(PhaseJumps(blocks, 5).empty());
        EXPECT_TRUE(UnevenBlocks(blocks, 0.1).empty());
        const double threshold = 0.05 + 4 * Step(c.bits);
        EXPECT_TRUE(SecondDifferenceJumps(x, c.rate, 441, c.frames, threshold).empty());
        EXPECT_LT(InteriorResidual(x, c.rate, 441, c.frames), threshold);
    }
}

TEST(AudioAnalysis, ALostFragmentIsFoundWhereverItIs) {
    for (size_t lost = 1; lost < 39; ++lost) {
        auto fragments = SineFragments(44100, 2205, 40, 0.5, 16);
        fragments.erase(fragments.begin() + long(lost));
        const std::vector<double> x = Join(fragments);
        EXPECT_EQ(PhaseJumps(Blocks(x, 44100, 441, 2205), 5), std::vector<size_t>{lost}) << "lost " << lost;
    }
}

TEST(AudioAnalysis, ARepeatedFragmentIsFound) {
    auto fragments = SineFragments(11025, 552, 30, 0.5, 8);
    fragments.insert(fragments.begin() + 12, fragments[11]);
    const std::vector<double> x = Join(fragments);
    EXPECT_EQ(PhaseJumps(Blocks(x, 11025, 441, 552), 5), std::vector<size_t>{12});
}

TEST(AudioAnalysis, SecondDifferenceSeesAJumpAwayFromThePeak) {
    // Fragment 5 of a 0.3 rad start phase begins 11025 frames in, where the
    // 18 degree step changes the value by about a quarter of the peak.
    auto fragments = SineFragments(44100, 2205, 12, 0.5, 16);
    fragments.erase(fragments.begin() + 5);
    const std::vector<double> x = Join(fragments);
    const auto jumps = SecondDifferenceJumps(x, 44100, 441, 2205, 0.05);
    EXPECT_EQ(jumps, std::vector<size_t>{5});
}

TEST(AudioAnalysis, AGarbledOrSilentFragmentIsUneven) {
    auto fragments = SineFragments(44100, 2205, 20, 0.5, 16);
    std::fill(fragments[7].begin(), fragments[7].end(), 0.0);
    const std::vector<double> x = Join(fragments);
    const auto blocks = Blocks(x, 44100, 441, 2205);
    EXPECT_EQ(UnevenBlocks(blocks, 0.2), std::vector<size_t>{7});
}

TEST(AudioAnalysis, ToneSequenceIsReadInOrder) {
    const uint32_t rate = 44100;
    const std::vector<double> tones = {400, 550, 700, 850};
    std::vector<double> x;
    for (int t : {0, 1, 2, 3}) {
        for (int n = 0; n < 2205; ++n) x.push_back(0.5 * std::sin(2 * Pi * tones[t] * n / rate));
    }
    x.insert(x.end(), 4410, 0.0);
    const auto runs = Runs(DominantTones(x, rate, tones, 882, 220, 0.05), 3);
    ASSERT_EQ(runs.size(), 5u);
    for (int t = 0; t < 4; ++t) EXPECT_EQ(runs[t].tone, t);
    EXPECT_EQ(runs[4].tone, -1);
}

TEST(AudioAnalysis, EncodedSamplesRoundTrip) {
    const std::vector<double> x = Join(SineFragments(44100, 2205, 2, 0.5, 16));
    EXPECT_EQ(Channel(Encode16(x), 0), x);
}

}  // namespace
