// Saving the sound as a PCM WAV file with the canonical 44-byte header,
// followed by the fragments' bytes in chain order, narrated through LogLine.
//
// The file is written beside the target under a temporary name and renamed
// over the target only once it is complete and closed without error, so a
// save that fails part-way (full disk, lost network drive) reports failure
// and leaves whatever file had that name before exactly as it was.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "sound/SoundChain.h"
#include "sound/WaveFormat.h"

// Where the writer puts its bytes.
class WavSink {
public:
    virtual ~WavSink() = default;
    // Writes n bytes; returns how many were taken (fewer means failure).
    virtual size_t Write(const void* data, size_t n) = 0;
    // Flushes and closes; false when anything written could not be stored.
    // Called exactly once.
    virtual bool Close() = 0;
};

// Opens a sink for a path; null when the file cannot be created.
using WavSinkOpener = std::function<std::unique_ptr<WavSink>(const std::wstring& path)>;

// A buffered stdio file created (or emptied) at path; null when that fails.
std::unique_ptr<WavSink> OpenWavFileSink(const std::wstring& path);

// The name the file is written under before it replaces `target`.
std::wstring TemporaryPathFor(const std::wstring& target);

// The RIFF size field (data + 36 header bytes after it) has 32 bits, so a
// sound of more bytes than this has no WAV file.
constexpr uint64_t MaxWavDataBytes = 0xFFFFFFFFull - 36;
inline bool FitsInWavFile(uint64_t dataBytes) { return dataBytes <= MaxWavDataBytes; }

// The canonical header: "RIFF", its size, "WAVE", a 16-byte "fmt " chunk
// holding `info`, "data" and its size. The two sizes sit at fixed offsets, so
// a file that grows (the recovery copy of a recording) can bring them up to
// date in place.
constexpr size_t WavHeaderBytes = 44;
constexpr size_t WavRiffSizeOffset = 4;
constexpr size_t WavDataSizeOffset = 40;
void MakeWavHeader(uint8_t* header, uint32_t dataBytes, const WaveFormatRecord& info);
// Writes the two sizes for dataBytes of sound into a header made above.
void SetWavHeaderSizes(uint8_t* header, uint32_t dataBytes);

// SaveWav's result for a sound too large for a WAV file (see FitsInWavFile):
// refused before anything is opened.
constexpr int SaveRefusedTooLarge = 2;

// Writes dataBytes bytes of sound from the chain at head (fragments of
// fragmentSize bytes, whole fragments only) with the format block `info`
// copied as it is. 1 when the file at path is complete; 0 otherwise, with
// the reason in the log and no file created or changed. A null head, and
// (with SaveRefusedTooLarge) a sound too large for the format, are refused
// before anything is opened.
int SaveWav(const std::wstring& path, const SoundFragment* head, uint64_t dataBytes, uint32_t fragmentSize,
            WaveFormatRecord info);

// The same with the sink for the temporary file opened by `open` (tests put
// a failing sink there).
int SaveWavWith(const WavSinkOpener& open, const std::wstring& path, const SoundFragment* head,
                uint64_t dataBytes, uint32_t fragmentSize, WaveFormatRecord info);
