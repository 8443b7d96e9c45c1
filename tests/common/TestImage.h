// A host-style pixel buffer for the run tests: random pixels inside a region,
// a fixed canary pattern everywhere else, and a comparison that names the
// first wrong pixels.
#pragma once

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "plugin/HostTypes.h"
#include "tests/common/ReferenceTint.h"

using Region = FilterRect;

class TestImage {
public:
    TestImage(int stride, int rows) : stride(stride), rows(rows), pixels(static_cast<size_t>(stride) * rows) {}

    // Every pixel gets a value that depends on its place only, so a write
    // to the wrong place shows.
    static uint32_t Canary(int x, int y) { return 0xC0000000u ^ (uint32_t(y) << 16) ^ (uint32_t(x) * 0x9E37u); }

    void FillCanary() {
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < stride; ++x) At(x, y) = Canary(x, y);
    }

    void FillRandom(const Region& r, uint32_t seed) {
        std::mt19937 random(seed);
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) At(x, y) = static_cast<uint32_t>(random());
    }

    uint32_t& At(int x, int y) { return pixels[static_cast<size_t>(x) + static_cast<size_t>(y) * stride]; }
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(x) + static_cast<size_t>(y) * stride]; }
    void* Data() { return pixels.data(); }

    // Inside r every pixel must be the tint of the same pixel of source,
    // everywhere else it must equal outside. Returns "" when all match, else
    // the count and the first wrong pixels, expected against actual.
    std::string Compare(const TestImage& source, const TestImage& outside, const Region& r,
                        ReferenceGuide guide) const {
        std::string report;
        int wrong = 0;
        for (int y = 0; y < rows; ++y) {
            for (int x = 0; x < stride; ++x) {
                const bool inside = x >= r.left && x < r.right && y >= r.top && y < r.bottom;
                const uint32_t want = inside ? ReferenceTint(source.At(x, y), guide) : outside.At(x, y);
                const uint32_t got = At(x, y);
                if (want == got) continue;
                if (++wrong <= 8) {
                    char line[128];
                    std::snprintf(line, sizeof line, "  (%d,%d) %s: source %08X expected %08X actual %08X\n", x, y,
                                  inside ? "inside" : "outside", source.At(x, y), want, got);
                    report += line;
                }
            }
        }
        if (wrong) report = std::to_string(wrong) + " wrong pixels, first ones:\n" + report;
        return report;
    }

    const int stride;
    const int rows;

private:
    std::vector<uint32_t> pixels;
};
