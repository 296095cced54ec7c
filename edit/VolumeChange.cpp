#include "edit/VolumeChange.h"

#include <cmath>
#include <string>

#include "edit/PercentText.h"
#include "edit/VolumeKernels.h"
#include "sound/Narration.h"
#include "sound/SampleCodec.h"

namespace {

// 8-bit: only 256 possible bytes, so the result of each is computed once.
void Scale8(SoundFragment* head, uint32_t fragmentSize, double factor) {
    uint8_t table[256];
    for (int b = 0; b < 256; ++b) table[b] = uint8_t(ScaleRoundSaturate(b - 128, factor, -128, 127) + 128);
    for (SoundFragment* f = head; f; f = f->Next) {
        uint8_t* p = f->Data;
        for (uint32_t i = 0; i < fragmentSize; ++i) p[i] = table[p[i]];
    }
}

// 16-bit is the common case and the long one (an hour of stereo at 44100 Hz is
// 635 MB): the vector loops of VolumeKernels where the processor has them.
void Scale16(SoundFragment* head, uint32_t fragmentSize, double factor) {
    const uint32_t count = fragmentSize / 2;  // a trailing odd byte is no sample
    const Scale16Kernel scale = ChooseScale16Kernel(factor);
    for (SoundFragment* f = head; f; f = f->Next) scale(f->Data, count, factor);
}

void Scale24(SoundFragment* head, uint32_t fragmentSize, double factor) {
    const uint32_t count = fragmentSize / 3;  // never touch a part-sample at the end
    for (SoundFragment* f = head; f; f = f->Next) {
        uint8_t* p = f->Data;
        for (uint32_t i = 0; i < count; ++i, p += 3)
            EncodeSample24(p, ScaleRoundSaturate(DecodeSample24(p), factor, -8388608, 8388607));
    }
}

}  // namespace

bool ChangeVolume(SoundFragment* head, uint32_t fragmentSize, double factor) {
    // A factor that is not a finite number cannot describe a level; treat it
    // like "no change" instead of turning the sound into garbage.
    if (!head || factor == 1.0 || !std::isfinite(factor)) return false;

    LogLine(L"Новый уровень громкости - " + std::to_wstring(PercentForLog(factor)) + L"% ..");

    switch (Sound.BitsPerSample) {
    case 8: Scale8(head, fragmentSize, factor); break;
    case 16: Scale16(head, fragmentSize, factor); break;
    case 24: Scale24(head, fragmentSize, factor); break;
    default:
        LogLine(L"Громкость не изменена!");
        Alert(L" Недопустимая глубина звучания!", L"Внимание!", AlertOk);
        return false;
    }
    LogLine(L"Громкость успешно изменена!");
    return true;
}
