// "Colorize by Drawcolor" in a host that exports PBF_QueryClientInfo.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "host/session/PluginLibrary.h"
#include "tests/common/TestImage.h"
#include "tests/win/HostAnswer.h"
#include "tests/win/TempFolder.h"

extern "C" int WINAPI PBF_QueryClientInfo(int code, void* out);

namespace {

class HostQueryTest : public ::testing::Test {
protected:
    HostQueryTest() : plugin(WidePath(BuiltPluginPath())) {}
    void SetUp() override { TheHostAnswer() = HostAnswer(); }

    // Runs filter index over one row of pixels in place; returns the result.
    std::vector<uint32_t> RunRow(int index, std::vector<uint32_t> pixels) {
        Region rect = {0, 0, static_cast<int>(pixels.size()), 1};
        plugin.Execute(index, pixels.data(), pixels.data(), &rect, rect.right, nullptr, nullptr);
        return pixels;
    }

    PluginLibrary plugin;
};

TEST_F(HostQueryTest, TheExecutableExportsTheQuery) {
    EXPECT_EQ(reinterpret_cast<void*>(PBF_QueryClientInfo),
              reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(nullptr), "PBF_QueryClientInfo")));
}

// The host's colour is blue, green, red in its first three bytes.
TEST_F(HostQueryTest, ExactPixelsForHostColours) {
    const struct {
        unsigned char bytes[4];
        uint32_t in;
        uint32_t out;
    } cases[] = {
        // Red: the values worked out by hand for this guide.
        {{0, 0, 255, 0}, 0xFFFFFFFF, 0xFFFFB2B2},
        {{0, 0, 255, 0}, 0xFF000000, 0xFFB20000},
        {{0, 0, 255, 0}, 0x7F6496C8, 0x7FFF4040},
        // Blue, and the fourth byte is ignored.
        {{255, 0, 0, 0}, 0x00808080, 0x006262FF},
        {{255, 0, 0, 0xEE}, 0x00808080, 0x006262FF},
        // Black and white: the grey of the pixel's luma, 140.75 here.
        {{0, 0, 0, 0}, 0x116496C8, 0x118C8C8C},
        {{255, 255, 255, 255}, 0x226496C8, 0x228C8C8C},
    };
    for (const auto& c : cases) {
        std::memcpy(TheHostAnswer().bytes, c.bytes, 4);
        const uint32_t got = RunRow(1, {c.in})[0];
        EXPECT_EQ(c.out, got) << std::hex << "host bytes " << int(c.bytes[0]) << "," << int(c.bytes[1]) << ","
                              << int(c.bytes[2]) << "," << int(c.bytes[3]) << " pixel " << c.in;
    }
}

TEST_F(HostQueryTest, AskedOnceWithCode1PerRun) {
    std::vector<uint32_t> row(5, 0xFF336699);
    RunRow(1, row);
    EXPECT_EQ(std::vector<int>{1}, TheHostAnswer().codes);
    RunRow(1, row);
    RunRow(1, row);
    EXPECT_EQ((std::vector<int>{1, 1, 1}), TheHostAnswer().codes) << "asked afresh on every run";
}

TEST_F(HostQueryTest, NotAskedByTheOtherCalls) {
    std::vector<uint32_t> row(5, 0xFF336699);
    RunRow(0, row);
    RunRow(2, row);
    RunRow(-1, row);
    EXPECT_EQ(1, plugin.Setup(1, nullptr, row.data(), 5, 1));
    char name[64], category[64];
    plugin.RawNames(1, category, 64, name, 64);
    EXPECT_TRUE(TheHostAnswer().codes.empty()) << TheHostAnswer().codes.size() << " calls";
}

// The host's result is not examined: its bytes count whatever it returns.
TEST_F(HostQueryTest, ResultIsNotExamined) {
    const unsigned char blue[4] = {255, 0, 0, 0};
    for (int result : {0, -1, 1, 12345}) {
        std::memcpy(TheHostAnswer().bytes, blue, 4);
        TheHostAnswer().result = result;
        EXPECT_EQ(0x006262FFu, RunRow(1, {0x00808080})[0]) << "host result " << result;
    }
}

// A host that answers without writing leaves the zeroed buffer: black.
TEST_F(HostQueryTest, HostThatWritesNothingGivesTheLumaGrey) {
    TheHostAnswer().writes = false;
    EXPECT_EQ(0x118C8C8Cu, RunRow(1, {0x116496C8})[0]);
}

}  // namespace
