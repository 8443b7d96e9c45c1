// The sample image bundled with the project: a hue wheel, colour ramps, a hue
// bar and grey ramps. Plain C++, pixels as 32-bit words (blue, green, red,
// alpha from the low byte up), all opaque.
#pragma once

#include <cstdint>
#include <vector>

constexpr int kChartWidth = 512;
constexpr int kChartHeight = 384;

// kChartWidth x kChartHeight pixels, rows top-down, stride kChartWidth.
std::vector<uint32_t> DrawTestChart();

// Fully saturated colour of hue 0..360 (red at 0, green at 120, blue at 240)
// with saturation s and value v in 0..1, as a pixel word.
uint32_t HsvPixel(double hue, double s, double v);
