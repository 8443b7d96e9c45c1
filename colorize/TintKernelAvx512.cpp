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
// eight lanes at a time, and only the halves that hold such a lane. A grey
// scan under a grey guide is all such lanes, and the doubles cost as much
// per lane as in the AVX2 kernel (a 512-bit double operation takes two
// 256-bit ones on some processors): there a table of the greys stands in.

// The fixed point's constants: few, so that a short row sets them up fast.
struct FixedConstants {
    __m512i maskBR, weightsBR, weightsG, s, weight1000, spread, plus, minus, alphaMask;
    __m512 reciprocal;
    __mmask64 colourBytes;

    explicit FixedConstants(const TintKernelParams& p)
        : maskBR(_mm512_set1_epi32(0x00FF00FF)),
          weightsBR(_mm512_set1_epi32(114 | 299 << 16)),
          weightsG(_mm512_set1_epi32(587)),
          s(_mm512_set1_epi32(p.s)),
          weight1000(_mm512_set1_epi32(1000)),
          // Each quotient's low byte into blue, green and red; the
          // pixel's alpha stays (colourBytes).
          spread(_mm512_set4_epi32(int(0x800C0C0Cu), int(0x80080808u), int(0x80040404u), int(0x80000000u))),
          plus(_mm512_set1_epi32(int(p.plus))),
          minus(_mm512_set1_epi32(int(p.minus))),
          alphaMask(_mm512_set1_epi32(int(0xFF000000u))),
          reciprocal(_mm512_set1_ps(0.001f)),
          colourBytes(_cvtu64_mask64(0x7777777777777777ull)) {}
};

// And those of the exact lanes, set up only where there are some.
struct Constants : FixedConstants {
    __m512d w114, w587, w299, dR, dB, k;
    __m256i lowByte, byteG, byteR, transpose;
    __m512i lowWords, lowBytes, seven, ones, greyDrops0, greyDrops1;
    bool greys;

    explicit Constants(const TintKernelParams& p)
        : FixedConstants(p),
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
                                      0x0E0A0602, 0x0F0B0703)),
          lowWords(_mm512_set1_epi32(0xFFFF)),
          lowBytes(_mm512_set1_epi32(0xFF)),
          seven(_mm512_set1_epi32(7)),
          ones(_mm512_set1_epi32(0x010101)),
          greyDrops0(_mm512_loadu_si512(p.greyDrops)),
          greyDrops1(_mm512_loadu_si512(p.greyDrops + 16)),
          greys(p.greys) {}
};

// Sixteen pixels by fixed point, alpha kept; lanes whose numerator is an
// exact multiple of 1000 are set in exact.
inline __m512i Fixed(__m512i px, const FixedConstants& c, __mmask16& exact) {
    const __m512i br = _mm512_and_si512(px, c.maskBR);
    const __m512i ga = _mm512_srli_epi16(px, 8);
    const __m512i n = _mm512_add_epi32(
        _mm512_add_epi32(_mm512_madd_epi16(br, c.weightsBR), _mm512_madd_epi16(ga, c.weightsG)), c.s);
    const __m512i q = _mm512_cvttps_epi32(_mm512_mul_ps(_mm512_cvtepi32_ps(n), c.reciprocal));
    exact = _mm512_cmpeq_epi32_mask(n, _mm512_madd_epi16(q, c.weight1000));
    const __m512i spread = _mm512_mask_shuffle_epi8(px, c.colourBytes, q, c.spread);
    return _mm512_subs_epu8(_mm512_adds_epu8(spread, c.plus), c.minus);
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
    const __m256i bytes =
        _mm256_packus_epi16(_mm256_packs_epi32(bi, gi), _mm256_packs_epi32(ri, _mm256_setzero_si256()));
    return _mm256_shuffle_epi8(bytes, c.transpose);
}

// pixels with the lanes in exact replaced by the double formula's: from
// the table of greys where it holds them, else computed.
inline __m512i WithDoubles(__m512i px, __m512i pixels, __mmask16 exact, const Constants& c) {
    if (c.greys) {
        const __mmask16 grey =
            _mm512_mask_testn_epi32_mask(exact, _mm512_xor_si512(px, _mm512_srli_epi32(px, 8)), c.lowWords);
        if (grey) {
            const __m512i v = _mm512_and_si512(px, c.lowBytes);
            const __m512i drops = _mm512_permutex2var_epi32(c.greyDrops0, _mm512_srli_epi32(v, 3), c.greyDrops1);
            const __m512i drop = _mm512_maskz_and_epi32(grey, _mm512_srlv_epi32(drops, _mm512_and_si512(v, c.seven)),
                                                        c.ones);
            pixels = _mm512_subs_epu8(pixels, drop);
            exact &= ~grey;
        }
    }
    if (!exact) return pixels;
    __m512i d = pixels;
    if (exact & 0x00FF) d = _mm512_castsi256_si512(Doubles8(_mm512_castsi512_si256(px), c));
    if (exact & 0xFF00) d = _mm512_inserti64x4(d, Doubles8(_mm512_extracti64x4_epi64(px, 1), c), 1);
    // With the pixel's own alpha.
    return _mm512_mask_ternarylogic_epi32(pixels, exact, d, c.alphaMask, 0xEC);  // b | (a & c)
}

inline __mmask16 FirstLanes(int n) { return n >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << n) - 1); }

// Pixels i to count sixteen at a time, masked at the end: in front of an
// aligned run, the row's end, and rows without the fixed point.
__attribute__((noinline)) void Parts(const uint32_t* source, uint32_t* destination, int i, int count,
                                     const TintKernelParams& p) {
    const Constants c(p);
    for (; i < count; i += 16) {
        const __mmask16 lanes = FirstLanes(count - i);
        const __m512i px = _mm512_maskz_loadu_epi32(lanes, source + i);
        __mmask16 exact = lanes;
        __m512i pixels = px;
        if (p.shortcut) {
            pixels = Fixed(px, c, exact);
            exact &= lanes;
        }
        _mm512_mask_storeu_epi32(destination + i, lanes, WithDoubles(px, pixels, exact, c));
    }
}

template <bool Stream>
inline void Store(uint32_t* at, __m512i v) {
    if (Stream)
        _mm512_stream_si512(reinterpret_cast<__m512i*>(at), v);
    else
        _mm512_storeu_si512(at, v);
}

// Blocks of 32 pixels from i on while each has an exact lane somewhere,
// and the first block without one; every lane takes the fixed point first.
// Out of the hot loop, with the constants it alone needs.
template <bool Stream>
__attribute__((noinline)) int ExactRun(const uint32_t* source, uint32_t* destination, int i, int count,
                                       const TintKernelParams& p) {
    const Constants c(p);
    for (bool more = true; more && i + 32 <= count; i += 32) {
        const __m512i px0 = _mm512_loadu_si512(source + i);
        const __m512i px1 = _mm512_loadu_si512(source + i + 16);
        __mmask16 exact0, exact1;
        const __m512i fixed0 = Fixed(px0, c, exact0);
        const __m512i fixed1 = Fixed(px1, c, exact1);
        const __m512i out0 = WithDoubles(px0, fixed0, exact0, c);
        const __m512i out1 = WithDoubles(px1, fixed1, exact1, c);
        more = !_kortestz_mask16_u8(exact0, exact1);
        Store<Stream>(destination + i, out0);
        Store<Stream>(destination + i + 16, out1);
    }
    return i;
}

template <bool Stream>
int FixedRun(const uint32_t* source, uint32_t* destination, int i, int count, const TintKernelParams& p) {
    const FixedConstants c(p);
    while (i + 32 <= count) {
        const __m512i px0 = _mm512_loadu_si512(source + i);
        const __m512i px1 = _mm512_loadu_si512(source + i + 16);
        __mmask16 exact0, exact1;
        const __m512i out0 = Fixed(px0, c, exact0);
        const __m512i out1 = Fixed(px1, c, exact1);
        if (__builtin_expect(!_kortestz_mask16_u8(exact0, exact1), 0)) {
            i = ExactRun<Stream>(source, destination, i, count, p);
            continue;
        }
        Store<Stream>(destination + i, out0);
        Store<Stream>(destination + i + 16, out1);
        i += 32;
    }
    return i;
}

void Kernel(const uint32_t* source, uint32_t* destination, int count, const TintKernelParams& p) {
    int i = 0;
    if (p.shortcut) {
        // Streaming stores want 64-byte aligned addresses: the pixels in
        // front of the first one go masked.
        const uintptr_t misalignment = reinterpret_cast<uintptr_t>(destination) % 64;
        if (p.stream && misalignment % 4 == 0) {
            i = int((64 - misalignment) % 64 / 4);
            if (i > count) i = count;
            if (i > 0) Parts(source, destination, 0, i, p);
            i = FixedRun<true>(source, destination, i, count, p);
            _mm_sfence();
        } else {
            i = FixedRun<false>(source, destination, i, count, p);
        }
    }
    if (i < count) Parts(source, destination, i, count, p);
}

}  // namespace

const TintRowKernel TintRowAvx512 = Kernel;

#else

const TintRowKernel TintRowAvx512 = nullptr;

#endif
