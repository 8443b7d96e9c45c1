// Random rectangles, strides and guide colours inside one buffer, separate or
// in place, against the literal formula; everything outside the region stays.
#include <cstdlib>
#include <vector>

#include "colorize/Tint.h"
#include "fuzz/FuzzInput.h"
#include "tests/common/ReferenceTint.h"

namespace {

int PPI_CALLBACK Count(int done, int total, void* user) {
    int& last = *static_cast<int*>(user);
    if (total != 100 || done <= last || done > 99) std::abort();
    last = done;
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const int stride = 1 + in.Below(70);
    const int rows = 1 + in.Below(40);
    // Any rectangle inside the buffer, including empty and inverted ones.
    const int left = in.Below(stride + 1), right = in.Below(stride + 1);
    const int top = in.Below(rows + 1), bottom = in.Below(rows + 1);
    const GuideColor guide = {in.Take<uint8_t>(), in.Take<uint8_t>(), in.Take<uint8_t>()};
    const bool inPlace = in.Take<uint8_t>() & 1;

    std::vector<uint32_t> source(size_t(stride) * rows);
    for (uint32_t& p : source) p = in.Take<uint32_t>();
    std::vector<uint32_t> destination(source.size(), 0xA5A5A5A5u);
    uint32_t* out = inPlace ? source.data() : destination.data();
    const std::vector<uint32_t> original = source, before(out, out + source.size());

    int last = 0;
    ProgressSink sink = {&last, &Count, 0};
    ColorizeRegion(source.data(), out, {left, top, right, bottom}, stride, sink, guide);

    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < stride; ++x) {
            const size_t i = size_t(y) * stride + x;
            const bool inside = x >= left && x < right && y >= top && y < bottom;
            if (out[i] != (inside ? ReferenceTint(original[i], {guide.red, guide.green, guide.blue}) : before[i])) std::abort();
        }
    return 0;
}
