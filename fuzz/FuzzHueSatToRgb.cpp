// Any X and Y: no read outside the corner table, and out-of-range values give
// the colour of the nearest edge.
#include <cstdlib>

#include "colorize/GuideColorModel.h"
#include "fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const int x = in.Take<int32_t>(), y = in.Take<int32_t>();
    uint8_t r, g, b, cr, cg, cb;
    HueSatToRgb(x, y, &r, &g, &b);
    HueSatToRgb(x < 0 ? 0 : x > 255 ? 255 : x, y < 0 ? 0 : y > 255 ? 255 : y, &cr, &cg, &cb);
    if (r != cr || g != cg || b != cb) std::abort();
    // A stored position runs as the dialog opens it: always inside the field.
    const int px = PickerValueOr(x, kDefaultPickerX), py = PickerValueOr(y, kDefaultPickerY);
    if (px < 0 || px > 255 || py < 0 || py > 255) std::abort();
    return 0;
}
