// The locking protocol between the capture callback (appends fragments) and
// the window thread (draws the newest fragment, shows the length), run hard
// from real threads. Under ThreadSanitizer a read or write outside its mutex
// is reported even when the values happen to come out right.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "sound/SoundChain.h"

namespace {

constexpr uint16_t Channels = 1;
constexpr uint32_t Rate = 44100;
constexpr uint16_t Bits = 16;
constexpr int Appends = 3000;

// What the capture callback does with one filled device buffer: copy it into
// a new fragment at the tail under ChainMutex, then grow the totals under
// TotalsMutex taken inside it.
void AppendLikeCaptureCallback(const uint8_t* buffer) {
    std::lock_guard<std::mutex> chain(ChainMutex);
    SoundFragment* f = AllocateFragment(Sound.FragmentSize);
    std::memcpy(f->Data, buffer, Sound.FragmentSize);
    if (!Sound.Head) Sound.Head = f;
    else Sound.Current->Next = f;
    Sound.Current = f;
    std::lock_guard<std::mutex> totals(TotalsMutex);
    Sound.TotalBytes += Sound.FragmentSize;
    Sound.TotalMs = BytesToMs(Sound.TotalBytes);
}

class ChainConcurrency : public ::testing::Test {
protected:
    void SetUp() override {
        FreeChain(Sound.Head);
        Sound = SoundChain{};
        Sound.Channels = Channels;
        Sound.SamplesPerSec = Rate;
        Sound.BitsPerSample = Bits;
        Sound.FragmentSize = ComputeFragmentSize(Channels, Rate, Bits);
    }
    void TearDown() override {
        FreeChain(Sound.Head);
        Sound = SoundChain{};
    }
};

TEST_F(ChainConcurrency, ReadersSeeWholeFragmentsAndMatchingTotals) {
    const uint32_t size = Sound.FragmentSize;
    const double msPerFragment = BytesToMs(size);
    std::atomic<bool> done{false};
    std::atomic<int> faults{0};
    std::atomic<long> drawnChecks{0}, timeChecks{0};

    // The frame renderer: the newest fragment must be complete (every byte
    // its index), never older than one drawn before, and the chain up to it
    // must be exactly what TotalBytes says.
    std::thread renderer([&] {
        int lastIndex = -1;
        while (!done.load()) {
            std::lock_guard<std::mutex> chain(ChainMutex);
            const SoundFragment* newest = Sound.Current;
            if (!newest) continue;
            const uint8_t first = newest->Data[0];
            for (uint32_t i = 1; i < size; ++i)
                if (newest->Data[i] != first) {
                    ++faults;
                    break;
                }
            int count = 0;
            for (const SoundFragment* f = Sound.Head; f; f = f->Next) ++count;
            if (uint8_t((count - 1) & 0xFF) != first) ++faults;
            if (count < lastIndex + 1) ++faults;
            lastIndex = count - 1;
            double totalBytes;
            {
                std::lock_guard<std::mutex> totals(TotalsMutex);
                totalBytes = Sound.TotalBytes;
            }
            if (totalBytes != double(count) * size) ++faults;
            ++drawnChecks;
        }
    });

    // The paint handler's time display: a whole number of fragments, never
    // going back.
    std::thread painter([&] {
        double last = 0;
        while (!done.load()) {
            double totalMs, totalBytes;
            {
                std::lock_guard<std::mutex> totals(TotalsMutex);
                totalMs = Sound.TotalMs;
                totalBytes = Sound.TotalBytes;
            }
            if (std::fmod(totalBytes, size) != 0) ++faults;
            if (std::fabs(totalMs - totalBytes / size * msPerFragment) > 1e-6) ++faults;
            if (totalMs < last) ++faults;
            last = totalMs;
            ++timeChecks;
        }
    });

    std::vector<uint8_t> deviceBuffer(size);
    for (int i = 0; i < Appends; ++i) {
        std::memset(deviceBuffer.data(), i & 0xFF, size);
        AppendLikeCaptureCallback(deviceBuffer.data());
        if (i % 64 == 0) std::this_thread::yield();
    }
    // Let both readers see the final state at least once.
    while (drawnChecks.load() == 0 || timeChecks.load() == 0) std::this_thread::yield();
    done = true;
    renderer.join();
    painter.join();

    EXPECT_EQ(faults.load(), 0);
    EXPECT_EQ(Sound.TotalBytes, double(Appends) * size);
    int count = 0;
    int index = 0;
    for (const SoundFragment* f = Sound.Head; f; f = f->Next, ++index) {
        ++count;
        ASSERT_EQ(f->Data[0], uint8_t(index & 0xFF));
        ASSERT_EQ(f->Data[size - 1], uint8_t(index & 0xFF));
    }
    EXPECT_EQ(count, Appends);
    EXPECT_EQ(Sound.Current->Next, nullptr);
}

}  // namespace
