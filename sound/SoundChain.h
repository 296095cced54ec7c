// The one sound the program holds: a singly linked chain of equal-sized
// fragments of raw PCM bytes, plus the record that describes it.
//
// Words: a "frame" is all channels of one instant; a "sample" is one
// channel's value inside a frame.
#pragma once
#include <cstdint>
#include <mutex>

#include "sound/WaveFormat.h"

struct SoundFragment {
    uint8_t* Data;        // exactly FragmentSize bytes, owned by the node
    SoundFragment* Next;  // null at the last fragment
};

struct SoundChain {
    SoundFragment* Head = nullptr;     // null: there is no sound
    SoundFragment* Current = nullptr;  // recording: the tail; playback: last queued
    uint32_t FragmentSize = 8000;
    uint16_t Channels = 1;
    uint32_t SamplesPerSec = 44100;
    uint16_t BitsPerSample = 16;
    double TotalBytes = 0;
    double TotalMs = 0;
    double PlayedBytes = 0;
    double PlayedMs = 0;
    WaveFormatRecord CaptureFormat = MakePcmFormatDefault();
    WaveFormatRecord PlaybackFormat = MakePcmFormatDefault();

    static WaveFormatRecord MakePcmFormatDefault() { return {1, 1, 44100, 88200, 2, 16, 0}; }
};

// The process-wide sound.
extern SoundChain Sound;

// Held by the capture callback while it links a new fragment and by the
// renderer while it draws the newest one. Taken before TotalsMutex.
extern std::mutex ChainMutex;
// Guards TotalBytes/TotalMs against the paint handler's copy of TotalMs.
extern std::mutex TotalsMutex;

// Bytes per fragment for a format: channels x rate x bits / 160 (50 ms),
// with 11025 counted as 11040 and 22050 as 22060 so that those rates give a
// whole number of frames too.
uint32_t ComputeFragmentSize(uint16_t channels, uint32_t samplesPerSec, uint16_t bitsPerSample);

// Milliseconds of sound in a byte count, in the format given / the current
// format of Sound. Evaluated as bytes / rate / (bits div 8) / channels * 1000.
double BytesToMsFor(double bytes, uint32_t samplesPerSec, uint16_t bitsPerSample, uint16_t channels);
double BytesToMs(double bytes);

// Frees every fragment from head on (data, then node). Null does nothing.
// Does not touch Sound: callers reset Head and the totals themselves.
void FreeChain(SoundFragment* head);

// Allocates one fragment of fragmentSize bytes (contents uninitialised
// unless zeroFill), Next null. Throws std::bad_alloc like new.
SoundFragment* NewFragment(uint32_t fragmentSize, bool zeroFill = false);

// The fragment holding the byte at `fraction` of the sound (a point on a
// boundary belongs to the fragment ending there). Writes that fragment's
// start offset to *offset when given. Null, offset untouched, for a null
// head, total <= 0, fragment size 0, fraction outside [0, 1], or a chain
// shorter than the total claims.
SoundFragment* FindFragmentAt(SoundFragment* head, uint32_t fragmentSize, double totalBytes,
                              double fraction, double* offset);
