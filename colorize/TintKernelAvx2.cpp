// Built with -mavx2 and run only where ActiveTintKernel found AVX2. It uses
// nothing inline from other headers (see TintKernel.h).
#include "colorize/TintKernel.h"

#if defined(__AVX2__)

#include <immintrin.h>

static_assert(double(0.001f) > 0.001, "the single-precision reciprocal must round up");

namespace {

// The same steps as the SSE2 kernel, eight pixels at a time.
struct Constants {
    __m256i maskBR, weightsBR, weightsG, s, weight1000, lowWords, alphaMask, plus, minus;
    __m256 reciprocal;
    __m256d w114, w587, w299, dR, dB, k;

    explicit Constants(const TintKernelParams& p)
        : maskBR(_mm256_set1_epi32(0x00FF00FF)),
          weightsBR(_mm256_set1_epi32(114 | 299 << 16)),
          weightsG(_mm256_set1_epi32(587)),
          s(_mm256_set1_epi32(p.s)),
          weight1000(_mm256_set1_epi32(1000)),
          lowWords(_mm256_set1_epi32(0xFFFF)),
          alphaMask(_mm256_set1_epi32(int(0xFF000000u))),
          plus(_mm256_set1_epi32(int(p.plus))),
          minus(_mm256_set1_epi32(int(p.minus | 0xFF000000u))),
          reciprocal(_mm256_set1_ps(0.001f)),
          w114(_mm256_set1_pd(0.114)),
          w587(_mm256_set1_pd(0.587)),
          w299(_mm256_set1_pd(0.299)),
          dR(_mm256_set1_pd(p.dR)),
          dB(_mm256_set1_pd(p.dB)),
          k(_mm256_set1_pd(p.k)) {}
};

struct Split {
    __m256i br;
    __m256i ga;
};

inline Split SplitPixels(__m256i px, const Constants& c) {
    return {_mm256_and_si256(px, c.maskBR), _mm256_srli_epi16(px, 8)};
}

inline __m256i Quotient(const Split& w, const Constants& c, __m256i& ambiguous) {
    const __m256i n = _mm256_add_epi32(
        _mm256_add_epi32(_mm256_madd_epi16(w.br, c.weightsBR), _mm256_madd_epi16(w.ga, c.weightsG)), c.s);
    const __m256i q = _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_cvtepi32_ps(n), c.reciprocal));
    ambiguous = _mm256_cmpeq_epi32(n, _mm256_madd_epi16(q, c.weight1000));
    return q;
}

inline __m256i Channels(__m256i spread, __m256i px, const Constants& c) {
    return _mm256_or_si256(_mm256_subs_epu8(_mm256_adds_epu8(spread, c.plus), c.minus),
                           _mm256_and_si256(px, c.alphaMask));
}

// Four pixels by the double formula, in the order written.
inline __m128i TintExact4(__m128i px, __m128i br, __m128i ga, const Constants& c) {
    const __m128i lowWords = _mm256_castsi256_si128(c.lowWords);
    const __m128i b = _mm_and_si128(br, lowWords);
    const __m128i g = _mm_and_si128(ga, lowWords);
    const __m128i r = _mm_srli_epi32(br, 16);
    const __m256d y = _mm256_add_pd(
        _mm256_add_pd(_mm256_mul_pd(_mm256_cvtepi32_pd(b), c.w114), _mm256_mul_pd(_mm256_cvtepi32_pd(g), c.w587)),
        _mm256_mul_pd(_mm256_cvtepi32_pd(r), c.w299));
    const __m128i ri = _mm256_cvttpd_epi32(_mm256_add_pd(c.dR, y));
    const __m128i bi = _mm256_cvttpd_epi32(_mm256_add_pd(c.dB, y));
    const __m128i gi = _mm256_cvttpd_epi32(_mm256_sub_pd(y, c.k));
    // Clamp by saturation: bytes B0..B3 G0..G3 R0..R3 R0..R3, then interleave.
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(bi, gi), _mm_packs_epi32(ri, ri));
    const __m128i bg = _mm_unpacklo_epi8(bytes, _mm_srli_si128(bytes, 4));
    const __m128i r_ = _mm_unpacklo_epi8(_mm_unpackhi_epi64(bytes, bytes), _mm_setzero_si128());
    return _mm_or_si128(_mm_unpacklo_epi16(bg, r_), _mm_and_si128(px, _mm256_castsi256_si128(c.alphaMask)));
}

inline __m256i TintExact(__m256i px, const Split& w, const Constants& c) {
    const __m128i lo = TintExact4(_mm256_castsi256_si128(px), _mm256_castsi256_si128(w.br),
                                  _mm256_castsi256_si128(w.ga), c);
    const __m128i hi = TintExact4(_mm256_extracti128_si256(px, 1), _mm256_extracti128_si256(w.br, 1),
                                  _mm256_extracti128_si256(w.ga, 1), c);
    return _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
}

template <bool Stream>
inline void Store(uint32_t* at, __m256i v) {
    if (Stream)
        _mm256_stream_si256(reinterpret_cast<__m256i*>(at), v);
    else
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), v);
}

inline bool Ambiguous(__m256i px0, __m256i px1, const Constants& c) {
    __m256i a0, a1;
    Quotient(SplitPixels(px0, c), c, a0);
    Quotient(SplitPixels(px1, c), c, a1);
    const __m256i any = _mm256_or_si256(a0, a1);
    return !_mm256_testz_si256(any, any);
}

// Blocks with an exact quotient somewhere, by the doubles; see the SSE2
// kernel.
template <bool Stream>
__attribute__((noinline)) int ExactRun(const uint32_t* source, uint32_t* destination, int i, int count,
                                       const Constants& c) {
    do {
        const int end = count - i >= 32 ? i + 32 : i + 16;
        for (; i < end; i += 8) {
            const __m256i px = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + i));
            Store<Stream>(destination + i, TintExact(px, SplitPixels(px, c), c));
        }
    } while (i + 16 <= count &&
             Ambiguous(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + i)),
                       _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + i + 8)), c));
    return i;
}

template <bool Stream>
int FixedRun(const uint32_t* source, uint32_t* destination, int i, int count, const Constants& c) {
    while (i + 16 <= count) {
        const __m256i px0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + i));
        const __m256i px1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + i + 8));
        __m256i a0, a1;
        const __m256i q0 = Quotient(SplitPixels(px0, c), c, a0);
        const __m256i q1 = Quotient(SplitPixels(px1, c), c, a1);
        const __m256i any = _mm256_or_si256(a0, a1);
        if (!_mm256_testz_si256(any, any)) {
            i = ExactRun<Stream>(source, destination, i, count, c);
            continue;
        }
        // Packs and unpacks stay within 128-bit lanes, which brings the
        // quotients back in pixel order.
        const __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(q0, q1), _mm256_setzero_si256());
        const __m256i pairs = _mm256_unpacklo_epi8(bytes, bytes);
        Store<Stream>(destination + i, Channels(_mm256_unpacklo_epi16(pairs, pairs), px0, c));
        Store<Stream>(destination + i + 8, Channels(_mm256_unpackhi_epi16(pairs, pairs), px1, c));
        i += 16;
    }
    return i;
}

void Kernel(const uint32_t* source, uint32_t* destination, int count, const TintKernelParams& p) {
    const Constants c(p);
    int i = 0;
    if (p.shortcut) {
        // Streaming stores want aligned addresses: the first few pixels go
        // the plain way.
        const uintptr_t misalignment = reinterpret_cast<uintptr_t>(destination) % 32;
        if (p.stream && misalignment % 4 == 0) {
            i = int((32 - misalignment) % 32 / 4);
            if (i > count) i = count;
            TintRowLiteral(source, destination, i, p);
            i = FixedRun<true>(source, destination, i, count, c);
            _mm_sfence();
        } else {
            i = FixedRun<false>(source, destination, i, count, c);
        }
    }
    for (; i + 8 <= count; i += 8) {
        const __m256i px = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination + i), TintExact(px, SplitPixels(px, c), c));
    }
    for (; i + 4 <= count; i += 4) {
        const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
        const __m128i br = _mm_and_si128(px, _mm256_castsi256_si128(c.maskBR));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + i), TintExact4(px, br, _mm_srli_epi16(px, 8), c));
    }
    TintRowLiteral(source + i, destination + i, count - i, p);
}

}  // namespace

const TintRowKernel TintRowAvx2 = Kernel;

#else

const TintRowKernel TintRowAvx2 = nullptr;

#endif
