#include "colorize/TintKernel.h"

#include "colorize/Tint.h"

namespace {

// 1000 times an offset, when the double is that within far less than the
// 0.001 that separates the candidates; else false. 32-bit conversions only:
// on 32 bits a 64-bit one would take the x87 unit.
bool Thousandths(double offset, int64_t& n) {
    const double scaled = offset * 1000.0;
    if (!(scaled > -1e9 && scaled < 1e9)) return false;
    const int rounded = static_cast<int>(scaled < 0 ? scaled - 0.5 : scaled + 0.5);
    const double error = scaled - rounded;
    if (!(error > -1e-6 && error < 1e-6)) return false;
    n = rounded;
    return true;
}

int64_t FloorMod1000(int64_t n) { return ((n % 1000) + 1000) % 1000; }

// Bytes per channel (blue, green, red) of values already within 0..255.
uint32_t ChannelBytes(int64_t b, int64_t g, int64_t r) {
    return uint32_t(b) | uint32_t(g) << 8 | uint32_t(r) << 16;
}

int64_t Plus(int64_t m) { return m <= 0 ? 0 : (m > 255 ? 255 : m); }
int64_t Minus(int64_t m) { return Plus(-m); }

// What the double formula takes off the fixed point's channels of each
// grey, when that is 0 or 1 everywhere (see TintKernelParams::greys).
void PrepareGreys(TintKernelParams& p) {
    const TintGuide t = {p.dR, p.dB, p.k};
    for (int v = 0; v < 256; ++v) {
        const uint32_t literal = TintWord(uint32_t(v) * 0x010101u, t);
        for (int c = 0; c < 3; ++c) {
            // As the kernels saturate: the positive part of m, then the negative.
            const int raised = v + int(p.plus >> 8 * c & 0xFF);
            const int lowered = (raised > 255 ? 255 : raised) - int(p.minus >> 8 * c & 0xFF);
            const int drop = (lowered < 0 ? 0 : lowered) - int(literal >> 8 * c & 0xFF);
            if (drop != 0 && drop != 1) return;
            p.greyDrops[v / 8] |= uint32_t(drop) << (8 * c + v % 8);
        }
    }
    p.greys = true;
}

}  // namespace

TintKernelParams PrepareTintKernel(const TintGuide& t) {
    TintKernelParams p = {};
    p.dR = t.dR;
    p.dB = t.dB;
    p.k = t.k;
    int64_t nR, nB, nG;
    if (!Thousandths(t.dR, nR) || !Thousandths(t.dB, nB) || !Thousandths(-t.k, nG)) return p;
    const int64_t s = FloorMod1000(nR);
    if (FloorMod1000(nB) != s || FloorMod1000(nG) != s) return p;
    const int64_t mR = (nR - s) / 1000, mB = (nB - s) / 1000, mG = (nG - s) / 1000;
    p.s = int32_t(s);
    p.plus = ChannelBytes(Plus(mB), Plus(mG), Plus(mR));
    p.minus = ChannelBytes(Minus(mB), Minus(mG), Minus(mR));
    p.shortcut = true;
    if (s == 0) PrepareGreys(p);
    return p;
}

void TintRowLiteral(const uint32_t* source, uint32_t* destination, int count, const TintKernelParams& p) {
    const TintGuide t = {p.dR, p.dB, p.k};
    for (int i = 0; i < count; ++i) destination[i] = TintWord(source[i], t);
}
