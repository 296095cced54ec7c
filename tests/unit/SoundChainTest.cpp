#include <gtest/gtest.h>

#include <vector>

#include "sound/SampleCodec.h"
#include "sound/SoundChain.h"

namespace {

struct Chain {
    std::vector<SoundFragment*> nodes;
    explicit Chain(int count, uint32_t size) {
        SoundFragment* prev = nullptr;
        for (int i = 0; i < count; ++i) {
            SoundFragment* f = AllocateFragment(size, true);
            if (prev) prev->Next = f;
            nodes.push_back(f);
            prev = f;
        }
    }
    ~Chain() { FreeChain(nodes.empty() ? nullptr : nodes[0]); }
    SoundFragment* head() { return nodes[0]; }
};

TEST(FragmentSize, SubstitutesRatesThatDoNotGiveWholeFrames) {
    EXPECT_EQ(ComputeFragmentSize(1, 44100, 16), 4410u);
    EXPECT_EQ(ComputeFragmentSize(2, 22050, 24), 6618u);
    EXPECT_EQ(ComputeFragmentSize(1, 11025, 8), 552u);
    EXPECT_EQ(ComputeFragmentSize(1, 11025, 24), 1656u);
    EXPECT_EQ(ComputeFragmentSize(2, 192000, 24), 57600u);
    EXPECT_EQ(ComputeFragmentSize(1, 8010, 16), 801u);
}

TEST(BytesToMs, FollowsTheFormat) {
    EXPECT_DOUBLE_EQ(BytesToMsFor(4410, 44100, 16, 1), 50.0);
    EXPECT_NEAR(BytesToMsFor(1104, 11025, 16, 1), 50.068, 0.001);
}

TEST(FindFragmentAt, PicksTheFragmentHoldingTheFraction) {
    const uint32_t F = 100;
    Chain c(10, F);
    double offset = -1;
    EXPECT_EQ(FindFragmentAt(c.head(), F, 10 * F, 0.0, &offset), c.nodes[0]);
    EXPECT_EQ(offset, 0.0);
    EXPECT_EQ(FindFragmentAt(c.head(), F, 10 * F, 1.0, &offset), c.nodes[9]);
    EXPECT_EQ(offset, 9.0 * F);
    EXPECT_EQ(FindFragmentAt(c.head(), F, 10 * F, 0.5, &offset), c.nodes[4]);
    EXPECT_EQ(offset, 4.0 * F);
    EXPECT_EQ(FindFragmentAt(c.head(), F, 10 * F, 0.51, &offset), c.nodes[5]);
    EXPECT_EQ(offset, 5.0 * F);
}

TEST(FindFragmentAt, RefusesBadArgumentsWithoutTouchingTheOffset) {
    const uint32_t F = 100;
    Chain c(10, F);
    double offset = 7;
    EXPECT_EQ(FindFragmentAt(c.head(), F, 10 * F, -0.01, &offset), nullptr);
    EXPECT_EQ(FindFragmentAt(c.head(), F, 10 * F, 1.01, &offset), nullptr);
    EXPECT_EQ(FindFragmentAt(c.head(), F, 0, 0.5, &offset), nullptr);
    EXPECT_EQ(FindFragmentAt(c.head(), 0, 10 * F, 0.5, &offset), nullptr);
    EXPECT_EQ(FindFragmentAt(nullptr, F, 10 * F, 0.5, &offset), nullptr);
    // A total larger than the chain: never walks off its end.
    EXPECT_EQ(FindFragmentAt(c.head(), F, 20 * F, 1.0, &offset), nullptr);
    EXPECT_EQ(offset, 7);
}

TEST(SampleCodec, DecodesEveryDepth) {
    const uint8_t b0 = 0, b255 = 255;
    EXPECT_EQ(DecodeSample8(&b0), -128);
    EXPECT_EQ(DecodeSample8(&b255), 127);
    const uint8_t s16[] = {0x00, 0x80};
    EXPECT_EQ(DecodeSample16(s16), -32768);
    const uint8_t one24[] = {1, 0, 0}, min24[] = {0, 0, 0x80}, max24[] = {0xFF, 0xFF, 0x7F};
    EXPECT_EQ(DecodeSample24(one24), 1);
    EXPECT_EQ(Sample24ToDouble(min24), -1.0);
    EXPECT_DOUBLE_EQ(Sample24ToDouble(max24), 8388607.0 / 8388608.0);
    uint8_t out[3];
    EncodeSample24(out, -838861);
    EXPECT_EQ(DecodeSample24(out), -838861);
}

}  // namespace
