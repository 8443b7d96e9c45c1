// The tint as the filters run it (ColorizeRegion), with each kernel forced
// in turn and with the machine's own choice.
#include "bench/BenchCommon.h"

int main() {
    const TintKernelKind best = ActiveTintKernelKind();
    std::printf("tint kernels: %s\n", bench::KernelChoice().c_str());
    const std::vector<bench::Candidate> candidates = bench::KernelCandidates();
    const bench::TintFunction literal = bench::RegionWith(TintKernelKind::Literal);
    bench::RunTable(4096, 4096, 9, literal, candidates);
    bench::RunTable(256, 256, 101, literal, candidates);
    UseTintKernel(best);
    return 0;
}
