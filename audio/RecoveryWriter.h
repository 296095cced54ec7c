// The recovery copy on disk: while a recording is captured, a thread of its
// own appends every stored fragment to a WAV file in the user's local
// application data folder (RecoveryFolder), brings the header's sizes up to
// date and flushes the file to the disk about once a second. The capture
// never waits for it: the writer only reads the chain, taking ChainMutex just
// long enough to read a Next, and trouble with the disk (a folder that cannot
// be made, a full disk, a failed write or flush) stops the copy with one log
// line and leaves the recording alone.
//
// The copy lives as long as the sound it holds is in memory and unsaved:
// Save As of that sound, a new Record and a successful Open delete it; every
// end of the process (Exit, a crash, a kill, a power cut) leaves it, and the
// next start offers it back (app/RecoveryOffer.h). While this instance has a
// copy it keeps the file open without sharing write or delete, so another
// instance never offers it.
#pragma once
#include <string>

// The folder of the copies, %LOCALAPPDATA%\Dudorori, made when `create` asks
// for it. Empty, with the platform's error code in *error, when it cannot be
// found or made.
std::wstring RecoveryFolder(bool create, unsigned long* error);

// Window thread, Record, once the device has passed its trial open: starts
// the writer for the recording about to begin (the format and fragment size
// in Sound are that recording's).
void BeginRecoveryCopy();
// Recording thread (or Record when the thread could not start): no fragment
// will be stored any more; the writer takes in the rest and completes the
// copy. A copy that got no fragment is deleted.
void EndRecoveryCopyCapture();
// Window thread: waits until the writer has finished (at once when none
// runs). Anything that changes or frees the chain calls it first, and so does
// the shutdown, so that the copy holds the recording as it was captured.
void WaitForRecoveryCopy();
// Window thread: the sound in memory was saved or replaced on purpose; its
// copy, if it has one, is deleted.
void DiscardRecoveryCopy();
// Window thread: a copy recovered at start is the loaded sound's copy from
// now on; `handle` is the file's open handle, kept as a recording's is.
void AdoptRecoveryCopy(void* handle, const std::wstring& path);
