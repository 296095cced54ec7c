#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "sound/SampleCodec.h"
#include "view/LiveMeters.h"

namespace {

class LiveMetersTest : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset() {
        for (auto& channel : OverloadHold)
            for (float& hold : channel) hold = 0;
        for (int& level : VuLevel) level = 0;
    }
    // What the live drawing does with one block: test every sample of each
    // channel, then let the counters run down after the lamps are drawn.
    static void ShowBlock(const std::vector<uint8_t>& block, uint16_t channels, uint16_t bits) {
        const unsigned sampleBytes = bits / 8, frameBytes = sampleBytes * channels;
        for (size_t at = 0; at + frameBytes <= block.size(); at += frameBytes) {
            for (int c = 0; c < channels; ++c) {
                const uint8_t* p = &block[at + c * sampleBytes];
                const double v = bits == 8 ? DecodeSample8(p) : bits == 16 ? DecodeSample16(p) : Sample24ToDouble(p);
                NoteOverload(c, v, bits);
            }
        }
    }
    static unsigned LitLamps(int channel) {
        unsigned lit = 0;
        for (int lamp = LampYellow; lamp <= LampRed; ++lamp)
            if (OverloadLit(channel, OverloadLamp(lamp))) lit |= 1u << lamp;
        return lit;
    }
};

constexpr unsigned Yellow = 1u << LampYellow, Orange = 1u << LampOrange, Red = 1u << LampRed;
constexpr unsigned AllLamps = Yellow | Orange | Red;

TEST_F(LiveMetersTest, ThresholdsAreStrictAndFollowTheDepth) {
    // 8-bit: full scale both ways counts as clipping.
    EXPECT_EQ(OverloadBits(127, 8), AllLamps);
    EXPECT_EQ(OverloadBits(-128, 8), AllLamps);
    EXPECT_EQ(OverloadBits(126, 8), Yellow | Orange);
    EXPECT_EQ(OverloadBits(-127, 8), Yellow | Orange);
    EXPECT_EQ(OverloadBits(114, 8), Yellow);
    EXPECT_EQ(OverloadBits(115, 8), Yellow | Orange);
    EXPECT_EQ(OverloadBits(88, 8), 0u);
    EXPECT_EQ(OverloadBits(89, 8), Yellow);
    EXPECT_EQ(OverloadBits(-89, 8), Yellow);

    // 16-bit.
    EXPECT_EQ(OverloadBits(32764, 16), AllLamps);
    EXPECT_EQ(OverloadBits(32763, 16), Yellow | Orange);
    EXPECT_EQ(OverloadBits(-32765, 16), AllLamps);
    EXPECT_EQ(OverloadBits(-32764, 16), Yellow | Orange);
    EXPECT_EQ(OverloadBits(29490, 16), Yellow);
    EXPECT_EQ(OverloadBits(-29491, 16), Yellow | Orange);
    EXPECT_EQ(OverloadBits(22936, 16), 0u);
    EXPECT_EQ(OverloadBits(22937, 16), Yellow);
    EXPECT_EQ(OverloadBits(0, 16), 0u);

    // 24-bit, scaled.
    EXPECT_EQ(OverloadBits(-1.0, 24), AllLamps);
    EXPECT_EQ(OverloadBits(0.9999, 24), Yellow | Orange);
    EXPECT_EQ(OverloadBits(0.89999, 24), Yellow);
    EXPECT_EQ(OverloadBits(0.7, 24), 0u);
    EXPECT_EQ(OverloadBits(-0.71, 24), Yellow);

    // A depth without thresholds lights nothing.
    EXPECT_EQ(OverloadBits(1e9, 32), 0u);
}

TEST_F(LiveMetersTest, OneFullScaleSampleHoldsEveryLampForFiveFrames) {
    // 16-bit mono block of 8820 bytes, silent but for one sample of 32767.
    std::vector<uint8_t> loud(8820, 0), silent(8820, 0);
    EncodeSample16(&loud[2 * 1234], 32767);

    ShowBlock(loud, 1, 16);
    for (int frame = 1; frame <= 5; ++frame) {
        EXPECT_EQ(LitLamps(0), AllLamps) << "frame " << frame;
        DecayOverloadHolds(1);
        if (frame < 5) ShowBlock(silent, 1, 16);
    }
    ShowBlock(silent, 1, 16);
    EXPECT_EQ(LitLamps(0), 0u);

    // Its RMS is about 493, far too little for a VU lamp.
    const double rms = BlockRms(loud.data(), 8820, 1, 16, 0);
    EXPECT_NEAR(rms, 32767 / std::sqrt(4410.0), 1e-9);
    EXPECT_EQ(VuTargetLevel(rms, 16), 0);
}

TEST_F(LiveMetersTest, HoldsRunDownOnlyForTheDrawnChannels) {
    NoteOverload(1, -32768, 16);
    NoteOverload(0, 25000, 16);
    EXPECT_EQ(LitLamps(1), AllLamps);
    EXPECT_EQ(LitLamps(0), Yellow);

    // A mono frame leaves the right channel's counters alone.
    for (int i = 0; i < 6; ++i) DecayOverloadHolds(1);
    EXPECT_EQ(LitLamps(0), 0u);
    EXPECT_EQ(LitLamps(1), AllLamps);
    EXPECT_FLOAT_EQ(OverloadHold[0][LampYellow], 0.0f);

    for (int i = 0; i < 4; ++i) DecayOverloadHolds(2);
    EXPECT_EQ(LitLamps(1), AllLamps);
    DecayOverloadHolds(2);
    EXPECT_EQ(LitLamps(1), 0u);
}

TEST_F(LiveMetersTest, StereoOverloadIsKeptPerChannel) {
    // 8-bit stereo: only the right samples reach full scale.
    std::vector<uint8_t> block(800, 128);
    for (size_t at = 1; at < block.size(); at += 2) block[at] = at % 4 == 1 ? 0 : 200;
    ShowBlock(block, 2, 8);
    EXPECT_EQ(LitLamps(0), 0u);
    EXPECT_EQ(LitLamps(1), AllLamps);
}

TEST_F(LiveMetersTest, VuLevelFromRms) {
    // Constant 16384: RMS 16384, twice that is above full scale.
    std::vector<uint8_t> block(8820);
    for (size_t at = 0; at < block.size(); at += 2) EncodeSample16(&block[at], 16384);
    const double rms = BlockRms(block.data(), 8820, 1, 16, 0);
    EXPECT_DOUBLE_EQ(rms, 16384.0);
    EXPECT_EQ(VuTargetLevel(rms, 16), 15);

    // Halves round away from zero: 0.5 lamp at 2 x RMS / FS = 1/30.
    EXPECT_EQ(VuTargetLevel(32767.0 / 60 * 1.0000001, 16), 1);
    EXPECT_EQ(VuTargetLevel(32767.0 / 60 * 0.9999999, 16), 0);
    EXPECT_EQ(VuTargetLevel(127.0 / 4, 8), 8);  // 7.5 lamps
    EXPECT_EQ(VuTargetLevel(0.25, 24), 8);
    EXPECT_EQ(VuTargetLevel(10.0, 24), 15);
    EXPECT_EQ(VuTargetLevel(0.0, 16), 0);
    EXPECT_EQ(VuTargetLevel(1000.0, 32), 0);
}

TEST_F(LiveMetersTest, VuFallsByATenthOfTheDifferenceAndRisesAtOnce) {
    const std::vector<int> expected = {15, 13, 11, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0};
    std::vector<int> seen;
    int level = 15;
    for (size_t i = 0; i < expected.size(); ++i) {
        seen.push_back(level);
        level = VuFall(level, 0);
    }
    EXPECT_EQ(seen, expected);

    EXPECT_EQ(VuFall(3, 12), 12);  // rises at once
    EXPECT_EQ(VuFall(6, 5), 5);    // one lamp above: straight there
    EXPECT_EQ(VuFall(7, 5), 6);    // at least one lamp down
    EXPECT_EQ(VuFall(15, 5), 14);  // 15 - 1.0
    EXPECT_EQ(VuFall(15, 4), 13);  // 15 - 1.1, truncated
}

TEST_F(LiveMetersTest, RmsReadsTheChosenChannelOfEveryDepth) {
    // 24-bit stereo: left at 0.5, right at -0.25.
    std::vector<uint8_t> stereo24(6 * 100);
    for (size_t f = 0; f < 100; ++f) {
        EncodeSample24(&stereo24[6 * f], 4194304);
        EncodeSample24(&stereo24[6 * f + 3], -2097152);
    }
    EXPECT_DOUBLE_EQ(BlockRms(stereo24.data(), 600, 2, 24, 0), 0.5);
    EXPECT_DOUBLE_EQ(BlockRms(stereo24.data(), 600, 2, 24, 1), 0.25);

    // 8-bit mono alternating 128 +- 100: RMS 100 (silence is 128, not 0).
    std::vector<uint8_t> mono8(400);
    for (size_t i = 0; i < mono8.size(); ++i) mono8[i] = i % 2 ? 228 : 28;
    EXPECT_DOUBLE_EQ(BlockRms(mono8.data(), 400, 1, 8, 0), 100.0);

    // A block that ends in part of a frame (801 bytes of 16-bit mono): the
    // odd byte is not read as half a sample.
    std::vector<uint8_t> odd(801, 0);
    for (size_t at = 0; at + 1 < 800; at += 2) EncodeSample16(&odd[at], -300);
    odd[800] = 0x7F;
    EXPECT_DOUBLE_EQ(BlockRms(odd.data(), 801, 1, 16, 0), 300.0);

    EXPECT_EQ(BlockRms(mono8.data(), 400, 1, 8, 1), 0.0);   // no right channel
    EXPECT_EQ(BlockRms(mono8.data(), 400, 1, 12, 0), 0.0);  // no such depth
    EXPECT_EQ(BlockRms(mono8.data(), 1, 1, 16, 0), 0.0);    // not even one frame
}

}  // namespace
