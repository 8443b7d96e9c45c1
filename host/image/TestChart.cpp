#include "host/image/TestChart.h"

#include <cmath>

namespace {

uint32_t Pixel(int red, int green, int blue) {
    return 0xFF000000u | (uint32_t(red) << 16) | (uint32_t(green) << 8) | uint32_t(blue);
}

int ToByte(double v) {
    const int b = static_cast<int>(v * 255.0 + 0.5);
    return b < 0 ? 0 : (b > 255 ? 255 : b);
}

const double kPi = 3.14159265358979323846;

// Left square: hue around the centre, saturation growing outwards.
void DrawHueWheel(std::vector<uint32_t>& px) {
    const double cx = 127.5, cy = 127.5, radius = 120.0;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const double dx = x - cx, dy = cy - y;
            const double r = std::sqrt(dx * dx + dy * dy);
            uint32_t& p = px[y * kChartWidth + x];
            if (r > radius) {
                // A checkerboard shows through where there is no wheel.
                p = ((x / 16 + y / 16) % 2) ? Pixel(96, 96, 96) : Pixel(160, 160, 160);
                continue;
            }
            double hue = std::atan2(dy, dx) * 180.0 / kPi;
            if (hue < 0) hue += 360.0;
            p = HsvPixel(hue, r / radius, 1.0);
        }
}

// Right square: six bands, black to the colour to white.
void DrawColorRamps(std::vector<uint32_t>& px) {
    static const int colors[6][3] = {{255, 0, 0}, {255, 255, 0}, {0, 255, 0},
                                     {0, 255, 255}, {0, 0, 255}, {255, 0, 255}};
    for (int y = 0; y < 256; ++y) {
        const int* c = colors[y * 6 / 256];
        for (int x = 0; x < 256; ++x) {
            int rgb[3];
            for (int i = 0; i < 3; ++i)
                rgb[i] = x < 128 ? c[i] * x / 127 : c[i] + (255 - c[i]) * (x - 128) / 127;
            px[y * kChartWidth + 256 + x] = Pixel(rgb[0], rgb[1], rgb[2]);
        }
    }
}

// Full-width hue bar, fading to grey at its bottom.
void DrawHueBar(std::vector<uint32_t>& px) {
    for (int y = 256; y < 320; ++y)
        for (int x = 0; x < kChartWidth; ++x)
            px[y * kChartWidth + x] = HsvPixel(x * 360.0 / kChartWidth, 1.0 - (y - 256) / 80.0, 1.0);
}

// A smooth grey ramp over a 16-step wedge.
void DrawGreyRamps(std::vector<uint32_t>& px) {
    for (int y = 320; y < kChartHeight; ++y)
        for (int x = 0; x < kChartWidth; ++x) {
            const int g = y < 352 ? x * 255 / (kChartWidth - 1) : (x * 16 / kChartWidth) * 17;
            px[y * kChartWidth + x] = Pixel(g, g, g);
        }
}

}  // namespace

uint32_t HsvPixel(double hue, double s, double v) {
    const double h = std::fmod(hue, 360.0) / 60.0;
    const int sector = static_cast<int>(h);
    const double f = h - sector;
    const double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    double r, g, b;
    switch (sector) {
        case 0: r = v, g = t, b = p; break;
        case 1: r = q, g = v, b = p; break;
        case 2: r = p, g = v, b = t; break;
        case 3: r = p, g = q, b = v; break;
        case 4: r = t, g = p, b = v; break;
        default: r = v, g = p, b = q; break;
    }
    return Pixel(ToByte(r), ToByte(g), ToByte(b));
}

std::vector<uint32_t> DrawTestChart() {
    std::vector<uint32_t> px(size_t(kChartWidth) * kChartHeight);
    DrawHueWheel(px);
    DrawColorRamps(px);
    DrawHueBar(px);
    DrawGreyRamps(px);
    return px;
}
