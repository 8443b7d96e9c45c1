#include "host/session/ClientInfo.h"

#include <cstring>

namespace {
// Constant-initialised, so the answer holds even where this executable is
// only mapped as a library and its start-up code never ran.
uint8_t drawColor[4] = {0, 0, 0, 0};
int drawColorQueries = 0;
}  // namespace

int DrawColorQueries() { return drawColorQueries; }

void SetDrawColor(uint8_t red, uint8_t green, uint8_t blue) {
    drawColor[0] = blue;
    drawColor[1] = green;
    drawColor[2] = red;
    drawColor[3] = 0;
}

extern "C" int WINAPI PBF_QueryClientInfo(int code, void* out) {
    // The plug-in passes a 4-byte buffer: blue, green, red and one spare.
    if (code != kQueryDrawColor || !out) return 0;
    ++drawColorQueries;
    std::memcpy(out, drawColor, sizeof drawColor);
    return 1;
}
