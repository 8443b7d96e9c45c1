// Built with -mavx2 and run only where ActiveTintKernel found AVX2. It uses
// nothing inline from other headers (see TintKernel.h).
#include "colorize/TintKernel.h"

#if defined(__AVX2__)

#include <immintrin.h>

namespace {

struct Constants {
    __m256i weightsBR, weightsG, bias2, weight2000, one, byteMask, alphaMask, spread, plus, minus;
    __m256 inverse2000;
    __m256d w114, w587, w299, dR, dB, k;

    explicit Constants(const TintKernelParams& p)
        : weightsBR(_mm256_set1_epi32(228 | 598 << 16)),
          weightsG(_mm256_set1_epi32(1174)),
          bias2(_mm256_set1_epi32(p.bias2)),
          weight2000(_mm256_set1_epi32(2000)),
          one(_mm256_set1_epi32(1)),
          byteMask(_mm256_set1_epi32(0xFF)),
          alphaMask(_mm256_set1_epi32(int(0xFF000000u))),
          spread(_mm256_set1_epi32(0x0101 | 0x0001 << 16)),
          plus(_mm256_set1_epi32(int(p.plus))),
          minus(_mm256_set1_epi32(int(p.minus))),
          inverse2000(_mm256_set1_ps(1.0f / 2000.0f)),
          w114(_mm256_set1_pd(0.114)),
          w587(_mm256_set1_pd(0.587)),
          w299(_mm256_set1_pd(0.299)),
          dR(_mm256_set1_pd(p.dR)),
          dB(_mm256_set1_pd(p.dB)),
          k(_mm256_set1_pd(p.k)) {}
};

// Eight pixels in fixed point; see the SSE2 kernel.
inline __m256i TintFixed(__m256i px, const Constants& c, __m256i& ambiguous) {
    const __m256i br = _mm256_and_si256(px, _mm256_set1_epi32(0x00FF00FF));
    const __m256i ga = _mm256_srli_epi16(px, 8);
    const __m256i n2 = _mm256_add_epi32(
        _mm256_add_epi32(_mm256_madd_epi16(br, c.weightsBR), _mm256_madd_epi16(ga, c.weightsG)), c.bias2);
    const __m256i q = _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_cvtepi32_ps(n2), c.inverse2000));
    ambiguous = _mm256_cmpeq_epi32(_mm256_sub_epi32(n2, _mm256_madd_epi16(q, c.weight2000)), c.one);
    const __m256i q3 = _mm256_mullo_epi16(_mm256_or_si256(q, _mm256_slli_epi32(q, 16)), c.spread);
    const __m256i bgr = _mm256_subs_epu8(_mm256_adds_epu8(q3, c.plus), c.minus);
    return _mm256_or_si256(bgr, _mm256_and_si256(px, c.alphaMask));
}

// Four pixels by the double formula, in the order written.
inline __m128i TintExact4(__m128i px, const Constants& c) {
    const __m128i byteMask = _mm256_castsi256_si128(c.byteMask);
    const __m128i b = _mm_and_si128(px, byteMask);
    const __m128i g = _mm_and_si128(_mm_srli_epi32(px, 8), byteMask);
    const __m128i r = _mm_and_si128(_mm_srli_epi32(px, 16), byteMask);
    const __m256d y = _mm256_add_pd(
        _mm256_add_pd(_mm256_mul_pd(_mm256_cvtepi32_pd(b), c.w114), _mm256_mul_pd(_mm256_cvtepi32_pd(g), c.w587)),
        _mm256_mul_pd(_mm256_cvtepi32_pd(r), c.w299));
    const __m128i ri = _mm256_cvttpd_epi32(_mm256_add_pd(c.dR, y));
    const __m128i bi = _mm256_cvttpd_epi32(_mm256_add_pd(c.dB, y));
    const __m128i gi = _mm256_cvttpd_epi32(_mm256_sub_pd(y, c.k));
    // Clamp by saturation: bytes B0..B3 G0..G3 R0..R3 0..0, then interleave.
    const __m128i zero = _mm_setzero_si128();
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(bi, gi), _mm_packs_epi32(ri, zero));
    const __m128i bg = _mm_unpacklo_epi8(bytes, _mm_srli_si128(bytes, 4));
    const __m128i r_ = _mm_unpacklo_epi8(_mm_srli_si128(bytes, 8), zero);
    return _mm_or_si128(_mm_unpacklo_epi16(bg, r_), _mm_and_si128(px, _mm256_castsi256_si128(c.alphaMask)));
}

inline __m256i TintExact(__m256i px, const Constants& c) {
    const __m128i lo = TintExact4(_mm256_castsi256_si128(px), c);
    const __m128i hi = TintExact4(_mm256_extracti128_si256(px, 1), c);
    return _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
}

void Kernel(const uint32_t* source, uint32_t* destination, int count, const TintKernelParams& p) {
    const Constants c(p);
    int i = 0;
    if (p.shortcut) {
        for (; i + 16 <= count; i += 16) {
            const __m256i px0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + i));
            const __m256i px1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + i + 8));
            __m256i a0, a1;
            __m256i out0 = TintFixed(px0, c, a0);
            __m256i out1 = TintFixed(px1, c, a1);
            if (!_mm256_testz_si256(_mm256_or_si256(a0, a1), _mm256_or_si256(a0, a1))) {
                out0 = TintExact(px0, c);
                out1 = TintExact(px1, c);
            }
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination + i), out0);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination + i + 8), out1);
        }
    }
    for (; i + 8 <= count; i += 8) {
        const __m256i px = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination + i), TintExact(px, c));
    }
    for (; i + 4 <= count; i += 4) {
        const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i), TintExact4(px, c));
    }
    TintRowLiteral(source + i, destination + i, count - i, p);
}

}  // namespace

const TintRowKernel TintRowAvx2 = Kernel;

#else

const TintRowKernel TintRowAvx2 = nullptr;

#endif
