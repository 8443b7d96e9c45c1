// The colour field's pick and marker mapping on any position and field size:
// values stay in 0..255, the marker stays on the field's border or inside,
// and painting any pixel of the field reads inside the corner table.
#include <cstdlib>

#include "fuzz/FuzzInput.h"
#include "ui/Spectrum.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const int width = 1 + int(in.Below(4096)), height = 1 + int(in.Below(4096));
    const int x = static_cast<int16_t>(in.Take<uint16_t>()), y = static_cast<int16_t>(in.Take<uint16_t>());
    const int px = PickXAt(x, width), py = PickYAt(y, height);
    if (px < 0 || px > 255 || py < 0 || py > 255) std::abort();
    const int mx = MarkerXFor(px, width), my = MarkerYFor(py, height);
    if (mx < 0 || mx > width || my < 0 || my > height) std::abort();
    // Inside the field, a pick and its marker agree within one value step.
    if (x >= 0 && x < width && PickXAt(mx, width) > px + 1) std::abort();
    const int col = int(in.Below(width)), row = int(in.Below(height));
    SpectrumPixel(col, row, width, height);
    return 0;
}
