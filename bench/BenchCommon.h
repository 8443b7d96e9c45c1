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

// Megapixels per second, median over repetitions. Before each timed pass
// the destination gets the source again (untimed), so in place always
// starts from the same pixels.
inline double Rate(const std::function<void(uint32_t*)>& pass, const std::vector<uint32_t>& source,
                   std::vector<uint32_t>& destination, int repetitions) {
    std::vector<double> times;
    for (int r = 0; r < repetitions; ++r) {
        std::memcpy(destination.data(), source.data(), source.size() * 4);
        const double t0 = Seconds();
        pass(destination.data());
        times.push_back(Seconds() - t0);
    }
    return double(source.size()) / Median(times) / 1e6;
}

struct Candidate {
    std::string name;
    TintFunction tint;
};

// One table per size: memcpy, the literal loop, each candidate, separate
// destination and in place, with the ratios.
inline void RunTable(int width, int height, int repetitions, const TintFunction& literal,
                     const std::vector<Candidate>& candidates) {
    const size_t pixels = size_t(width) * height;
    std::vector<uint32_t> destination(pixels), scratch(pixels);
    std::printf("\n%dx%d, %d repetitions, Mpix/s (ratio to memcpy, ratio to literal)\n", width, height,
                repetitions);
    for (const Scene& scene : Scenes()) {
        const std::vector<uint32_t> source = MakeImage(pixels, scene.grey);
        const double copy = Rate(
            [&](uint32_t*) { std::memcpy(destination.data(), source.data(), pixels * 4); }, source, scratch,
            repetitions);
        std::printf("  %s\n    memcpy %38.0f\n", scene.name, copy);
        for (const bool inPlace : {false, true}) {
            const auto passOf = [&](const TintFunction& tint) -> std::function<void(uint32_t*)> {
                if (inPlace) return [&](uint32_t* work) { tint(work, work, width, height, scene.guide); };
                return [&](uint32_t*) { tint(source.data(), destination.data(), width, height, scene.guide); };
            };
            const double slow = Rate(passOf(literal), source, scratch, repetitions);
            const char* mode = inPlace ? "in place" : "separate destination";
            std::printf("    %-22s literal %22.0f (%.2fx memcpy)\n", mode, slow, slow / copy);
            for (const Candidate& c : candidates) {
                const double fast = Rate(passOf(c.tint), source, scratch, repetitions);
                std::printf("    %-22s %-20s %9.0f (%.2fx memcpy, %.1fx literal)\n", mode, c.name.c_str(), fast,
                            fast / copy, fast / slow);
            }
        }
    }
}

}  // namespace bench
