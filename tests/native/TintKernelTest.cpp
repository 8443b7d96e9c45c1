#include "colorize/TintKernel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "colorize/Tint.h"
#include "tests/common/EveryColour.h"

namespace {

// Forces each kernel in turn and puts back the machine's choice afterwards.
class TintKernels : public ::testing::TestWithParam<TintKernelKind> {
protected:
    void SetUp() override {
        saved = ActiveTintKernelKind();
        const TintKernelKind kind = GetParam();
        ASSERT_TRUE(BuiltTintKernel(kind)) << TintKernelName(kind) << " is not built for this target";
        if (!CpuRunsTintKernel(kind)) GTEST_SKIP() << "this CPU or OS has no " << TintKernelName(kind);
        ASSERT_TRUE(UseTintKernel(kind));
    }
    void TearDown() override { UseTintKernel(saved); }
    TintKernelKind saved = TintKernelKind::Literal;
};


// Rows that end in every remainder, starts off any vector boundary, and
// lots of pixels where the fixed point must hand over to the doubles.
TEST_P(TintKernels, SubRectanglesTouchOnlyTheirPixels) {
    const int stride = 203, rows = 9;
    std::vector<uint32_t> source(size_t(stride) * rows);
    uint32_t state = 99;
    for (uint32_t& p : source) {
        const uint32_t v = Lcg(state);
        const uint32_t grey = v >> 24;
        p = (v & 0x3) ? (v & 0xFF000000u) | grey << 16 | grey << 8 | grey : v;
    }
    const GuideColor guides[] = {{128, 128, 128}, {0, 0, 255}, {90, 200, 30}};
    for (const GuideColor guide : guides)
        for (int left : {0, 1, 3, 5, 8, 13})
            for (int width = 0; width <= 40 && left + width <= stride; ++width)
                for (int extra : {0, 150}) {
                    if (left + width + extra > stride) continue;
                    const FilterRect rect = {left, 2, left + width + extra, 7};
                    SCOPED_TRACE(Describe(guide) + " left " + std::to_string(rect.left) + " right " +
                                 std::to_string(rect.right));
                    const TintKernelParams p = PrepareTintKernel(PrepareTint(guide));
                    std::vector<uint32_t> expectedSeparate(source.size(), kCanary), expectedInPlace = source;
                    for (int y = rect.top; y < rect.bottom; ++y) {
                        const size_t at = size_t(y) * stride + rect.left;
                        TintRowLiteral(&source[at], &expectedSeparate[at], rect.right - rect.left, p);
                        TintRowLiteral(&source[at], &expectedInPlace[at], rect.right - rect.left, p);
                    }
                    ProgressSink sink = {nullptr, nullptr, 0};
                    std::vector<uint32_t> separate(source.size(), kCanary), inPlace = source;
                    ColorizeRegion(source.data(), separate.data(), rect, stride, sink, guide);
                    ColorizeRegion(inPlace.data(), inPlace.data(), rect, stride, sink, guide);
                    ASSERT_TRUE(SamePixels(expectedSeparate, separate, source)) << "separate destination";
                    ASSERT_TRUE(SamePixels(expectedInPlace, inPlace, source)) << "in place";

                    // Streamed, as ColorizeRegion does for large regions.
                    TintKernelParams streamed = p;
                    streamed.stream = true;
                    std::fill(separate.begin(), separate.end(), kCanary);
                    for (int y = rect.top; y < rect.bottom; ++y) {
                        const size_t at = size_t(y) * stride + rect.left;
                        ActiveTintKernel()(&source[at], &separate[at], rect.right - rect.left, streamed);
                    }
                    ASSERT_TRUE(SamePixels(expectedSeparate, separate, source)) << "streamed";
                }
}

// Guide values that no guide colour gives: the fixed point is off and the
// double formula still holds, bit for bit.
TEST_P(TintKernels, ArbitraryGuideValuesUseTheDoubles) {
    const TintGuide odd[] = {{0.3333, -12.25, 1e-3}, {178.7555, -76.2445, 76.2445}, {-300.0, 300.0, -0.0005}};
    std::vector<uint32_t> source(65536 + 7);
    uint32_t state = 5;
    for (uint32_t& p : source) p = Lcg(state);
    for (const TintGuide& t : odd) {
        const TintKernelParams p = PrepareTintKernel(t);
        EXPECT_FALSE(p.shortcut) << t.dR;
        std::vector<uint32_t> expected(source.size()), actual(source.size(), kCanary);
        TintRowLiteral(source.data(), expected.data(), int(source.size()), p);
        ActiveTintKernel()(source.data(), actual.data(), int(source.size()), p);
        EXPECT_TRUE(SamePixels(expected, actual, source)) << "dR " << t.dR;
        // TintRow takes the same road.
        std::fill(actual.begin(), actual.end(), kCanary);
        TintRow(source.data(), actual.data(), int(source.size()), t);
        EXPECT_TRUE(SamePixels(expected, actual, source)) << "TintRow, dR " << t.dR;
    }
}

INSTANTIATE_TEST_SUITE_P(Kernel, TintKernels,
                         ::testing::ValuesIn(kTintKernelKinds),
                         [](const ::testing::TestParamInfo<TintKernelKind>& info) {
                             std::string name = TintKernelName(info.param);
                             name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
                             return name;
                         });

// Each guide's reference is computed once and every vector kernel this
// machine runs is held against it, through ColorizeRegion.
TEST(TintKernelsExhaustive, EveryColourMatchesTheLiteralFormula) {
    ASSERT_TRUE(CpuHasSse2()) << "SSE2 missing";
    std::vector<TintKernelKind> kinds;
    for (const TintKernelKind kind : kTintKernelKinds) {
        if (kind == TintKernelKind::Literal) continue;
        ASSERT_TRUE(BuiltTintKernel(kind)) << TintKernelName(kind) << " kernel not built";
        if (CpuRunsTintKernel(kind))
            kinds.push_back(kind);
        else
            std::printf("this CPU or OS has no %s: its kernel is not checked\n", TintKernelName(kind));
    }
    const TintKernelKind saved = ActiveTintKernelKind();

    const std::vector<uint32_t>& source = AllColours();
    const FilterRect all = {0, 0, kSide, kSide};
    std::vector<uint32_t> expected, destination(source.size()), inPlace(source.size());
    for (const GuideColor guide : ExhaustiveGuides()) {
        SCOPED_TRACE(Describe(guide));
        Literal(source, guide, expected);
        for (const TintKernelKind kind : kinds) {
            SCOPED_TRACE(TintKernelName(kind));
            ASSERT_TRUE(UseTintKernel(kind));
            std::fill(destination.begin(), destination.end(), kCanary);
            ProgressSink sink = {nullptr, nullptr, 0};
            ColorizeRegion(source.data(), destination.data(), all, kSide, sink, guide);
            EXPECT_TRUE(SamePixels(expected, destination, source)) << "separate destination";

            std::memcpy(inPlace.data(), source.data(), source.size() * sizeof(uint32_t));
            ColorizeRegion(inPlace.data(), inPlace.data(), all, kSide, sink, guide);
            EXPECT_TRUE(SamePixels(expected, inPlace, source)) << "in place";
        }
    }
    UseTintKernel(saved);
}

uint64_t Fnv1a(const std::vector<uint32_t>& pixels) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (uint32_t p : pixels) h = (h ^ p) * 0x100000001b3ull;
    return h;
}

// The literal formula's bytes over every colour, pinned: a build that fuses
// multiply and add, or keeps doubles in x87 registers, moves some of the
// exact multiples of 1000 to the other integer, and the vector kernels are
// held against whatever the literal loop says.
TEST(TintKernelLiteral, EveryColourHasThePinnedBytes) {
    struct Pin {
        GuideColor guide;
        uint64_t hash;
    };
    const Pin pins[] = {
        {{0, 0, 255}, 0xdbd3f4d74c37a9ffull},
        {{128, 128, 128}, 0x45cf041e53fb4777ull},
        {{90, 200, 30}, 0x999d731283711b1cull},
        {{255, 0, 128}, 0x482f7719ef4e7e59ull},
    };
    std::vector<uint32_t> out;
    for (const Pin& pin : pins) {
        Literal(AllColours(), pin.guide, out);
        EXPECT_EQ(pin.hash, Fnv1a(out)) << std::hex << Describe(pin.guide);
    }
}

TEST(TintKernelLiteral, IsTintWord) {
    const std::vector<uint32_t>& source = AllColours();
    const GuideColor guide = {90, 200, 30};
    const TintGuide t = PrepareTint(guide);
    std::vector<uint32_t> literal;
    Literal(source, guide, literal);
    for (size_t i = 0; i < source.size(); i += 7)
        ASSERT_EQ(TintWord(source[i], t), literal[i]) << std::hex << source[i];
}

struct ParamsCase {
    GuideColor guide;
    int32_t s;
    uint32_t plus;
    uint32_t minus;
};

TEST(PrepareTintKernel, FixedPointConstants) {
    const ParamsCase cases[] = {
        // Red: 1000 Yc = 76245, so s = 755; m = 178 red, -77 green and blue.
        {{0, 0, 255}, 755, 0x00B20000, 0x00004D4D},
        // Greys: offsets zero.
        {{0, 0, 0}, 0, 0, 0},
        {{128, 128, 128}, 0, 0, 0},
        // Blue: 1000 Yc = 29070, s = 930; m = 225 blue, -30 green and red.
        {{255, 0, 0}, 930, 0x000000E1, 0x001E1E00},
    };
    for (const ParamsCase& c : cases) {
        const TintKernelParams p = PrepareTintKernel(PrepareTint(c.guide));
        EXPECT_TRUE(p.shortcut) << Describe(c.guide);
        EXPECT_EQ(c.s, p.s) << Describe(c.guide);
        EXPECT_EQ(c.plus, p.plus) << std::hex << Describe(c.guide);
        EXPECT_EQ(c.minus, p.minus) << std::hex << Describe(c.guide);
        EXPECT_EQ(c.s == 0, p.greys) << Describe(c.guide);
    }
}

TEST(TintKernelDispatch, PicksTheBestTheMachineRuns) {
    const TintKernelKind saved = ActiveTintKernelKind();
    UseTintKernel(TintKernelKind::Literal);
    // A fresh choice is what a first call would make.
    TintKernelKind best = TintKernelKind::Literal;
    for (const TintKernelKind kind : kTintKernelKinds)
        if (CpuRunsTintKernel(kind)) best = kind;
    EXPECT_TRUE(UseTintKernel(best));
    EXPECT_EQ(best, saved) << TintKernelName(saved);
    UseTintKernel(saved);
    std::printf("tint kernel in use: %s\n", TintKernelName(saved));
}

}  // namespace
