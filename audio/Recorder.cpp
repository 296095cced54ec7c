#include "audio/Recorder.h"

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>

#include "app/AppState.h"
#include "app/InterfaceFlags.h"
#include "audio/RecordingFlags.h"
#include "app/UiThread.h"
#include "audio/CaptureAppend.h"
#include "audio/CaptureTiming.h"
#include "audio/FormatTables.h"
#include "audio/InjectedFault.h"
#include "audio/RecordingSettings.h"
#include "audio/RecoveryWriter.h"
#include "sound/Narration.h"
#include "sound/SoundChain.h"
#include "view/PlotSurface.h"
#include "view/SoundChanged.h"
#include "view/SoundGraph.h"

namespace {

WAVEHDR CaptureHeaders[2] = {};
// The buffer the driver returns next. Set by Record before the device opens,
// then only by the capture callback.
int NextCaptureBuffer = 0;
std::thread RecordingThreadObject;
// Written by the recording thread; read by the window thread after the join.
std::wstring RecordErrorReport;

// Set by the recording thread when it begins to stop the device, also when
// it stops after a failure without a Stop request: from then on no buffer
// goes back to the driver, so the unprepare and close calls find none queued.
std::atomic<bool> CaptureClosing{false};
// Held by the capture callback while it handles a filled buffer. The
// recording thread takes it once after setting CaptureClosing, which waits
// out a callback that read the flags just before they changed.
std::mutex CallbackGate;

std::wstring Code(MMRESULT result) { return std::to_wstring(int(result)); }

const WAVEFORMATEX* CaptureWaveFormat() {
    return reinterpret_cast<const WAVEFORMATEX*>(&Sound.CaptureFormat);
}

void CALLBACK CaptureCallback(HWAVEIN device, UINT message, DWORD_PTR, DWORD_PTR param1, DWORD_PTR) {
    if (message == WIM_OPEN) {
        PostLogLine(L"Устройство записи успешно открыто");
        PostEnable(RecordButton, false);
        PostEnable(StopRecordButton, true);
        PostEnable(PlayButton, false);
        return;
    }
    if (message != WIM_DATA) return;

    const int64_t entry = CaptureTimingNow();
    {
        std::lock_guard<std::mutex> gate(CallbackGate);
        if (StopRequested || CaptureClosing) return;
        // Buffers come back in queue order; the header the driver names
        // settles it should one ever be skipped.
        int index = NextCaptureBuffer;
        const WAVEHDR* named = reinterpret_cast<const WAVEHDR*>(param1);
        if (named == &CaptureHeaders[0]) index = 0;
        else if (named == &CaptureHeaders[1]) index = 1;
        WAVEHDR& header = CaptureHeaders[index];
        if (header.dwBytesRecorded == 0) {
            CaptureTimingEmpty();
            return;
        }
        if (header.dwBytesRecorded < Sound.FragmentSize) CaptureTimingShort();
        const bool hadRunOut = CaptureOutOfMemory();
        SoundFragment* fragment = CopyCapturedBuffer(reinterpret_cast<const uint8_t*>(header.lpData),
                                                     CaptureCopyLength(Sound.FragmentSize, header.dwBufferLength));
        if (!fragment) {
            // Out of memory: what is stored stays, nothing more is added (a
            // later fragment would leave a hole), and the buffer is not
            // queued again, so the device falls silent until Stop, which
            // reports the recording as ended with errors.
            if (!hadRunOut) PostLogLine(L"Ошибка, не хватает памяти для записи!");
            return;
        }
        const int64_t copied = CaptureTimingNow();
        LinkCapturedFragment(fragment);
        const int64_t linked = CaptureTimingNow();
        header.dwBytesRecorded = 0;
        waveInAddBuffer(device, &header, sizeof(WAVEHDR));
        NextCaptureBuffer = 1 - index;
        CaptureTimingStored(entry, copied, linked);
    }
    RequestRepaint();
}

void ReportStopFailure(const wchar_t* text, MMRESULT result) {
    RecordErrorReport += text + Code(result);
    RecordingOk = 0;
}

// Allocates the buffer when it has none and prepares it; the prepare's
// result (MMSYSERR_NOMEM when the buffer could not be allocated).
MMRESULT PrepareCaptureBuffer(HWAVEIN device, WAVEHDR& header) {
    if (!header.lpData) {
        header.dwBufferLength = Sound.FragmentSize;
        header.lpData = new (std::nothrow) char[Sound.FragmentSize];
        if (!header.lpData) {
            header.dwBufferLength = 0;
            return MMSYSERR_NOMEM;
        }
    }
    header.dwFlags = 0;
    header.dwBytesRecorded = 0;
    return waveInPrepareHeader(device, &header, sizeof(WAVEHDR));
}

void RecordingThread() {
    RecordingOk = 1;
    RecordErrorReport = L"Во время записи возникли ошибки:";
    CaptureClosing = false;
    ResetCaptureMemory();
    InjectCaptureAllocationFault();
    CaptureTimingBegin(Sound.FragmentSize, BytesToMs(Sound.FragmentSize));

    HWAVEIN device = nullptr;
    MMRESULT result = waveInOpen(&device, CaptureDeviceId, CaptureWaveFormat(),
                                 reinterpret_cast<DWORD_PTR>(&CaptureCallback), 0, CALLBACK_FUNCTION);
    if (result != MMSYSERR_NOERROR) {
        // Shown by the window thread; this thread ends at once.
        PostAlert(L" Не удалось открыть устройство записи! \n Код ошибки - " + Code(result),
                           L"Поток записи", MB_ICONERROR);
        StopRequested = true;
        RecordingActive = false;
        PostEnable(PlayButton, false);
        RecordingOk = 0;
        EndRecoveryCopyCapture();
        return;
    }

    static const wchar_t* const prepareFailure[2] = {
        L"Функция waveInPrepareHeader[1] завершилась с ошибкой \nКод ошибки - ",
        L"Функция waveInPrepareHeader[2] завершилась с ошибкой \nКод ошибки - "};
    static const wchar_t* const addFailure[2] = {L"Функция waveInAddBuffer[1] завершилась с ошибкой",
                                                 L"Функция waveInAddBuffer[2] завершилась с ошибкой"};
    bool prepared = true;
    for (int i = 0; i < 2 && prepared; ++i) {
        result = PrepareCaptureBuffer(device, CaptureHeaders[i]);
        if (result != MMSYSERR_NOERROR) {
            PostAlert(prepareFailure[i] + Code(result), L"Внимание", MB_ICONERROR);
            RecordingOk = 0;
            prepared = false;
        }
    }
    // A test can have the device refuse the buffers and the start.
    const bool refuse = FaultInjected(InjectedFault::CaptureBuffersAndStart);
    if (prepared) {
        for (int i = 0; i < 2; ++i) {
            result = refuse ? MMSYSERR_ERROR : waveInAddBuffer(device, &CaptureHeaders[i], sizeof(WAVEHDR));
            if (result != MMSYSERR_NOERROR) {
                PostAlert(addFailure[i], L"Внимание", MB_ICONERROR);
                RecordingOk = 0;
            }
        }
        result = refuse ? MMSYSERR_ERROR : waveInStart(device);
        if (result != MMSYSERR_NOERROR) {
            PostAlert(
                L"Не удалось начать запись!\nФункция waveInStart() завершилась с ошибкой \nКод ошибки - " +
                    Code(result),
                L"Внимание", MB_ICONERROR);
            RecordingOk = 0;
        } else {
            PostLogLine(L"Запись успешно стартовала...");
        }
        if (RecordingOk == 1) {
            while (!StopRequested) Sleep(10);
        }
    }

    CaptureClosing = true;
    { std::lock_guard<std::mutex> wait(CallbackGate); }
    // No fragment is stored from here on: the copy can be completed while
    // the device is stopped and closed.
    EndRecoveryCopyCapture();
    if (CaptureOutOfMemory()) {
        RecordErrorReport += L"\nНе хватает памяти для записи, записанное до этого сохранено";
        RecordingOk = 0;
    }

    result = waveInStop(device);
    if (result != MMSYSERR_NOERROR) ReportStopFailure(L"\nВ вызове waveInStop() ошибка - ", result);
    waveInReset(device);
    result = waveInUnprepareHeader(device, &CaptureHeaders[0], sizeof(WAVEHDR));
    if (result != MMSYSERR_NOERROR) ReportStopFailure(L"\nВ вызове waveInUnprepareHeader(1) ошибка - ", result);
    result = waveInUnprepareHeader(device, &CaptureHeaders[1], sizeof(WAVEHDR));
    if (result != MMSYSERR_NOERROR) ReportStopFailure(L"\nВ вызове waveInUnprepareHeader(2) ошибка - ", result);
    result = waveInClose(device);
    if (result != MMSYSERR_NOERROR) ReportStopFailure(L"\nВ вызове waveInClose() ошибка - ", result);
    CaptureTimingEnd();
}

void JoinRecordingThread() {
    if (RecordingThreadObject.joinable()) RecordingThreadObject.join();
}

void ShowTrialOpenFailure(MMRESULT result) {
    const wchar_t* text;
    if (result == MMSYSERR_BADDEVICEID) {
        text = L"Устройства с данным ID не существует.\nПопробуйте выбрать другое устройство.";
    } else if (result == WAVERR_BADFORMAT) {
        text = L"Устройство не поддерживает выбранные настройки записи.\nПопробуйте изменить настройки.";
    } else {
        text = L"Невозможно открыть устройство записи.";
    }
    MessageBoxW(MainWindow, text, L"Ошибка", MB_ICONERROR);
    RequestRepaint();
}

// Both capture buffers go with the settings they were made for; the next
// recording allocates them again at the fragment size then in force. Only
// while no recording thread runs.
void FreeCaptureBuffers() {
    for (WAVEHDR& header : CaptureHeaders) {
        delete[] header.lpData;
        header.lpData = nullptr;
        header.dwBufferLength = 0;
    }
}

}  // namespace

void RecordCommand() {
    if (RecordingActive) {
        MessageBoxW(MainWindow, L"Запись уже запущена!", L"Ошибка", MB_OK);
        return;
    }
    // A thread that ended by itself after failing to open the device may
    // still be storing its last flags; it must be gone before anything of
    // the next recording is set up.
    JoinRecordingThread();

    FreeCaptureBuffers();
    ApplyRecordingSettings();

    // The new recording replaces the sound on purpose, and its copy with it
    // (the writer of that copy may still be reading the chain).
    DiscardRecoveryCopy();
    GraphReady = 0;
    FreeChain(Sound.Head);
    Sound.Head = nullptr;
    // The tail of the freed chain must not be drawn or linked to.
    Sound.Current = nullptr;
    {
        std::lock_guard<std::mutex> lock(TotalsMutex);
        Sound.TotalBytes = 0.0;
        Sound.TotalMs = 0.0;
    }
    FastGraphReady = false;
    NextCaptureBuffer = 0;

    HWAVEIN trial = nullptr;
    const MMRESULT result = waveInOpen(&trial, CaptureDeviceId, CaptureWaveFormat(), 0, 0, CALLBACK_NULL);
    if (result != MMSYSERR_NOERROR) {
        ShowTrialOpenFailure(result);
        return;
    }
    waveInClose(trial);

    StopRequested = false;
    RecordingActive = true;
    BeginRecoveryCopy();
    try {
        RecordingThreadObject = std::thread(RecordingThread);
    } catch (const std::system_error&) {
        EndRecoveryCopyCapture();
        StopRequested = true;
        RecordingActive = false;
        ShowTrialOpenFailure(MMSYSERR_ERROR);
        return;
    }
    SetupPlotCoordinates(nullptr);
}

void StopRecordCommand() {
    LiveView = 0;
    EnableWindow(StopRecordButton, FALSE);
    if (!RecordingActive) {
        MessageBoxW(MainWindow, L"Запись ещё не запущена", L"Внимание", MB_OK);
        return;
    }
    StopRequested = true;
    JoinRecordingThread();
    RecordingActive = false;

    // Lines, button changes and boxes the recording thread and the callback
    // posted may still be queued; they happened before the stop, so they are
    // carried out now, in their order, ahead of the stop's own report.
    CarryOutQueuedUiRequests();
    // A first fragment stored while the stop was under way may have switched
    // the live view on again, and the device's opening may have enabled the
    // stop button after the line above.
    LiveView = 0;
    EnableWindow(StopRecordButton, FALSE);

    if (RecordingOk == 1) {
        LogLine(L"Запись успешно завершена!");
        EnableWindow(RecordButton, TRUE);
        EnableWindow(PlayButton, TRUE);
        if (Sound.Head) {
            ShowChangedSound(SoundChange::Replaced);
        } else {
            RequestRepaint();
        }
    } else {
        LogLine(L"Запись завершена c ошибками!");
        EnableWindow(RecordButton, TRUE);
        EnableWindow(PlayButton, FALSE);
        MessageBoxW(MainWindow, RecordErrorReport.c_str(), L"Внимание", MB_ICONWARNING);
        GraphReady = 0;
        RequestRepaint();
    }
}

void ShutdownRecording() {
    if (RecordingActive) StopRequested = true;
    // Also a thread that ended by itself: the process ends in order only
    // once no thread of it is left unjoined.
    JoinRecordingThread();
    RecordingActive = false;
}
