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

template <bool Stream>
inline void Store(uint32_t* at, __m128i v) {
    if (Stream)
        _mm_stream_si128(reinterpret_cast<__m128i*>(at), v);
    else
        _mm_storeu_si128(reinterpret_cast<__m128i*>(at), v);
}

template <bool Stream>
int FixedRun(const uint32_t* source, uint32_t* destination, int i, int count, const Constants& c) {
    for (; i + 8 <= count; i += 8) {
        const __m128i px0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
        const __m128i px1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i + 4));
        const Split w0 = SplitPixels(px0, c), w1 = SplitPixels(px1, c);
        __m128i a0, a1;
        const __m128i q0 = Quotient(w0, c, a0);
        const __m128i q1 = Quotient(w1, c, a1);
        __m128i out0, out1;
        if (_mm_movemask_epi8(_mm_or_si128(a0, a1))) {
            out0 = TintExact(px0, w0, c);
            out1 = TintExact(px1, w1, c);
        } else {
            // Each quotient (0..255) into the four bytes of its pixel.
            const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(q0, q1), _mm_setzero_si128());
            const __m128i pairs = _mm_unpacklo_epi8(bytes, bytes);
            out0 = Channels(_mm_unpacklo_epi16(pairs, pairs), px0, c);
            out1 = Channels(_mm_unpackhi_epi16(pairs, pairs), px1, c);
        }
        Store<Stream>(destination + i, out0);
        Store<Stream>(destination + i + 4, out1);
    }
    return i;
}

void Kernel(const uint32_t* source, uint32_t* destination, int count, const TintKernelParams& p) {
    const Constants c(p);
    int i = 0;
    if (p.shortcut) {
        // Streaming stores want aligned addresses: the first few pixels go
        // the plain way.
        const uintptr_t misalignment = reinterpret_cast<uintptr_t>(destination) % 16;
        if (p.stream && misalignment % 4 == 0) {
            i = int((16 - misalignment) % 16 / 4);
            if (i > count) i = count;
            TintRowLiteral(source, destination, i, p);
            i = FixedRun<true>(source, destination, i, count, c);
            _mm_sfence();
        } else {
            i = FixedRun<false>(source, destination, i, count, c);
        }
    }
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
