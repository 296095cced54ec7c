#include "sound/WavReader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "sound/FileIo.h"
#include "sound/Narration.h"
#include "sound/SoundChain.h"

namespace {

const wchar_t* const Separator = L"----------------------------------";
// Fewer data bytes than this are not worth a sound.
constexpr uint32_t MinDataBytes = 100;
// The part of the path the open-failure line shows.
constexpr size_t PathShown = 80;

// Reads the file in pieces of a megabyte and hands them out in the sizes the
// reader asks for. A system call per 50 ms fragment is what a load of a long
// file spent most of its time on under Wine; one per megabyte costs next to
// nothing, and the copy out of the piece is cheaper than the calls it saves.
class FileWavInput : public WavInput {
public:
    explicit FileWavInput(FILE* file) : file_(file) {}
    ~FileWavInput() override { Close(); }
    size_t Read(void* dst, size_t n) override {
        uint8_t* out = static_cast<uint8_t*>(dst);
        size_t done = 0;
        while (done < n) {
            if (next_ == end_ && !Refill()) break;
            const size_t count = std::min(n - done, end_ - next_);
            std::memcpy(out + done, piece_.data() + next_, count);
            next_ += count;
            done += count;
        }
        return done;
    }
    void Skip(uint32_t n) override {
        const size_t held = end_ - next_;
        if (n <= held) {
            next_ += n;
            return;
        }
        n -= uint32_t(held);
        next_ = end_ = 0;
        // In steps that fit a 32-bit long, which is what fseek takes on Windows.
        while (file_ && n > 0) {
            const uint32_t step = std::min<uint32_t>(n, 0x40000000u);
            if (std::fseek(file_, long(step), SEEK_CUR) != 0) return;
            n -= step;
        }
    }
    void Close() override {
        if (file_) std::fclose(file_);
        file_ = nullptr;
        piece_ = std::vector<uint8_t>();
        next_ = end_ = 0;
    }

private:
    static constexpr size_t PieceBytes = size_t(1) << 20;

    bool Refill() {
        if (!file_ || ended_) return false;
        // Without the memory for a whole piece, a small one still serves.
        for (size_t size : {PieceBytes, size_t(4096)}) {
            if (!piece_.empty()) break;
            try {
                piece_.resize(size);
            } catch (const std::bad_alloc&) {
            }
        }
        if (piece_.empty()) {
            ended_ = true;
            return false;
        }
        next_ = 0;
        end_ = std::fread(piece_.data(), 1, piece_.size(), file_);
        // A short piece is the end of the file or a read error; either way the
        // reads after it come back short, as they did from the stream itself.
        if (end_ < piece_.size()) ended_ = true;
        return end_ > 0;
    }

    FILE* file_;
    std::vector<uint8_t> piece_;
    size_t next_ = 0;  // first byte of piece_ not yet handed out
    size_t end_ = 0;   // bytes of piece_ that came from the file
    bool ended_ = false;
};

int Refuse(WavInput& input, const std::wstring& line) {
    LogLine(line);
    input.Close();
    LogLine(Separator);
    return 0;
}

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// A chunk identifier, or four zero bytes where the input ended: those match
// no identifier, so a short read is refused like a wrong one.
struct ChunkId {
    uint8_t bytes[4] = {0, 0, 0, 0};
    bool Is(const char* id) const { return std::memcmp(bytes, id, 4) == 0; }
};
ChunkId ReadId(WavInput& input) {
    ChunkId id;
    if (input.Read(id.bytes, 4) != 4) std::memset(id.bytes, 0, 4);
    return id;
}
bool ReadU32(WavInput& input, uint32_t* value) {
    uint8_t b[4];
    if (input.Read(b, 4) != 4) return false;
    *value = Le32(b);
    return true;
}

// The chain being read, owned here until it is handed to Sound; freed on
// every way out that does not hand it over.
struct PendingChain {
    SoundFragment* head = nullptr;
    SoundFragment* tail = nullptr;
    uint32_t count = 0;
    ~PendingChain() { FreeChain(head); }
    void Append(SoundFragment* f) {
        if (tail) tail->Next = f;
        else head = f;
        tail = f;
        ++count;
    }
    SoundFragment* Release() {
        SoundFragment* h = head;
        head = tail = nullptr;
        return h;
    }
    void Free() { FreeChain(Release()); }
};

enum class DataOutcome { Loaded, TooFewBytes, NoMemory };

// Reads the data chunk one fragment at a time straight into the fragments.
// Only whole fragments are kept, except that data shorter than one fragment
// (declared so, or because the file ends) still makes one fragment, filled
// up with silence. Bytes after the declared size are never taken for sound,
// and the loop stops at the first short read, so a declared size larger than
// the file costs nothing.
DataOutcome ReadData(WavInput& input, uint32_t declared, uint32_t fragmentSize, uint8_t silence,
                     PendingChain& chain) {
    SoundFragment* first = AllocateFragment(fragmentSize);
    if (!first) return DataOutcome::NoMemory;
    chain.Append(first);
    const size_t wanted = std::min(declared, fragmentSize);
    const size_t got = input.Read(first->Data, wanted);
    if (got < MinDataBytes) return DataOutcome::TooFewBytes;
    if (got < fragmentSize) {
        std::memset(first->Data + got, silence, fragmentSize - got);
        return DataOutcome::Loaded;
    }
    uint32_t remaining = declared - fragmentSize;
    while (remaining >= fragmentSize) {
        SoundFragment* f = AllocateFragment(fragmentSize);
        if (!f) return DataOutcome::NoMemory;
        if (input.Read(f->Data, fragmentSize) != fragmentSize) {
            FreeChain(f);
            break;
        }
        chain.Append(f);
        remaining -= fragmentSize;
    }
    return DataOutcome::Loaded;
}


}  // namespace

size_t MemoryWavInput::Read(void* dst, size_t n) {
    const size_t count = std::min(n, size_ - position_);
    if (count) std::memcpy(dst, data_ + position_, count);
    position_ += count;
    return count;
}

void MemoryWavInput::Skip(uint32_t n) { position_ += std::min<size_t>(n, size_ - position_); }

WaveFormatRecord ParseFormatRecord(const uint8_t* raw) {
    WaveFormatRecord format{};
    format.wFormatTag = Le16(raw);
    format.nChannels = Le16(raw + 2);
    format.nSamplesPerSec = Le32(raw + 4);
    format.nAvgBytesPerSec = Le32(raw + 8);
    format.nBlockAlign = Le16(raw + 12);
    format.wBitsPerSample = Le16(raw + 14);
    format.cbSize = 0;
    return format;
}

std::wstring MinutesSecondsText(double ms) {
    const int minutes = int(std::floor(ms / 1000 / 60));
    const int seconds = int(ms / 1000 - minutes * 60.0);
    return std::to_wstring(minutes) + L" мин. " + std::to_wstring(seconds) + L" сек.";
}

uint32_t LoadedFragmentSize(const WaveFormatRecord& format) {
    // Each fragment becomes one playback buffer, and a device buffer has to
    // hold whole frames: at a rate that is not a multiple of 20 Hz (8010 Hz
    // 16-bit mono gives 801 bytes) every second buffer would start in the
    // middle of a sample and play as noise. So the size is rounded down to
    // whole frames; at every rate the recorder offers it already is one.
    const uint32_t frameBytes = uint32_t(format.wBitsPerSample / 8) * format.nChannels;
    uint32_t fragmentSize = ComputeFragmentSize(format.nChannels, format.nSamplesPerSec, format.wBitsPerSample);
    if (frameBytes > 1) fragmentSize -= fragmentSize % frameBytes;
    return fragmentSize;
}

uint8_t SilenceByte(uint16_t bitsPerSample) { return bitsPerSample == 8 ? 128 : 0; }

int LoadWav(const std::wstring& path) {
    FILE* file = OpenFileUtf16(path, "rb");
    if (!file) {
        LogLine(Separator);
        LogLine(L" Не удалось открыть файл:");
        LogLine(L" \"" + path.substr(0, PathShown) + L"\"");
        LogLine(Separator);
        return 0;
    }
    // The input reads in pieces of its own; a stream buffer in between would
    // only add a copy.
    std::setvbuf(file, nullptr, _IONBF, 0);
    FileWavInput input(file);
    return LoadWavFrom(input);
}

int LoadWavFrom(WavInput& input) {
    LogLine(Separator);
    LogLine(L" Информация в файле: ");

    if (!ReadId(input).Is("RIFF")) return Refuse(input, L" Ошибка, Формат файла не RIFF!");
    LogLine(L" Формат файла RIFF");

    input.Skip(4);  // the RIFF size says nothing the chunks do not
    if (!ReadId(input).Is("WAVE")) return Refuse(input, L" Ошибка, тип данных не WAVE!");
    LogLine(L" Тип данных WAVE");

    if (!ReadId(input).Is("fmt ")) return Refuse(input, L" Ошибка, следующий идент. не fmt_ !");
    LogLine(L" Следующий идентификатор fmt_ ");

    // A PCM format block is 16 bytes; anything shorter (or a size that is
    // negative as the signed number it is meant to be) cannot hold one.
    uint32_t fmtSizeBits = 0;
    const bool gotFmtSize = ReadU32(input, &fmtSizeBits);
    const int32_t fmtSize = int32_t(fmtSizeBits);
    if (!gotFmtSize || fmtSize < 16) return Refuse(input, L" Ошибка, не найдена инфо об аудио!");
    LogLine(L" Размер аудио данных: " + std::to_wstring(fmtSize) + L" байт");

    // Only the first 16 bytes are the record; cbSize stays 0 whatever follows.
    uint8_t raw[16];
    if (input.Read(raw, sizeof raw) != sizeof raw) return Refuse(input, L" Ошибка, не найдена инфо об аудио!");
    const WaveFormatRecord format = ParseFormatRecord(raw);
    if (fmtSize > 16) input.Skip(uint32_t(fmtSize - 16));
    LogLine(Separator);

    LogLine(L" Формат файла (PCM=1): " + std::to_wstring(format.wFormatTag));
    if (format.wFormatTag != WaveFormatPcm) return Refuse(input, L" Ошибка, формат не PCM!");
    LogLine(L" Кол-во каналов (MONO=1): " + std::to_wstring(format.nChannels));
    if (format.nChannels != 1 && format.nChannels != 2) return Refuse(input, L" Ошибка кол-ва каналов звука!");
    LogLine(L" Частота дискретизации (Hz): " + std::to_wstring(format.nSamplesPerSec));
    if (format.nSamplesPerSec < 8000 || format.nSamplesPerSec > 192000)
        return Refuse(input, L" Ошибка Частоты дискретизации!");
    LogLine(L" Глубина звука (bit): " + std::to_wstring(format.wBitsPerSample));
    if (format.wBitsPerSample < 8 || format.wBitsPerSample > 32) return Refuse(input, L" Недопуст. глубина звука!");
    LogLine(L" Средняя плотность (byte/sec): " + std::to_wstring(format.nAvgBytesPerSec));
    LogLine(L" Размер семпла (byte/sample): " + std::to_wstring(format.nBlockAlign));
    LogLine(L" Размер доп. инфо (byte): " + std::to_wstring(format.cbSize));
    LogLine(Separator);

    ChunkId id = ReadId(input);
    if (id.Is("fact")) {
        LogLine(L" Нашли блок 'fact', пропускаем его");
        uint32_t factSize = 0;
        if (!ReadU32(input, &factSize)) return Refuse(input, L" Ошибка! Не можем найти блок 'data'!");
        input.Skip(factSize);
        id = ReadId(input);
    }
    if (!id.Is("data")) return Refuse(input, L" Ошибка! Не можем найти блок 'data'!");
    LogLine(L" Нашли блок 'data' - всё OK :)");

    uint32_t declared = 0;
    if (!ReadU32(input, &declared) || declared < MinDataBytes)
        return Refuse(input, L" Ошибка! Размер блока данных < 100!");

    const uint32_t fragmentSize = LoadedFragmentSize(format);
    PendingChain chain;
    const DataOutcome outcome = ReadData(input, declared, fragmentSize, SilenceByte(format.wBitsPerSample), chain);
    // A refused chain goes before anything is logged: when memory ran out,
    // even the log line needs some of it back.
    if (outcome != DataOutcome::Loaded) chain.Free();
    switch (outcome) {
    case DataOutcome::TooFewBytes:
        return Refuse(input, L" Ошибка! Размер блока данных < 100!");
    case DataOutcome::NoMemory:
        return Refuse(input, L" Ошибка, не хватает памяти для звука!");
    case DataOutcome::Loaded:
        break;
    }

    // Everything is read: only now does the new sound replace the old one.
    FreeChain(Sound.Head);
    Sound.Head = chain.Release();
    Sound.Current = nullptr;
    Sound.PlaybackFormat = format;
    Sound.CaptureFormat = format;
    Sound.Channels = format.nChannels;
    Sound.SamplesPerSec = format.nSamplesPerSec;
    Sound.BitsPerSample = format.wBitsPerSample;
    Sound.FragmentSize = fragmentSize;
    Sound.TotalBytes = double(chain.count) * fragmentSize;
    Sound.TotalMs = BytesToMs(Sound.TotalBytes);
    Sound.PlayedBytes = 0;
    Sound.PlayedMs = 0;

    LogLine(L" Успешно заполнили структуру данных!");
    input.Close();
    LogLine(Separator);
    LogLine(L"Длительность записи - " + MinutesSecondsText(Sound.TotalMs));
    return 1;
}
