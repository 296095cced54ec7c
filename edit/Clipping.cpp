#include "edit/Clipping.h"

#include <cmath>
#include <cstring>
#include <string>

#include "edit/PercentText.h"
#include "sound/Narration.h"
#include "sound/SampleCodec.h"

namespace {

// The limits are whole sample values, rounded with halves away from zero, so
// at one half of full scale both sides get the same magnitude (the upper
// 63.5, 16383.5 and 4194303.5 round up).
struct Limits {
    int32_t lower;
    int32_t upper;
};
Limits LimitsFor(int32_t fullScaleLow, int32_t fullScaleHigh, double fraction) {
    return {int32_t(std::round(fullScaleLow * fraction)), int32_t(std::round(fullScaleHigh * fraction))};
}

// 8-bit samples are stored offset by 128, which keeps their order, so the
// stored bytes are limited directly.
void Clip8(SoundFragment* head, uint32_t fragmentSize, Limits l) {
    const uint8_t lower = uint8_t(l.lower + 128), upper = uint8_t(l.upper + 128);
    for (SoundFragment* f = head; f; f = f->Next) {
        uint8_t* p = f->Data;
        for (uint32_t i = 0; i < fragmentSize; ++i) {
            uint8_t b = p[i];
            b = b < lower ? lower : b;
            p[i] = b > upper ? upper : b;
        }
    }
}

void Clip16(SoundFragment* head, uint32_t fragmentSize, Limits l) {
    const int16_t lower = int16_t(l.lower), upper = int16_t(l.upper);
    const uint32_t count = fragmentSize / 2;  // a trailing odd byte is no sample
    for (SoundFragment* f = head; f; f = f->Next) {
        uint8_t* p = f->Data;
        for (uint32_t i = 0; i < count; ++i) {
            int16_t s;
            std::memcpy(&s, p + 2 * i, 2);
            s = s < lower ? lower : s;
            s = s > upper ? upper : s;
            std::memcpy(p + 2 * i, &s, 2);
        }
    }
}

void Clip24(SoundFragment* head, uint32_t fragmentSize, Limits l) {
    const uint32_t count = fragmentSize / 3;  // never touch a part-sample at the end
    for (SoundFragment* f = head; f; f = f->Next) {
        uint8_t* p = f->Data;
        for (uint32_t i = 0; i < count; ++i, p += 3) {
            const int32_t v = DecodeSample24(p);
            if (v < l.lower) EncodeSample24(p, l.lower);
            else if (v > l.upper) EncodeSample24(p, l.upper);
        }
    }
}

}  // namespace

void ClipSound(SoundFragment* head, uint32_t fragmentSize, double fraction) {
    if (!head) return;
    if (!(fraction >= 0.01 && fraction < 1.0)) {
        LogLine(L"Недопустимый процент клиппирования!");
        return;
    }
    LogLine(L"Граница клиппирования - " + std::to_wstring(PercentForLog(fraction)) + L"% от максимума..");

    switch (Sound.BitsPerSample) {
    case 8: Clip8(head, fragmentSize, LimitsFor(-128, 127, fraction)); break;
    case 16: Clip16(head, fragmentSize, LimitsFor(-32768, 32767, fraction)); break;
    case 24: Clip24(head, fragmentSize, LimitsFor(-8388608, 8388607, fraction)); break;
    default:
        LogLine(L"Клиппирование не выполнено!");
        Alert(L" Недопустимая глубина звучания!", L"Внимание!", AlertOk);
        return;
    }
    LogLine(L"Клиппирование успешно выполнено!");
}
