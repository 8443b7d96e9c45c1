// Both filters over random images whose rows are wider than the region,
// checked pixel by pixel against the formula, with everything outside the
// region left alone; separate buffers and in place.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/session/PluginLibrary.h"
#include "tests/common/EveryColour.h"
#include "tests/common/TestImage.h"
#include "tests/win/HostAnswer.h"
#include "tests/win/TempFolder.h"

namespace {

const int kStride = 67;
const int kRows = 41;

const Region kRegions[] = {
    {5, 3, 50, 38},          // inside, margins all round
    {0, 0, kStride, kRows},  // the whole buffer
    {66, 0, 67, 41},         // last column
    {0, 40, 67, 41},         // last row
    {13, 7, 14, 8},          // one pixel
    {1, 2, 60, 3},
};

// Runs the filter over each region, in place and into a separate buffer.
void CheckRegions(const PluginLibrary& plugin, int index, ReferenceGuide guide, const std::string& what) {
    uint32_t seed = 1;
    for (const Region& region : kRegions) {
        const std::string where = what + ", region " + std::to_string(region.left) + "," +
                                  std::to_string(region.top) + "," + std::to_string(region.right) + "," +
                                  std::to_string(region.bottom);
        TestImage source(kStride, kRows);
        source.FillCanary();
        source.FillRandom(region, ++seed);

        TestImage inPlace = source;
        Region rect = region;
        plugin.Execute(index, inPlace.Data(), inPlace.Data(), &rect, kStride, nullptr, nullptr);
        EXPECT_EQ("", inPlace.Compare(source, source, region, guide)) << where << ", in place";

        TestImage destination(kStride, kRows);
        destination.FillRandom({0, 0, kStride, kRows}, ~seed);
        const TestImage destinationBefore = destination;
        const TestImage sourceBefore = source;
        plugin.Execute(index, source.Data(), destination.Data(), &rect, kStride, nullptr, nullptr);
        EXPECT_EQ("", destination.Compare(source, destinationBefore, region, guide)) << where << ", separate";
        EXPECT_EQ("", source.Compare(sourceBefore, sourceBefore, {0, 0, 0, 0}, guide))
            << where << ": the source was written";
    }
}

struct PositionCase {
    int x;
    int y;
    ReferenceGuide guide;
};

TEST(TintImage, ColorizeWithStoredPositions) {
    const PositionCase cases[] = {
        {0, 255, {255, 0, 0}},     {0, 0, {255, 255, 255}},  {64, 128, {191, 255, 127}}, {128, 255, {0, 255, 255}},
        {170, 255, {0, 4, 255}},   {200, 100, {223, 155, 255}}, {255, 255, {255, 0, 6}},
    };
    for (const PositionCase& c : cases) {
        TempFolder folder;
        const std::string pluginPath = folder.CopyPlugin();
        ASSERT_FALSE(pluginPath.empty());
        const std::string ini = folder.Path() + "\\qvfilters.ini";
        WritePrivateProfileStringA("HueTint", "x", std::to_string(c.x).c_str(), ini.c_str());
        WritePrivateProfileStringA("HueTint", "y", std::to_string(c.y).c_str(), ini.c_str());
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini.c_str());
        PluginLibrary plugin(WidePath(pluginPath));
        CheckRegions(plugin, 0, c.guide, "x " + std::to_string(c.x) + " y " + std::to_string(c.y));
    }
}

TEST(TintImage, DrawColorWithHostColours) {
    const ReferenceGuide colours[] = {
        {255, 0, 0}, {0, 0, 255}, {0, 255, 0}, {0, 0, 0}, {255, 255, 255}, {99, 200, 12}, {1, 254, 128}, {77, 77, 77},
    };
    PluginLibrary plugin(WidePath(BuiltPluginPath()));
    for (const ReferenceGuide& c : colours) {
        HostAnswer& answer = TheHostAnswer();
        answer = HostAnswer();
        const unsigned char bytes[4] = {c.blue, c.green, c.red, 0x5A};
        std::memcpy(answer.bytes, bytes, 4);
        CheckRegions(plugin, 1, c,
                     "host colour " + std::to_string(c.red) + "," + std::to_string(c.green) + "," +
                         std::to_string(c.blue));
    }
}

// Every colour through the export, for the guide colours that the kernel
// tests force each kernel with: the bytes of the literal loop, which a test of
// each build pins, so both builds give the same bytes.
TEST(TintImage, DrawColorOverEveryColour) {
    PluginLibrary plugin(WidePath(BuiltPluginPath()));
    const std::vector<uint32_t>& source = AllColours();
    std::vector<uint32_t> expected, destination(source.size());
    for (const GuideColor guide : ExhaustiveGuides()) {
        SCOPED_TRACE(Describe(guide));
        HostAnswer& answer = TheHostAnswer();
        answer = HostAnswer();
        const unsigned char bytes[4] = {guide.blue, guide.green, guide.red, 0};
        std::memcpy(answer.bytes, bytes, 4);
        Literal(source, guide, expected);
        std::fill(destination.begin(), destination.end(), kCanary);
        Region all = {0, 0, kSide, kSide};
        plugin.Execute(1, const_cast<uint32_t*>(source.data()), destination.data(), &all, kSide, nullptr, nullptr);
        EXPECT_TRUE(SamePixels(expected, destination, source));
    }
}

}  // namespace
