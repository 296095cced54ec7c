// The recovery copy of a recording: a WAV file with the writer's 44-byte
// header that grows on disk while the recording is captured, so that a
// crash, a kill or a power cut leaves the take behind. This is the part that
// needs nothing of the platform: the copy's name, what a copy found at start
// holds, and the texts that offer it back.
//
// A copy left by a power cut can have a header whose sizes lag behind the
// data (they are brought up to date about once a second) and data that ends
// inside a fragment or inside a frame. What counts is the file's length:
// every whole fragment the file holds is recovered, the torn tail is not.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "sound/WaveFormat.h"

// When a copy was made, in the local time of the machine that made it.
struct RecoveryTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// "Запись 2026-12-09 04-11-05.wav": a person can tell when it was made, and
// names sort by time. serial > 1 tells apart copies made in the same second
// (" (2)" before the extension).
std::wstring RecoveryCopyName(const RecoveryTime& made, int serial = 1);
// The time and serial of a name RecoveryCopyName makes; false for any other.
bool ParseRecoveryCopyName(const std::wstring& name, RecoveryTime* made, int* serial);
// "09.12.2026 04:11:05"
std::wstring RecoveryTimeText(const RecoveryTime& made);
// For ordering copies: later times give larger keys.
int64_t RecoveryTimeKey(const RecoveryTime& made, int serial);

enum class RecoveryKind {
    Empty,        // nothing to recover: no bytes, a header alone or torn, no whole fragment
    Unreadable,   // not a copy this program writes
    Recoverable,  // at least one whole fragment
};

struct RecoveryPlan {
    RecoveryKind kind = RecoveryKind::Unreadable;
    WaveFormatRecord format{};
    uint32_t fragmentSize = 0;  // as the reader will load the file
    uint32_t fragments = 0;     // whole fragments the file holds
    uint32_t dataBytes = 0;     // fragments * fragmentSize: the data size to state
    uint64_t tornBytes = 0;     // data bytes after the last whole fragment
    uint32_t declaredBytes = 0; // the data size the header stated
    double DurationMs() const;
};

// What a copy of fileLength bytes whose first headerBytes bytes are `header`
// holds. Only the fixed layout of the writer's header is accepted: "RIFF",
// "WAVE", a 16-byte "fmt " chunk of PCM with 1 or 2 channels, 8000 to 192000
// Hz and 8, 16, 24 or 32 bits in whole-byte frames, then "data" at byte 36.
// A file shorter than the header is Empty when the bytes it has agree with
// that layout (a power cut during its first write), Unreadable otherwise.
// The fragments never exceed what a WAV header can state.
RecoveryPlan PlanRecovery(const uint8_t* header, size_t headerBytes, uint64_t fileLength);

// Whether a copy holding dataBytes bytes of sound can take one more fragment
// without passing the 4 GiB a WAV header can state.
bool RecoveryCopyHasRoom(uint64_t dataBytes, uint32_t fragmentSize);

// The box that offers a copy back at start, and its caption.
std::wstring RecoveryOfferText(const RecoveryTime& made, double durationMs);
extern const wchar_t* const RecoveryOfferCaption;
// The log line after a copy was loaded: how much it gave back.
std::wstring RecoveredLine(const RecoveryPlan& plan);
