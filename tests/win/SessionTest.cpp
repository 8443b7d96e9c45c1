// A long host session in one process: set-up with the dialog (values
// typed, the colour field clicked, OK or Cancel), then a run, hundreds of
// times over. Every run must tint with the position of the last OK, and the
// process must not grow: GDI and USER objects and memory stay flat.
// --cycles=N sets the number of cycles (default 500).
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/common/TestImage.h"
#include "tests/win/HostAnswer.h"
#include "tests/win/PluginLibrary.h"
#include "tests/win/SessionGauge.h"
#include "tests/win/SetupDriver.h"
#include "tests/win/TempFolder.h"

namespace {

int cycles = 500;

const int kWidth = 64;
const int kHeight = 48;

int WINAPI CountProgress(int done, int, void* userData) {
    ++*static_cast<int*>(userData);
    return done;
}

// The figures are measured at these cycles; the first one is the baseline,
// taken once the session has warmed up.
std::vector<int> Checkpoints(int n) {
    if (n >= 500) return {50, 100, 250, n};
    return {n / 10 > 0 ? n / 10 : 1, n / 5 > 0 ? n / 5 : 1, n / 2 > 0 ? n / 2 : 1, n};
}

TEST(LongSession, SetupAndRunCycles) {
    TempFolder folder;
    PluginLibrary plugin(folder.CopyPlugin());
    ASSERT_TRUE(plugin.Loaded()) << folder.Path();
    const std::string ini = folder.Path() + "\\qvfilters.ini";
    HWND host = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW, 0, 0, 320, 240, nullptr, nullptr,
                                nullptr, nullptr);
    ASSERT_TRUE(host);
    const unsigned char hostColour[4] = {40, 160, 220, 0};
    std::memcpy(TheHostAnswer().bytes, hostColour, 4);

    TestImage picture(kWidth, kHeight);
    picture.FillRandom({0, 0, kWidth, kHeight}, 0xC0FFEE);
    const Region region = {3, 2, 61, 45};

    ReferenceGuide expected = {255, 0, 0};  // no settings file: X 0, Y 255
    int expectX = 0, expectY = 255;
    int dialogs = 0, oks = 0, failures = 0;
    const std::vector<int> checkpoints = Checkpoints(cycles);
    std::vector<SessionFigures> figures;
    const auto started = std::chrono::steady_clock::now();

    for (int cycle = 1; cycle <= cycles && failures < 5; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        const int failed = ::testing::Test::HasFailure();
        SetupScript script;
        script.x = (cycle * 37) % 256;
        script.y = (cycle * 91) % 256;
        if (cycle % 2) script.clickPerMille = {(cycle * 131) % 1000, (cycle * 257) % 1000};
        script.togglePreview = cycle % 5 == 0;
        script.ok = cycle % 3 != 0;
        const SetupOutcome outcome = RunSetupScripted(plugin, host, picture.Data(), kWidth, kHeight, script);
        EXPECT_FALSE(outcome.watchdog);
        if (outcome.dialogSeen) {
            ++dialogs;
            EXPECT_EQ(script.ok ? 1 : 0, outcome.result);
            if (script.clickPerMille.x < 0) {
                EXPECT_EQ(script.x, outcome.shownX);
                EXPECT_EQ(script.y, outcome.shownY);
            }
            if (script.ok) {
                ++oks;
                int r = -1, g = -1, b = -1;
                EXPECT_TRUE(ParseGuideLabel(outcome.label, &r, &g, &b)) << outcome.label;
                expected = {static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b)};
                expectX = outcome.shownX;
                expectY = outcome.shownY;
            }
            EXPECT_EQ(expectX, static_cast<int>(GetPrivateProfileIntA("HueTint", "x", -1, ini.c_str())));
            EXPECT_EQ(expectY, static_cast<int>(GetPrivateProfileIntA("HueTint", "y", -1, ini.c_str())));
        } else {
            EXPECT_EQ(1, outcome.result) << "no dialog, yet set-up did not return 1";
        }

        TestImage image = picture;
        Region rect = region;
        int calls = 0;
        EXPECT_EQ(100, plugin.Execute(0, image.Data(), image.Data(), &rect, kWidth, CountProgress, &calls));
        EXPECT_EQ(44, calls) << "progress calls for 43 rows";
        EXPECT_EQ("", image.Compare(picture, picture, region, expected))
            << "guide " << int(expected.red) << "," << int(expected.green) << "," << int(expected.blue);
        if (cycle % 10 == 0) {
            TestImage drawn = picture;
            Region all = region;
            plugin.Execute(1, drawn.Data(), drawn.Data(), &all, kWidth, nullptr, nullptr);
            EXPECT_EQ("", drawn.Compare(picture, picture, region, {220, 160, 40})) << "drawing colour";
        }
        failures += !failed && ::testing::Test::HasFailure();

        for (int at : checkpoints) {
            if (cycle != at) continue;
            figures.push_back(SessionFigures::Measure());
            std::printf("%s\n", figures.back().Line(cycle).c_str());
            std::fflush(stdout);
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("%d cycles, %d with the dialog (%d OK), in %.1f s, %.1f ms per cycle\n", cycles, dialogs, oks,
                seconds, 1000 * seconds / cycles);
    DestroyWindow(host);
    ASSERT_EQ(checkpoints.size(), figures.size()) << "the session stopped early";

    const SessionFigures& first = figures.front();
    const SessionFigures& last = figures.back();
    // A handful of slots of slack: the system's own caches come and go.
    EXPECT_LE(last.gdiHighIndex - first.gdiHighIndex, 8) << "GDI objects leak";
    EXPECT_LE(last.userHighIndex - first.userHighIndex, 16) << "USER objects leak";
    EXPECT_EQ(first.threadWindows, last.threadWindows) << "windows left behind";
    if (first.gdiObjects > 0) {
        EXPECT_LE(last.gdiObjects - first.gdiObjects, 2) << "GetGuiResources GDI";
    }
    if (first.userObjects > 0) {
        EXPECT_LE(last.userObjects - first.userObjects, 2) << "GetGuiResources USER";
    }
    if (first.rssAnonKiB >= 0) {
        EXPECT_LT(last.rssAnonKiB - first.rssAnonKiB, 1024) << "anonymous memory grows";
    }
    EXPECT_LT(last.privateCommitKiB - first.privateCommitKiB, 1024) << "committed private memory grows";
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--cycles=", 9) == 0) cycles = std::atoi(argv[i] + 9);
    if (cycles < 1) cycles = 1;
    if (!RegisterHostControls()) {
        std::fprintf(stderr, "InitCommonControlsEx failed\n");
        return 2;
    }
    return RUN_ALL_TESTS();
}
