#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>
#ifdef __linux__
#include <csignal>
#include <sys/resource.h>
#endif

#include "WavFileBuilder.h"
#include "WavTestSupport.h"
#include "sound/FileIo.h"
#include "sound/WavReader.h"
#include "sound/WavWriter.h"

namespace {

namespace fs = std::filesystem;
using namespace wavtest;

// A chain of `count` fragments carrying the byte pattern from 0 on.
struct TestChain {
    SoundFragment* head = nullptr;
    TestChain(int count, uint32_t size) {
        SoundFragment* prev = nullptr;
        for (int i = 0; i < count; ++i) {
            SoundFragment* f = AllocateFragment(size);
            for (uint32_t j = 0; j < size; ++j) f->Data[j] = wavbuild::PatternByte(size_t(i) * size + j);
            if (prev) prev->Next = f;
            else head = f;
            prev = f;
        }
    }
    ~TestChain() { FreeChain(head); }
};

std::vector<uint8_t> ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}
void WriteFile(const fs::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}
uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) | (uint32_t(b[at + 3]) << 24);
}
uint16_t U16At(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b[at] | (b[at + 1] << 8)); }

std::wstring Wide(const fs::path& p) {
    // The tests only make ASCII and Cyrillic names; the path's own wide form
    // is what the program gets from its dialogs.
    return p.wstring();
}

class WavWriter : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() / (std::string("dudorori-writer-") + info->name() + "-" +
                                           std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        target = dir / "out.wav";
    }
    void TearDown() override {
        fs::remove_all(dir);
        ClearSound();
    }
    // Only the target (if anything) may be in the folder afterwards.
    std::vector<std::string> FolderContents() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
        return names;
    }

    LogCapture log;
    fs::path dir, target;
};

TEST_F(WavWriter, TenFragmentsMakeTheCanonicalFile) {
    TestChain chain(10, 4410);
    const WaveFormatRecord info = MakePcmFormat(1, 44100, 16);
    ASSERT_EQ(SaveWav(Wide(target), chain.head, 44100, 4410, info), 1);
    const std::vector<uint8_t> file = ReadFile(target);
    ASSERT_EQ(file.size(), 44144u);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
    EXPECT_EQ(U32At(file, 4), 44136u);
    EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(U32At(file, 16), 16u);
    EXPECT_EQ(U16At(file, 20), 1);
    EXPECT_EQ(U16At(file, 22), 1);
    EXPECT_EQ(U32At(file, 24), 44100u);
    EXPECT_EQ(U32At(file, 28), 88200u);
    EXPECT_EQ(U16At(file, 32), 2);
    EXPECT_EQ(U16At(file, 34), 16);
    EXPECT_EQ(std::string(file.begin() + 36, file.begin() + 40), "data");
    EXPECT_EQ(U32At(file, 40), 44100u);
    for (size_t i = 0; i < 44100; ++i) ASSERT_EQ(file[44 + i], wavbuild::PatternByte(i)) << i;
    const std::vector<std::wstring> expected = {L" В буфере осталось 0 байт", L"Файл успешно сохранен!"};
    EXPECT_EQ(log.lines, expected);
    EXPECT_EQ(FolderContents(), std::vector<std::string>{"out.wav"});
}

TEST_F(WavWriter, RecordIsWrittenAsHeldNotRecomputed) {
    TestChain chain(2, 800);
    WaveFormatRecord info = MakePcmFormat(1, 8000, 16);
    info.nAvgBytesPerSec = 12345;
    info.nBlockAlign = 7;
    info.cbSize = 99;
    ASSERT_EQ(SaveWav(Wide(target), chain.head, 1600, 800, info), 1);
    const std::vector<uint8_t> file = ReadFile(target);
    ASSERT_EQ(file.size(), 44u + 1600u);
    EXPECT_EQ(U32At(file, 28), 12345u);
    EXPECT_EQ(U16At(file, 32), 7);
    EXPECT_EQ(std::string(file.begin() + 36, file.begin() + 40), "data");
}

// Every format, and a sound long enough to go out (and come back in) in
// several pieces of about a megabyte with fragments across their edges.
TEST_F(WavWriter, WhatIsWrittenLoadsBackTheSame) {
    {
        const uint32_t size = ComputeFragmentSize(2, 44100, 16);
        TestChain chain(400, size);
        ASSERT_EQ(SaveWav(Wide(target), chain.head, 400 * size, size, MakePcmFormat(2, 44100, 16)), 1);
        ASSERT_EQ(LoadWav(Wide(target)), 1);
        std::vector<uint8_t> want(400 * size);
        for (size_t i = 0; i < want.size(); ++i) want[i] = wavbuild::PatternByte(i);
        EXPECT_EQ(SoundBytes(), want);
    }
    for (uint16_t bits : {8, 16, 24})
        for (uint32_t rate : {8000u, 11025u, 22050u, 44100u, 48000u, 96000u, 192000u})
            for (uint16_t channels : {1, 2}) {
                SCOPED_TRACE(std::to_string(bits) + " bits " + std::to_string(rate) + " Hz " +
                             std::to_string(channels) + " ch");
                const uint32_t size = ComputeFragmentSize(channels, rate, bits);
                TestChain chain(3, size);
                const WaveFormatRecord info = MakePcmFormat(channels, rate, bits);
                ASSERT_EQ(SaveWav(Wide(target), chain.head, 3 * size, size, info), 1);
                InstallPreviousSound();
                ASSERT_EQ(LoadWav(Wide(target)), 1);
                EXPECT_EQ(std::memcmp(&Sound.PlaybackFormat, &info, sizeof info), 0);
                EXPECT_EQ(Sound.FragmentSize, size);
                EXPECT_EQ(Sound.TotalBytes, 3.0 * size);
                std::vector<uint8_t> want(3 * size);
                for (size_t i = 0; i < want.size(); ++i) want[i] = wavbuild::PatternByte(i);
                EXPECT_EQ(SoundBytes(), want);
            }
}

TEST_F(WavWriter, CyrillicPathRoundTrips) {
    // The folder name is ASCII; the file name is what a Russian user types.
    const std::wstring named = Wide(dir) + L"/запись звука.wav";
    TestChain chain(2, 4410);
    ASSERT_EQ(SaveWav(named, chain.head, 8820, 4410, MakePcmFormat(1, 44100, 16)), 1);
    EXPECT_TRUE(fs::exists(dir / fs::u8path(u8"запись звука.wav")));
    InstallPreviousSound();
    ASSERT_EQ(LoadWav(named), 1);
    EXPECT_EQ(Sound.TotalBytes, 8820);
}

TEST_F(WavWriter, NoSoundCreatesNoFile) {
    EXPECT_EQ(SaveWav(Wide(target), nullptr, 44100, 4410, MakePcmFormat(1, 44100, 16)), 0);
    EXPECT_EQ(log.lines, std::vector<std::wstring>{L"Ошибка, нет данных для сохранения!"});
    EXPECT_TRUE(FolderContents().empty());
}

TEST_F(WavWriter, BadChannelCountLeavesNoFileAndKeepsAnOldOne) {
    TestChain chain(2, 800);
    for (uint16_t channels : {0, 3}) {
        SCOPED_TRACE(channels);
        log.lines.clear();
        fs::remove(target);
        WaveFormatRecord info = MakePcmFormat(1, 8000, 16);
        info.nChannels = channels;
        EXPECT_EQ(SaveWav(Wide(target), chain.head, 1600, 800, info), 0);
        EXPECT_EQ(log.lines, std::vector<std::wstring>{L"Ошибка, WaveInfo.nChannels = 0 или больше 2!"});
        EXPECT_TRUE(FolderContents().empty());

        const std::vector<uint8_t> old = {'o', 'l', 'd'};
        WriteFile(target, old);
        EXPECT_EQ(SaveWav(Wide(target), chain.head, 1600, 800, info), 0);
        EXPECT_EQ(ReadFile(target), old);
        EXPECT_EQ(FolderContents(), std::vector<std::string>{"out.wav"});
    }
}

// A 64-bit build can hold 4 GiB or more, which the 32-bit RIFF size cannot
// describe: refused before a file is opened, an old file kept.
TEST_F(WavWriter, SoundTooLargeForTheFormatIsRefusedAndKeepsAnOldOne) {
    EXPECT_TRUE(FitsInWavFile(0xFFFFFFFFull - 36));
    EXPECT_FALSE(FitsInWavFile(0xFFFFFFFFull - 35));
    EXPECT_FALSE(FitsInWavFile(0x100000000ull + 4410));  // would wrap to 4410

    TestChain chain(2, 4410);
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    WriteFile(target, old);
    bool opened = false;
    const WavSinkOpener open = [&](const std::wstring& path) {
        opened = true;
        return OpenWavFileSink(path);
    };
    EXPECT_EQ(SaveWavWith(open, Wide(target), chain.head, 0x100000000ull + 4410, 4410, MakePcmFormat(1, 44100, 16)),
              SaveRefusedTooLarge);
    EXPECT_FALSE(opened);
    EXPECT_EQ(log.lines, std::vector<std::wstring>{L"Ошибка, запись больше 4 ГБ не помещается в WAV файл!"});
    EXPECT_EQ(ReadFile(target), old);
    EXPECT_EQ(FolderContents(), std::vector<std::string>{"out.wav"});
}

TEST_F(WavWriter, UnopenablePathIsReported) {
    TestChain chain(1, 800);
    const fs::path nowhere = dir / "missing-folder" / "x.wav";
    EXPECT_EQ(SaveWav(Wide(nowhere), chain.head, 800, 800, MakePcmFormat(1, 8000, 16)), 0);
    EXPECT_EQ(log.lines, std::vector<std::wstring>{L"Ошибка, невозможно открыть файл для записи!"});
}

TEST_F(WavWriter, ReplacesAnExistingLongerFileWhole) {
    WriteFile(target, std::vector<uint8_t>(100000, 0xEE));
    TestChain chain(2, 800);
    ASSERT_EQ(SaveWav(Wide(target), chain.head, 1600, 800, MakePcmFormat(1, 8000, 16)), 1);
    EXPECT_EQ(fs::file_size(target), 44u + 1600u);
}

// A real file sink that stops taking bytes after `limit` of them, or fails
// its close.
class FailingSink : public WavSink {
public:
    FailingSink(std::unique_ptr<WavSink> real, size_t limit, bool closeFails)
        : real_(std::move(real)), left_(limit), closeFails_(closeFails) {}
    size_t Write(const void* data, size_t n) override {
        const size_t take = std::min(n, left_);
        left_ -= take;
        return take ? real_->Write(data, take) : 0;
    }
    bool Close() override { return real_->Close() && !closeFails_; }

private:
    std::unique_ptr<WavSink> real_;
    size_t left_;
    bool closeFails_;
};

WavSinkOpener FailingAfter(size_t limit, bool closeFails = false, std::wstring* openedPath = nullptr) {
    return [=](const std::wstring& path) -> std::unique_ptr<WavSink> {
        if (openedPath) *openedPath = path;
        auto real = OpenWavFileSink(path);
        if (!real) return nullptr;
        return std::make_unique<FailingSink>(std::move(real), limit, closeFails);
    };
}

TEST_F(WavWriter, ShortWriteFailsAndKeepsTheOldFile) {
    TestChain chain(400, 4410);
    const std::vector<uint8_t> old = {'g', 'o', 'o', 'd'};
    // Short in the header, at the first fragment, in the middle, and in the
    // last of the pieces the fragments are written in.
    for (size_t limit : {size_t(10), size_t(44), size_t(44 + 3 * 4410 + 17), size_t(44 + 400 * 4410 - 1)}) {
        SCOPED_TRACE(limit);
        log.lines.clear();
        WriteFile(target, old);
        std::wstring opened;
        EXPECT_EQ(SaveWavWith(FailingAfter(limit, false, &opened), Wide(target), chain.head, 400 * 4410, 4410,
                              MakePcmFormat(1, 44100, 16)),
                  0);
        const std::vector<std::wstring> expected = {L"Не удалось сохранить всю запись!", L"Пробуем закрыть файл...",
                                                    L"Файл успешно закрыт!"};
        EXPECT_EQ(log.lines, expected);
        EXPECT_NE(opened, Wide(target));  // the target itself is never opened for writing
        EXPECT_EQ(ReadFile(target), old);
        EXPECT_EQ(FolderContents(), std::vector<std::string>{"out.wav"});
    }
}

TEST_F(WavWriter, FailedCloseFailsAndKeepsTheOldFile) {
    TestChain chain(2, 4410);
    const std::vector<uint8_t> old = {'g', 'o', 'o', 'd'};
    WriteFile(target, old);
    EXPECT_EQ(SaveWavWith(FailingAfter(size_t(-1), true), Wide(target), chain.head, 8820, 4410,
                          MakePcmFormat(1, 44100, 16)),
              0);
    const std::vector<std::wstring> expected = {L" В буфере осталось 0 байт", L"Ошибка при закрытии файла!"};
    EXPECT_EQ(log.lines, expected);
    EXPECT_EQ(ReadFile(target), old);
    EXPECT_EQ(FolderContents(), std::vector<std::string>{"out.wav"});
}

TEST_F(WavWriter, CountThatIsNotWholeFragmentsLeavesARest) {
    TestChain chain(4, 800);
    ASSERT_EQ(SaveWav(Wide(target), chain.head, 3 * 800 + 7, 800, MakePcmFormat(1, 8000, 16)), 1);
    const std::vector<uint8_t> file = ReadFile(target);
    EXPECT_EQ(file.size(), 44u + 3 * 800);
    EXPECT_EQ(U32At(file, 40), 3u * 800 + 7);  // the header states what the caller passed
    EXPECT_EQ(U32At(file, 4), 3u * 800 + 7 + 36);
    const std::vector<std::wstring> expected = {L" В буфере осталось 7 байт", L"Файл успешно сохранен!"};
    EXPECT_EQ(log.lines, expected);

    // A chain shorter than the count: every fragment, and the rest reported.
    log.lines.clear();
    ASSERT_EQ(SaveWav(Wide(target), chain.head, 6 * 800, 800, MakePcmFormat(1, 8000, 16)), 1);
    EXPECT_EQ(fs::file_size(target), 44u + 4 * 800);
    EXPECT_EQ(log.lines.at(0), L" В буфере осталось 1600 байт");
}

#ifdef __linux__
// Saves under a file-size limit and exits 0 when the save failed and said so.
void SaveUnderSizeLimit(const std::wstring& path, const SoundFragment* head, uint32_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{60000, 60000};
    setrlimit(RLIMIT_FSIZE, &limit);
    LogCapture childLog;
    const int result = SaveWav(path, head, bytes, 4410, MakePcmFormat(1, 44100, 16));
    const bool reported = !childLog.lines.empty() && (childLog.lines[0] == L"Не удалось сохранить всю запись!" ||
                                                      childLog.lines.back() == L"Ошибка при закрытии файла!");
    std::_Exit(result == 0 && reported ? 0 : 1);
}

// A real write failure: the file-size limit makes the kernel refuse bytes
// past it, as a full disk would. Run in a child process so the limit does not
// reach the other tests.
TEST_F(WavWriter, RealWriteFailureKeepsTheOldFile) {
    TestChain chain(40, 4410);
    const std::vector<uint8_t> old(5000, 0x5A);
    WriteFile(target, old);
    EXPECT_EXIT(SaveUnderSizeLimit(Wide(target), chain.head, 40 * 4410), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(ReadFile(target), old);
    EXPECT_EQ(FolderContents(), std::vector<std::string>{"out.wav"});
}
#endif

}  // namespace
