// The inner loops of the 16-bit volume change, one per instruction set, all
// giving exactly std::round(sample x factor) saturated to 16 bits. Internal
// to edit/; declared here so the tests can check every variant the machine
// can run against the plain definition.
#pragma once
#include <cstdint>

// The scaled value of one sample, rounded to the nearest integer with halves
// away from zero and saturated to [lo, hi]: exactly what std::round of
// value x factor followed by the saturation gives, without a library call.
//  - The product is first limited to a little beyond [lo, hi]; the limited
//    value saturates to the same result and now fits an int32.
//  - t = the product truncated toward zero is exact, and so is p - t (p and
//    t lie within one of each other), so |p - t| >= 0.5 decides the rounding
//    exactly as std::round does.
inline int32_t ScaleRoundSaturate(int32_t value, double factor, int32_t lo, int32_t hi) {
#if defined(__FLT_EVAL_METHOD__) && __FLT_EVAL_METHOD__ != 0
    // x87 arithmetic keeps more bits than a double; storing the product
    // rounds it to the double every other build rounds.
    volatile double stored = double(value) * factor;
    double p = stored;
#else
    double p = double(value) * factor;
#endif
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

// Scales `count` little-endian 16-bit samples starting at p in place.
// The generic variant takes any finite factor.
void Scale16Generic(uint8_t* p, uint32_t count, double factor);

// Vector variants; the factor must satisfy |factor| < 65536 (so every
// product fits a 32-bit integer). Each is usable only when its Available()
// says so (instruction set compiled in and supported by the processor).
bool Scale16Sse2Available();
void Scale16Sse2(uint8_t* p, uint32_t count, double factor);
bool Scale16Avx2Available();
void Scale16Avx2(uint8_t* p, uint32_t count, double factor);
bool Scale16Avx512Available();
void Scale16Avx512(uint8_t* p, uint32_t count, double factor);

// The fastest variant usable for this factor.
using Scale16Kernel = void (*)(uint8_t*, uint32_t, double);
Scale16Kernel ChooseScale16Kernel(double factor);
