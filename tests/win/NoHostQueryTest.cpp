// "Colorize by Drawcolor" in a host without PBF_QueryClientInfo: the colour
// buffer stays zeroed, so every pixel becomes the grey of its own luma, the
// same on every run whatever was on the stack before.
#include <windows.h>

#include <gtest/gtest.h>

#include "host/session/PluginLibrary.h"
#include "tests/common/TestImage.h"
#include "tests/win/TempFolder.h"

namespace {

// Leaves bytes in the stack below the caller, where the plug-in's frames will
// lie. Neighbouring bytes differ, so a colour read from there is not grey.
__attribute__((noinline)) void SoilStack(unsigned char value) {
    volatile unsigned char junk[32768];
    for (size_t i = 0; i < sizeof junk; ++i) junk[i] = static_cast<unsigned char>(value + i * 85 + (i >> 2) * 7);
}

typedef int(WINAPI* ExecuteProc)(int, int, void*, void*, int, Region*, int, int, int, ProgressCallback, void*);

// Runs filter 1 on soiled stack, shifted down by shift bytes, so that the
// plug-in's frames fall on different bytes of the soil each time.
// userData varies too: it reaches registers the plug-in saves on the stack.
__attribute__((noinline)) void RunOnSoil(ExecuteProc execute, void* pixels, Region* rect, int stride,
                                         unsigned char soil, size_t shift, void* userData) {
    volatile unsigned char* gap = static_cast<unsigned char*>(__builtin_alloca(shift + 16));
    gap[0] = 0;
    SoilStack(soil);
    execute(1, 0, pixels, pixels, 0, rect, 0, stride, 0, nullptr, userData);
}

TEST(NoHostQuery, TheExecutableHasNoQuery) {
    EXPECT_EQ(nullptr, GetProcAddress(GetModuleHandleA(nullptr), "PBF_QueryClientInfo"));
}

TEST(NoHostQuery, EveryPixelBecomesItsLumaGrey) {
    PluginLibrary plugin(WidePath(BuiltPluginPath()));
    // Looked up first: nothing may run between soiling the stack and the call.
    const ExecuteProc execute = reinterpret_cast<ExecuteProc>(reinterpret_cast<void*>(GetProcAddress(plugin.Module(), "PBF_Execute")));
    ASSERT_TRUE(execute);
    const Region region = {2, 1, 30, 20};
    TestImage source(33, 22);
    source.FillCanary();
    source.FillRandom(region, 2024);
    source.At(2, 1) = 0x116496C8;  // luma 140.75
    const uintptr_t userData[] = {0, uintptr_t(0x5A3C96F012345678ull), ~uintptr_t(0), 0xC3};
    int run = 0;
    for (unsigned char soil : {0x00, 0xFF, 0x3C}) {
        for (size_t shift = 0; shift < 256; shift += 16, ++run) {
            TestImage image = source;
            Region rect = region;
            RunOnSoil(execute, image.Data(), &rect, image.stride, static_cast<unsigned char>(soil + run), shift,
                      reinterpret_cast<void*>(userData[run % 4]));
            EXPECT_EQ(0x118C8C8Cu, image.At(2, 1)) << std::hex << image.At(2, 1);
            EXPECT_EQ("", image.Compare(source, source, region, {0, 0, 0}))
                << "stack soiled with " << int(soil) << ", shifted by " << shift;
        }
    }
}

}  // namespace
