#include "sound/WavWriter.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "sound/FileIo.h"
#include "sound/Narration.h"

namespace {

class FileWavSink : public WavSink {
public:
    explicit FileWavSink(FILE* file) : file_(file) {}
    ~FileWavSink() override {
        if (file_) std::fclose(file_);
    }
    size_t Write(const void* data, size_t n) override { return std::fwrite(data, 1, n, file_); }
    bool Close() override {
        // A write error can surface at the flush or only at the close.
        const bool flushed = std::fflush(file_) == 0 && !std::ferror(file_);
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        return flushed && closed;
    }

private:
    FILE* file_;
};

void PutLe32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
void PutLe16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

bool WriteAll(WavSink& sink, const void* data, size_t n) { return sink.Write(data, n) == n; }

bool WriteHeader(WavSink& sink, uint32_t dataBytes, const WaveFormatRecord& info) {
    uint8_t header[WavHeaderBytes];
    MakeWavHeader(header, dataBytes, info);
    return WriteAll(sink, header, sizeof header);
}

// A write came back short: close what there is and throw the partial file
// away, keeping the target as it was.
int FailPartWay(WavSink& sink, const std::wstring& tempPath) {
    LogLine(L"Не удалось сохранить всю запись!");
    LogLine(L"Пробуем закрыть файл...");
    LogLine(sink.Close() ? L"Файл успешно закрыт!" : L"Ошибка при закрытии файла!");
    RemoveFileUtf16(tempPath);
    return 0;
}

// Whole fragments gathered into one piece of about a megabyte before they go
// to the sink: a write per 50 ms fragment costs a system call each, which
// under Wine takes longer than the copy. Every write still goes through the
// same check, so a short one fails the save exactly as before.
constexpr size_t StagingBytes = size_t(1) << 20;

bool WriteFragments(WavSink& sink, const SoundFragment* head, uint32_t& remaining, uint32_t fragmentSize) {
    std::vector<uint8_t> staging;
    const size_t perPiece = fragmentSize ? StagingBytes / fragmentSize : 0;
    if (perPiece > 1) {
        try {
            staging.resize(perPiece * fragmentSize);
        } catch (const std::bad_alloc&) {
            staging.clear();  // short of memory: one write per fragment
        }
    }
    size_t staged = 0;
    for (const SoundFragment* node = head; node && remaining >= fragmentSize; node = node->Next) {
        if (staging.empty()) {
            if (!WriteAll(sink, node->Data, fragmentSize)) return false;
        } else {
            std::memcpy(staging.data() + staged, node->Data, fragmentSize);
            staged += fragmentSize;
            if (staged == staging.size()) {
                if (!WriteAll(sink, staging.data(), staged)) return false;
                staged = 0;
            }
        }
        remaining -= fragmentSize;
    }
    return staged == 0 || WriteAll(sink, staging.data(), staged);
}

}  // namespace

// Field by field. Nothing in the record is recomputed: the file says what the
// sound in memory is.
void MakeWavHeader(uint8_t* header, uint32_t dataBytes, const WaveFormatRecord& info) {
    std::memcpy(header, "RIFF", 4);
    PutLe32(header + 4, dataBytes + 36);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    PutLe32(header + 16, 16);
    PutLe16(header + 20, info.wFormatTag);
    PutLe16(header + 22, info.nChannels);
    PutLe32(header + 24, info.nSamplesPerSec);
    PutLe32(header + 28, info.nAvgBytesPerSec);
    PutLe16(header + 32, info.nBlockAlign);
    PutLe16(header + 34, info.wBitsPerSample);
    std::memcpy(header + 36, "data", 4);
    PutLe32(header + 40, dataBytes);
}

void SetWavHeaderSizes(uint8_t* header, uint32_t dataBytes) {
    PutLe32(header + WavRiffSizeOffset, dataBytes + 36);
    PutLe32(header + WavDataSizeOffset, dataBytes);
}

std::unique_ptr<WavSink> OpenWavFileSink(const std::wstring& path) {
    FILE* file = OpenFileUtf16(path, "wb");
    if (!file) return nullptr;
    // The writer hands over pieces of a megabyte; a stream buffer would only
    // copy them once more and split each write in two.
    std::setvbuf(file, nullptr, _IONBF, 0);
    return std::make_unique<FileWavSink>(file);
}

std::wstring TemporaryPathFor(const std::wstring& target) { return target + L".saving"; }

int SaveWav(const std::wstring& path, const SoundFragment* head, uint64_t dataBytes, uint32_t fragmentSize,
            WaveFormatRecord info) {
    return SaveWavWith(OpenWavFileSink, path, head, dataBytes, fragmentSize, info);
}

int SaveWavWith(const WavSinkOpener& open, const std::wstring& path, const SoundFragment* head,
                uint64_t totalBytes, uint32_t fragmentSize, WaveFormatRecord info) {
    if (!head) {
        LogLine(L"Ошибка, нет данных для сохранения!");
        return 0;
    }
    // Cut to 32 bits the size would wrap: a truncated file reported saved.
    if (!FitsInWavFile(totalBytes)) {
        LogLine(L"Ошибка, запись больше 4 ГБ не помещается в WAV файл!");
        return SaveRefusedTooLarge;
    }
    const uint32_t dataBytes = uint32_t(totalBytes);
    const std::wstring tempPath = TemporaryPathFor(path);
    std::unique_ptr<WavSink> sink = open(tempPath);
    if (!sink) {
        LogLine(L"Ошибка, невозможно открыть файл для записи!");
        return 0;
    }
    if (info.nChannels == 0 || info.nChannels > 2) {
        LogLine(L"Ошибка, WaveInfo.nChannels = 0 или больше 2!");
        sink->Close();
        RemoveFileUtf16(tempPath);
        return 0;
    }

    if (!WriteHeader(*sink, dataBytes, info)) return FailPartWay(*sink, tempPath);

    uint32_t remaining = dataBytes;
    if (!WriteFragments(*sink, head, remaining, fragmentSize)) return FailPartWay(*sink, tempPath);
    LogLine(L" В буфере осталось " + std::to_wstring(remaining) + L" байт");

    if (!sink->Close()) {
        LogLine(L"Ошибка при закрытии файла!");
        RemoveFileUtf16(tempPath);
        return 0;
    }
    if (!ReplaceFileUtf16(tempPath, path)) {
        LogLine(L"Ошибка, не удалось заменить файл сохранённым!");
        RemoveFileUtf16(tempPath);
        return 0;
    }
    LogLine(L"Файл успешно сохранен!");
    return 1;
}
