#include "edit/VolumeChange.h"

#include <cmath>
#include <cstring>
#include <string>

#include "edit/PercentText.h"
#include "sound/Narration.h"
#include "sound/SampleCodec.h"

namespace {

// The scaled value of one sample, rounded to the nearest integer with halves
// away from zero and saturated to [lo, hi]. Gives exactly what std::round of
// value x factor followed by the saturation gives, but without a library call,
// so the loops below stay tight:
//  - the product is first limited to a little beyond [lo, hi] (the limited
//    value saturates to the same result and now fits an int32);
//  - t = the product truncated toward zero is exact, and so is p - t (p and t
//    lie within one of each other), so |p - t| >= 0.5 decides the rounding
//    exactly as std::round does.
inline int32_t ScaleRoundSaturate(int32_t value, double factor, int32_t lo, int32_t hi) {
    double p = double(value) * factor;
    const double below = double(lo) - 2.0;
    const double above = double(hi) + 2.0;
    p = p < below ? below : p;
    p = p > above ? above : p;
    int32_t t = int32_t(p);
    const double frac = p - double(t);
    t += int32_t(frac >= 0.5) - int32_t(frac <= -0.5);
    t = t < lo ? lo : t;
    t = t > hi ? hi : t;
    return t;
}

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
// 635 MB): a branch-free loop over whole samples that the compiler vectorises.
void Scale16(SoundFragment* head, uint32_t fragmentSize, double factor) {
    const uint32_t count = fragmentSize / 2;  // a trailing odd byte is no sample
    for (SoundFragment* f = head; f; f = f->Next) {
        uint8_t* p = f->Data;
        for (uint32_t i = 0; i < count; ++i) {
            int16_t s;
            std::memcpy(&s, p + 2 * i, 2);
            const int16_t r = int16_t(ScaleRoundSaturate(s, factor, -32768, 32767));
            std::memcpy(p + 2 * i, &r, 2);
        }
    }
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
