#include "edit/VolumeKernels.h"

#include <cstring>

// Vector variants only where the compiler can build them for x86. AVX stays
// off on Windows: GCC there does not align the stack to 32 bytes, and a
// spilled AVX register would crash the program.
#if defined(__GNUC__) && (defined(__x86_64__) || (defined(__i386__) && defined(__SSE2__)))
#define DUDORORI_SSE2 1
// GCC's own AVX-512 headers trip this warning when inlined; the code is fine.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#if !defined(_WIN32)
#define DUDORORI_AVX 1
#endif
#endif

void Scale16Generic(uint8_t* p, uint32_t count, double factor) {
    for (uint32_t i = 0; i < count; ++i) {
        int16_t s;
        std::memcpy(&s, p + 2 * i, 2);
        const int16_t r = int16_t(ScaleRoundSaturate(s, factor, -32768, 32767));
        std::memcpy(p + 2 * i, &r, 2);
    }
}

// The vector variants round with the sum x + copysign(0.49999999999999994, x)
// truncated toward zero. In double precision with round-to-nearest this is
// exactly rounding half away from zero (the largest double below one half
// keeps 0.49999999999999994 from rounding up, while a true half still
// reaches the next integer), and the truncating conversion is a single
// instruction. Saturation to 16 bits comes free with the narrowing pack.
namespace {
constexpr double HalfBelow = 0.49999999999999994;
}

#if DUDORORI_SSE2
namespace {
inline __m128i RoundTwo(__m128d x, __m128d factor, __m128d sign, __m128d half) {
    x = _mm_mul_pd(x, factor);
    x = _mm_add_pd(x, _mm_or_pd(_mm_and_pd(x, sign), half));
    return _mm_cvttpd_epi32(x);  // two results in the low half
}
inline __m128i RoundFour(__m128i v, __m128d factor, __m128d sign, __m128d half) {
    const __m128i low = RoundTwo(_mm_cvtepi32_pd(v), factor, sign, half);
    const __m128i high = RoundTwo(_mm_cvtepi32_pd(_mm_shuffle_epi32(v, 0x4E)), factor, sign, half);
    return _mm_unpacklo_epi64(low, high);
}
}  // namespace

bool Scale16Sse2Available() { return true; }

void Scale16Sse2(uint8_t* p, uint32_t count, double factor) {
    const __m128d f = _mm_set1_pd(factor), sign = _mm_set1_pd(-0.0), half = _mm_set1_pd(HalfBelow);
    uint32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * i));
        const __m128i low = _mm_srai_epi32(_mm_unpacklo_epi16(x, x), 16);
        const __m128i high = _mm_srai_epi32(_mm_unpackhi_epi16(x, x), 16);
        const __m128i r = _mm_packs_epi32(RoundFour(low, f, sign, half), RoundFour(high, f, sign, half));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 2 * i), r);
    }
    Scale16Generic(p + 2 * i, count - i, factor);
}
#else
bool Scale16Sse2Available() { return false; }
void Scale16Sse2(uint8_t* p, uint32_t count, double factor) { Scale16Generic(p, count, factor); }
#endif

#if DUDORORI_AVX
#define AVX2_CODE __attribute__((target("avx2")))
#define AVX512_CODE __attribute__((target("avx512f,avx512bw")))
namespace {
AVX2_CODE inline __m128i RoundFourAvx2(__m128i v, __m256d factor, __m256d sign, __m256d half) {
    __m256d x = _mm256_mul_pd(_mm256_cvtepi32_pd(v), factor);
    x = _mm256_add_pd(x, _mm256_or_pd(_mm256_and_pd(x, sign), half));
    return _mm256_cvttpd_epi32(x);
}
AVX512_CODE inline __m256i RoundEightAvx512(__m256i v, __m512d factor, __m512i sign, __m512i half) {
    __m512d x = _mm512_mul_pd(_mm512_cvtepi32_pd(v), factor);
    // (x & sign) | half in one instruction
    const __m512i offset = _mm512_ternarylogic_epi64(_mm512_castpd_si512(x), sign, half, 0xEA);
    x = _mm512_add_pd(x, _mm512_castsi512_pd(offset));
    return _mm512_cvttpd_epi32(x);
}
}  // namespace

bool Scale16Avx2Available() { return __builtin_cpu_supports("avx2"); }

AVX2_CODE void Scale16Avx2(uint8_t* p, uint32_t count, double factor) {
    const __m256d f = _mm256_set1_pd(factor), sign = _mm256_set1_pd(-0.0), half = _mm256_set1_pd(HalfBelow);
    uint32_t i = 0;
    for (; i + 16 <= count; i += 16) {
        for (uint32_t part = 0; part < 2; ++part) {
            uint8_t* q = p + 2 * i + 16 * part;
            const __m256i w = _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q)));
            const __m128i a = RoundFourAvx2(_mm256_castsi256_si128(w), f, sign, half);
            const __m128i b = RoundFourAvx2(_mm256_extracti128_si256(w, 1), f, sign, half);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(q), _mm_packs_epi32(a, b));
        }
    }
    Scale16Generic(p + 2 * i, count - i, factor);
}

bool Scale16Avx512Available() { return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw"); }

AVX512_CODE void Scale16Avx512(uint8_t* p, uint32_t count, double factor) {
    const __m512d f = _mm512_set1_pd(factor);
    const __m512i sign = _mm512_set1_epi64(int64_t(0x8000000000000000ULL));
    const __m512i half = _mm512_castpd_si512(_mm512_set1_pd(HalfBelow));
    uint32_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m512i w = _mm512_cvtepi16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 2 * i)));
        const __m256i a = RoundEightAvx512(_mm512_castsi512_si256(w), f, sign, half);
        const __m256i b = RoundEightAvx512(_mm512_extracti64x4_epi64(w, 1), f, sign, half);
        const __m512i both = _mm512_inserti64x4(_mm512_castsi256_si512(a), b, 1);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + 2 * i), _mm512_cvtsepi32_epi16(both));
    }
    Scale16Generic(p + 2 * i, count - i, factor);
}
#else
bool Scale16Avx2Available() { return false; }
void Scale16Avx2(uint8_t* p, uint32_t count, double factor) { Scale16Generic(p, count, factor); }
bool Scale16Avx512Available() { return false; }
void Scale16Avx512(uint8_t* p, uint32_t count, double factor) { Scale16Generic(p, count, factor); }
#endif

Scale16Kernel ChooseScale16Kernel(double factor) {
    // The vector variants convert products to 32-bit integers; beyond this
    // factor a product could overflow them.
    if (!(factor > -65536.0 && factor < 65536.0)) return Scale16Generic;
    if (Scale16Avx512Available()) return Scale16Avx512;
    if (Scale16Avx2Available()) return Scale16Avx2;
    if (Scale16Sse2Available()) return Scale16Sse2;
    return Scale16Generic;
}
