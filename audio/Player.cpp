#include "audio/Player.h"

#include <windows.h>
#include <mmsystem.h>

#include <string>

#include "app/AppState.h"
#include "app/InterfaceFlags.h"
#include "audio/InjectedFault.h"
#include "sound/Narration.h"
#include "sound/SoundChain.h"
#include "view/PlotSurface.h"

namespace {

// The open output device; null once it is closed. A device whose close
// failed keeps its handle and is closed again before the next playback opens
// one.
HWAVEOUT PlaybackDevice = nullptr;
// From Play's open of the device until the reset of a Stop or of the end of
// the sound: all that time the device holds, or may be given, the chain's own
// fragments, so nothing may free or rewrite them. Notifications that arrive
// while it is false belong to a playback that is over.
bool Playing = false;
// Point straight at the fragments' own data: nothing is copied.
WAVEHDR PlaybackHeaders[2] = {};
int NextPlaybackBuffer = 0;

std::wstring Code(MMRESULT result) { return std::to_wstring(int(result)); }

bool FragmentInChain(const SoundFragment* head, const SoundFragment* fragment) {
    for (const SoundFragment* f = head; f; f = f->Next) {
        if (f == fragment) return true;
    }
    return false;
}

// A header the device returned once its playback was over (those given back
// by the reset of a stop, or the last one of an ended sound). What it would
// do during the playback is done, minus the write, which fails: a closed or
// reset device is given nothing more. Current is followed only while it still
// belongs to the chain, since the sound may have been replaced in between.
void LateBufferDone() {
    SoundFragment* current = Sound.Current;
    if (!current || !FragmentInChain(Sound.Head, current) || !current->Next) return;
    Sound.Current = current->Next;
    LogLine(L"Не удалось добавить фрагмент воспр.");
    NextPlaybackBuffer = 1 - NextPlaybackBuffer;
}

// Runs the notifications of an earlier device still waiting in the queue, so
// that none of them is taken for one of the device about to open.
void RunLateNotifications() {
    MSG msg;
    while (PeekMessageW(&msg, MainWindow, MM_WOM_DONE, MM_WOM_DONE, PM_REMOVE)) {
        LateBufferDone();
    }
}

// Releases both headers and closes the device without a word; for a device
// that never got to play.
void CloseQuietly() {
    if (!PlaybackDevice) return;
    waveOutReset(PlaybackDevice);
    waveOutUnprepareHeader(PlaybackDevice, &PlaybackHeaders[0], sizeof(WAVEHDR));
    waveOutUnprepareHeader(PlaybackDevice, &PlaybackHeaders[1], sizeof(WAVEHDR));
    if (waveOutClose(PlaybackDevice) == MMSYSERR_NOERROR) PlaybackDevice = nullptr;
}

// A playback that could not start leaves the program as it found it: the
// device closed, Record and Play usable again.
void AbandonStart() {
    CloseQuietly();
    Playing = false;
    RunLateNotifications();
    EnableWindow(RecordButton, TRUE);
    EnableWindow(PlayButton, TRUE);
}

void PrepareHeader(int index, const SoundFragment* fragment, const wchar_t* failureText) {
    WAVEHDR& header = PlaybackHeaders[index];
    header = WAVEHDR{};
    header.dwBufferLength = Sound.FragmentSize;
    header.lpData = reinterpret_cast<LPSTR>(fragment->Data);
    header.dwFlags = 0;
    const MMRESULT result = waveOutPrepareHeader(PlaybackDevice, &header, sizeof(WAVEHDR));
    if (result != MMSYSERR_NOERROR) {
        MessageBoxW(MainWindow, (failureText + Code(result)).c_str(), L"Ошибка", MB_OK);
    }
}

void ResetPauseButton() {
    SetWindowTextW(PauseButton, L"Пауза");
    EnableWindow(PauseButton, FALSE);
    PlaybackPaused = 0;
}

}  // namespace

void PlayCommand() {
    if (!Sound.Head || !Sound.Head->Next) {
        MessageBoxW(MainWindow, L" Сначала запишите звук! ", L"Внимание!", MB_OK);
        return;
    }
    // A device left open by a failed close is not abandoned to a new handle.
    CloseQuietly();
    RunLateNotifications();

    EnableWindow(RecordButton, FALSE);
    EnableWindow(StopRecordButton, FALSE);
    EnableWindow(PlayButton, FALSE);
    Sound.PlayedBytes = 0.0;
    Sound.PlayedMs = 0.0;
    NextPlaybackBuffer = 0;
    Sound.Current = Sound.Head;

    HWAVEOUT device = nullptr;
    MMRESULT result = waveOutOpen(&device, WAVE_MAPPER, reinterpret_cast<const WAVEFORMATEX*>(&Sound.PlaybackFormat),
                                  reinterpret_cast<DWORD_PTR>(MainWindow), 0, CALLBACK_WINDOW);
    if (result != MMSYSERR_NOERROR) {
        const std::wstring text = L"Не откр. устр. воспр., ошибка - " + Code(result);
        LogLine(text);
        MessageBoxW(MainWindow, text.c_str(), L"Ошибка", MB_ICONERROR);
        AbandonStart();
        return;
    }
    PlaybackDevice = device;
    Playing = true;

    PrepareHeader(0, Sound.Current, L"Не удалось добавить блок_данных1 в уст. воспр.\n Код ошибки - ");
    Sound.Current = Sound.Current->Next;
    PrepareHeader(1, Sound.Current, L"Не удалось добавить блок_данных2 в уст. воспр.\n Код ошибки - ");

    result = waveOutWrite(PlaybackDevice, &PlaybackHeaders[0], sizeof(WAVEHDR));
    if (result != MMSYSERR_NOERROR) {
        const std::wstring text = L"Не удалось начать воспр., ошибка - " + Code(result);
        LogLine(text);
        MessageBoxW(MainWindow, text.c_str(), L"Ошибка", MB_ICONERROR);
        AbandonStart();
        return;
    }
    // When the second buffer is refused the playback goes on with one, which
    // the notifications refill as usual; it can be paused and stopped all the
    // same.
    if (!FaultInjected(InjectedFault::SecondPlaybackWrite)) {
        waveOutWrite(PlaybackDevice, &PlaybackHeaders[1], sizeof(WAVEHDR));
    }

    EnableWindow(PauseButton, TRUE);
    EnableWindow(StopPlayButton, TRUE);
    SetupPlotCoordinates(nullptr);
    RequestRepaint();
}

bool PlaybackInProgress() { return Playing; }

void OnPlaybackBufferDone() {
    if (!Playing) {
        LateBufferDone();
        return;
    }
    SoundFragment* current = Sound.Current;
    if (current && current->Next) {
        current = current->Next;
        Sound.Current = current;
        WAVEHDR& header = PlaybackHeaders[NextPlaybackBuffer];
        header.lpData = reinterpret_cast<LPSTR>(current->Data);
        if (waveOutWrite(PlaybackDevice, &header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
            LogLine(L"Не удалось добавить фрагмент воспр.");
        } else {
            Sound.PlayedBytes += Sound.FragmentSize;
            Sound.PlayedMs = BytesToMs(Sound.PlayedBytes);
            RequestRepaint();
        }
        NextPlaybackBuffer = 1 - NextPlaybackBuffer;
        return;
    }

    // The last fragment is with the device (or, after a seek that found
    // nothing, there is none): the sound has been played.
    waveOutReset(PlaybackDevice);
    if (Sound.PlayedBytes == 0) return;
    Playing = false;
    Sound.PlayedBytes = 0.0;
    Sound.PlayedMs = 0.0;
    LogLine(L"Завершаем воспроизведение...");
    EnableWindow(RecordButton, TRUE);
    EnableWindow(PlayButton, TRUE);
    EnableWindow(StopPlayButton, FALSE);
    ResetPauseButton();
    if (waveOutUnprepareHeader(PlaybackDevice, &PlaybackHeaders[0], sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        LogLine(L" Не удалось освободить буфер1 воспр.");
    }
    if (waveOutUnprepareHeader(PlaybackDevice, &PlaybackHeaders[1], sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        LogLine(L" Не удалось освободить буфер2 воспр.");
    }
    if (waveOutClose(PlaybackDevice) == MMSYSERR_NOERROR) {
        PlaybackDevice = nullptr;
        LogLine(L"Воспроизведение успешно остановлено!");
    } else {
        LogLine(L"Не удалось закрыть устройство воспр.!");
    }
    SetupPlotCoordinates(Sound.Head);
    RequestRepaint();
}

void PauseCommand() {
    if (PlaybackPaused == 0) {
        PlaybackPaused = 1;
        SetWindowTextW(PauseButton, L"Продолжить");
        waveOutPause(PlaybackDevice);
    } else {
        PlaybackPaused = 0;
        SetWindowTextW(PauseButton, L"Пауза");
        waveOutRestart(PlaybackDevice);
    }
}

void StopPlayCommand() {
    waveOutReset(PlaybackDevice);
    Playing = false;
    Sound.PlayedBytes = 0.0;
    Sound.PlayedMs = 0.0;
    EnableWindow(StopPlayButton, FALSE);
    ResetPauseButton();
    if (waveOutUnprepareHeader(PlaybackDevice, &PlaybackHeaders[0], sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        LogLine(L"Не удалось освободить буфер1 воспр.");
    }
    if (waveOutUnprepareHeader(PlaybackDevice, &PlaybackHeaders[1], sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        LogLine(L"Не удалось освободить буфер2 воспр.");
    }
    if (waveOutClose(PlaybackDevice) == MMSYSERR_NOERROR) {
        PlaybackDevice = nullptr;
        LogLine(L"Воспроизведение успешно остановлено!");
        EnableWindow(RecordButton, TRUE);
        EnableWindow(PlayButton, TRUE);
        SetupPlotCoordinates(Sound.Head);
    } else {
        LogLine(L"Не удалось закрыть устройство воспр. !");
    }
    RequestRepaint();
}
