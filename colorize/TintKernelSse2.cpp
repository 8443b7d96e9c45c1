#include "colorize/TintKernel.h"

#if defined(__SSE2__)

#include <emmintrin.h>

// Above 1/1000, so a quotient that is an exact integer never drops below it.
static_assert(double(0.001f) > 0.001, "the single-precision reciprocal must round up");

namespace {

struct Constants {
    __m128i maskBR, weightsBR, weightsG, s, weight1000, lowWords, alphaMask, plus, minus;
    __m128 reciprocal;
    __m128d w114, w587, w299, dR, dB, k;

    explicit Constants(const TintKernelParams& p)
        : maskBR(_mm_set1_epi32(0x00FF00FF)),
          weightsBR(_mm_set1_epi32(114 | 299 << 16)),
          weightsG(_mm_set1_epi32(587)),
          s(_mm_set1_epi32(p.s)),
          weight1000(_mm_set1_epi32(1000)),
          lowWords(_mm_set1_epi32(0xFFFF)),
          alphaMask(_mm_set1_epi32(int(0xFF000000u))),
          plus(_mm_set1_epi32(int(p.plus))),
          // The spread quotient's alpha byte goes to zero on the way.
          minus(_mm_set1_epi32(int(p.minus | 0xFF000000u))),
          reciprocal(_mm_set1_ps(0.001f)),
          w114(_mm_set1_pd(0.114)),
          w587(_mm_set1_pd(0.587)),
          w299(_mm_set1_pd(0.299)),
          dR(_mm_set1_pd(p.dR)),
          dB(_mm_set1_pd(p.dB)),
          k(_mm_set1_pd(p.k)) {}
};

// Words B, R and G, A of four pixels.
struct Split {
    __m128i br;
    __m128i ga;
};

inline Split SplitPixels(__m128i px, const Constants& c) {
    return {_mm_and_si128(px, c.maskBR), _mm_srli_epi16(px, 8)};
}

// floor((114 B + 587 G + 299 R + s) / 1000); lanes where that is an exact
// quotient, which the doubles may round either way, are set in ambiguous.
inline __m128i Quotient(const Split& w, const Constants& c, __m128i& ambiguous) {
    const __m128i n =
        _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(w.br, c.weightsBR), _mm_madd_epi16(w.ga, c.weightsG)), c.s);
    // n is exact in single precision; the product errs by under 0.00003.
    const __m128i q = _mm_cvttps_epi32(_mm_mul_ps(_mm_cvtepi32_ps(n), c.reciprocal));
    ambiguous = _mm_cmpeq_epi32(n, _mm_madd_epi16(q, c.weight1000));
    return q;
}

// q + m per channel, clamped by saturation, with the pixel's alpha.
inline __m128i Channels(__m128i spread, __m128i px, const Constants& c) {
    return _mm_or_si128(_mm_subs_epu8(_mm_adds_epu8(spread, c.plus), c.minus), _mm_and_si128(px, c.alphaMask));
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
inline __m128i TintExact(__m128i px, const Split& w, const Constants& c) {
    const __m128i b = _mm_and_si128(w.br, c.lowWords);
    const __m128i g = _mm_and_si128(w.ga, c.lowWords);
    const __m128i r = _mm_srli_epi32(w.br, 16);
    __m128i b0, g0, r0, b1, g1, r1;
    TintDouble(b, g, r, c, b0, g0, r0);
    TintDouble(_mm_shuffle_epi32(b, 0xEE), _mm_shuffle_epi32(g, 0xEE), _mm_shuffle_epi32(r, 0xEE), c, b1, g1, r1);
    // Clamp by saturation: bytes B0..B3 G0..G3 R0..R3 R0..R3, then interleave.
    const __m128i rr = _mm_unpacklo_epi64(r0, r1);
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(_mm_unpacklo_epi64(b0, b1), _mm_unpacklo_epi64(g0, g1)),
                                           _mm_packs_epi32(rr, rr));
    const __m128i bg = _mm_unpacklo_epi8(bytes, _mm_srli_si128(bytes, 4));
    const __m128i r_ = _mm_unpacklo_epi8(_mm_unpackhi_epi64(bytes, bytes), _mm_setzero_si128());
    return _mm_or_si128(_mm_unpacklo_epi16(bg, r_), _mm_and_si128(px, c.alphaMask));
}

inline bool Ambiguous(__m128i px0, __m128i px1, const Constants& c) {
    __m128i a0, a1;
    Quotient(SplitPixels(px0, c), c, a0);
    Quotient(SplitPixels(px1, c), c, a1);
    return _mm_movemask_epi8(_mm_or_si128(a0, a1)) != 0;
}

// Blocks with an exact quotient somewhere, by the doubles, from i on while
// they keep coming (a grey image under a grey guide has nothing else);
// after each such block the next one goes the same way unchecked. Out of
// the hot loop so that its constants keep their registers.
__attribute__((noinline)) int ExactRun(const uint32_t* source, uint32_t* destination, int i, int count,
                                       const Constants& c) {
    do {
        const int end = count - i >= 16 ? i + 16 : i + 8;
        for (; i < end; i += 4) {
            const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i), TintExact(px, SplitPixels(px, c), c));
        }
    } while (i + 8 <= count &&
             Ambiguous(_mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i)),
                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i + 4)), c));
    return i;
}

int FixedRun(const uint32_t* source, uint32_t* destination, int i, int count, const Constants& c) {
    while (i + 8 <= count) {
        const __m128i px0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
        const __m128i px1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i + 4));
        __m128i a0, a1;
        const __m128i q0 = Quotient(SplitPixels(px0, c), c, a0);
        const __m128i q1 = Quotient(SplitPixels(px1, c), c, a1);
        if (_mm_movemask_epi8(_mm_or_si128(a0, a1))) {
            i = ExactRun(source, destination, i, count, c);
            continue;
        }
        // Each quotient (0..255) into the four bytes of its pixel.
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(q0, q1), _mm_setzero_si128());
        const __m128i pairs = _mm_unpacklo_epi8(bytes, bytes);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i), Channels(_mm_unpacklo_epi16(pairs, pairs), px0, c));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i + 4),
                         Channels(_mm_unpackhi_epi16(pairs, pairs), px1, c));
        i += 8;
    }
    return i;
}

void Kernel(const uint32_t* source, uint32_t* destination, int count, const TintKernelParams& p) {
    const Constants c(p);
    int i = 0;
    // Streaming stores did not pay with 16-byte vectors: p.stream is left
    // to the AVX2 kernel.
    if (p.shortcut) i = FixedRun(source, destination, i, count, c);
    for (; i + 4 <= count; i += 4) {
        const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i), TintExact(px, SplitPixels(px, c), c));
    }
    TintRowLiteral(source + i, destination + i, count - i, p);
}

}  // namespace

const TintRowKernel TintRowSse2 = Kernel;

#else

const TintRowKernel TintRowSse2 = nullptr;

#endif
