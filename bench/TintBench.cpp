// The tint as the filters run it (ColorizeRegion), with each kernel forced
// in turn and with the machine's own choice.
#include "bench/BenchCommon.h"

int main() {
    const TintKernelKind best = ActiveTintKernelKind();
    std::printf("tint kernels: machine's choice %s; AVX2 %s\n", TintKernelName(best),
                CpuHasAvx2() ? "available" : "not available");
    std::vector<bench::Candidate> candidates = {{"SSE2", bench::RegionWith(TintKernelKind::Sse2)}};
    if (CpuHasAvx2()) candidates.push_back({"AVX2", bench::RegionWith(TintKernelKind::Avx2)});
    const bench::TintFunction literal = bench::RegionWith(TintKernelKind::Literal);
    bench::RunTable(4096, 4096, 9, literal, candidates);
    bench::RunTable(256, 256, 101, literal, candidates);
    UseTintKernel(best);
    return 0;
}
