// The preview's arithmetic: compositing over the checkerboard, placement,
// the panning limits and the error text, byte for byte.
#include "ui/PreviewMath.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct CompositeCase {
    int x, y;
    unsigned char bgr[3];
    int alpha;
    uint32_t expected;
    const char* what;
};

TEST(PreviewMath, CompositePixel) {
    const CompositeCase cases[] = {
        {0, 0, {1, 2, 3}, 0, 0xFFFFFF, "alpha 0 on white"},
        {7, 7, {1, 2, 3}, 0, 0xFFFFFF, "last pixel of the first square"},
        {8, 0, {1, 2, 3}, 0, 0xC0C0C0, "grey beside it"},
        {0, 8, {1, 2, 3}, 0, 0xC0C0C0, "grey below it"},
        {8, 8, {1, 2, 3}, 0, 0xFFFFFF, "white diagonal"},
        {16, 0, {1, 2, 3}, 0, 0xFFFFFF, "white at 16"},
        {15, 31, {1, 2, 3}, 0, 0xFFFFFF, "15 ^ 31 has no 8 bit"},
        {0, 0, {0x12, 0x34, 0x56}, 255, 0x563412, "opaque keeps its colour, red high"},
        {9, 3, {0x12, 0x34, 0x56}, 255, 0x563412, "opaque over grey"},
        {0, 0, {0, 0, 0}, 128, 0x7F7F7F, "black 128 over white: 127"},
        {8, 0, {0, 0, 0}, 128, 0x5F5F5F, "black 128 over grey: 95"},
        {8, 0, {255, 255, 255}, 128, 0xDFDFDF, "white 128 over grey: 223"},
        {0, 0, {0, 100, 200}, 128, 0xE3B17F, "per channel, truncated"},
        {8, 0, {255, 0, 0}, 1, 0xBFBFC0, "alpha 1 over grey"},
        {0, 0, {0, 0, 0}, 254, 0x010101, "alpha 254 black over white"},
    };
    for (const CompositeCase& c : cases) {
        uint32_t got = CompositePixel(c.x, c.y, c.bgr, c.alpha);
        EXPECT_EQ(c.expected, got) << c.what << std::hex << ": expected 0x" << c.expected << ", got 0x" << got;
    }
}

TEST(PreviewMath, CheckerboardIsFixedToTheBuffer) {
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const bool grey = ((x / 8) + (y / 8)) % 2 == 1;
            ASSERT_EQ(grey ? 192 : 255, CheckerLevel(x, y)) << x << "," << y;
        }
}

TEST(PreviewMath, WindowColourWord) {
    // COLORREF red 0x30, green 0x20, blue 0x10: bytes in memory 0x10, 0x20, 0x30, 0.
    const uint32_t word = ColorRefToWord(0x00102030);
    EXPECT_EQ(0x00302010u, word);
    unsigned char bytes[4];
    std::memcpy(bytes, &word, 4);
    EXPECT_EQ(0x10, bytes[0]);
    EXPECT_EQ(0x20, bytes[1]);
    EXPECT_EQ(0x30, bytes[2]);
    EXPECT_EQ(0x00, bytes[3]);
    EXPECT_EQ(0x00FFFFFFu, ColorRefToWord(0x00FFFFFF));
    EXPECT_EQ(0x00000000u, ColorRefToWord(0x00000000));
    EXPECT_EQ(0x00CCBBAAu, ColorRefToWord(0xFFAABBCC)) << "the top byte is dropped";
}

struct PlaceCase {
    bool fits;
    int control, image, scrollIn;
    int destination, size, scrollOut;
};

TEST(PreviewMath, PlaceAxis) {
    const PlaceCase cases[] = {
        {true, 160, 100, 0, 30, 100, 0},    // 100 in 160: centred at 30
        {true, 120, 50, 0, 35, 50, 0},
        {true, 120, 50, -70, 35, 50, 0},   // a clamped negative scroll goes back to 0
        {true, 121, 50, 5, 35, 50, 0},     // odd difference rounds down
        {true, 160, 160, 0, 0, 160, 0},    // exactly as large: at 0
        {false, 160, 400, 37, 0, 160, 37}, // larger: scroll kept
        {false, 160, 161, 1, 0, 160, 1},
    };
    for (const PlaceCase& c : cases) {
        int scroll = c.scrollIn;
        AxisPlacement p = PlaceAxis(c.fits, c.control, c.image, scroll);
        EXPECT_EQ(c.destination, p.destination) << c.control << "/" << c.image;
        EXPECT_EQ(c.size, p.size) << c.control << "/" << c.image;
        EXPECT_EQ(c.scrollOut, scroll) << c.control << "/" << c.image;
    }
}

struct ClampCase {
    int scroll, image, control, expected;
};

TEST(PreviewMath, ClampScroll) {
    const ClampCase cases[] = {
        {10, 400, 160, 10},  {0, 400, 160, 0},     {-10, 400, 160, 0},  {240, 400, 160, 240},
        {241, 400, 160, 240}, {1020, 400, 160, 240}, {0, 50, 120, -70},  // smaller: the upper limit wins
        {-20, 50, 120, -70}, {-70, 50, 120, 0},    {-90, 50, 120, 0},   {0, 160, 160, 0},
        {1, 160, 160, 0},    {-1, 160, 160, 0},
    };
    for (const ClampCase& c : cases)
        EXPECT_EQ(c.expected, ClampScroll(c.scroll, c.image, c.control))
            << "scroll " << c.scroll << ", image " << c.image << ", control " << c.control;
}

TEST(PreviewMath, ErrorText) {
    char text[512];
    std::memset(text, 0x7E, sizeof text);
    int n = FormatPreviewError(text, sizeof text, 6);
    const char expected[] = "preview error\x81\x49\nerror number:6";
    EXPECT_EQ(std::string(expected), std::string(text));
    EXPECT_EQ(static_cast<int>(sizeof expected - 1), n);
    EXPECT_EQ(0x7E, static_cast<unsigned char>(text[n + 1])) << "wrote past the terminator";

    FormatPreviewError(text, sizeof text, -2147483647 - 1);
    EXPECT_EQ(std::string("preview error\x81\x49\nerror number:-2147483648"), std::string(text));

    // A short buffer is cut and terminated, never overrun.
    char small[12];
    std::memset(small, 0x7E, sizeof small);
    n = FormatPreviewError(small, 8, 5);
    EXPECT_EQ(std::string("preview"), std::string(small));
    EXPECT_EQ(7, n);
    EXPECT_EQ(0x7E, static_cast<unsigned char>(small[8]));
}

}  // namespace
