#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "EditFixture.h"
#include "edit/Cutting.h"

namespace {

// Trackbar positions mapped onto whole fragments.
TEST(MapCutRange, MapsTrackbarPositionsOntoFragments) {
    const uint32_t F = 4410;
    const CutPlan middle = MapCutRange(200.0 * F, F, 2500, 7500, 10000);
    EXPECT_EQ(middle.n, 200u);
    EXPECT_EQ(middle.start, 50u);
    EXPECT_EQ(middle.end, 150u);

    const CutPlan whole = MapCutRange(200.0 * F, F, 0, 10000, 10000);
    EXPECT_EQ(whole.start, 0u);
    EXPECT_EQ(whole.end, 200u);
}

TEST(MapCutRange, EndRoundsUpOnlyAboveOneHalf) {
    const uint32_t F = 800;
    // 5000 x (3 / 10000) lies just below 1.5 in double precision: one fragment.
    const CutPlan half = MapCutRange(3.0 * F, F, 0, 5000, 10000);
    EXPECT_EQ(half.n, 3u);
    EXPECT_EQ(half.end - half.start, 1u);
    // About 1.53: two fragments.
    const CutPlan more = MapCutRange(3.0 * F, F, 0, 5100, 10000);
    EXPECT_EQ(more.end - more.start, 2u);
    // A fractional part of exactly one half (0.5 fragments per step) rounds down.
    EXPECT_EQ(MapCutRange(4.0 * F, F, 0, 1, 8).end, 0u);
    EXPECT_EQ(MapCutRange(4.0 * F, F, 0, 3, 8).end, 1u);
    // Just above one half rounds up; the start is always truncated.
    const CutPlan up = MapCutRange(4.0 * F, F, 7, 7, 10);  // 2.8 and 2.8
    EXPECT_EQ(up.start, 2u);
    EXPECT_EQ(up.end, 3u);
}

TEST(MapCutRange, TooNarrowARangeMapsToNoWholeFragment) {
    const uint32_t F = 800;
    const CutPlan narrow = MapCutRange(3.0 * F, F, 3400, 3500, 10000);
    EXPECT_EQ(narrow.start, 1u);  // about 1.02
    EXPECT_EQ(narrow.end, 1u);    // about 1.05
    EXPECT_LT(narrow.end, narrow.start + 1);
}

TEST(MapCutRange, NothingMapsWithoutLengthFragmentSizeOrRange) {
    for (const CutPlan& p : {MapCutRange(0, 800, 0, 10000, 10000), MapCutRange(-800, 800, 0, 10000, 10000),
                             MapCutRange(8000, 0, 0, 10000, 10000), MapCutRange(8000, 800, 0, 10000, 0)}) {
        EXPECT_EQ(p.n, 0u);
        EXPECT_EQ(p.start, 0u);
        EXPECT_EQ(p.end, 0u);
    }
}

class CutSoundTest : public EditFixture {
protected:
    static constexpr uint32_t F = 8;
    // Fragment i starts with the bytes of i, so a kept fragment is known by
    // its content whatever node it ended up in.
    static std::vector<std::vector<uint8_t>> Numbered(uint32_t count) {
        std::vector<std::vector<uint8_t>> out;
        for (uint32_t i = 0; i < count; ++i)
            out.push_back({uint8_t(i), uint8_t(i >> 8), 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, uint8_t(255 - i)});
        return out;
    }
    static std::vector<uint32_t> Ids(const SoundFragment* head) {
        std::vector<uint32_t> ids;
        for (const SoundFragment* f = head; f; f = f->Next) {
            EXPECT_EQ(f->Data[7], uint8_t(255 - f->Data[0]));  // still a whole fragment
            ids.push_back(f->Data[0] | (f->Data[1] << 8));
        }
        return ids;
    }
    static std::vector<uint32_t> Range(uint32_t from, uint32_t to) {
        std::vector<uint32_t> r;
        for (uint32_t i = from; i < to; ++i) r.push_back(i);
        return r;
    }
    void UseChain(TestChain& chain, uint32_t count) {
        SetFormat(1, 16, 8000);
        Sound.FragmentSize = F;
        Sound.Head = chain.head();
        Sound.TotalBytes = double(count) * F;
        Sound.TotalMs = BytesToMs(Sound.TotalBytes);
    }
    void TearDown() override {
        FreeChain(Sound.Head);
        EditFixture::TearDown();
    }
};

TEST_F(CutSoundTest, KeepsTheChosenStretchAndUpdatesTheTotals) {
    TestChain chain(Numbered(200));
    UseChain(chain, 200);
    chain.Release();
    ASSERT_EQ(CutSound(Sound.Head, 50, 100), 1);
    EXPECT_EQ(Ids(Sound.Head), Range(50, 150));
    EXPECT_EQ(Sound.TotalBytes, 100.0 * F);
    EXPECT_DOUBLE_EQ(Sound.TotalMs, 100.0 * F / 8000 / 2 * 1000);
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(alerts.empty());
}

TEST_F(CutSoundTest, KeepingEverythingFreesNothing) {
    TestChain chain(Numbered(200));
    UseChain(chain, 200);
    chain.Release();
    SoundFragment* oldHead = Sound.Head;
    ASSERT_EQ(CutSound(Sound.Head, 0, 200), 1);
    EXPECT_EQ(Sound.Head, oldHead);
    EXPECT_EQ(Ids(Sound.Head), Range(0, 200));
    EXPECT_EQ(Sound.TotalBytes, 200.0 * F);
}

// Fragments large enough that the kept ones hold 6 GiB (the cut reads no
// sample, so the test's fragments stay small): the total is not cut to 32 bits.
TEST_F(CutSoundTest, KeptTotalOf4GiBOrMoreIsNotWrapped) {
    TestChain chain(Numbered(5));
    UseChain(chain, 5);
    chain.Release();
    Sound.FragmentSize = 0x80000000u;
    ASSERT_EQ(CutSound(Sound.Head, 1, 3), 1);
    EXPECT_EQ(Ids(Sound.Head), Range(1, 4));
    EXPECT_EQ(Sound.TotalBytes, 3.0 * 0x80000000u);
}

TEST_F(CutSoundTest, EitherEndCanBeKept) {
    {
        TestChain chain(Numbered(3));
        UseChain(chain, 3);
        chain.Release();
        ASSERT_EQ(CutSound(Sound.Head, 0, 1), 1);
        EXPECT_EQ(Ids(Sound.Head), Range(0, 1));
        FreeChain(Sound.Head);
        Sound.Head = nullptr;
    }
    TestChain chain(Numbered(3));
    UseChain(chain, 3);
    chain.Release();
    ASSERT_EQ(CutSound(Sound.Head, 2, 1), 1);
    EXPECT_EQ(Ids(Sound.Head), Range(2, 3));
    EXPECT_EQ(Sound.TotalBytes, 1.0 * F);
}

TEST_F(CutSoundTest, ACountBeyondTheChainChangesNothing) {
    TestChain chain(Numbered(5));
    UseChain(chain, 5);
    chain.Release();
    SoundFragment* oldHead = Sound.Head;
    EXPECT_EQ(CutSound(Sound.Head, 3, 3), 0);
    EXPECT_EQ(CutSound(Sound.Head, 5, 1), 0);
    EXPECT_EQ(CutSound(Sound.Head, 0, 6), 0);
    EXPECT_EQ(CutSound(Sound.Head, 0xFFFFFFFFu, 2), 0);
    EXPECT_EQ(CutSound(Sound.Head, 1, 0), 0);
    EXPECT_EQ(Sound.Head, oldHead);
    EXPECT_EQ(Ids(Sound.Head), Range(0, 5));
    EXPECT_EQ(Sound.TotalBytes, 5.0 * F);
    // The exact fit is still allowed.
    EXPECT_EQ(CutSound(Sound.Head, 3, 2), 1);
    EXPECT_EQ(Ids(Sound.Head), Range(3, 5));
}

TEST_F(CutSoundTest, NoSoundIsReportedInABox) {
    Sound.TotalBytes = 1234;
    EXPECT_EQ(CutSound(nullptr, 0, 1), 0);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].text, L" Массив звуковых данных пуст!     ");
    EXPECT_EQ(alerts[0].caption, L"Ошибка функции CutSound");
    EXPECT_EQ(alerts[0].flags, unsigned(AlertIconWarning));
    EXPECT_EQ(Sound.TotalBytes, 1234);
    EXPECT_EQ(Sound.Head, nullptr);
}

TEST_F(CutSoundTest, APositionInAFreedFragmentIsForgotten) {
    TestChain chain(Numbered(6));
    UseChain(chain, 6);
    chain.Release();
    Sound.Current = chain.node(5);
    ASSERT_EQ(CutSound(Sound.Head, 1, 2), 1);
    EXPECT_EQ(Sound.Current, nullptr);

    Sound.Current = chain.node(2);  // kept: the second fragment of the new sound
    ASSERT_EQ(CutSound(Sound.Head, 0, 2), 1);
    EXPECT_EQ(Sound.Current, chain.node(2));
    EXPECT_EQ(Ids(Sound.Head), Range(1, 3));
}

}  // namespace
