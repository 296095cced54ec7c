#include "audio/RecoveryWriter.h"

#include <windows.h>
#include <shlobj.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <new>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "app/UiThread.h"
#include "audio/BackgroundFlush.h"
#include "audio/InjectedFault.h"
#include "sound/RecoveryCopy.h"
#include "sound/SoundChain.h"
#include "sound/WavWriter.h"

namespace {

// About once a second the sizes are stated and the file is flushed to the
// disk: a power cut then costs about the last second, or as long as the disk
// takes for a flush. The flush runs beside the writer (BackgroundFlush), so
// a kill costs no more than the last wake-up left. The writer wakes five
// times a second to take in what the callback stored and hands it to the
// file in one write: under Wine every wake-up and every write is a call into
// the server, and a write per 50 ms fragment cost the process measurably
// more CPU time.
constexpr DWORD FlushEveryMs = 900;
constexpr DWORD WakeEveryMs = 200;
// Fragments gathered for one write: more than a wake-up brings, and a fixed
// amount of memory whatever the recording's length.
constexpr uint32_t GatheredFragments = 16;

const wchar_t* const NotMadeText = L"Копия записи для восстановления не создана! Код ошибки - ";
const wchar_t* const StoppedText = L"Копия записи для восстановления остановлена! Код ошибки - ";
const wchar_t* const FullText = L"Копия записи для восстановления остановлена: больше 4 ГБ в WAV файл не помещается";

// The copy of the sound in memory. Touched by the writer while it runs and
// by the window thread otherwise (the join orders the two).
HANDLE CopyHandle = INVALID_HANDLE_VALUE;
std::wstring CopyPath;

std::thread Writer;
std::atomic<bool> CaptureOver{true};
// Wakes the writer early when the capture is over.
HANDLE WriterWake = CreateEventW(nullptr, FALSE, FALSE, nullptr);

struct CopyJob {
    WaveFormatRecord format;
    uint32_t fragmentSize;
    uint8_t header[WavHeaderBytes] = {};
    uint64_t written = 0;  // data bytes in the file
    bool going = true;     // false once the copy has stopped
    std::vector<uint8_t> gathered;  // GatheredFragments fragments, or none without the memory
    uint32_t gatheredBytes = 0;
};

std::wstring Code(DWORD code) { return std::to_wstring(long(code)); }

bool WriteAt(HANDLE file, uint64_t offset, const void* data, DWORD size, DWORD* error) {
    OVERLAPPED at = {};
    at.Offset = DWORD(offset);
    at.OffsetHigh = DWORD(offset >> 32);
    DWORD done = 0;
    if (WriteFile(file, data, size, &done, &at) && done == size) return true;
    *error = GetLastError();
    // A short write without an error is a disk with no room left.
    if (*error == ERROR_SUCCESS) *error = ERROR_DISK_FULL;
    return false;
}

// Opens a new copy named for the local time now, without sharing write or
// delete; INVALID_HANDLE_VALUE with the error code when that fails.
HANDLE CreateCopyFile(std::wstring* path, DWORD* error) {
    const std::wstring folder = RecoveryFolder(true, error);
    if (folder.empty()) return INVALID_HANDLE_VALUE;
    SYSTEMTIME now;
    GetLocalTime(&now);
    const RecoveryTime made{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
    // Another instance may have started a copy in the same second.
    for (int serial = 1; serial < 100; ++serial) {
        *path = folder + L"\\" + RecoveryCopyName(made, serial);
        HANDLE file = CreateFileW(path->c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
        *error = GetLastError();
        if (*error != ERROR_FILE_EXISTS && *error != ERROR_ALREADY_EXISTS) break;
    }
    return INVALID_HANDLE_VALUE;
}

void StopCopy(CopyJob& job, const std::wstring& line) {
    PostLogLine(line);
    job.going = false;
    // What is in the file stays a copy of whole fragments with sizes that
    // say so, as far as the disk still lets us.
    LARGE_INTEGER end;
    end.QuadPart = LONGLONG(WavHeaderBytes + job.written);
    if (SetFilePointerEx(CopyHandle, end, nullptr, FILE_BEGIN)) SetEndOfFile(CopyHandle);
    SetWavHeaderSizes(job.header, uint32_t(job.written));
    DWORD ignored = 0;
    WriteAt(CopyHandle, 0, job.header, DWORD(WavHeaderBytes), &ignored);
}

// Writes `size` bytes that follow what the file holds; a full disk made up
// by a test stops the copy at its fragment count.
bool WriteData(CopyJob& job, const uint8_t* data, uint32_t size) {
    DWORD error = 0;
    uint32_t allowed = size;
    const uint64_t limit = uint64_t(InjectedCopyFragments) * job.fragmentSize;
    const bool fault = FaultInjected(InjectedFault::RecoveryDiskFull) && job.written + size > limit;
    if (fault) allowed = job.written >= limit ? 0 : uint32_t(limit - job.written);
    if (allowed > 0 && !WriteAt(CopyHandle, WavHeaderBytes + job.written, data, allowed, &error)) {
        StopCopy(job, StoppedText + Code(error));
        return false;
    }
    job.written += allowed;
    if (fault) {
        StopCopy(job, StoppedText + Code(ERROR_DISK_FULL));
        return false;
    }
    return true;
}

void WriteGathered(CopyJob& job) {
    if (job.gatheredBytes && job.going) WriteData(job, job.gathered.data(), job.gatheredBytes);
    job.gatheredBytes = 0;
}

void AppendFragment(CopyJob& job, const SoundFragment* fragment) {
    if (!RecoveryCopyHasRoom(job.written + job.gatheredBytes, job.fragmentSize)) {
        WriteGathered(job);
        if (job.going) StopCopy(job, FullText);
        return;
    }
    if (job.gathered.empty()) {
        WriteData(job, fragment->Data, job.fragmentSize);
        return;
    }
    std::memcpy(job.gathered.data() + job.gatheredBytes, fragment->Data, job.fragmentSize);
    job.gatheredBytes += job.fragmentSize;
    if (job.gatheredBytes == job.gathered.size()) WriteGathered(job);
}

// States the sizes of what is written: a kill leaves a file that says so.
void StateSizes(CopyJob& job) {
    SetWavHeaderSizes(job.header, uint32_t(job.written));
    DWORD error = 0;
    if (!WriteAt(CopyHandle, 0, job.header, DWORD(WavHeaderBytes), &error)) StopCopy(job, StoppedText + Code(error));
}

unsigned long FlushCopy() {
    if (FaultInjected(InjectedFault::RecoverySlowFlush)) Sleep(InjectedFlushDelayMs);
    if (FlushFileBuffers(CopyHandle)) return 0;
    const DWORD error = GetLastError();
    return error ? error : ERROR_WRITE_FAULT;
}

void FlushNow(CopyJob& job) {
    if (const unsigned long error = FlushCopy()) StopCopy(job, StoppedText + Code(error));
}

// The fragment after `last` (the chain's first when null), read under
// ChainMutex: the callback may be linking it right now.
const SoundFragment* NextToWrite(const SoundFragment* last) {
    std::lock_guard<std::mutex> lock(ChainMutex);
    return last ? last->Next : Sound.Head;
}

void WriteCopy(CopyJob job) {
    DWORD error = 0;
    CopyHandle = CreateCopyFile(&CopyPath, &error);
    if (CopyHandle == INVALID_HANDLE_VALUE) {
        PostLogLine(NotMadeText + Code(error));
        return;
    }
    MakeWavHeader(job.header, 0, job.format);
    if (!WriteAt(CopyHandle, 0, job.header, DWORD(WavHeaderBytes), &error)) {
        PostLogLine(NotMadeText + Code(error));
        job.going = false;
    }
    try {
        job.gathered.resize(size_t(GatheredFragments) * job.fragmentSize);
    } catch (const std::bad_alloc&) {
        job.gathered.clear();  // short of memory: a write per fragment
    }
    const SoundFragment* last = nullptr;
    DWORD lastFlush = GetTickCount();
    BackgroundFlush flusher(FlushCopy);
    for (;;) {
        // Read before the walk: every fragment stored before the capture
        // ended is then found by it.
        const bool over = CaptureOver;
        for (const SoundFragment* next = NextToWrite(last); next; next = NextToWrite(last)) {
            if (job.going) AppendFragment(job, next);
            last = next;
        }
        WriteGathered(job);
        if (job.going && flusher.Error()) StopCopy(job, StoppedText + Code(flusher.Error()));
        if (over) break;
        if (job.going && GetTickCount() - lastFlush >= FlushEveryMs) {
            StateSizes(job);
            if (job.going && flusher.Running()) {
                flusher.Request();
            } else if (job.going) {
                FlushNow(job);  // no thread to spare: the writer waits for the disk
            }
            lastFlush = GetTickCount();
        }
        WaitForSingleObject(WriterWake, WakeEveryMs);
    }
    // The copy complete: its last sizes, and all of it on the disk.
    if (const unsigned long error = flusher.Finish()) {
        if (job.going) StopCopy(job, StoppedText + Code(error));
    }
    if (job.going) StateSizes(job);
    if (job.going) FlushNow(job);
    if (job.written == 0) {
        // Nothing was captured into it: no take to keep.
        CloseHandle(CopyHandle);
        DeleteFileW(CopyPath.c_str());
        CopyHandle = INVALID_HANDLE_VALUE;
        CopyPath.clear();
    }
}

}  // namespace

std::wstring RecoveryFolder(bool create, unsigned long* error) {
    wchar_t base[MAX_PATH] = {};
    const HRESULT found = SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base);
    if (FAILED(found)) {
        *error = DWORD(found);
        return std::wstring();
    }
    const std::wstring folder = std::wstring(base) + L"\\Dudorori";
    if (!create) return folder;
    if (!CreateDirectoryW(folder.c_str(), nullptr)) {
        *error = GetLastError();
        const DWORD attributes = GetFileAttributesW(folder.c_str());
        // Already there is fine, as long as it is a folder.
        if (*error != ERROR_ALREADY_EXISTS || attributes == INVALID_FILE_ATTRIBUTES ||
            !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return std::wstring();
    }
    return folder;
}

void BeginRecoveryCopy() {
    DiscardRecoveryCopy();
    CopyJob job;
    job.format = Sound.CaptureFormat;
    job.fragmentSize = Sound.FragmentSize;
    CaptureOver = false;
    try {
        Writer = std::thread(WriteCopy, job);
    } catch (const std::system_error& e) {
        CaptureOver = true;
        PostLogLine(NotMadeText + Code(DWORD(e.code().value())));
    }
}

void EndRecoveryCopyCapture() {
    CaptureOver = true;
    SetEvent(WriterWake);
}

void WaitForRecoveryCopy() {
    if (Writer.joinable()) Writer.join();
}

void DiscardRecoveryCopy() {
    WaitForRecoveryCopy();
    if (CopyHandle == INVALID_HANDLE_VALUE) return;
    CloseHandle(CopyHandle);
    DeleteFileW(CopyPath.c_str());
    CopyHandle = INVALID_HANDLE_VALUE;
    CopyPath.clear();
}

void AdoptRecoveryCopy(void* handle, const std::wstring& path) {
    DiscardRecoveryCopy();
    CopyHandle = static_cast<HANDLE>(handle);
    CopyPath = path;
}
