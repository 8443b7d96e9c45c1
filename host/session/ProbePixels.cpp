#include "host/session/ProbePixels.h"

#include <cstdio>

uint32_t Canary(int x, int y) { return 0xC0000000u ^ (uint32_t(y) << 16) ^ (uint32_t(x) * 0x9E37u); }

uint32_t Pattern(int x, int y) {
    uint32_t v = uint32_t(x) * 0x9E3779B1u ^ uint32_t(y) * 0x85EBCA77u;
    v ^= v >> 15;
    return v * 0x2C1B3C6Du;
}

std::string HexPixel(uint32_t pixel) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(pixel));
    return text;
}

bool Inside(const FilterRect& r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }
