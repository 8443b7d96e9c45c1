#include "colorize/GuideColorModel.h"

const double kHueCorners[7][3] = {
    {255, 0, 0},    // red
    {255, 255, 0},  // yellow
    {0, 255, 0},    // green
    {0, 255, 255},  // cyan
    {0, 0, 255},    // blue
    {255, 0, 255},  // magenta
    {255, 0, 0},    // red
};

namespace {
int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }
}  // namespace

void HueSatToRgb(int x, int y, uint8_t* red, uint8_t* green, uint8_t* blue) {
    x = Clamp255(x);
    y = Clamp255(y);
    const int seg = static_cast<int>(x * 0.0234375);
    const double frac = (x - seg * 42.666666666666664) * 0.0234375;
    const double s = y * 0.00390625;
    const double base = (1.0 - s) * 255.0;
    uint8_t* out[3] = {red, green, blue};
    for (int c = 0; c < 3; ++c) {
        const double hue = (1.0 - frac) * kHueCorners[seg][c] + frac * kHueCorners[seg + 1][c];
        *out[c] = static_cast<uint8_t>(static_cast<int>(base + s * hue));
    }
}
