#include "edit/Cutting.h"

#include <cmath>

#include "sound/Narration.h"

namespace {

// Truncation toward zero into an unsigned count; values outside its range
// (which only nonsensical inputs give) saturate instead of being undefined.
uint32_t TruncateToCount(double x) {
    if (!(x > 0)) return 0;
    if (x >= 4294967295.0) return 4294967295u;
    return uint32_t(x);
}

// Frees one fragment. The playback position may still name it (a cut happens
// while nothing plays); it must not be left pointing at freed memory.
void FreeFragment(SoundFragment* f) {
    if (Sound.Current == f) Sound.Current = nullptr;
    delete[] f->Data;
    delete f;
}

}  // namespace

CutPlan MapCutRange(double totalBytes, uint32_t fragmentSize, uint32_t top, uint32_t bottom, double max) {
    // Without a length, a fragment size or a trackbar range nothing maps; the
    // empty plan is refused by the caller as too small.
    if (fragmentSize == 0 || !(totalBytes > 0) || !(max > 0)) return {0, 0, 0};
    CutPlan plan;
    plan.n = TruncateToCount(totalBytes / fragmentSize);
    const double perStep = plan.n / max;  // fragments per trackbar step
    plan.start = TruncateToCount(top * perStep);
    // The end is rounded, but a fractional part of exactly one half rounds
    // down: the 3-fragment sound cut at the middle keeps one fragment.
    const double x = bottom * perStep;
    double whole;
    plan.end = std::modf(x, &whole) > 0.5 ? TruncateToCount(x + 1.0) : TruncateToCount(x);
    return plan;
}

int CutSound(SoundFragment* head, uint32_t skip, uint32_t keep) {
    if (!head) {
        Alert(L" Массив звуковых данных пуст!     ", L"Ошибка функции CutSound", AlertIconWarning);
        return 0;
    }
    // Make sure the chain really holds skip + keep fragments before anything is
    // freed: a wrong count must leave the sound whole rather than walk off the
    // end of the chain. Keeping nothing would leave no sound at all.
    if (keep == 0) return 0;
    const uint64_t needed = uint64_t(skip) + keep;
    SoundFragment* lastKept = head;
    for (uint64_t counted = 1; counted < needed; ++counted) {
        lastKept = lastKept->Next;
        if (!lastKept) return 0;
    }

    SoundFragment* f = head;
    for (uint32_t i = 0; i < skip; ++i) {
        SoundFragment* next = f->Next;
        FreeFragment(f);
        f = next;
    }
    Sound.Head = f;

    // In double: a 64-bit build may keep 4 GiB or more, which a 32-bit product
    // would wrap.
    Sound.TotalBytes = double(Sound.FragmentSize) * keep;
    Sound.TotalMs = BytesToMs(Sound.TotalBytes);

    SoundFragment* rest = lastKept->Next;
    lastKept->Next = nullptr;
    while (rest) {
        SoundFragment* next = rest->Next;
        FreeFragment(rest);
        rest = next;
    }
    return 1;
}
