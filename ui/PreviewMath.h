// The preview's arithmetic, free of windows.h so it also builds natively:
// checkerboard compositing, placement and panning limits, the error text.
#pragma once

#include <cstddef>
#include <cstdint>

// The background level under buffer position x, y: 8x8 squares, white at the
// top-left, light grey beside it. Fixed to the control, not to the image.
int CheckerLevel(int x, int y);

// One pixel over the checkerboard, as the buffer word 0x00RRGGBB. bgr points
// at blue, green, red; alpha is 0..255.
uint32_t CompositePixel(int x, int y, const unsigned char* bgr, int alpha);

// A COLORREF (0x00BBGGRR) as a buffer word (0x00RRGGBB).
uint32_t ColorRefToWord(uint32_t colorRef);

// One axis of a paint: where the visible part starts in the buffer, and how
// large it is. An image that fits is centred and shown from its first pixel,
// so scroll is reset to 0; otherwise it fills the control from scroll on.
struct AxisPlacement {
    int destination;
    int size;
};
AxisPlacement PlaceAxis(bool fits, int controlSize, int imageSize, int& scroll);

// Keeps scroll so that the image covers the control: the upper limit is
// tested first, so an image smaller than the control gives the negative
// imageSize - controlSize.
int ClampScroll(int scroll, int imageSize, int controlSize);

// "preview error!\nerror number:<n>" with the full-width "!" in CP932; always
// terminated within size bytes. Returns the length written.
int FormatPreviewError(char* text, size_t size, int error);
