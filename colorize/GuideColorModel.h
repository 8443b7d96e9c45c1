// Picker position (X hue, Y saturation, each 0..255) to guide colour.
#pragma once

#include <cstdint>

constexpr int kDefaultPickerX = 0;
constexpr int kDefaultPickerY = 255;

// Red, green, blue of the seven hue corners, red again at both ends.
extern const double kHueCorners[7][3];

// X and Y outside 0..255 are clamped first, so any integers are safe.
void HueSatToRgb(int x, int y, uint8_t* red, uint8_t* green, uint8_t* blue);

// A stored coordinate outside 0..255 is replaced by the given start value,
// the same way the set-up dialog treats it when it opens.
inline int PickerValueOr(int value, int fallback) {
    return value < 0 || value > 255 ? fallback : value;
}
