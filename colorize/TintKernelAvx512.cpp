// Built with -mavx512f -mavx512bw -mavx512vl and run only where
// ActiveTintKernel found them and OS support for the opmask and ZMM state.
// It uses nothing inline from other headers (see TintKernel.h).
#include "colorize/TintKernel.h"

#if defined(__AVX512F__) && defined(__AVX512BW__) && defined(__AVX512VL__)

#include <immintrin.h>

static_assert(double(0.001f) > 0.001, "the single-precision reciprocal must round up");

namespace {

// Sixteen pixels a vector. Fixed point for every lane; a lane whose
// numerator is an exact multiple of 1000 is then redone by the doubles,
// eight lanes at a time, and only the halves that hold such a lane.
struct Constants {
    __m512i maskBR, weightsBR, weightsG, s, weight1000, spread, plus, minus, alphaMask;
    __m512 reciprocal;
    __m512d w114, w587, w299, dR, dB, k;
    __m256i lowByte, byteG, byteR, transpose;

    explicit Constants(const TintKernelParams& p)
        : maskBR(_mm512_set1_epi32(0x00FF00FF)),
          weightsBR(_mm512_set1_epi32(114 | 299 << 16)),
          weightsG(_mm512_set1_epi32(587)),
          s(_mm512_set1_epi32(p.s)),
          weight1000(_mm512_set1_epi32(1000)),
          // Each quotient's low byte into blue, green and red; alpha zero.
          spread(_mm512_set4_epi32(int(0x800C0C0Cu), int(0x80080808u), int(0x80040404u), int(0x80000000u))),
          plus(_mm512_set1_epi32(int(p.plus))),
          minus(_mm512_set1_epi32(int(p.minus))),
          alphaMask(_mm512_set1_epi32(int(0xFF000000u))),
          reciprocal(_mm512_set1_ps(0.001f)),
          w114(_mm512_set1_pd(0.114)),
          w587(_mm512_set1_pd(0.587)),
          w299(_mm512_set1_pd(0.299)),
          dR(_mm512_set1_pd(p.dR)),
          dB(_mm512_set1_pd(p.dB)),
          k(_mm512_set1_pd(p.k)),
          lowByte(_mm256_set1_epi32(0xFF)),
          byteG(_mm256_setr_epi32(int(0x80808001u), int(0x80808005u), int(0x80808009u), int(0x8080800Du),
                                  int(0x80808001u), int(0x80808005u), int(0x80808009u), int(0x8080800Du))),
          byteR(_mm256_setr_epi32(int(0x80808002u), int(0x80808006u), int(0x8080800Au), int(0x8080800Eu),
                                  int(0x80808002u), int(0x80808006u), int(0x8080800Au), int(0x8080800Eu))),
          transpose(_mm256_setr_epi32(0x0C080400, 0x0D090501, 0x0E0A0602, 0x0F0B0703, 0x0C080400, 0x0D090501,
                                      0x0E0A0602, 0x0F0B0703)) {}
};

// Blue, green and red of sixteen pixels by fixed point, alpha zero; lanes
// whose numerator is an exact multiple of 1000 are set in exact.
inline __m512i Fixed(__m512i px, const Constants& c, __mmask16& exact) {
    const __m512i br = _mm512_and_si512(px, c.maskBR);
    const __m512i ga = _mm512_srli_epi16(px, 8);
    const __m512i n = _mm512_add_epi32(
        _mm512_add_epi32(_mm512_madd_epi16(br, c.weightsBR), _mm512_madd_epi16(ga, c.weightsG)), c.s);
    const __m512i q = _mm512_cvttps_epi32(_mm512_mul_ps(_mm512_cvtepi32_ps(n), c.reciprocal));
    exact = _mm512_cmpeq_epi32_mask(n, _mm512_madd_epi16(q, c.weight1000));
    return _mm512_subs_epu8(_mm512_adds_epu8(_mm512_shuffle_epi8(q, c.spread), c.plus), c.minus);
}

// Eight pixels by the double formula, in the order written: B, G, R, 0.
inline __m256i Doubles8(__m256i px, const Constants& c) {
    const __m512d b = _mm512_cvtepi32_pd(_mm256_and_si256(px, c.lowByte));
    const __m512d g = _mm512_cvtepi32_pd(_mm256_shuffle_epi8(px, c.byteG));
    const __m512d r = _mm512_cvtepi32_pd(_mm256_shuffle_epi8(px, c.byteR));
    const __m512d y =
        _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(b, c.w114), _mm512_mul_pd(g, c.w587)), _mm512_mul_pd(r, c.w299));
    const __m256i bi = _mm512_cvttpd_epi32(_mm512_add_pd(c.dB, y));
    const __m256i gi = _mm512_cvttpd_epi32(_mm512_sub_pd(y, c.k));
    const __m256i ri = _mm512_cvttpd_epi32(_mm512_add_pd(c.dR, y));
    // Saturating packs clamp as the literal loop's integers do, whatever the
    // guide values; they work 128 bits at a time, so each half ends as
    // B0..3 G0..3 R0..3 0..0, and a byte shuffle puts that in pixel order.
    const __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(bi, gi), _mm256_packs_epi32(ri, _mm256_setzero_si256()));
    return _mm256_shuffle_epi8(bytes, c.transpose);
}

// sat with the lanes in exact replaced by the doubles' channels.
inline __m512i WithDoubles(__m512i px, __m512i sat, __mmask16 exact, const Constants& c) {
    __m512i d = sat;
    if (exact & 0x00FF) d = _mm512_castsi256_si512(Doubles8(_mm512_castsi512_si256(px), c));
    if (exact & 0xFF00) d = _mm512_inserti64x4(d, Doubles8(_mm512_extracti64x4_epi64(px, 1), c), 1);
    return _mm512_mask_mov_epi32(sat, exact, d);
}

// The channels with the pixel's own alpha.
inline __m512i WithAlpha(__m512i channels, __m512i px, const Constants& c) {
    return _mm512_ternarylogic_epi32(channels, px, c.alphaMask, 0xF8);  // a | (b & c)
}

// The lanes of mask only: in front of an aligned run, and the row's end.
inline void Part(const uint32_t* source, uint32_t* destination, __mmask16 lanes, const TintKernelParams& p,
                 const Constants& c) {
    const __m512i px = _mm512_maskz_loadu_epi32(lanes, source);
    __mmask16 exact = lanes;
    __m512i channels = _mm512_setzero_si512();
    if (p.shortcut) {
        channels = Fixed(px, c, exact);
        exact &= lanes;
    }
    if (exact) channels = WithDoubles(px, channels, exact, c);
    _mm512_mask_storeu_epi32(destination, lanes, WithAlpha(channels, px, c));
}

template <bool Stream>
inline void Store(uint32_t* at, __m512i v) {
    if (Stream)
        _mm512_stream_si512(reinterpret_cast<__m512i*>(at), v);
    else
        _mm512_storeu_si512(at, v);
}

template <bool Stream>
int FixedRun(const uint32_t* source, uint32_t* destination, int i, int count, const Constants& c) {
    for (; i + 32 <= count; i += 32) {
        const __m512i px0 = _mm512_loadu_si512(source + i);
        const __m512i px1 = _mm512_loadu_si512(source + i + 16);
        __mmask16 exact0, exact1;
        __m512i ch0 = Fixed(px0, c, exact0);
        __m512i ch1 = Fixed(px1, c, exact1);
        if (__builtin_expect((exact0 | exact1) != 0, 0)) {
            ch0 = WithDoubles(px0, ch0, exact0, c);
            ch1 = WithDoubles(px1, ch1, exact1, c);
        }
        Store<Stream>(destination + i, WithAlpha(ch0, px0, c));
        Store<Stream>(destination + i + 16, WithAlpha(ch1, px1, c));
    }
    return i;
}

inline __mmask16 FirstLanes(int n) { return n >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << n) - 1); }

void Kernel(const uint32_t* source, uint32_t* destination, int count, const TintKernelParams& p) {
    const Constants c(p);
    int i = 0;
    if (p.shortcut) {
        // Streaming stores want 64-byte aligned addresses: the pixels in
        // front of the first one go masked.
        const uintptr_t misalignment = reinterpret_cast<uintptr_t>(destination) % 64;
        if (p.stream && misalignment % 4 == 0) {
            const int head = int((64 - misalignment) % 64 / 4);
            if (head > 0 && count > 0) Part(source, destination, FirstLanes(head < count ? head : count), p, c);
            i = FixedRun<true>(source, destination, head, count, c);
            _mm_sfence();
        } else {
            i = FixedRun<false>(source, destination, i, count, c);
        }
    }
    for (; i < count; i += 16) Part(source + i, destination + i, FirstLanes(count - i), p, c);
}

}  // namespace

const TintRowKernel TintRowAvx512 = Kernel;

#else

const TintRowKernel TintRowAvx512 = nullptr;

#endif
