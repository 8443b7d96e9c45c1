// The tint written out once more, term by term, independent of the plug-in's
// sources, so the tests compare the exports against the formula itself.
#pragma once

#include <cstdint>

struct ReferenceGuide {
    uint8_t red;
    uint8_t green;
    uint8_t blue;
};

inline int ReferenceClamp(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// pixel: bytes blue, green, red, alpha (little-endian word).
inline uint32_t ReferenceTint(uint32_t pixel, ReferenceGuide guide) {
    const double bc = guide.blue, gc = guide.green, rc = guide.red;
    const double yc = (gc * 0.587 + rc * 0.299) + bc * 0.114;
    const double dR = rc - yc;
    const double dB = bc - yc;
    const double k = (dR * 0.299 + dB * 0.114) * 1.7035775127768313;

    const double b = pixel & 0xFF;
    const double g = (pixel >> 8) & 0xFF;
    const double r = (pixel >> 16) & 0xFF;
    const double y = (b * 0.114 + g * 0.587) + r * 0.299;

    const uint32_t r2 = static_cast<uint32_t>(ReferenceClamp(static_cast<int>(dR + y)));
    const uint32_t b2 = static_cast<uint32_t>(ReferenceClamp(static_cast<int>(dB + y)));
    const uint32_t g2 = static_cast<uint32_t>(ReferenceClamp(static_cast<int>(y - k)));
    return (pixel & 0xFF000000u) | r2 << 16 | g2 << 8 | b2;
}
