#include "colorize/Tint.h"

#include "colorize/TintKernel.h"

TintGuide PrepareTint(GuideColor guide) {
    const double yc = (guide.green * 0.587 + guide.red * 0.299) + guide.blue * 0.114;
    TintGuide t;
    t.dR = guide.red - yc;
    t.dB = guide.blue - yc;
    t.k = (t.dR * 0.299 + t.dB * 0.114) * 1.7035775127768313;
    return t;
}

void TintRow(const uint32_t* source, uint32_t* destination, int count, const TintGuide& t) {
    if (count > 0) ActiveTintKernel()(source, destination, count, PrepareTintKernel(t));
}

void ColorizeRegion(const void* source, void* destination, const FilterRect& rect, int stride,
                    ProgressSink& sink, GuideColor guide) {
    TintKernelParams t = PrepareTintKernel(PrepareTint(guide));
    const TintRowKernel tintRow = ActiveTintKernel();
    if (rect.top >= rect.bottom) return;

    const int64_t height = int64_t(rect.bottom) - rect.top;
    const int64_t span = int64_t(rect.right) - rect.left;
    const int width = span > 0 ? static_cast<int>(span) : 0;
    // A large result would only push the source out of the caches.
    t.stream = source != destination && height * width * 4 >= kTintStreamBytes;
    const int64_t first = int64_t(rect.top) * stride + rect.left;
    const uint32_t* src = static_cast<const uint32_t*>(source) + first;
    uint32_t* dst = static_cast<uint32_t*>(destination) + first;

    for (int64_t i = 0; i < height; ++i, src += stride, dst += stride) {
        if (width > 0) tintRow(src, dst, width, t);
        const int p = static_cast<int>(i * 100 / height);
        if (p != sink.lastPercent && sink.callback) {
            sink.lastPercent = p;
            sink.callback(p, 100, sink.userData);
        }
    }
}
