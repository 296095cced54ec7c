// The recovery copy as a crash or a power cut leaves it: what is recovered
// from each torn shape, and that the mended file loads through the reader
// with exactly those fragments.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "WavTestSupport.h"
#include "audio/BackgroundFlush.h"
#include "sound/RecoveryCopy.h"
#include "sound/WavReader.h"
#include "sound/WavWriter.h"

namespace {

using namespace wavtest;

std::vector<uint8_t> Copy(const WaveFormatRecord& format, uint32_t declared, size_t dataBytes) {
    std::vector<uint8_t> file(WavHeaderBytes + dataBytes);
    MakeWavHeader(file.data(), declared, format);
    for (size_t i = 0; i < dataBytes; ++i) file[WavHeaderBytes + i] = uint8_t(i * 7 + 3);
    return file;
}

struct Shape {
    const char* name;
    std::vector<uint8_t> file;
    RecoveryKind kind;
    uint32_t fragments;
    uint64_t torn;
};

TEST(RecoveryCopy, EveryTornShapeGivesBackItsWholeFragmentsAndLoads) {
    const WaveFormatRecord mono16 = MakePcmFormat(1, 44100, 16);     // 4410-byte fragments
    const WaveFormatRecord stereo16 = MakePcmFormat(2, 44100, 16);   // 8820
    const WaveFormatRecord high = MakePcmFormat(2, 192000, 24);      // 57600
    const WaveFormatRecord low = MakePcmFormat(1, 8000, 8);          // 400
    std::vector<uint8_t> garbage(1000, 'x');
    std::vector<uint8_t> twelveBit = Copy(MakePcmFormat(1, 44100, 16), 0, 8820);
    twelveBit[34] = 12;
    std::vector<uint8_t> threeChannels = Copy(mono16, 0, 8820);
    threeChannels[22] = 3;
    std::vector<uint8_t> longFmt = Copy(mono16, 0, 8820);
    longFmt[16] = 18;
    std::vector<uint8_t> tornHeader = Copy(mono16, 0, 0);
    tornHeader.resize(21);
    std::vector<uint8_t> wrongStart = Copy(mono16, 0, 0);
    wrongStart.resize(30);
    wrongStart[1] = 'X';

    const std::vector<Shape> shapes = {
        {"zero length", {}, RecoveryKind::Empty, 0, 0},
        {"header alone", Copy(mono16, 0, 0), RecoveryKind::Empty, 0, 0},
        {"header torn at 21 bytes", tornHeader, RecoveryKind::Empty, 0, 0},
        {"less than a fragment", Copy(mono16, 0, 4409), RecoveryKind::Empty, 0, 4409},
        {"sizes still 0, three whole fragments", Copy(mono16, 0, 3 * 4410), RecoveryKind::Recoverable, 3, 0},
        {"sizes a second behind, ends inside a fragment", Copy(mono16, 4410, 3 * 4410 + 1000),
         RecoveryKind::Recoverable, 3, 1000},
        {"stereo ending inside a frame (odd byte)", Copy(stereo16, 0, 2 * 8820 + 3), RecoveryKind::Recoverable, 2, 3},
        {"24-bit stereo 192000 Hz", Copy(high, 57600, 57600 + 5), RecoveryKind::Recoverable, 1, 5},
        {"8-bit mono 8000 Hz", Copy(low, 0, 5 * 400 + 399), RecoveryKind::Recoverable, 5, 399},
        {"sizes claiming more than the file holds", Copy(mono16, 10 * 4410, 2 * 4410), RecoveryKind::Recoverable,
         2, 0},
        {"not a WAV at all", garbage, RecoveryKind::Unreadable, 0, 0},
        {"short and not a WAV", wrongStart, RecoveryKind::Unreadable, 0, 0},
        {"12-bit samples", twelveBit, RecoveryKind::Unreadable, 0, 0},
        {"three channels", threeChannels, RecoveryKind::Unreadable, 0, 0},
        {"another fmt layout", longFmt, RecoveryKind::Unreadable, 0, 0},
    };
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.name);
        const size_t head = std::min(shape.file.size(), WavHeaderBytes);
        const RecoveryPlan plan = PlanRecovery(shape.file.data(), head, shape.file.size());
        EXPECT_EQ(plan.kind, shape.kind);
        if (shape.kind != RecoveryKind::Recoverable) continue;
        EXPECT_EQ(plan.fragments, shape.fragments);
        EXPECT_EQ(plan.tornBytes, shape.torn);
        EXPECT_EQ(plan.dataBytes, uint64_t(plan.fragments) * plan.fragmentSize);

        // Mended as the program mends it, the file is a plain WAV file the
        // reader takes whole.
        std::vector<uint8_t> mended(shape.file.begin(), shape.file.begin() + WavHeaderBytes + plan.dataBytes);
        SetWavHeaderSizes(mended.data(), plan.dataBytes);
        LogCapture log;
        ClearSound();
        MemoryWavInput input(mended.data(), mended.size());
        ASSERT_EQ(LoadWavFrom(input), 1) << log.lines.size() << " lines logged";
        EXPECT_EQ(Sound.FragmentSize, plan.fragmentSize);
        EXPECT_EQ(SoundBytes(), std::vector<uint8_t>(mended.begin() + WavHeaderBytes, mended.end()));
        EXPECT_DOUBLE_EQ(Sound.TotalMs, plan.DurationMs());
        ClearSound();
    }
}

TEST(RecoveryCopy, NamesTellWhenAndSortByTime) {
    const RecoveryTime made{2026, 12, 9, 4, 11, 5};
    EXPECT_EQ(RecoveryCopyName(made), L"Запись 2026-12-09 04-11-05.wav");
    EXPECT_EQ(RecoveryCopyName(made, 3), L"Запись 2026-12-09 04-11-05 (3).wav");
    EXPECT_EQ(RecoveryTimeText(made), L"09.12.2026 04:11:05");

    RecoveryTime read;
    int serial = 0;
    ASSERT_TRUE(ParseRecoveryCopyName(RecoveryCopyName(made, 12), &read, &serial));
    EXPECT_EQ(RecoveryCopyName(read, serial), RecoveryCopyName(made, 12));
    for (const wchar_t* other : {L"take.wav", L"Запись 2026-12-09 04-11-05.wave", L"Запись 2026-13-09 04-11-05.wav",
                                 L"Запись 2026-12-09 04-11-05 (1).wav", L"Запись 2026-12-09 04-11-05 ().wav",
                                 L"Запись 2026-12-09 04:11:05.wav", L"Запись 2026-12-09 04-11-05 (2x).wav"}) {
        EXPECT_FALSE(ParseRecoveryCopyName(other, &read, &serial));
    }
    // A second copy of the same second is the newer one; a later second
    // beats any serial.
    const RecoveryTime later{2026, 12, 9, 4, 11, 6};
    EXPECT_GT(RecoveryTimeKey(made, 2), RecoveryTimeKey(made, 1));
    EXPECT_GT(RecoveryTimeKey(later, 1), RecoveryTimeKey(made, 99));
    EXPECT_GT(RecoveryTimeKey(RecoveryTime{2027, 1, 1, 0, 0, 0}, 1), RecoveryTimeKey(RecoveryTime{2026, 12, 31, 23, 59, 59}, 9));
}

TEST(RecoveryCopy, StopsAtWhatAWavHeaderCanState) {
    EXPECT_TRUE(RecoveryCopyHasRoom(0, 57600));
    EXPECT_TRUE(RecoveryCopyHasRoom(MaxWavDataBytes - 57600, 57600));
    EXPECT_FALSE(RecoveryCopyHasRoom(MaxWavDataBytes - 57599, 57600));
    // A header that claims nothing but a file of more than 4 GiB: only what
    // a header can state is taken.
    std::vector<uint8_t> header(WavHeaderBytes);
    MakeWavHeader(header.data(), 0, MakePcmFormat(2, 192000, 24));
    const RecoveryPlan plan = PlanRecovery(header.data(), header.size(), WavHeaderBytes + (uint64_t(5) << 30));
    EXPECT_EQ(plan.kind, RecoveryKind::Recoverable);
    EXPECT_TRUE(FitsInWavFile(plan.dataBytes));
    EXPECT_FALSE(FitsInWavFile(uint64_t(plan.dataBytes) + plan.fragmentSize));
}

}  // namespace

// The copy's writer asks for flushes while the disk is still busy with one:
// every request returns at once, those made meanwhile come to one more
// flush, and after a failure nothing is flushed again.
TEST(RecoveryCopy, FlushesAreAskedForWithoutWaitingForTheDisk) {
    std::mutex mutex;
    std::condition_variable changed;
    bool diskFree = false;
    int flushes = 0;
    BackgroundFlush flusher([&]() -> unsigned long {
        std::unique_lock<std::mutex> lock(mutex);
        ++flushes;
        changed.notify_all();
        changed.wait(lock, [&] { return diskFree; });
        return flushes == 2 ? 112 : 0;
    });
    ASSERT_TRUE(flusher.Running());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    auto waitFor = [&](int n) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_until(lock, deadline, [&] { return flushes >= n; });
    };
    flusher.Request();
    ASSERT_TRUE(waitFor(1));
    // The disk holds the first flush: these must not wait for it.
    flusher.Request();
    flusher.Request();
    EXPECT_EQ(flusher.Error(), 0u);
    {
        std::lock_guard<std::mutex> lock(mutex);
        diskFree = true;
    }
    changed.notify_all();
    ASSERT_TRUE(waitFor(2));
    while (flusher.Error() == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    EXPECT_EQ(flusher.Error(), 112u);
    flusher.Request();
    EXPECT_EQ(flusher.Finish(), 112u);
    EXPECT_EQ(flushes, 2);
}
