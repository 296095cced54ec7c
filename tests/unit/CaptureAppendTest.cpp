// A filled capture buffer becoming the newest fragment: the copy, the links,
// the totals and the live-view switch, alone and against a reader that takes
// the same locks the window thread takes while recording runs.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include "audio/RecordingFlags.h"
#include "audio/CaptureAppend.h"
#include "sound/SoundChain.h"

namespace {

class CaptureAppend : public ::testing::Test {
protected:
    void SetUp() override { UseFormat(1, 44100, 16); }
    void TearDown() override {
        AllocateCaptureFragment = realAllocate;
        ResetCaptureMemory();
        FreeChain(Sound.Head);
        Sound = SoundChain{};
        LiveView = 0;
    }
    void UseFormat(uint16_t channels, uint32_t rate, uint16_t bits) {
        FreeChain(Sound.Head);
        Sound = SoundChain{};
        Sound.Channels = channels;
        Sound.SamplesPerSec = rate;
        Sound.BitsPerSample = bits;
        Sound.FragmentSize = ComputeFragmentSize(channels, rate, bits);
        LiveView = 0;
    }
    static std::vector<uint8_t> Pattern(uint32_t size, uint8_t seed) {
        std::vector<uint8_t> bytes(size);
        for (uint32_t i = 0; i < size; ++i) bytes[i] = uint8_t(seed + i * 7);
        return bytes;
    }
    SoundFragment* (*const realAllocate)(uint32_t) = AllocateCaptureFragment;
    static int ChainLength() {
        int n = 0;
        for (SoundFragment* f = Sound.Head; f; f = f->Next) ++n;
        return n;
    }
};

TEST_F(CaptureAppend, BuffersBecomeFragmentsInOrderWithTotals) {
    const uint32_t F = Sound.FragmentSize;
    std::vector<uint8_t> buffer = Pattern(F, 1);
    ASSERT_TRUE(AppendCapturedFragment(buffer.data(), F));
    SoundFragment* first = Sound.Head;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Sound.Current, first);
    EXPECT_EQ(first->Next, nullptr);

    // The device reuses its buffer: the stored fragment must be a copy.
    buffer = Pattern(F, 2);
    ASSERT_TRUE(AppendCapturedFragment(buffer.data(), F));
    buffer = Pattern(F, 3);
    ASSERT_TRUE(AppendCapturedFragment(buffer.data(), F));

    ASSERT_EQ(ChainLength(), 3);
    EXPECT_EQ(Sound.Head, first);
    EXPECT_EQ(Sound.Current, first->Next->Next);
    EXPECT_EQ(Sound.Current->Next, nullptr);
    uint8_t seed = 1;
    for (SoundFragment* f = Sound.Head; f; f = f->Next, ++seed) {
        const std::vector<uint8_t> expected = Pattern(F, seed);
        EXPECT_EQ(std::memcmp(f->Data, expected.data(), F), 0) << "fragment " << int(seed);
    }
    EXPECT_EQ(Sound.TotalBytes, 3.0 * F);
    EXPECT_DOUBLE_EQ(Sound.TotalMs, 150.0);
}

TEST_F(CaptureAppend, OnlyTheFirstFragmentSwitchesTheLiveViewOn) {
    const std::vector<uint8_t> buffer = Pattern(Sound.FragmentSize, 9);
    ASSERT_TRUE(AppendCapturedFragment(buffer.data(), Sound.FragmentSize));
    EXPECT_EQ(LiveView.load(), 1);
    LiveView = 0;  // as Stop does
    ASSERT_TRUE(AppendCapturedFragment(buffer.data(), Sound.FragmentSize));
    EXPECT_EQ(LiveView.load(), 0);
}

TEST_F(CaptureAppend, AStaleTailOfAFreedSoundIsNotLinkedTo) {
    // Head null starts a new chain even when Current still points somewhere.
    SoundFragment* elsewhere = AllocateFragment(Sound.FragmentSize, true);
    Sound.Current = elsewhere;
    const std::vector<uint8_t> buffer = Pattern(Sound.FragmentSize, 4);
    ASSERT_TRUE(AppendCapturedFragment(buffer.data(), Sound.FragmentSize));
    EXPECT_EQ(elsewhere->Next, nullptr);
    EXPECT_NE(Sound.Head, elsewhere);
    EXPECT_EQ(Sound.Current, Sound.Head);
    EXPECT_EQ(ChainLength(), 1);
    FreeChain(elsewhere);
}

TEST_F(CaptureAppend, AShortBufferIsPaddedWithSilence16Bit) {
    const uint32_t F = Sound.FragmentSize;
    const std::vector<uint8_t> buffer = Pattern(100, 5);
    ASSERT_TRUE(AppendCapturedFragment(buffer.data(), 100));
    EXPECT_EQ(std::memcmp(Sound.Head->Data, buffer.data(), 100), 0);
    for (uint32_t i = 100; i < F; ++i) ASSERT_EQ(Sound.Head->Data[i], 0) << i;
    EXPECT_EQ(Sound.TotalBytes, double(F));  // a fragment is always whole
}

TEST_F(CaptureAppend, AShortBufferIsPaddedWithSilence8Bit) {
    UseFormat(1, 11025, 8);
    const uint32_t F = Sound.FragmentSize;
    const std::vector<uint8_t> buffer = Pattern(10, 6);
    ASSERT_TRUE(AppendCapturedFragment(buffer.data(), 10));
    for (uint32_t i = 10; i < F; ++i) ASSERT_EQ(Sound.Head->Data[i], 0x80) << i;
}

TEST_F(CaptureAppend, ALongerBufferContributesOneFragment) {
    const uint32_t F = Sound.FragmentSize;
    const std::vector<uint8_t> buffer = Pattern(2 * F, 7);
    ASSERT_TRUE(AppendCapturedFragment(buffer.data(), 2 * F));
    EXPECT_EQ(std::memcmp(Sound.Head->Data, buffer.data(), F), 0);
    EXPECT_EQ(Sound.TotalBytes, double(F));
}

int AllocationsLeft = 0;
int AllocationsTried = 0;
SoundFragment* ScarceAllocate(uint32_t size) {
    ++AllocationsTried;
    if (AllocationsLeft-- <= 0) return nullptr;
    return AllocateFragment(size);
}

// Memory runs out at the fourth buffer: the three before stay as they were,
// and nothing after is stored, not even once memory is there again, so the
// sound has no hole. The next recording stores again.
TEST_F(CaptureAppend, RunningOutOfMemoryKeepsWhatWasStoredAndStoresNothingMore) {
    const uint32_t F = Sound.FragmentSize;
    AllocateCaptureFragment = ScarceAllocate;
    AllocationsLeft = 3;
    AllocationsTried = 0;
    for (uint8_t seed = 1; seed <= 3; ++seed) {
        const std::vector<uint8_t> buffer = Pattern(F, seed);
        ASSERT_TRUE(AppendCapturedFragment(buffer.data(), F));
    }
    EXPECT_FALSE(CaptureOutOfMemory());
    SoundFragment* const tail = Sound.Current;
    const std::vector<uint8_t> buffer = Pattern(F, 4);
    EXPECT_FALSE(AppendCapturedFragment(buffer.data(), F));
    EXPECT_TRUE(CaptureOutOfMemory());

    AllocationsLeft = 100;
    const int tried = AllocationsTried;
    EXPECT_FALSE(AppendCapturedFragment(buffer.data(), F));
    EXPECT_EQ(CopyCapturedBuffer(buffer.data(), F), nullptr);
    EXPECT_EQ(AllocationsTried, tried) << "no allocation once memory ran out";

    ASSERT_EQ(ChainLength(), 3);
    EXPECT_EQ(Sound.Current, tail);
    EXPECT_EQ(tail->Next, nullptr);
    uint8_t seed = 1;
    for (SoundFragment* f = Sound.Head; f; f = f->Next, ++seed)
        EXPECT_EQ(std::memcmp(f->Data, Pattern(F, seed).data(), F), 0) << "fragment " << int(seed);
    EXPECT_EQ(Sound.TotalBytes, 3.0 * F);
    EXPECT_DOUBLE_EQ(Sound.TotalMs, 150.0);

    ResetCaptureMemory();
    EXPECT_TRUE(AppendCapturedFragment(buffer.data(), F));
    EXPECT_EQ(ChainLength(), 4);
}

// The window thread draws the newest fragment under ChainMutex and copies the
// length under TotalsMutex while fragments keep arriving. Every fragment it
// sees must be complete, the length must never shrink or land between
// fragments, its milliseconds must match its bytes, and nothing may be lost
// or reordered. Meaningful under ThreadSanitizer too, which reports any
// access outside the locks.
TEST_F(CaptureAppend, AConcurrentReaderSeesOnlyCompleteFragments) {
    const uint32_t F = Sound.FragmentSize;
    constexpr int Appends = 2000;
    std::atomic<bool> done{false};
    std::atomic<int> torn{0}, shrinking{0}, partial{0}, mismatched{0};

    std::thread reader([&] {
        double lastTotal = 0;
        while (!done) {
            {
                std::lock_guard<std::mutex> chain(ChainMutex);
                if (SoundFragment* newest = Sound.Current) {
                    // Each fragment is filled with one byte value.
                    const uint8_t v = newest->Data[0];
                    for (uint32_t i = 1; i < F; ++i) {
                        if (newest->Data[i] != v) {
                            ++torn;
                            break;
                        }
                    }
                }
            }
            double total, ms;
            {
                std::lock_guard<std::mutex> totals(TotalsMutex);
                total = Sound.TotalBytes;
                ms = Sound.TotalMs;
            }
            if (total < lastTotal) ++shrinking;
            if (double(uint64_t(total / F)) * F != total) ++partial;
            if (ms != BytesToMs(total)) ++mismatched;
            lastTotal = total;
        }
    });

    std::vector<uint8_t> buffer(F);
    for (int k = 0; k < Appends; ++k) {
        std::memset(buffer.data(), uint8_t(k), F);
        ASSERT_TRUE(AppendCapturedFragment(buffer.data(), F));
    }
    done = true;
    reader.join();

    EXPECT_EQ(torn.load(), 0);
    EXPECT_EQ(shrinking.load(), 0);
    EXPECT_EQ(partial.load(), 0);
    EXPECT_EQ(mismatched.load(), 0);
    EXPECT_EQ(Sound.TotalBytes, double(Appends) * F);
    int k = 0;
    for (SoundFragment* f = Sound.Head; f; f = f->Next, ++k) {
        ASSERT_EQ(f->Data[0], uint8_t(k)) << "fragment " << k;
        ASSERT_EQ(f->Data[F - 1], uint8_t(k)) << "fragment " << k;
    }
    EXPECT_EQ(k, Appends);
}

}  // namespace
