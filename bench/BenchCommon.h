// Measures a tint against memcpy of the same buffer and against the literal
// formula, all in the same run, as medians of several repetitions.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "colorize/Tint.h"
#include "colorize/TintKernel.h"

namespace bench {

// Tints the whole width x height image of source into destination.
typedef std::function<void(const uint32_t* source, uint32_t* destination, int width, int height, GuideColor guide)>
    TintFunction;

// ColorizeRegion over a whole buffer with the given kernel forced.
inline TintFunction RegionWith(TintKernelKind kind) {
    return [kind](const uint32_t* source, uint32_t* destination, int width, int height, GuideColor guide) {
        UseTintKernel(kind);
        ProgressSink sink = {nullptr, nullptr, 0};
        ColorizeRegion(source, destination, FilterRect{0, 0, width, height}, width, sink, guide);
    };
}

struct Candidate {
    std::string name;
    TintFunction tint;
};

// Every vector kernel this machine runs, forced in turn.
inline std::vector<Candidate> KernelCandidates() {
    std::vector<Candidate> candidates;
    for (const TintKernelKind kind : kTintKernelKinds)
        if (kind != TintKernelKind::Literal && CpuRunsTintKernel(kind))
            candidates.push_back({TintKernelName(kind), RegionWith(kind)});
    return candidates;
}

// "machine's choice AVX2; AVX2 available, AVX-512 not available"
inline std::string KernelChoice() {
    std::string line = std::string("machine's choice ") + TintKernelName(ActiveTintKernelKind()) + ";";
    const char* separator = " ";
    for (const TintKernelKind kind : {TintKernelKind::Avx2, TintKernelKind::Avx512}) {
        line += separator + std::string(TintKernelName(kind)) +
                (CpuRunsTintKernel(kind) ? " available" : " not available");
        separator = ", ";
    }
    return line;
}

struct Scene {
    const char* name;
    bool grey;  // grey pixels and a grey guide: every pixel takes the slow road
    GuideColor guide;
};

inline const std::vector<Scene>& Scenes() {
    static const std::vector<Scene> scenes = {
        {"random colours, guide B,G,R 90,200,30", false, {90, 200, 30}},
        {"worst case: grey image, grey guide 128", true, {128, 128, 128}},
    };
    return scenes;
}

inline std::vector<uint32_t> MakeImage(size_t pixels, bool grey) {
    std::vector<uint32_t> v(pixels);
    uint32_t state = 2024;
    for (uint32_t& p : v) {
        state = state * 1664525u + 1013904223u;
        const uint32_t g = state >> 24;
        p = grey ? (state & 0xFF000000u) | g << 16 | g << 8 | g : state;
    }
    return v;
}

inline double Seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// One table per size and scene: memcpy of the same buffer, the literal
// loop and each candidate, separate destination and in place. Each
// repetition runs them all in turn, so a busy machine slows all alike;
// before each timed pass the work buffer gets the source again (untimed),
// so in place always starts from the same pixels.
inline void RunTable(int width, int height, int repetitions, const TintFunction& literal,
                     const std::vector<Candidate>& candidates) {
    const size_t pixels = size_t(width) * height;
    std::vector<uint32_t> destination(pixels), work(pixels);
    std::printf("\n%dx%d (%.1f MB), %d repetitions, Mpix/s\n", width, height, pixels * 4 / 1e6,
                repetitions);
    for (const Scene& scene : Scenes()) {
        const std::vector<uint32_t> source = MakeImage(pixels, scene.grey);
        std::printf("  %s\n", scene.name);
        for (const bool inPlace : {false, true}) {
            std::vector<std::function<void()>> passes;
            passes.push_back([&] { std::memcpy(destination.data(), source.data(), pixels * 4); });
            std::vector<const TintFunction*> tints = {&literal};
            for (const Candidate& c : candidates) tints.push_back(&c.tint);
            for (const TintFunction* tint : tints) {
                if (inPlace)
                    passes.push_back([&, tint] { (*tint)(work.data(), work.data(), width, height, scene.guide); });
                else
                    passes.push_back(
                        [&, tint] { (*tint)(source.data(), destination.data(), width, height, scene.guide); });
            }
            std::vector<std::vector<double>> times(passes.size());
            for (int r = 0; r < repetitions; ++r)
                for (size_t i = 0; i < passes.size(); ++i) {
                    std::memcpy(work.data(), source.data(), pixels * 4);
                    const double t0 = Seconds();
                    passes[i]();
                    times[i].push_back(Seconds() - t0);
                }
            // Rates are medians of the passes; ratios are medians of the
            // ratios within each repetition, which a load that comes and
            // goes disturbs less.
            std::vector<double> rate;
            for (const std::vector<double>& t : times) rate.push_back(double(pixels) / Median(t) / 1e6);
            const auto ratio = [&](size_t a, size_t b) {
                std::vector<double> r;
                for (int k = 0; k < repetitions; ++k) r.push_back(times[b][k] / times[a][k]);
                return Median(r);
            };
            const char* mode = inPlace ? "in place" : "separate destination";
            std::printf("    %-21s memcpy %6.0f | literal %4.0f", mode, rate[0], rate[1]);
            for (size_t i = 0; i < candidates.size(); ++i)
                std::printf(" | %s %5.0f = %.2fx memcpy, %4.1fx literal", candidates[i].name.c_str(), rate[i + 2],
                            ratio(i + 2, 0), ratio(i + 2, 1));
            std::printf("\n");
        }
    }
}

}  // namespace bench
