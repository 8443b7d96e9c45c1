#include "colorize/TintKernel.h"

#if defined(__SSE2__)

#include <emmintrin.h>

namespace {

struct Constants {
    __m128i weightsBR, weightsG, bias2, weight2000, one, byteMask, alphaMask, spread, plus, minus;
    __m128 inverse2000;
    __m128d w114, w587, w299, dR, dB, k;

    explicit Constants(const TintKernelParams& p)
        : weightsBR(_mm_set1_epi32(228 | 598 << 16)),
          weightsG(_mm_set1_epi32(1174)),
          bias2(_mm_set1_epi32(p.bias2)),
          weight2000(_mm_set1_epi32(2000)),
          one(_mm_set1_epi32(1)),
          byteMask(_mm_set1_epi32(0xFF)),
          alphaMask(_mm_set1_epi32(int(0xFF000000u))),
          spread(_mm_set1_epi32(0x0101 | 0x0001 << 16)),
          plus(_mm_set1_epi32(int(p.plus))),
          minus(_mm_set1_epi32(int(p.minus))),
          inverse2000(_mm_set1_ps(1.0f / 2000.0f)),
          w114(_mm_set1_pd(0.114)),
          w587(_mm_set1_pd(0.587)),
          w299(_mm_set1_pd(0.299)),
          dR(_mm_set1_pd(p.dR)),
          dB(_mm_set1_pd(p.dB)),
          k(_mm_set1_pd(p.k)) {}
};

// Four pixels in fixed point. Lanes where the quotient is an exact integer,
// which the doubles may round either way, come back set in ambiguous.
inline __m128i TintFixed(__m128i px, const Constants& c, __m128i& ambiguous) {
    // Words B, R and G, A of each pixel; 2 * (114 B + 587 G + 299 R + s) + 1.
    const __m128i br = _mm_and_si128(px, _mm_set1_epi32(0x00FF00FF));
    const __m128i ga = _mm_srli_epi16(px, 8);
    const __m128i n2 = _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(br, c.weightsBR), _mm_madd_epi16(ga, c.weightsG)),
                                     c.bias2);
    // n2 / 2000 lies at least 0.0005 from an integer; single precision is
    // off by less than 0.00004 below 257.
    const __m128i q = _mm_cvttps_epi32(_mm_mul_ps(_mm_cvtepi32_ps(n2), c.inverse2000));
    ambiguous = _mm_cmpeq_epi32(_mm_sub_epi32(n2, _mm_madd_epi16(q, c.weight2000)), c.one);
    // q in bytes blue, green, red; then q + m clamped by saturation.
    const __m128i q3 = _mm_mullo_epi16(_mm_or_si128(q, _mm_slli_epi32(q, 16)), c.spread);
    const __m128i bgr = _mm_subs_epu8(_mm_adds_epu8(q3, c.plus), c.minus);
    return _mm_or_si128(bgr, _mm_and_si128(px, c.alphaMask));
}

// Two pixels' channels by the double formula, in the order written.
inline void TintDouble(__m128i b, __m128i g, __m128i r, const Constants& c, __m128i& ob, __m128i& og,
                       __m128i& orr) {
    const __m128d y = _mm_add_pd(_mm_add_pd(_mm_mul_pd(_mm_cvtepi32_pd(b), c.w114), _mm_mul_pd(_mm_cvtepi32_pd(g), c.w587)),
                                 _mm_mul_pd(_mm_cvtepi32_pd(r), c.w299));
    orr = _mm_cvttpd_epi32(_mm_add_pd(c.dR, y));
    ob = _mm_cvttpd_epi32(_mm_add_pd(c.dB, y));
    og = _mm_cvttpd_epi32(_mm_sub_pd(y, c.k));
}

// Four pixels by the double formula.
inline __m128i TintExact(__m128i px, const Constants& c) {
    const __m128i b = _mm_and_si128(px, c.byteMask);
    const __m128i g = _mm_and_si128(_mm_srli_epi32(px, 8), c.byteMask);
    const __m128i r = _mm_and_si128(_mm_srli_epi32(px, 16), c.byteMask);
    __m128i b0, g0, r0, b1, g1, r1;
    TintDouble(b, g, r, c, b0, g0, r0);
    TintDouble(_mm_shuffle_epi32(b, 0xEE), _mm_shuffle_epi32(g, 0xEE), _mm_shuffle_epi32(r, 0xEE), c, b1, g1, r1);
    // Clamp by saturation: bytes B0..B3 G0..G3 R0..R3 0..0.
    const __m128i zero = _mm_setzero_si128();
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(_mm_unpacklo_epi64(b0, b1), _mm_unpacklo_epi64(g0, g1)),
                                           _mm_packs_epi32(_mm_unpacklo_epi64(r0, r1), zero));
    const __m128i bg = _mm_unpacklo_epi8(bytes, _mm_srli_si128(bytes, 4));
    const __m128i r_ = _mm_unpacklo_epi8(_mm_srli_si128(bytes, 8), zero);
    return _mm_or_si128(_mm_unpacklo_epi16(bg, r_), _mm_and_si128(px, c.alphaMask));
}

void Kernel(const uint32_t* source, uint32_t* destination, int count, const TintKernelParams& p) {
    const Constants c(p);
    int i = 0;
    if (p.shortcut) {
        for (; i + 8 <= count; i += 8) {
            const __m128i px0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
            const __m128i px1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i + 4));
            __m128i a0, a1;
            __m128i out0 = TintFixed(px0, c, a0);
            __m128i out1 = TintFixed(px1, c, a1);
            if (_mm_movemask_epi8(_mm_or_si128(a0, a1))) {
                out0 = TintExact(px0, c);
                out1 = TintExact(px1, c);
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i), out0);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i + 4), out1);
        }
    }
    for (; i + 4 <= count; i += 4) {
        const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i), TintExact(px, c));
    }
    TintRowLiteral(source + i, destination + i, count - i, p);
}

}  // namespace

const TintRowKernel TintRowSse2 = Kernel;

#else

const TintRowKernel TintRowSse2 = nullptr;

#endif
