#include "colorize/GuideColorModel.h"

#include <gtest/gtest.h>

namespace {

struct GuideCase {
    int x, y;
    int red, green, blue;
};

TEST(HueSatToRgb, ExactValues) {
    const GuideCase cases[] = {
        {0, 255, 255, 0, 0},     {0, 0, 255, 255, 255},   {64, 128, 191, 255, 127}, {128, 255, 0, 255, 255},
        {170, 255, 0, 4, 255},   {200, 100, 223, 155, 255}, {255, 255, 255, 0, 6},
        {42, 255, 255, 251, 0},  {43, 255, 253, 255, 0},  {255, 0, 255, 255, 255},
        // Out of range is clamped to the nearest edge first.
        {300, -5, 255, 255, 255}, {-1, 256, 255, 0, 0},    {256, 255, 255, 0, 6},
        {INT32_MIN, INT32_MAX, 255, 0, 0}, {INT32_MAX, INT32_MIN, 255, 255, 255},
    };
    for (const GuideCase& c : cases) {
        uint8_t r = 1, g = 2, b = 3;
        HueSatToRgb(c.x, c.y, &r, &g, &b);
        EXPECT_EQ(c.red, r) << "X " << c.x << " Y " << c.y;
        EXPECT_EQ(c.green, g) << "X " << c.x << " Y " << c.y;
        EXPECT_EQ(c.blue, b) << "X " << c.x << " Y " << c.y;
    }
}

TEST(HueSatToRgb, WhiteAtYZeroForEveryX) {
    for (int x = 0; x < 256; ++x) {
        uint8_t r, g, b;
        HueSatToRgb(x, 0, &r, &g, &b);
        EXPECT_EQ(255, r);
        EXPECT_EQ(255, g);
        EXPECT_EQ(255, b);
    }
}

TEST(PickerValueOr, OutOfRangeTakesTheStartValue) {
    EXPECT_EQ(0, PickerValueOr(300, kDefaultPickerX));
    EXPECT_EQ(255, PickerValueOr(-5, kDefaultPickerY));
    EXPECT_EQ(0, PickerValueOr(0, 17));
    EXPECT_EQ(255, PickerValueOr(255, 17));
    EXPECT_EQ(17, PickerValueOr(256, 17));
    EXPECT_EQ(17, PickerValueOr(-1, 17));
}

}  // namespace
