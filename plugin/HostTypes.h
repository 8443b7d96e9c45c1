// The shapes the host and the plug-in share. No windows.h here: the colour
// maths includes this and builds natively too.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define PPI_CALLBACK __stdcall
#else
#define PPI_CALLBACK
#endif

// Right and bottom are exclusive; all four are signed.
struct FilterRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// done is 0..100, total always 100. The host's result is not examined, except
// that PBF_Execute hands back the one of its closing call.
typedef int(PPI_CALLBACK* ProgressCallback)(int done, int total, void* userData);

// Lives on PBF_Execute's stack for one call.
struct ProgressSink {
    void* userData;
    ProgressCallback callback;
    int32_t lastPercent;
};
