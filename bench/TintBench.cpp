// The tint as the filters run it (ColorizeRegion), with each kernel forced
// in turn and with the machine's own choice.
#include "bench/BenchCommon.h"

namespace {

bench::TintFunction RegionWith(TintKernelKind kind) {
    return [kind](const uint32_t* source, uint32_t* destination, int width, int height, GuideColor guide) {
        UseTintKernel(kind);
        ProgressSink sink = {nullptr, nullptr, 0};
        ColorizeRegion(source, destination, FilterRect{0, 0, width, height}, width, sink, guide);
    };
}

}  // namespace

int main() {
    const TintKernelKind best = ActiveTintKernelKind();
    std::printf("tint kernels: machine's choice %s; AVX2 %s\n", TintKernelName(best),
                CpuHasAvx2() ? "available" : "not available");
    std::vector<bench::Candidate> candidates = {{"SSE2", RegionWith(TintKernelKind::Sse2)}};
    if (CpuHasAvx2()) candidates.push_back({"AVX2", RegionWith(TintKernelKind::Avx2)});
    const bench::TintFunction literal = RegionWith(TintKernelKind::Literal);
    bench::RunTable(4096, 4096, 9, literal, candidates);
    bench::RunTable(256, 256, 101, literal, candidates);
    UseTintKernel(best);
    return 0;
}
