#include "colorize/TintKernel.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#define QV_X86 1
#endif

namespace {

TintRowKernel gKernel = nullptr;
TintKernelKind gKind = TintKernelKind::Literal;

#if defined(QV_X86)
// XGETBV by its bytes: the intrinsic would need -mxsave for this file.
uint64_t ReadXcr0() {
    uint32_t lo, hi;
    __asm__ volatile(".byte 0x0f, 0x01, 0xd0" : "=a"(lo), "=d"(hi) : "c"(0));
    return uint64_t(hi) << 32 | lo;
}
#endif

bool CpuRuns(TintKernelKind kind) {
    switch (kind) {
    case TintKernelKind::Literal:
        return true;
    case TintKernelKind::Sse2:
        return CpuHasSse2();
    case TintKernelKind::Avx2:
        return CpuHasAvx2();
    case TintKernelKind::Avx512:
        return CpuHasAvx512();
    }
    return false;
}

TintRowKernel KernelOf(TintKernelKind kind) { return CpuRuns(kind) ? BuiltTintKernel(kind) : nullptr; }

}  // namespace

namespace {

bool DetectSse2() {
#if defined(QV_X86)
    unsigned a, b, c, d;
    return __get_cpuid(1, &a, &b, &c, &d) && (d & bit_SSE2);
#else
    return false;
#endif
}

bool DetectAvx2() {
#if defined(QV_X86)
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    // AVX in the CPU and YMM state enabled by the OS, else AVX2 faults.
    if (!(c & bit_OSXSAVE) || !(c & bit_AVX)) return false;
    if ((ReadXcr0() & 6) != 6) return false;
    if (__get_cpuid_max(0, nullptr) < 7) return false;
    __cpuid_count(7, 0, a, b, c, d);
    return (b & bit_AVX2) != 0;
#else
    return false;
#endif
}

bool DetectAvx512() {
#if defined(QV_X86)
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    if (!(c & bit_OSXSAVE) || !(c & bit_AVX)) return false;
    // SSE, AVX, opmask, upper halves of ZMM0-15 and ZMM16-31: without all
    // of them saved, a task switch loses state.
    if ((ReadXcr0() & 0xE6) != 0xE6) return false;
    if (__get_cpuid_max(0, nullptr) < 7) return false;
    __cpuid_count(7, 0, a, b, c, d);
    // The kernel's compiler may use AVX2 too.
    const unsigned need = bit_AVX2 | bit_AVX512F | bit_AVX512BW | bit_AVX512VL;
    return (b & need) == need;
#else
    return false;
#endif
}

}  // namespace

namespace {

// CPUID traps to the hypervisor in a virtual machine: ask once, at load.
// Not function-local statics: their thread-safe guard would bring the
// runtime's mutexes, and semaphores with them, into the host's process.
const bool kCpuHasSse2 = DetectSse2();
const bool kCpuHasAvx2 = DetectAvx2();
const bool kCpuHasAvx512 = DetectAvx512();

}  // namespace

bool CpuHasSse2() { return kCpuHasSse2; }

bool CpuHasAvx2() { return kCpuHasAvx2; }

bool CpuHasAvx512() { return kCpuHasAvx512; }

TintRowKernel BuiltTintKernel(TintKernelKind kind) {
    switch (kind) {
    case TintKernelKind::Literal:
        return TintRowLiteral;
    case TintKernelKind::Sse2:
        return TintRowSse2;
    case TintKernelKind::Avx2:
        return TintRowAvx2;
    case TintKernelKind::Avx512:
        return TintRowAvx512;
    }
    return nullptr;
}

bool CpuRunsTintKernel(TintKernelKind kind) { return KernelOf(kind) != nullptr; }

bool UseTintKernel(TintKernelKind kind) {
    const TintRowKernel kernel = KernelOf(kind);
    if (!kernel) return false;
    gKernel = kernel;
    gKind = kind;
    return true;
}

TintRowKernel ActiveTintKernel() {
    if (!gKernel)
        for (int i = int(sizeof kTintKernelKinds / sizeof kTintKernelKinds[0]) - 1; i >= 0; --i)
            if (UseTintKernel(kTintKernelKinds[i])) break;
    return gKernel;
}

TintKernelKind ActiveTintKernelKind() {
    ActiveTintKernel();
    return gKind;
}

const char* TintKernelName(TintKernelKind kind) {
    switch (kind) {
    case TintKernelKind::Literal:
        return "literal";
    case TintKernelKind::Sse2:
        return "SSE2";
    case TintKernelKind::Avx2:
        return "AVX2";
    case TintKernelKind::Avx512:
        return "AVX-512";
    }
    return "?";
}
