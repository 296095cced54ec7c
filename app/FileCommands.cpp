#include "app/FileCommands.h"

#include <windows.h>
#include <commdlg.h>

#include <cstring>
#include <string>

#include "app/AppState.h"
#include "app/InterfaceFlags.h"
#include "audio/Player.h"
#include "audio/RecordingFlags.h"
#include "audio/RecoveryWriter.h"
#include "sound/Narration.h"
#include "sound/SoundChain.h"
#include "sound/WavReader.h"
#include "sound/WavWriter.h"
#include "view/SoundChanged.h"

namespace {

// Pairs of display text and pattern, double-terminated. The second pattern
// really is "*.wav;*wave" (no dot in the second alternative).
const wchar_t FileFilter[] = L"All files (*.*)\0*.*\0WAVE PCM Files(*.wav)\0*.wav;*wave\0";
constexpr int PathBufferSize = 256;
constexpr size_t ShownPathLength = 100;

OPENFILENAMEW DialogRecord(wchar_t* path) {
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = MainWindow;
    ofn.lpstrFilter = FileFilter;
    ofn.nFilterIndex = 2;
    ofn.lpstrFile = path;
    ofn.nMaxFile = PathBufferSize - 1;
    return ofn;
}

// The first 100 characters of a path, always followed by "..".
std::wstring ShownPath(const wchar_t* path) {
    return std::wstring(path, wcsnlen(path, ShownPathLength)) + L"..";
}

void Box(const wchar_t* text, const wchar_t* caption, UINT flags) { MessageBoxW(MainWindow, text, caption, flags); }

}  // namespace

void FinishSoundLoad() {
    ShowChangedSound(SoundChange::Replaced);
    EnableWindow(StopRecordButton, FALSE);
    EnableWindow(PlayButton, TRUE);
    EnableWindow(RecordButton, TRUE);
}

void OpenCommand() {
    wchar_t path[PathBufferSize] = {};
    if (RecordingInProgress()) {
        Box(L"Сначала остановите запись звука!", L"Ошибка", MB_OK);
        return;
    }
    if (PlaybackInProgress()) {
        Box(L"Сначала остановите воспроизведение!", L"Ошибка", MB_OK);
        return;
    }
    OPENFILENAMEW ofn = DialogRecord(path);
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    if (!GetOpenFileNameW(&ofn)) return;

    // The load frees the sound it replaces, which the copy's writer may be
    // reading still.
    WaitForRecoveryCopy();
    if (LoadWav(path)) {
        DiscardRecoveryCopy();
        FinishSoundLoad();
        Box(L" Файл успешно открыт!", L"Success", MB_OK);
    } else {
        Box(L"Не удалось открыть файл", L"Error", MB_ICONERROR);
    }
}

void SaveAsCommand() {
    if (RecordingInProgress()) {
        Box(L"Сначала остановите запись!", L"Ошибка", MB_OK);
        return;
    }
    wchar_t path[PathBufferSize] = {};
    OPENFILENAMEW ofn = DialogRecord(path);
    ofn.lpstrTitle = L" Сохранить как...";
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_NOREADONLYRETURN;
    ofn.lpstrDefExt = L"wav";
    if (!GetSaveFileNameW(&ofn)) {
        LogLine(L"Не удалось получить имя файла для сохранения!");
        Box(L"Не удалось получить имя файла!", L"Ошибка", MB_ICONERROR);
        return;
    }
    const std::wstring shown = ShownPath(path);
    LogLine(L"Путь сохранения файла: ");
    LogLine(L" " + shown);

    const int result = SaveWav(path, Sound.Head, static_cast<uint64_t>(Sound.TotalBytes), Sound.FragmentSize,
                               Sound.PlaybackFormat);
    if (result == 1) {
        // The sound is in the user's file now; its recovery copy has done
        // its work.
        DiscardRecoveryCopy();
        const std::wstring text = L"Путь сохранения:\n " + shown;
        Box(text.c_str(), L"Файл успешно сохранён", MB_OK);
    } else if (result == SaveRefusedTooLarge) {
        Box(L" Запись больше 4 ГБ, в WAV файл её не сохранить! ", L"Ошибка", MB_ICONERROR);
    } else if (!Sound.Head) {
        Box(L" Нет данных для сохранения! ", L"Внимание", MB_ICONINFORMATION);
    } else {
        Box(L" Проблемы при сохранении файла! ", L"Ошибка", MB_ICONERROR);
    }
}
