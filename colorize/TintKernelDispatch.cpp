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

TintRowKernel KernelOf(TintKernelKind kind) {
    switch (kind) {
    case TintKernelKind::Literal:
        return TintRowLiteral;
    case TintKernelKind::Sse2:
        return CpuHasSse2() ? TintRowSse2 : nullptr;
    case TintKernelKind::Avx2:
        return CpuHasAvx2() ? TintRowAvx2 : nullptr;
    }
    return nullptr;
}

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

}  // namespace

// CPUID traps to the hypervisor in a virtual machine: ask once.
bool CpuHasSse2() {
    static const bool has = DetectSse2();
    return has;
}

bool CpuHasAvx2() {
    static const bool has = DetectAvx2();
    return has;
}

bool UseTintKernel(TintKernelKind kind) {
    const TintRowKernel kernel = KernelOf(kind);
    if (!kernel) return false;
    gKernel = kernel;
    gKind = kind;
    return true;
}

TintRowKernel ActiveTintKernel() {
    if (!gKernel && !UseTintKernel(TintKernelKind::Avx2) && !UseTintKernel(TintKernelKind::Sse2))
        UseTintKernel(TintKernelKind::Literal);
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
    }
    return "?";
}
