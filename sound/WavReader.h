// Loading a PCM WAV file into the process-wide sound (Sound).
//
// The reader walks the file in a fixed order (RIFF, WAVE, "fmt ", an
// optional "fact", "data") and narrates every step through LogLine. The new
// chain is built aside and only swapped into Sound when it is complete, so a
// refused file, a file that ends too early and a failed allocation all leave
// the previous sound, its format and totals exactly as they were.
//
// After LoadWav returns 1 the caller still has to redo what depends on the
// sound (the plot coordinates, the envelope, the graph, the buttons).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "sound/WaveFormat.h"

// Where the reader takes its bytes from: a file, or memory in tests and the
// fuzzer.
class WavInput {
public:
    virtual ~WavInput() = default;
    // Copies up to n bytes to dst; returns how many arrived (fewer only at
    // the end of the input or on a read error).
    virtual size_t Read(void* dst, size_t n) = 0;
    // Moves n bytes forward. Moving past the end is allowed; the reads after
    // it then come back short.
    virtual void Skip(uint32_t n) = 0;
    // Called once when the reader is done with the input, before its last
    // separator line.
    virtual void Close() {}
};

// Bytes held by the caller; the input only points at them.
class MemoryWavInput : public WavInput {
public:
    MemoryWavInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    size_t Read(void* dst, size_t n) override;
    void Skip(uint32_t n) override;
    size_t Position() const { return position_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

// Loads the WAV file at `path` into Sound. 1 when the new sound is in place
// (Current null, playback position 0, totals for the whole fragments
// loaded); 0 when the file cannot be opened or is refused, with the reason
// in the log and Sound untouched.
int LoadWav(const std::wstring& path);

// The same from any input, narration included from the first separator on.
int LoadWavFrom(WavInput& input);

// The 16 bytes of a "fmt " chunk's PCM record, little-endian; cbSize 0.
WaveFormatRecord ParseFormatRecord(const uint8_t* raw);

// "1 мин. 5 сек." (truncating): a sound's length as the load reports it.
std::wstring MinutesSecondsText(double ms);

// The fragment size a file of this format is loaded with: 50 ms of sound
// (ComputeFragmentSize), rounded down to whole frames.
uint32_t LoadedFragmentSize(const WaveFormatRecord& format);

// The byte that stands for silence in a sample of this depth: 128 for
// unsigned 8-bit samples, 0 for every signed depth.
uint8_t SilenceByte(uint16_t bitsPerSample);
