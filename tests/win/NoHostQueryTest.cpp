// "Colorize by Drawcolor" in a host without PBF_QueryClientInfo: the colour
// buffer stays zeroed, so every pixel becomes the grey of its own luma, the
// same on every run whatever was on the stack before.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/common/TestImage.h"
#include "tests/win/PluginLibrary.h"

namespace {

// Leaves the given byte in the stack below the caller, where the plug-in's
// frames will lie.
__attribute__((noinline)) void SoilStack(unsigned char value) {
    volatile unsigned char junk[32768];
    for (size_t i = 0; i < sizeof junk; ++i) junk[i] = value;
}

TEST(NoHostQuery, TheExecutableHasNoQuery) {
    EXPECT_EQ(nullptr, GetProcAddress(GetModuleHandleA(nullptr), "PBF_QueryClientInfo"));
}

TEST(NoHostQuery, EveryPixelBecomesItsLumaGrey) {
    PluginLibrary plugin(BuiltPluginPath());
    ASSERT_TRUE(plugin.Loaded());
    const Region region = {2, 1, 30, 20};
    TestImage source(33, 22);
    source.FillCanary();
    source.FillRandom(region, 2024);
    source.At(2, 1) = 0x116496C8;  // luma 140.75
    for (unsigned char soil : {0x00, 0xFF, 0x80, 0x3C, 0xFF}) {
        TestImage image = source;
        Region rect = region;
        SoilStack(soil);
        plugin.Execute(1, image.Data(), image.Data(), &rect, image.stride, nullptr, nullptr);
        EXPECT_EQ(0x118C8C8Cu, image.At(2, 1)) << std::hex << image.At(2, 1);
        EXPECT_EQ("", image.Compare(source, source, region, {0, 0, 0})) << "stack soiled with " << int(soil);
    }
}

}  // namespace
