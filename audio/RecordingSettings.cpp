#include "audio/RecordingSettings.h"

#include <mmsystem.h>

#include <string>

#include "app/AppState.h"
#include "sound/Narration.h"
#include "sound/SoundChain.h"

static_assert(DefaultCaptureDevice == WAVE_MAPPER, "the default device ID must be the wave API's");
static_assert(sizeof(WaveFormatRecord) == sizeof(WAVEFORMATEX), "format records are handed to the wave API as is");

UINT CaptureDeviceId = WAVE_MAPPER;

// More devices than this and the list would not fit the drop-down usefully;
// only the default entry is offered then.
constexpr UINT DeviceListLimit = 50;

void EnumerateCaptureDevices() {
    SendMessageW(DeviceCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Устройство записи по умолчанию"));
    SendMessageW(DeviceCombo, CB_SETCURSEL, 0, 0);
    CaptureDeviceId = WAVE_MAPPER;

    const UINT count = waveInGetNumDevs();
    LogLine(L"Количество устройств записи - " + std::to_wstring(count));
    if (count == 0 || count >= DeviceListLimit) return;
    for (UINT i = 0; i < count; ++i) {
        WAVEINCAPSW caps{};
        waveInGetDevCapsW(i, &caps, sizeof caps);
        caps.szPname[MAXPNAMELEN - 1] = L'\0';
        SendMessageW(DeviceCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(caps.szPname));
    }
}

// The text of the selected device entry, or an empty text when there is no
// selection or the entry would not fit the 150-unit buffer.
static std::wstring SelectedDeviceName(LRESULT index) {
    wchar_t name[150] = L"";
    if (index >= 0) {
        const LRESULT length = SendMessageW(DeviceCombo, CB_GETLBTEXTLEN, index, 0);
        if (length >= 0 && length < LRESULT(sizeof name / sizeof name[0])) {
            SendMessageW(DeviceCombo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(name));
        }
    }
    return name;
}

void ApplyRecordingSettings() {
    const LRESULT bitsIndex = SendMessageW(BitsCombo, CB_GETCURSEL, 0, 0);
    const LRESULT rateIndex = SendMessageW(RateCombo, CB_GETCURSEL, 0, 0);
    const LRESULT channelsIndex = SendMessageW(ChannelsCombo, CB_GETCURSEL, 0, 0);
    const RecordingFormat format = RecordingFormatFor(bitsIndex, rateIndex, channelsIndex);
    Sound.BitsPerSample = format.BitsPerSample;
    Sound.SamplesPerSec = format.SamplesPerSec;
    Sound.Channels = format.Channels;

    const LRESULT deviceIndex = SendMessageW(DeviceCombo, CB_GETCURSEL, 0, 0);
    CaptureDeviceId = DeviceIdForIndex(deviceIndex);
    LogLine(L"Используем устр. записи:");
    LogLine(SelectedDeviceName(deviceIndex));

    Sound.CaptureFormat = format.Format;
    Sound.PlaybackFormat = format.Format;
    Sound.FragmentSize = format.FragmentSize;
    LogLine(L"Форматы записи и воспроизв. изменены!");
}
