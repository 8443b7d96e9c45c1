#include "ui/PreviewMath.h"

#include <cstdio>

int CheckerLevel(int x, int y) { return ((x ^ y) & 8) ? 192 : 255; }

uint32_t CompositePixel(int x, int y, const unsigned char* bgr, int alpha) {
    const int bg = CheckerLevel(x, y);
    uint32_t out[3];
    for (int i = 0; i < 3; ++i) out[i] = static_cast<uint32_t>((bg * (255 - alpha) + alpha * bgr[i]) / 255);
    return out[2] << 16 | out[1] << 8 | out[0];
}

uint32_t ColorRefToWord(uint32_t colorRef) {
    return (colorRef & 0xFFu) << 16 | (colorRef & 0xFF00u) | (colorRef >> 16 & 0xFFu);
}

AxisPlacement PlaceAxis(bool fits, int controlSize, int imageSize, int& scroll) {
    if (fits) {
        scroll = 0;
        return {(controlSize - imageSize) / 2, imageSize};
    }
    return {0, controlSize};
}

int ClampScroll(int scroll, int imageSize, int controlSize) {
    if (imageSize - scroll < controlSize) return imageSize - controlSize;
    if (scroll < 0) return 0;
    return scroll;
}

int FormatPreviewError(char* text, size_t size, int error) {
    // "\x81\x49" is the full-width exclamation mark in CP932.
    int n = std::snprintf(text, size, "preview error\x81\x49\nerror number:%d", error);
    if (n < 0) {
        if (size) text[0] = '\0';
        return 0;
    }
    return static_cast<size_t>(n) < size ? n : static_cast<int>(size ? size - 1 : 0);
}
