// Settings values as the profile functions hand them back (an unsigned int
// from whatever the file holds): the position a run or the dialog uses is
// always inside the field, and the guide colour is that position's.
#include <cstdlib>

#include "colorize/GuideColorModel.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const int x = static_cast<int32_t>(in.Take<uint32_t>());
    const int y = static_cast<int32_t>(in.Take<uint32_t>());
    const int px = PickerValueOr(x, kDefaultPickerX), py = PickerValueOr(y, kDefaultPickerY);
    if (px < 0 || px > 255 || py < 0 || py > 255) std::abort();
    if ((x >= 0 && x <= 255 && px != x) || (y >= 0 && y <= 255 && py != y)) std::abort();
    uint8_t r, g, b, r2, g2, b2;
    HueSatToRgb(px, py, &r, &g, &b);
    HueSatToRgb(px, py, &r2, &g2, &b2);
    if (r != r2 || g != g2 || b != b2) std::abort();
    // Saturation 0 is white whatever the hue.
    if (py == 0 && (r != 255 || g != 255 || b != 255)) std::abort();
    return 0;
}
