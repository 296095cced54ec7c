#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#ifdef __linux__
#include <sys/resource.h>
#endif

#include "WavFileBuilder.h"
#include "WavTestSupport.h"
#include "sound/WavReader.h"

namespace {

using wavbuild::Bytes;
using wavbuild::Format;
using wavbuild::PatternByte;
using namespace wavtest;

// The narration of a successful load of a file with format f and fmt size
// fmtSize, up to the duration line (not included).
std::vector<std::wstring> SuccessLines(const Format& f, int32_t fmtSize = 16, bool withFact = false) {
    std::vector<std::wstring> lines = {
        Separator,
        L" Информация в файле: ",
        L" Формат файла RIFF",
        L" Тип данных WAVE",
        L" Следующий идентификатор fmt_ ",
        L" Размер аудио данных: " + std::to_wstring(fmtSize) + L" байт",
        Separator,
        L" Формат файла (PCM=1): " + std::to_wstring(f.tag),
        L" Кол-во каналов (MONO=1): " + std::to_wstring(f.channels),
        L" Частота дискретизации (Hz): " + std::to_wstring(f.rate),
        L" Глубина звука (bit): " + std::to_wstring(f.bits),
        L" Средняя плотность (byte/sec): " + std::to_wstring(f.Avg()),
        L" Размер семпла (byte/sample): " + std::to_wstring(f.Align()),
        L" Размер доп. инфо (byte): 0",
        Separator,
    };
    if (withFact) lines.push_back(L" Нашли блок 'fact', пропускаем его");
    lines.push_back(L" Нашли блок 'data' - всё OK :)");
    lines.push_back(L" Успешно заполнили структуру данных!");
    lines.push_back(Separator);
    return lines;
}

std::vector<std::wstring> Refusal(std::vector<std::wstring> lines, size_t keep, const std::wstring& reason) {
    lines.resize(keep);
    lines.push_back(reason);
    lines.push_back(Separator);
    return lines;
}

class WavReader : public ::testing::Test {
protected:
    void SetUp() override {
        InstallPreviousSound();
        before = SoundSnapshot::Take();
    }
    void TearDown() override { ClearSound(); }

    int Load(const Bytes& file) {
        MemoryWavInput input(file.data.data(), file.size());
        const int result = LoadWavFrom(input);
        consumed = input.Position();
        return result;
    }
    // The same bytes through a real file, which is read in pieces of its own.
    int LoadThroughFile(const Bytes& file) {
        const std::string path = ::testing::TempDir() + "dudorori-reader-" + std::to_string(file.size()) + ".wav";
        {
            std::ofstream out(path, std::ios::binary);
            out.write(reinterpret_cast<const char*>(file.data.data()), std::streamsize(file.size()));
        }
        const int result = LoadWav(std::wstring(path.begin(), path.end()));
        std::remove(path.c_str());
        return result;
    }
    // The file must be refused with exactly these lines, the previous sound
    // kept whole.
    void ExpectRefused(const Bytes& file, const std::vector<std::wstring>& expected) {
        EXPECT_EQ(Load(file), 0);
        EXPECT_EQ(log.lines, expected);
        before.ExpectUnchanged();
    }
    // Data bytes of the file as the sound must hold them.
    static std::vector<uint8_t> Expected(size_t fromFile, size_t total, uint8_t silence) {
        std::vector<uint8_t> out(total, silence);
        for (size_t i = 0; i < fromFile; ++i) out[i] = PatternByte(i);
        return out;
    }
    void ExpectFreshPosition() {
        EXPECT_EQ(Sound.Current, nullptr);
        EXPECT_EQ(Sound.PlayedBytes, 0);
        EXPECT_EQ(Sound.PlayedMs, 0);
    }

    LogCapture log;
    SoundSnapshot before{};
    size_t consumed = 0;
};

TEST_F(WavReader, CanonicalFileOfHalfASecond) {
    Format f;
    ASSERT_EQ(Load(wavbuild::Canonical(f, 44100)), 1);
    EXPECT_EQ(Sound.FragmentSize, 4410u);
    EXPECT_EQ(CountFragments(Sound.Head), 10);
    EXPECT_EQ(Sound.TotalBytes, 44100);
    EXPECT_DOUBLE_EQ(Sound.TotalMs, 500);
    EXPECT_EQ(Sound.Channels, 1);
    EXPECT_EQ(Sound.SamplesPerSec, 44100u);
    EXPECT_EQ(Sound.BitsPerSample, 16);
    ExpectFreshPosition();
    EXPECT_EQ(SoundBytes(), Expected(44100, 44100, 0));
    const WaveFormatRecord want{1, 1, 44100, 88200, 2, 16, 0};
    EXPECT_EQ(std::memcmp(&Sound.PlaybackFormat, &want, sizeof want), 0);
    EXPECT_EQ(std::memcmp(&Sound.CaptureFormat, &want, sizeof want), 0);
    auto expected = SuccessLines(f);
    expected.push_back(L"Длительность записи - 0 мин. 0 сек.");
    EXPECT_EQ(log.lines, expected);
}

TEST_F(WavReader, BytesBeyondTheLastWholeFragmentAreNotRead) {
    Bytes file = wavbuild::Canonical(Format{}, 46000);
    ASSERT_EQ(Load(file), 1);
    EXPECT_EQ(CountFragments(Sound.Head), 10);
    EXPECT_EQ(Sound.TotalBytes, 44100);
    EXPECT_EQ(SoundBytes(), Expected(44100, 44100, 0));
    EXPECT_EQ(consumed, 44u + 44100u);
}

TEST_F(WavReader, DataShorterThanAFragmentIsPaddedWithSilence) {
    // A chunk after the data must not be taken for sound.
    Bytes file = wavbuild::Canonical(Format{}, 100);
    file.Id("LIST").U32(8000).Fill(8000, 0xAA);
    ASSERT_EQ(Load(file), 1);
    EXPECT_EQ(CountFragments(Sound.Head), 1);
    EXPECT_EQ(Sound.TotalBytes, 4410);
    EXPECT_EQ(SoundBytes(), Expected(100, 4410, 0));
    ExpectFreshPosition();
}

TEST_F(WavReader, EightBitPaddingIsTheMidpoint) {
    Format f;
    f.rate = 11025;
    f.bits = 8;
    ASSERT_EQ(Load(wavbuild::Canonical(f, 200)), 1);
    EXPECT_EQ(Sound.FragmentSize, 552u);
    EXPECT_EQ(SoundBytes(), Expected(200, 552, 128));
}

TEST_F(WavReader, DataSizeBelowAHundredIsRefused) {
    Format f;
    ExpectRefused(wavbuild::Canonical(f, 99), Refusal(SuccessLines(f), 16, L" Ошибка! Размер блока данных < 100!"));
}

TEST_F(WavReader, FewerThanAHundredBytesPresentIsRefused) {
    Format f;
    ExpectRefused(wavbuild::Canonical(f, 44100, 99),
                  Refusal(SuccessLines(f), 16, L" Ошибка! Размер блока данных < 100!"));
}

TEST_F(WavReader, FileEndingEarlyKeepsTheWholeFragmentsRead) {
    Format f;
    ASSERT_EQ(Load(wavbuild::Canonical(f, 44100, 30000)), 1);
    EXPECT_EQ(CountFragments(Sound.Head), 6);
    EXPECT_EQ(Sound.TotalBytes, 6 * 4410);
    EXPECT_DOUBLE_EQ(Sound.TotalMs, 300);
    EXPECT_EQ(SoundBytes(), Expected(6 * 4410, 6 * 4410, 0));
}

TEST_F(WavReader, FileEndingInsideTheFirstFragmentGivesOnePaddedFragment) {
    Format f;
    f.bits = 8;
    f.rate = 8000;
    ASSERT_EQ(Load(wavbuild::Canonical(f, 44100, 300)), 1);
    EXPECT_EQ(CountFragments(Sound.Head), 1);
    EXPECT_EQ(SoundBytes(), Expected(300, 400, 128));
}

// Counts the reads that found the input exhausted.
class CountingInput : public MemoryWavInput {
public:
    using MemoryWavInput::MemoryWavInput;
    size_t Read(void* dst, size_t n) override {
        const size_t got = MemoryWavInput::Read(dst, n);
        if (n > 0 && got == 0) ++emptyReads;
        ++reads;
        return got;
    }
    int emptyReads = 0;
    int reads = 0;
};

TEST_F(WavReader, HugeDeclaredSizeStopsAtTheEndOfTheFile) {
    Bytes file = wavbuild::Canonical(Format{}, 0xFFFFFFFFu, 44100);
    CountingInput input(file.data.data(), file.size());
    ASSERT_EQ(LoadWavFrom(input), 1);
    EXPECT_EQ(CountFragments(Sound.Head), 10);
    EXPECT_EQ(SoundBytes(), Expected(44100, 44100, 0));
    // One read finds the end; reading stops there.
    EXPECT_LE(input.emptyReads, 1);
    EXPECT_LE(input.reads, 9 + 10 + 1);
}

TEST_F(WavReader, FmtChunkWithExtensionSizeIsSkippedAndLogsZero) {
    Format f;
    Bytes file = wavbuild::Start(f, 18, {22, 0});  // cbSize 22 in the file, never read
    file.Id("data").U32(44100).Pattern(44100);
    ASSERT_EQ(Load(file), 1);
    EXPECT_EQ(int(Sound.PlaybackFormat.cbSize), 0);
    EXPECT_EQ(int(Sound.CaptureFormat.cbSize), 0);
    EXPECT_EQ(SoundBytes(), Expected(44100, 44100, 0));
    auto expected = SuccessLines(f, 18);
    expected.push_back(L"Длительность записи - 0 мин. 0 сек.");
    EXPECT_EQ(log.lines, expected);
}

// Also from a file: a skip within the piece already read and one far past
// it, and data that crosses several of the file reader's pieces.
TEST_F(WavReader, FactChunkIsSkipped) {
    Format f;
    struct Case {
        uint32_t factSize, dataBytes;
        bool throughFile;
        const wchar_t* duration;
    };
    for (const Case& c : {Case{4, 44100, false, L"Длительность записи - 0 мин. 0 сек."},
                          Case{4, 44100, true, L"Длительность записи - 0 мин. 0 сек."},
                          Case{1600003, 3 * 1048576 + 4410, true, L"Длительность записи - 0 мин. 35 сек."}}) {
        SCOPED_TRACE(c.factSize);
        log.lines.clear();
        Bytes file = wavbuild::Start(f);
        file.Id("fact").U32(c.factSize).Fill(c.factSize, 0x5A).Id("data").U32(c.dataBytes).Pattern(c.dataBytes);
        ASSERT_EQ(c.throughFile ? LoadThroughFile(file) : Load(file), 1);
        const size_t whole = c.dataBytes / 4410 * 4410;
        EXPECT_EQ(SoundBytes(), Expected(whole, whole, 0));
        auto expected = SuccessLines(f, 16, true);
        expected.push_back(c.duration);
        EXPECT_EQ(log.lines, expected);
    }
}

TEST_F(WavReader, SecondFactOrListBeforeDataIsRefused) {
    Format f;
    Bytes list = wavbuild::Start(f);
    list.Id("LIST").U32(4).Id("INFO").Id("data").U32(44100).Pattern(44100);
    ExpectRefused(list, Refusal(SuccessLines(f), 15, L" Ошибка! Не можем найти блок 'data'!"));

    log.lines.clear();
    Bytes twoFacts = wavbuild::Start(f);
    twoFacts.Id("fact").U32(4).U32(1).Id("fact").U32(4).U32(1).Id("data").U32(44100).Pattern(44100);
    auto expected = SuccessLines(f, 16, true);
    ExpectRefused(twoFacts, Refusal(expected, 16, L" Ошибка! Не можем найти блок 'data'!"));
}

TEST_F(WavReader, FragmentSizeFollowsTheFileFormat) {
    struct Case {
        uint16_t channels;
        uint32_t rate;
        uint16_t bits;
        uint32_t fragment;
    } cases[] = {{1, 11025, 8, 552}, {2, 22050, 16, 4412}, {2, 22050, 24, 6618}, {1, 8010, 16, 800},
                   {2, 8010, 24, 2400}};
    for (const Case& c : cases) {
        InstallPreviousSound();
        Format f;
        f.channels = c.channels;
        f.rate = c.rate;
        f.bits = c.bits;
        ASSERT_EQ(Load(wavbuild::Canonical(f, 3 * c.fragment + 5)), 1) << c.rate;
        EXPECT_EQ(Sound.FragmentSize, c.fragment) << c.rate;
        EXPECT_EQ(CountFragments(Sound.Head), 3) << c.rate;
        EXPECT_EQ(SoundBytes(), Expected(3 * c.fragment, 3 * c.fragment, 0)) << c.rate;
    }
}

TEST_F(WavReader, DurationLineCountsWholeMinutesAndSeconds) {
    Format f;
    f.rate = 8000;
    f.bits = 8;
    ASSERT_EQ(Load(wavbuild::Canonical(f, 764000)), 1);  // 95.5 s
    EXPECT_DOUBLE_EQ(Sound.TotalMs, 95500);
    EXPECT_EQ(log.lines.back(), L"Длительность записи - 1 мин. 35 сек.");
}

TEST_F(WavReader, DepthsFromEightToThirtyTwoAreAccepted) {
    for (uint16_t bits : {8, 12, 20, 32}) {
        InstallPreviousSound();
        Format f;
        f.bits = bits;
        ASSERT_EQ(Load(wavbuild::Canonical(f, 20000)), 1) << bits;
        EXPECT_EQ(Sound.BitsPerSample, bits);
        EXPECT_EQ(Sound.FragmentSize, ComputeFragmentSize(1, 44100, bits));
        EXPECT_EQ(SoundBytes().size(), (20000 / Sound.FragmentSize) * Sound.FragmentSize) << bits;
    }
}

TEST_F(WavReader, FormatLimitsAreInclusive) {
    for (uint32_t rate : {8000u, 192000u}) {
        InstallPreviousSound();
        Format f;
        f.rate = rate;
        EXPECT_EQ(Load(wavbuild::Canonical(f, 80000)), 1) << rate;
        EXPECT_EQ(Sound.SamplesPerSec, rate);
    }
    InstallPreviousSound();
    Format stereo;
    stereo.channels = 2;
    EXPECT_EQ(Load(wavbuild::Canonical(stereo, 20000)), 1);
    EXPECT_EQ(Sound.Channels, 2);
}

// Each defect on its own in an otherwise good file: the narration up to the
// step that finds it, its own line, the separator, and the old sound kept.
TEST_F(WavReader, EveryRefusalNarratesInOrder) {
    struct Case {
        const char* name;
        Format format;
        std::function<void(Bytes&)> spoil;
        size_t keep;
        std::wstring reason;
    };
    auto setU32 = [](Bytes& b, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b.data[at + i] = uint8_t(v >> (8 * i));
    };
    auto withFormat = [](auto change) {
        Format f;
        change(f);
        return f;
    };
    const std::vector<Case> cases = {
        {"not RIFF", Format{}, [](Bytes& b) { b.data[3] = 'X'; }, 2, L" Ошибка, Формат файла не RIFF!"},
        {"not WAVE", Format{}, [](Bytes& b) { b.data[8] = 'A'; }, 3, L" Ошибка, тип данных не WAVE!"},
        {"not fmt", Format{}, [](Bytes& b) { b.data[15] = '_'; }, 4, L" Ошибка, следующий идент. не fmt_ !"},
        {"fmt size 0", Format{}, [&](Bytes& b) { setU32(b, 16, 0); }, 5, L" Ошибка, не найдена инфо об аудио!"},
        {"not PCM", withFormat([](Format& f) { f.tag = 3; }), nullptr, 8, L" Ошибка, формат не PCM!"},
        {"extensible", withFormat([](Format& f) { f.tag = 0xFFFE; }), nullptr, 8, L" Ошибка, формат не PCM!"},
        {"no channels", withFormat([](Format& f) { f.channels = 0; }), nullptr, 9, L" Ошибка кол-ва каналов звука!"},
        {"3 channels", withFormat([](Format& f) { f.channels = 3; }), nullptr, 9, L" Ошибка кол-ва каналов звука!"},
        {"rate 7999", withFormat([](Format& f) { f.rate = 7999; }), nullptr, 10, L" Ошибка Частоты дискретизации!"},
        {"rate 192001", withFormat([](Format& f) { f.rate = 192001; }), nullptr, 10,
         L" Ошибка Частоты дискретизации!"},
        {"rate 0", withFormat([](Format& f) { f.rate = 0; }), nullptr, 10, L" Ошибка Частоты дискретизации!"},
        {"7 bits", withFormat([](Format& f) { f.bits = 7; }), nullptr, 11, L" Недопуст. глубина звука!"},
        {"33 bits", withFormat([](Format& f) { f.bits = 33; }), nullptr, 11, L" Недопуст. глубина звука!"},
        {"LIST for data", Format{}, [](Bytes& b) { std::memcpy(&b.data[36], "LIST", 4); }, 15,
         L" Ошибка! Не можем найти блок 'data'!"},
        {"data 99", Format{}, [&](Bytes& b) { setU32(b, 40, 99); }, 16, L" Ошибка! Размер блока данных < 100!"},
        {"data 0", Format{}, [&](Bytes& b) { setU32(b, 40, 0); }, 16, L" Ошибка! Размер блока данных < 100!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log.lines.clear();
        Bytes file = wavbuild::Canonical(c.format, 44100);
        if (c.spoil) c.spoil(file);
        ExpectRefused(file, Refusal(SuccessLines(c.format), c.keep, c.reason));
    }
}

TEST_F(WavReader, FmtSizesThatCannotHoldTheRecordAreRefused) {
    for (uint32_t size : {0u, 1u, 15u, 0xFFFFFFFFu, 0x80000000u}) {
        SCOPED_TRACE(size);
        log.lines.clear();
        Bytes file = wavbuild::Start(Format{}, size);
        file.Id("data").U32(44100).Pattern(44100);
        ExpectRefused(file, Refusal(SuccessLines(Format{}), 5, L" Ошибка, не найдена инфо об аудио!"));
    }
}

TEST_F(WavReader, ListOrJunkBeforeFmtIsRefused) {
    Bytes file;
    file.Id("RIFF").U32(0).Id("WAVE").Chunk("JUNK", std::vector<uint8_t>(28, 0));
    file.Id("fmt ").U32(16).Raw(Format{}.Body()).Id("data").U32(44100).Pattern(44100);
    ExpectRefused(file, Refusal(SuccessLines(Format{}), 4, L" Ошибка, следующий идент. не fmt_ !"));
}

// A file cut anywhere in its header is refused, and never read beyond what
// arrived.
TEST_F(WavReader, FileCutInsideTheHeaderIsRefused) {
    Bytes whole = wavbuild::Start(Format{}, 18, {0, 0});
    whole.Id("fact").U32(4).U32(5).Id("data").U32(44100);
    for (size_t cut = 0; cut <= whole.size(); ++cut) {
        SCOPED_TRACE(cut);
        log.lines.clear();
        Bytes part;
        part.data.assign(whole.data.begin(), whole.data.begin() + cut);
        EXPECT_EQ(Load(part), 0);
        ASSERT_FALSE(log.lines.empty());
        EXPECT_EQ(log.lines.back(), Separator);
        before.ExpectUnchanged();
    }
}

TEST_F(WavReader, FactSizeBeyondTheFileIsRefused) {
    Bytes file = wavbuild::Start(Format{});
    file.Id("fact").U32(0xFFFFFFF0u).Id("data").U32(44100).Pattern(44100);
    EXPECT_EQ(Load(file), 0);
    EXPECT_EQ(log.lines[log.lines.size() - 2], L" Ошибка! Не можем найти блок 'data'!");
    before.ExpectUnchanged();
}

TEST_F(WavReader, PathThatCannotBeOpenedIsShownCutTo80Characters) {
    const std::wstring dir = L"/nonexistent-dudorori-dir/";
    const std::wstring longPath = dir + std::wstring(120, L'ж') + L".wav";
    EXPECT_EQ(LoadWav(longPath), 0);
    const std::vector<std::wstring> expected = {Separator, L" Не удалось открыть файл:",
                                                L" \"" + longPath.substr(0, 80) + L"\"", Separator};
    EXPECT_EQ(log.lines, expected);
    EXPECT_EQ(log.lines[2].size(), 83u);
    before.ExpectUnchanged();

    log.lines.clear();
    const std::wstring shortPath = dir + L"a.wav";
    EXPECT_EQ(LoadWav(shortPath), 0);
    EXPECT_EQ(log.lines.at(2), L" \"" + shortPath + L"\"");
}

#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
long long VirtualSizeBytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmSize:", 0) == 0) return std::stoll(line.substr(7)) * 1024;
    return -1;
}

// A header followed by as many data bytes as are asked for, made up on the
// fly: a sound far larger than memory without holding it anywhere.
class EndlessInput : public WavInput {
public:
    explicit EndlessInput(std::vector<uint8_t> header) : header_(std::move(header)) {}
    size_t Read(void* dst, size_t n) override {
        uint8_t* out = static_cast<uint8_t*>(dst);
        size_t done = 0;
        for (; done < n && at_ < header_.size(); ++done) out[done] = header_[at_++];
        std::memset(out + done, 0x11, n - done);
        return n;
    }
    void Skip(uint32_t n) override { at_ += n; }

private:
    std::vector<uint8_t> header_;
    size_t at_ = 0;
};

// Loads four gigabytes with little address space left; exits 0 when the load
// was refused for want of memory with the old sound kept.
void LoadWithScarceMemory() {
    Format f;
    f.channels = 2;
    Bytes header = wavbuild::Start(f);
    header.Id("data").U32(0xFFFFFFFFu);
    EndlessInput input(header.data);
    InstallPreviousSound();
    const SoundSnapshot kept = SoundSnapshot::Take();
    LogCapture childLog;
    childLog.lines.reserve(64);
    const long long now = VirtualSizeBytes();
    rlimit limit{rlim_t(now + (24 << 20)), rlim_t(now + (24 << 20))};
    if (now < 0 || setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(2);
    const int result = LoadWavFrom(input);
    const bool refused = result == 0 && childLog.lines.size() >= 2 &&
                         childLog.lines[childLog.lines.size() - 2] == L" Ошибка, не хватает памяти для звука!";
    const bool unchanged = Sound.Head == kept.head && Sound.FragmentSize == kept.fragmentSize &&
                           Sound.TotalBytes == kept.totalBytes && Sound.Current == kept.current &&
                           CountFragments(Sound.Head) == int(kept.fragments.size());
    std::_Exit(refused && unchanged ? 0 : 1);
}

// Address-space limits do not mix with the sanitizers' shadow memory, so this
// runs in plain builds only.
TEST_F(WavReader, RunningOutOfMemoryRefusesAndKeepsTheOldSound) {
    EXPECT_EXIT(LoadWithScarceMemory(), ::testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
