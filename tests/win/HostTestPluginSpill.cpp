// Built as a compiler that trusts its callers' 16-byte stack alignment builds
// it (see CMakeLists.txt): the aligned store to the stack faults when a host
// calls with a stack aligned to 4 bytes only.
#include <emmintrin.h>

#include <cstdint>

__attribute__((noinline)) void SpillAligned(uint32_t* pixels) {
    alignas(16) uint32_t kept[4];
    const __m128i v = _mm_cvtsi32_si128(static_cast<int>(pixels[0]));
    // The aligned move a compiler spills with; current tunings would pick
    // the unaligned one for an intrinsic's store.
    __asm__ volatile("movdqa %1, %0" : "=m"(kept) : "x"(v));
    pixels[0] = kept[0];
}
