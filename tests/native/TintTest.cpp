#include "colorize/Tint.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

uint32_t Pixel(int r, int g, int b, int a = 0xFF) { return uint32_t(a) << 24 | r << 16 | g << 8 | b; }

const GuideColor kRed = {0, 0, 255};

struct TintCase {
    GuideColor guide;
    uint32_t in;
    uint32_t out;
};

TEST(TintWord, ExactValues) {
    const TintCase cases[] = {
        {kRed, Pixel(255, 255, 255), Pixel(255, 178, 178)},
        {kRed, Pixel(0, 0, 0), Pixel(178, 0, 0)},
        {kRed, Pixel(100, 150, 200), Pixel(255, 64, 64)},
        // Alpha is carried whatever it is.
        {kRed, Pixel(0, 0, 0, 0x00), Pixel(178, 0, 0, 0x00)},
        {kRed, Pixel(0, 0, 0, 0x7F), Pixel(178, 0, 0, 0x7F)},
        // Black and white guides leave a grey of the pixel's own luma.
        {{0, 0, 0}, Pixel(100, 150, 200), Pixel(140, 140, 140)},
        {{255, 255, 255}, Pixel(100, 150, 200), Pixel(140, 140, 140)},
        // A blue guide from a host: blue channel lifted, red and green lowered.
        {{255, 0, 0}, Pixel(128, 128, 128), Pixel(98, 98, 255)},
    };
    for (const TintCase& c : cases) {
        const TintGuide t = PrepareTint(c.guide);
        EXPECT_EQ(c.out, TintWord(c.in, t)) << std::hex << "in " << c.in << " guide " << int(c.guide.red) << ","
                                            << int(c.guide.green) << "," << int(c.guide.blue);
    }
}

TEST(PrepareTint, RedGuideConstants) {
    const TintGuide t = PrepareTint(kRed);
    EXPECT_DOUBLE_EQ(178.755, t.dR);
    EXPECT_DOUBLE_EQ(-76.245, t.dB);
    EXPECT_NEAR(76.245, t.k, 1e-9);
}

TEST(TintWord, GreyGuidesGiveTheLumaGrey) {
    for (int level : {0, 1, 64, 127, 128, 200, 255}) {
        const TintGuide t = PrepareTint({uint8_t(level), uint8_t(level), uint8_t(level)});
        for (uint32_t rgb = 0; rgb < 0x1000000; rgb += 4099) {
            const uint32_t out = TintWord(rgb, t);
            const int y = int(LumaFilterOrder(rgb & 0xFF, rgb >> 8 & 0xFF, rgb >> 16));
            for (int shift : {0, 8, 16}) {
                const int c = out >> shift & 0xFF;
                EXPECT_LE(std::abs(c - y), 1) << "guide " << level << " pixel " << std::hex << rgb;
            }
        }
    }
}

TEST(Luma, SummationOrdersAreKeptApart) {
    // The two orders are different sums of the same products: find a pixel
    // where they round apart, to prove that neither collapses into the other.
    bool differ = false;
    for (int v = 0; v < 0x1000000 && !differ; v += 7)
        differ = LumaFilterOrder(v & 0xFF, v >> 8 & 0xFF, v >> 16) != LumaPreviewOrder(v & 0xFF, v >> 8 & 0xFF, v >> 16);
    EXPECT_TRUE(differ);
}

// Records every progress call.
struct Recorder {
    std::vector<int> calls;
    static int PPI_CALLBACK Callback(int done, int total, void* user) {
        EXPECT_EQ(100, total);
        static_cast<Recorder*>(user)->calls.push_back(done);
        return 7;
    }
};

struct ProgressCase {
    FilterRect rect;
    std::vector<int> calls;
};

TEST(ColorizeRegion, ProgressPerRow) {
    const ProgressCase cases[] = {
        {{0, 0, 2, 1}, {}},
        {{0, 0, 2, 3}, {33, 66}},
        {{0, 0, 2, 4}, {25, 50, 75}},
        {{1, 2, 2, 6}, {25, 50, 75}},
        // No columns still steps through the rows; no rows makes no call.
        {{2, 0, 2, 4}, {25, 50, 75}},
        {{2, 0, 1, 4}, {25, 50, 75}},
        {{0, 3, 2, 3}, {}},
        {{0, 4, 2, 0}, {}},
        {{0, 0, 1, 200}, [] {
             std::vector<int> v;
             for (int p = 1; p < 100; ++p) v.push_back(p);
             return v;
         }()},
    };
    std::vector<uint32_t> buffer(4 * 200, Pixel(1, 2, 3));
    for (const ProgressCase& c : cases) {
        Recorder recorder;
        ProgressSink sink = {&recorder, &Recorder::Callback, 0};
        ColorizeRegion(buffer.data(), buffer.data(), c.rect, 4, sink, kRed);
        EXPECT_EQ(c.calls, recorder.calls) << "rect " << c.rect.left << "," << c.rect.top << "," << c.rect.right << ","
                                           << c.rect.bottom;
    }
}

TEST(ColorizeRegion, NullCallbackLeavesLastPercent) {
    uint32_t pixels[4] = {};
    ProgressSink sink = {nullptr, nullptr, 0};
    ColorizeRegion(pixels, pixels, {0, 0, 1, 4}, 1, sink, kRed);
    EXPECT_EQ(0, sink.lastPercent);
}

TEST(ColorizeRegion, TouchesOnlyTheRegion) {
    const int stride = 9, rows = 6;
    const FilterRect rect = {2, 1, 7, 5};
    std::vector<uint32_t> source(stride * rows), destination(stride * rows, 0xCAFEF00Du);
    for (size_t i = 0; i < source.size(); ++i) source[i] = uint32_t(i * 2654435761u);
    ProgressSink sink = {nullptr, nullptr, 0};
    ColorizeRegion(source.data(), destination.data(), rect, stride, sink, {30, 200, 90});

    const TintGuide t = PrepareTint({30, 200, 90});
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < stride; ++x) {
            const bool inside = x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
            const size_t i = y * stride + x;
            EXPECT_EQ(inside ? TintWord(source[i], t) : 0xCAFEF00Du, destination[i]) << x << "," << y;
        }

    // In place gives the same pixels.
    std::vector<uint32_t> inPlace = source;
    ColorizeRegion(inPlace.data(), inPlace.data(), rect, stride, sink, {30, 200, 90});
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < stride; ++x) {
            const bool inside = x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
            const size_t i = y * stride + x;
            EXPECT_EQ(inside ? destination[i] : source[i], inPlace[i]) << x << "," << y;
        }
}

}  // namespace
