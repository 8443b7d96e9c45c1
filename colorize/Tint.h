// Luminance-preserving tint: every pixel keeps its luma and takes the chroma
// of one guide colour. Pixels are 32-bit words, bytes blue, green, red, alpha.
#pragma once

#include <cstdint>

#include "plugin/HostTypes.h"

// Pixel order: blue, green, red.
struct GuideColor {
    uint8_t blue;
    uint8_t green;
    uint8_t red;
};

// The per-call constants of the formula.
struct TintGuide {
    double dR;
    double dB;
    double k;
};

TintGuide PrepareTint(GuideColor guide);

// The two luma summation orders in use. They may differ in the last bit, so
// the filter and the preview each keep their own.
inline double LumaFilterOrder(int b, int g, int r) {
    return (b * 0.114 + g * 0.587) + r * 0.299;
}
inline double LumaPreviewOrder(int b, int g, int r) {
    return (g * 0.587 + r * 0.299) + b * 0.114;
}

inline uint8_t ClampToByte(int v) {
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// Writes blue, green, red of the tinted colour of a pixel with luma y.
inline void TintPixel(double y, const TintGuide& t, uint8_t out[3]) {
    out[0] = ClampToByte(static_cast<int>(t.dB + y));
    out[1] = ClampToByte(static_cast<int>(y - t.k));
    out[2] = ClampToByte(static_cast<int>(t.dR + y));
}

// The tint of one pixel word, as the filter computes it; alpha is kept.
inline uint32_t TintWord(uint32_t pixel, const TintGuide& t) {
    const int b = pixel & 0xFF;
    const int g = (pixel >> 8) & 0xFF;
    const int r = (pixel >> 16) & 0xFF;
    uint8_t bgr[3];
    TintPixel(LumaFilterOrder(b, g, r), t, bgr);
    return (pixel & 0xFF000000u) | (uint32_t(bgr[2]) << 16) | (uint32_t(bgr[1]) << 8) | bgr[0];
}

// Tints count pixels of one row. source may equal destination.
void TintRow(const uint32_t* source, uint32_t* destination, int count, const TintGuide& t);

// Tints rect of source into the same place of destination (which may be the
// same buffer), both with the given stride in pixels, and reports progress
// after each row. The region must lie inside both buffers.
void ColorizeRegion(const void* source, void* destination, const FilterRect& rect, int stride,
                    ProgressSink& sink, GuideColor guide);
