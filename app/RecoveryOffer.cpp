#include "app/RecoveryOffer.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "app/FileCommands.h"
#include "audio/RecoveryWriter.h"
#include "sound/Narration.h"
#include "sound/RecoveryCopy.h"
#include "sound/WavReader.h"
#include "sound/WavWriter.h"

namespace {

struct FoundCopy {
    std::wstring name;
    RecoveryTime made;
    int64_t key;
};

// The copies in the folder, newest first. Files of other names are not ours
// and are left alone.
std::vector<FoundCopy> ListCopies(const std::wstring& folder) {
    std::vector<FoundCopy> copies;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*.wav").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return copies;
    do {
        FoundCopy copy{found.cFileName, {}, 0};
        int serial = 1;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            ParseRecoveryCopyName(copy.name, &copy.made, &serial)) {
            copy.key = RecoveryTimeKey(copy.made, serial);
            copies.push_back(copy);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(copies.begin(), copies.end(), [](const FoundCopy& a, const FoundCopy& b) { return a.key > b.key; });
    return copies;
}

std::wstring Code(DWORD code) { return std::to_wstring(long(code)); }

bool ReadHeader(HANDLE file, uint8_t* header, DWORD* got, uint64_t* length) {
    LARGE_INTEGER size;
    OVERLAPPED at = {};
    if (!GetFileSizeEx(file, &size)) return false;
    *length = uint64_t(size.QuadPart);
    *got = 0;
    return *length == 0 || ReadFile(file, header, DWORD(WavHeaderBytes), got, &at);
}

// States the sizes of the whole fragments and cuts off the torn tail, so
// that the file is a plain WAV file from now on; false with the error code.
bool Mend(HANDLE file, uint8_t* header, const RecoveryPlan& plan, DWORD* error) {
    SetWavHeaderSizes(header, plan.dataBytes);
    OVERLAPPED at = {};
    DWORD written = 0;
    LARGE_INTEGER end;
    end.QuadPart = LONGLONG(WavHeaderBytes + plan.dataBytes);
    const bool ok = WriteFile(file, header, DWORD(WavHeaderBytes), &written, &at) && written == WavHeaderBytes &&
                    SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file) &&
                    FlushFileBuffers(file);
    if (!ok) *error = GetLastError();
    return ok;
}

void Delete(HANDLE file, const std::wstring& path) {
    CloseHandle(file);
    DeleteFileW(path.c_str());
}

// Loads a copy the user chose to have back.
void Recover(HANDLE file, const std::wstring& path, const FoundCopy& copy, uint8_t* header,
             const RecoveryPlan& plan) {
    DWORD error = 0;
    if (!Mend(file, header, plan, &error)) {
        LogLine(L" Не удалось восстановить запись из копии " + copy.name + L". Код ошибки - " + Code(error));
        CloseHandle(file);
        return;
    }
    if (!LoadWav(path)) {
        LogLine(L" Не удалось восстановить запись из копии " + copy.name);
        CloseHandle(file);
        return;
    }
    FinishSoundLoad();
    LogLine(RecoveredLine(plan));
    AdoptRecoveryCopy(file, path);
}

}  // namespace

void OfferRecoveredRecordings() {
    unsigned long error = 0;
    const std::wstring folder = RecoveryFolder(false, &error);
    if (folder.empty()) return;
    for (const FoundCopy& copy : ListCopies(folder)) {
        const std::wstring path = folder + L"\\" + copy.name;
        // Held while it is offered, and without sharing write or delete, as
        // the instance that writes a copy holds it: an instance still
        // recording into this one, or another one offering it right now,
        // makes the open fail with a sharing violation.
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD failure = GetLastError();
            if (failure != ERROR_SHARING_VIOLATION)
                LogLine(L" Не удалось прочитать копию записи " + copy.name + L". Код ошибки - " + Code(failure));
            continue;
        }
        uint8_t header[WavHeaderBytes] = {};
        DWORD got = 0;
        uint64_t length = 0;
        if (!ReadHeader(file, header, &got, &length)) {
            LogLine(L" Не удалось прочитать копию записи " + copy.name + L". Код ошибки - " + Code(GetLastError()));
            CloseHandle(file);
            continue;
        }
        const RecoveryPlan plan = PlanRecovery(header, got, length);
        if (plan.kind == RecoveryKind::Empty) {
            Delete(file, path);
            LogLine(L" Удалена пустая копия записи " + copy.name);
            continue;
        }
        if (plan.kind == RecoveryKind::Unreadable) {
            CloseHandle(file);
            LogLine(L" Копия записи " + copy.name + L" не является WAV файлом, оставлена как есть");
            continue;
        }
        const int answer = MessageBoxW(MainWindow, RecoveryOfferText(copy.made, plan.DurationMs()).c_str(),
                                       RecoveryOfferCaption, MB_YESNOCANCEL | MB_ICONQUESTION);
        if (answer == IDYES) {
            Recover(file, path, copy, header, plan);
            return;
        }
        if (answer != IDNO) {
            CloseHandle(file);
            return;
        }
        Delete(file, path);
        LogLine(L" Копия записи удалена: " + copy.name);
    }
}
