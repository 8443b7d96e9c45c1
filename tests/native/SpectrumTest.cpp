#include "ui/Spectrum.h"

#include <gtest/gtest.h>

namespace {

struct FieldCase {
    int width, height, col, row;
    int red, green, blue;
};

TEST(SpectrumPixel, ExactValues) {
    const FieldCase cases[] = {
        // 6 x 2: every column on a corner colour, the bottom row mid grey.
        {6, 2, 0, 0, 255, 51, 50},   {6, 2, 1, 0, 156, 155, 0},   {6, 2, 2, 0, 0, 231, 0},
        {6, 2, 3, 0, 0, 202, 203},   {6, 2, 4, 0, 97, 98, 255},   {6, 2, 5, 0, 255, 22, 255},
        {6, 2, 0, 1, 127, 127, 127}, {6, 2, 1, 1, 127, 127, 127}, {6, 2, 2, 1, 127, 127, 127},
        {6, 2, 3, 1, 127, 127, 127}, {6, 2, 4, 1, 127, 127, 127}, {6, 2, 5, 1, 127, 127, 127},
        // Halfway down, red is 255, 127, 127 before the grey carry.
        {6, 3, 0, 1, 216, 89, 88},
        // Halfway from red to yellow.
        {12, 2, 1, 0, 231, 103, 0},
        // A field one pixel high shows its top row, not a division by zero.
        {6, 1, 0, 0, 255, 51, 50},
    };
    for (const FieldCase& c : cases) {
        const SpectrumRgb p = SpectrumPixel(c.col, c.row, c.width, c.height);
        EXPECT_EQ(c.red, p.red) << c.width << "x" << c.height << " at " << c.col << "," << c.row;
        EXPECT_EQ(c.green, p.green) << c.width << "x" << c.height << " at " << c.col << "," << c.row;
        EXPECT_EQ(c.blue, p.blue) << c.width << "x" << c.height << " at " << c.col << "," << c.row;
    }
}

TEST(SpectrumPixel, BottomRowIsMidGreyAcrossAWideField) {
    for (int col = 0; col < 162; ++col) {
        const SpectrumRgb p = SpectrumPixel(col, 80, 162, 81);
        EXPECT_EQ(127, p.red) << "col " << col;
        EXPECT_EQ(127, p.green) << "col " << col;
        EXPECT_EQ(127, p.blue) << "col " << col;
    }
}

TEST(SpectrumPixel, ColumnHueIsSharedByItsRows) {
    double hue[3];
    SpectrumColumnHue(37, 162, hue);
    for (int row = 0; row < 81; ++row) {
        const SpectrumRgb a = SpectrumColor(hue, row, 81);
        const SpectrumRgb b = SpectrumPixel(37, row, 162, 81);
        EXPECT_EQ(a.red, b.red);
        EXPECT_EQ(a.green, b.green);
        EXPECT_EQ(a.blue, b.blue);
    }
}

struct PickCase {
    int x, y;
    int pickX, pickY;
};

TEST(ColorFieldMapping, PicksIn162x81) {
    const PickCase cases[] = {
        {81, 40, 127, 129}, {0, 0, 0, 255}, {161, 80, 253, 3},
        // Outside the field (a position the system could hand over) stays in range.
        {-5, -3, 0, 255}, {170, 90, 255, 0},
    };
    for (const PickCase& c : cases) {
        EXPECT_EQ(c.pickX, PickXAt(c.x, 162)) << "x " << c.x;
        EXPECT_EQ(c.pickY, PickYAt(c.y, 81)) << "y " << c.y;
    }
}

struct MarkerCase {
    int x, y;
    int markerX, markerY;
};

TEST(ColorFieldMapping, MarkerIn162x81) {
    const MarkerCase cases[] = {
        {127, 129, 80, 40}, {0, 255, 0, 0}, {255, 0, 162, 81}, {253, 3, 160, 80},
        // Out-of-range text in a box cannot push the marker off the field.
        {300, -5, 162, 81}, {-1, 256, 0, 0},
    };
    for (const MarkerCase& c : cases) {
        EXPECT_EQ(c.markerX, MarkerXFor(c.x, 162)) << "X " << c.x;
        EXPECT_EQ(c.markerY, MarkerYFor(c.y, 81)) << "Y " << c.y;
    }
}

TEST(ColorFieldMapping, PickOfEveryColumnStaysInsideItsMarkerCell) {
    // A pick's marker never lands right of the pixel clicked.
    for (int col = 0; col < 162; ++col) {
        const int x = PickXAt(col, 162);
        EXPECT_LE(MarkerXFor(x, 162), col) << "col " << col;
        EXPECT_GE(MarkerXFor(x, 162), col - 1) << "col " << col;
    }
}

}  // namespace
