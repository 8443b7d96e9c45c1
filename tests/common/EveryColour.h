// Every RGB value once, the guide colours they are checked with, and the
// literal tint loop's bytes to check against: shared by the kernel tests and
// the tests of the exports.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "colorize/Tint.h"
#include "colorize/TintKernel.h"
#include "tests/common/TestArguments.h"

inline const int kSide = 4096;  // kSide * kSide = every RGB value once
inline const uint32_t kCanary = 0xDEADBEEFu;

inline uint32_t Lcg(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state;
}

// Every RGB value, in order, with a random alpha.
inline const std::vector<uint32_t>& AllColours() {
    static const std::vector<uint32_t> pixels = [] {
        std::vector<uint32_t> v(size_t(kSide) * kSide);
        uint32_t state = 12345;
        for (uint32_t i = 0; i < v.size(); ++i) v[i] = (Lcg(state) & 0xFF000000u) | i;
        return v;
    }();
    return pixels;
}

inline void Literal(const std::vector<uint32_t>& source, GuideColor guide, std::vector<uint32_t>& out) {
    out.resize(source.size());
    TintRowLiteral(source.data(), out.data(), int(source.size()), PrepareTintKernel(PrepareTint(guide)));
}

inline std::string Describe(GuideColor g) {
    return "guide B,G,R " + std::to_string(g.blue) + "," + std::to_string(g.green) + "," + std::to_string(g.red);
}

// Reports the first few differing pixels.
inline ::testing::AssertionResult SamePixels(const std::vector<uint32_t>& expected, const std::vector<uint32_t>& actual,
                                      const std::vector<uint32_t>& source) {
    if (expected.size() == actual.size() &&
        std::memcmp(expected.data(), actual.data(), expected.size() * sizeof(uint32_t)) == 0)
        return ::testing::AssertionSuccess();
    ::testing::AssertionResult failure = ::testing::AssertionFailure();
    int shown = 0;
    for (size_t i = 0; i < expected.size() && shown < 5; ++i)
        if (expected[i] != actual[i]) {
            char line[96];
            std::snprintf(line, sizeof line, "\n  pixel %zu source %08X expected %08X actual %08X", i, source[i],
                          expected[i], actual[i]);
            failure << line;
            ++shown;
        }
    return failure;
}

inline std::vector<GuideColor> ExhaustiveGuides() {
    std::vector<GuideColor> guides = {
        {0, 0, 255},      // red
        {0, 0, 0},        // black
        {255, 255, 255},  // white
        {90, 200, 30},    // asymmetric
        {255, 0, 128},    // asymmetric, blue and red far apart
        {1, 1, 1},       {127, 127, 127}, {128, 128, 128}, {254, 254, 254},
        {255, 0, 0},      // blue
        {0, 255, 0},      // green
    };
    uint32_t state = 777;
    for (int i = 0; i < 4; ++i) {
        const uint32_t v = Lcg(state);
        guides.push_back({uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
    }
    // --guides=N keeps the first N, the extremes and the asymmetric ones
    // first: where a pass over every colour takes many seconds (emulated).
    const int kept = TestArgument("guides", static_cast<int>(guides.size()));
    guides.resize(std::min(guides.size(), size_t(std::max(1, kept))));
    return guides;
}
