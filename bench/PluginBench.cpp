// The tint as a user gets it: PBF_Execute of the plug-in ("Colorize by
// Drawcolor", whose guide colour this host hands out), beside the same
// sources' kernels built into this program, against memcpy and the literal
// loop. Run under Wine by scripts/bench.sh; --check-only (in an emulated
// machine, whose speed says nothing) only compares the bytes.
#include <windows.h>

#include "bench/BenchCommon.h"

namespace {

GuideColor gDrawColor = {0, 0, 0};

typedef int(WINAPI* ExecuteProc)(int index, int hostArg2, void* source, void* destination, int hostArg5,
                                 FilterRect* rect, int hostArg7, int stride, int hostArg9, ProgressCallback callback,
                                 void* userData);

int PPI_CALLBACK CountProgress(int, int, void* userData) {
    ++*static_cast<int*>(userData);
    return 1;
}

}  // namespace

// The host's query for its drawing colour: blue, green, red, unused.
extern "C" __declspec(dllexport) int WINAPI PBF_QueryClientInfo(int code, void* out) {
    if (code != 1 || !out) return 0;
    unsigned char* bytes = static_cast<unsigned char*>(out);
    bytes[0] = gDrawColor.blue;
    bytes[1] = gDrawColor.green;
    bytes[2] = gDrawColor.red;
    bytes[3] = 0;
    return 1;
}

int main(int argc, char** argv) {
    const bool checkOnly = argc > 1 && std::strcmp(argv[1], "--check-only") == 0;
    HMODULE plugin = LoadLibraryA("qvhuetint.ppi");
    const ExecuteProc execute =
        plugin ? reinterpret_cast<ExecuteProc>(reinterpret_cast<void*>(GetProcAddress(plugin, "PBF_Execute")))
               : nullptr;
    if (!execute) {
        std::printf("qvhuetint.ppi or its PBF_Execute not found\n");
        return 1;
    }
    const TintKernelKind best = ActiveTintKernelKind();
    std::printf("%d-bit build under Wine; kernels: %s\n", int(sizeof(void*) * 8), bench::KernelChoice().c_str());

    int progressCalls = 0;
    const bench::TintFunction throughPlugin = [&](const uint32_t* source, uint32_t* destination, int width,
                                                  int height, GuideColor guide) {
        gDrawColor = guide;
        FilterRect rect = {0, 0, width, height};
        execute(1, 0, const_cast<uint32_t*>(source), destination, 0, &rect, 0, width, 0, CountProgress,
                &progressCalls);
    };
    std::vector<bench::Candidate> candidates = {{"PBF_Execute", throughPlugin}};
    for (const bench::Candidate& kernel : bench::KernelCandidates()) candidates.push_back(kernel);
    const bench::TintFunction literal = bench::RegionWith(TintKernelKind::Literal);
    if (checkOnly) {
        std::printf("emulated, not timed\n");
    } else {
        bench::RunTable(4096, 4096, 9, literal, candidates);
        bench::RunTable(256, 256, 101, literal, candidates);
    }
    UseTintKernel(best);

    // The plug-in's result is the literal formula's, bit for bit.
    const std::vector<uint32_t> source = bench::MakeImage(512 * 512, false);
    std::vector<uint32_t> expected(source.size()), actual(source.size());
    const GuideColor guide = {90, 200, 30};
    literal(source.data(), expected.data(), 512, 512, guide);
    throughPlugin(source.data(), actual.data(), 512, 512, guide);
    const bool same = expected == actual;
    std::printf("\nPBF_Execute result %s the literal formula's\n", same ? "equals" : "DIFFERS FROM");
    FreeLibrary(plugin);
    return same ? 0 : 1;
}
