#include "ui/Spectrum.h"

#include "colorize/GuideColorModel.h"

namespace {

int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// 1 / 0.587: green from the luma of the other two.
constexpr double kGreenFromLuma = 1.7035775127768313;

}  // namespace

void SpectrumColumnHue(int col, int width, double hue[3]) {
    const double d = col * 6.0 / width;
    int e = static_cast<int>(d);
    const double frac = d - e;
    // Only a column outside the field could leave the corner table.
    if (e < 0) e = 0;
    if (e > 5) e = 5;
    for (int c = 0; c < 3; ++c) hue[c] = (1.0 - frac) * kHueCorners[e][c] + frac * kHueCorners[e + 1][c];
}

SpectrumRgb SpectrumColor(const double hue[3], int row, int height) {
    const double f = height > 1 ? row / static_cast<double>(height - 1) : 0.0;
    int v[3];
    for (int c = 0; c < 3; ++c) v[c] = static_cast<uint8_t>(static_cast<int>((1.0 - f) * hue[c] + 255.0 * f));
    const double yv = (0.587 * v[1] + 0.299 * v[0]) + 0.114 * v[2];
    const int r = static_cast<int>((v[0] - yv) + 127.0);
    const int b = static_cast<int>((v[2] - yv) + 127.0);
    // Solved from the truncated, unclamped red and blue.
    const int g = static_cast<int>(((127.0 - 0.299 * r) - 0.114 * b) * kGreenFromLuma);
    return {static_cast<uint8_t>(Clamp255(r)), static_cast<uint8_t>(Clamp255(g)), static_cast<uint8_t>(Clamp255(b))};
}

SpectrumRgb SpectrumPixel(int col, int row, int width, int height) {
    double hue[3];
    SpectrumColumnHue(col, width, hue);
    return SpectrumColor(hue, row, height);
}

int MarkerXFor(int x, int width) { return Clamp255(x) * width / 255; }

int MarkerYFor(int y, int height) { return (255 - Clamp255(y)) * height / 255; }

int PickXAt(int x, int width) { return Clamp255(x * 255 / width); }

int PickYAt(int y, int height) { return Clamp255((height - y) * 255 / height); }
