// Row kernels of the tint and the choice among them.
//
// In exact arithmetic every channel of the tint is Y plus a per-call offset,
// and 1000 times each offset is an integer with the same remainder mod 1000.
// So each channel is floor((114*B + 587*G + 299*R + s) / 1000) + m with
// integers s (shared) and m (per channel). The doubles of the formula can
// land on the other side of an integer only where that numerator is an exact
// multiple of 1000; the vector kernels compute the double formula there.
//
// No inline functions here: the AVX2 kernel's translation unit includes this
// header, and an out-of-line copy built with -mavx2 could be the one the
// linker keeps for everybody.
#pragma once

#include <cstdint>

struct TintGuide;

struct TintKernelParams {
    // The double formula, bit for bit.
    double dR;
    double dB;
    double k;
    // Fixed point: s, 0..999.
    int32_t s;
    // Per channel byte (blue, green, red, 0): the positive and the negative
    // part of m, each at most 255.
    uint32_t plus;
    uint32_t minus;
    // False when the guide values are not those of a guide colour: then
    // only the double formula is used.
    bool shortcut;
    // Write the destination past the caches: for a separate destination
    // far larger than they are. Only the AVX2 and AVX-512 kernels stream;
    // with 16-byte stores it cost more than it saved.
    bool stream;
    // With s = 0 every grey pixel's numerator, 1000 v, is an exact multiple:
    // a grey scan under a grey guide (a black drawing colour, say) has
    // nothing else. The double formula's verdict on each grey is kept here,
    // once per call: bit 8 c + v % 8 of greyDrops[v / 8] is what it takes
    // off the fixed point's channel c (blue, green, red) of grey v. Only the
    // AVX-512 kernel uses it.
    bool greys;
    uint32_t greyDrops[32];
};

// Separate destinations from this size on are streamed.
constexpr int64_t kTintStreamBytes = int64_t(16) << 20;

TintKernelParams PrepareTintKernel(const TintGuide& t);

typedef void (*TintRowKernel)(const uint32_t* source, uint32_t* destination, int count,
                              const TintKernelParams& p);

// The formula pixel by pixel, as written: the reference.
void TintRowLiteral(const uint32_t* source, uint32_t* destination, int count, const TintKernelParams& p);
// Fixed point with the double formula on the rare exact multiples. Both use
// the literal formula for the last few pixels of a row. Null where the
// compiler cannot build them.
extern const TintRowKernel TintRowSse2;
extern const TintRowKernel TintRowAvx2;
extern const TintRowKernel TintRowAvx512;

// Slowest first.
enum class TintKernelKind { Literal, Sse2, Avx2, Avx512 };
constexpr TintKernelKind kTintKernelKinds[] = {TintKernelKind::Literal, TintKernelKind::Sse2, TintKernelKind::Avx2,
                                               TintKernelKind::Avx512};

// CPUID says AVX2, and the OS saves the YMM registers (OSXSAVE, XGETBV).
bool CpuHasAvx2();
// CPUID says AVX-512 F, BW and VL, and the OS saves the opmask and ZMM
// registers too.
bool CpuHasAvx512();
bool CpuHasSse2();
// Null where this target's compiler could not build the kernel.
TintRowKernel BuiltTintKernel(TintKernelKind kind);
// The kernel is built for this target and this machine runs it.
bool CpuRunsTintKernel(TintKernelKind kind);

// The best kernel this machine runs; chosen on first use.
TintRowKernel ActiveTintKernel();
TintKernelKind ActiveTintKernelKind();
// Tests and the benchmark force a kernel; false, and nothing changed, when
// this build or this machine cannot run it.
bool UseTintKernel(TintKernelKind kind);
const char* TintKernelName(TintKernelKind kind);
