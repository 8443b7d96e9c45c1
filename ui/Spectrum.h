// The colour field's picture and its mapping between client positions and
// picker values. Plain arithmetic, so it builds and is tested natively.
#pragma once

#include <cstdint>

struct SpectrumRgb {
    uint8_t red;
    uint8_t green;
    uint8_t blue;
};

// The hue of column col in a field width pixels wide, red, green, blue.
// width must be at least 1.
void SpectrumColumnHue(int col, int width, double hue[3]);

// The colour shown at row of a field height pixels high, in a column of the
// given hue: the hue at the top, white at the bottom, carried to mid grey.
// A field one pixel high shows only its top row.
SpectrumRgb SpectrumColor(const double hue[3], int row, int height);

// SpectrumColor(SpectrumColumnHue(col, width), row, height).
SpectrumRgb SpectrumPixel(int col, int row, int width, int height);

// Centre of the marker for picker values X, Y in a width x height field.
// Values outside 0..255 are clamped first.
int MarkerXFor(int x, int width);
int MarkerYFor(int y, int height);

// Picker values under a client position. The field must be at least 1x1;
// the results are clamped to 0..255.
int PickXAt(int x, int width);
int PickYAt(int y, int height);
