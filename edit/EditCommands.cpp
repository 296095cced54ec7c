#include "edit/EditCommands.h"

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "app/AppState.h"
#include "app/ControlIds.h"
#include "audio/Player.h"
#include "audio/RecoveryWriter.h"
#include "edit/Clipping.h"
#include "edit/Cutting.h"
#include "edit/VolumeDialog.h"
#include "sound/Narration.h"
#include "sound/SoundChain.h"
#include "view/SoundChanged.h"

namespace {

const wchar_t* const Separator = L"----------------------------";

// The three refusals every edit shares, in this order: no sound, a recording
// running, a playback running. Each leaves everything as it was.
bool EditAllowed() {
    if (!Sound.Head) {
        MessageBoxW(MainWindow, L" Сначала запишите или загрузите аудио! ", L"Внимание!", MB_ICONINFORMATION);
        return false;
    }
    if (RecordingInProgress()) {
        MessageBoxW(MainWindow, L" Сначала остановите запись! ", L"Внимание!", MB_OK);
        return false;
    }
    if (PlaybackInProgress()) {
        MessageBoxW(MainWindow, L" Сначала остановите воспроизведение! ", L"Внимание!", MB_OK);
        return false;
    }
    // The copy keeps the recording as it was captured: it is complete before
    // an edit changes the samples or frees fragments.
    WaitForRecoveryCopy();
    return true;
}

uint32_t TrackbarPosition(HWND trackbar) { return uint32_t(SendMessageW(trackbar, TBM_GETPOS, 0, 0)); }

// Every cut attempt that got as far as reading the trackbars ends with them
// back at the whole sound and without the marked parts.
void ResetCutTrackbars(double max) {
    SendMessageW(StartTrackbar, TBM_SETSEL, TRUE, MAKELPARAM(0, 0));
    SendMessageW(EndTrackbar, TBM_SETSEL, TRUE, MAKELPARAM(0, 0));
    SendMessageW(StartTrackbar, TBM_SETPOS, TRUE, 0);
    SendMessageW(EndTrackbar, TBM_SETPOS, TRUE, LPARAM(uint32_t(max)));
}

}  // namespace

void VolumeCommand() {
    if (!EditAllowed()) return;
    DialogBoxParamW(AppInstance, MAKEINTRESOURCEW(IDD_VOLUME), MainWindow, VolumeDialogProc, 0);
}

void ClippingCommand() {
    if (!EditAllowed()) return;
    if (MessageBoxW(MainWindow, L"Вы уверены что хотите выполнить клиппирование?", L" ",
                    MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    EnableWindow(RecordButton, FALSE);
    EnableWindow(PlayButton, FALSE);
    ClipSound(Sound.Head, Sound.FragmentSize, 0.5);
    ShowChangedSound(SoundChange::Rewritten);
    EnableWindow(RecordButton, TRUE);
    EnableWindow(PlayButton, TRUE);
}

void CutCommand() {
    if (!EditAllowed()) return;

    // While the user decides, the parts that would go are shown selected.
    const uint32_t top = TrackbarPosition(StartTrackbar);
    SendMessageW(StartTrackbar, TBM_SETSEL, TRUE, MAKELPARAM(0, top));
    const uint32_t bottom = TrackbarPosition(EndTrackbar);
    const double max = double(uint32_t(SendMessageW(EndTrackbar, TBM_GETRANGEMAX, 0, 0)));
    SendMessageW(EndTrackbar, TBM_SETSEL, TRUE, MAKELPARAM(bottom, uint32_t(max)));

    if (bottom < top + 1) {
        MessageBoxW(MainWindow, L"Позиция в нижнем трекбаре должна быть больше чем в верхнем.", L"Внимание",
                    MB_ICONINFORMATION | MB_OK);
        ResetCutTrackbars(max);
        return;
    }
    if (Sound.TotalBytes <= 0) {
        ResetCutTrackbars(max);
        return;
    }
    const CutPlan plan = MapCutRange(Sound.TotalBytes, Sound.FragmentSize, top, bottom, max);
    if (plan.end < plan.start + 1) {
        MessageBoxW(MainWindow, L"Слишком малый размер выделяемой области!", L"Внимание", MB_OK);
        ResetCutTrackbars(max);
        return;
    }

    LogLine(Separator);
    LogLine(L" Всего фрагментов - " + std::to_wstring(plan.n));
    LogLine(L" Начальный фрагмент - " + std::to_wstring(plan.start));
    LogLine(L" Количество скоп. фрагментов - " + std::to_wstring(plan.end - plan.start));
    if (MessageBoxW(MainWindow, L" Выполнить преобразование? ", L"Внимание", MB_YESNO | MB_ICONWARNING) == IDYES) {
        // CutSound refuses (and changes nothing) only if the chain is shorter
        // than the totals claim; then there is no success to report.
        if (CutSound(Sound.Head, plan.start, plan.end - plan.start)) {
            LogLine(L" Звуковые данные успешно обрезаны!");
            ShowChangedSound(SoundChange::Shortened);
        }
    } else {
        // The last letter before "!" is a Latin e, as the program has always
        // written it.
        LogLine(L" Пользователь отменил преобразованиe!");
    }
    LogLine(Separator);
    ResetCutTrackbars(max);
}
