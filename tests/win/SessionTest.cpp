// A long host session in one process: set-up with the dialog (values
// typed, the colour field clicked, OK or Cancel), then a run, hundreds of
// times over. Every run must tint with the position of the last OK, and the
// process must not grow: GDI and USER objects and memory stay flat.
//
// The figures are taken every 7 cycles (the drag path's period), or a
// multiple of 7 in a long session. Growth that goes on shows in most of
// those intervals; a step (the system filling a cache once) in one or two.
// So a gauge's steady growth is the median of its growth per interval.
//
// Wine itself commits a little memory for each top-level window it has ever
// made, so the same number of dialogs from the same template, run by the
// system alone, is measured first in the same process as the baseline.
//
// --cycles=N sets the number of cycles (default 500). --self-check leaks on
// purpose at the smallest rates the session must catch (8 pens, 3 windows
// and a 64 KiB buffer on each drag, 5 KiB of heap on each OK) and expects
// every gauge to show it, so a gauge that stopped working cannot pass
// unnoticed.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/common/TestImage.h"
#include "tests/win/HostAnswer.h"
#include "host/session/PluginLibrary.h"
#include "tests/win/SessionGauge.h"
#include "tests/win/HostControls.h"
#include "tests/win/DialogDriver.h"
#include "tests/win/TempFolder.h"

namespace {

int cycles = 500;
bool selfCheck = false;

const int kWidth = 64;
const int kHeight = 48;

int WINAPI CountProgress(int done, int, void* userData) {
    ++*static_cast<int*>(userData);
    return done;
}

// The figures are measured at these cycles; the first one, after a warm-up
// interval, is the reference.
std::vector<int> Checkpoints(int n) {
    const int interval = 7 * std::max(1, n / 140);
    std::vector<int> at;
    for (int c = interval; c <= n; c += interval) at.push_back(c);
    if (at.empty()) at.push_back(n);
    return at;
}

// The most a gauge may grow per interval, steadily.
constexpr int kObjectsPerInterval = 2;
constexpr long long kKiBPerInterval = 8;
constexpr long long kHeapBytesPerInterval = 2048;

// The median of a figure's growth per interval: a step in fewer than half
// of the intervals does not move it.
template <typename T>
long long SteadyGrowth(const std::vector<SessionFigures>& figures, T SessionFigures::*figure) {
    std::vector<long long> growth;
    for (size_t i = 1; i < figures.size(); ++i) growth.push_back(figures[i].*figure - figures[i - 1].*figure);
    if (growth.empty()) return 0;
    std::sort(growth.begin(), growth.end());
    return growth[(growth.size() - 1) / 2];
}

// Failed assertions so far; a session stops after a few failing cycles.
int FailureParts() {
    return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
}

// The user's moves in cycle n.
SetupScript ScriptFor(int n) {
    SetupScript script;
    script.x = (n * 37) % 256;
    script.y = (n * 91) % 256;
    if (n % 2) script.clickPerMille = {(n * 131) % 1000, (n * 257) % 1000};
    script.togglePreview = n % 5 == 0;
    script.dragPreview = n % 7 == 0;
    script.ok = n % 3 != 0;
    return script;
}

struct Session {
    std::vector<SessionFigures> figures;
    double seconds = 0;
};

// Runs cycle(1..n), measuring at the checkpoints; stops after 5 failing cycles.
Session RunSession(const char* what, const std::function<void(int)>& cycle) {
    Session session;
    const std::vector<int> checkpoints = Checkpoints(cycles);
    const auto started = std::chrono::steady_clock::now();
    int failing = 0;
    for (int n = 1; n <= cycles && failing < 5; ++n) {
        SCOPED_TRACE(std::string(what) + ", cycle " + std::to_string(n));
        const int before = FailureParts();
        cycle(n);
        failing += FailureParts() != before;
        for (int at : checkpoints) {
            if (n != at) continue;
            session.figures.push_back(SessionFigures::Measure());
            std::printf("%-9s %s\n", what, session.figures.back().Line(n).c_str());
            std::fflush(stdout);
        }
    }
    session.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("%-9s %d cycles in %.1f s, %.1f ms per cycle\n", what, cycles, session.seconds,
                1000 * session.seconds / cycles);
    EXPECT_EQ(checkpoints.size(), session.figures.size()) << what << ": the session stopped early";
    return session;
}

// The system's dialog manager alone, with the plug-in's own template.
INT_PTR CALLBACK PlainDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(hwnd, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

std::vector<char*> leakedOnPurpose;

void LeakOnPurpose(const SetupScript& script) {
    if (script.dragPreview) {
        for (int i = 0; i < 8; ++i) CreatePen(PS_SOLID, 1, RGB(9, 9, i));
        for (int i = 0; i < 3; ++i)
            CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        const SIZE_T buffer = 64 * 1024;
        void* pixels = VirtualAlloc(nullptr, buffer, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        if (pixels) std::memset(pixels, 1, buffer);
    }
    if (script.ok) {
        leakedOnPurpose.push_back(new char[5 * 1024]);
        std::memset(leakedOnPurpose.back(), 1, 5 * 1024);
    }
}

TEST(LongSession, SetupAndRunCycles) {
    TempFolder folder;
    PluginLibrary plugin(WidePath(folder.CopyPlugin()));
    // The plug-in's copy lies in a folder of this process's own.
    const std::string folderName = folder.Path().substr(folder.Path().find_last_of('\\') + 1);
    std::printf("Unix process %d\n", SessionFigures::FindUnixProcess(folderName));
    const std::string ini = folder.Path() + "\\qvfilters.ini";
    HWND host = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW, 0, 0, 320, 240, nullptr, nullptr,
                                nullptr, nullptr);
    ASSERT_TRUE(host);
    const unsigned char hostColour[4] = {40, 160, 220, 0};
    std::memcpy(TheHostAnswer().bytes, hostColour, 4);

    TestImage picture(kWidth, kHeight);
    picture.FillRandom({0, 0, kWidth, kHeight}, 0xC0FFEE);
    const Region region = {3, 2, 61, 45};

    const Session baseline = RunSession("baseline", [&](int n) {
        const ScriptedSetup outcome = RunScripted(
            [&] {
                return static_cast<int>(
                    DialogBoxParamA(plugin.Module(), MAKEINTRESOURCEA(114), host, PlainDialogProc, 0));
            },
            ScriptFor(n));
        EXPECT_TRUE(outcome.dialogSeen);
        EXPECT_FALSE(outcome.watchdog);
    });

    ReferenceGuide expected = {255, 0, 0};  // no settings file: X 0, Y 255
    int expectX = 0, expectY = 255;
    int dialogs = 0, oks = 0;
    const Session session = RunSession("plug-in", [&](int n) {
        const SetupScript script = ScriptFor(n);
        const ScriptedSetup outcome = RunSetupScripted(plugin, host, picture.Data(), kWidth, kHeight, script);
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
            << "guide " << int(expected.red) << "," << int(expected.green) << "," << int(expected.blue)
            << " from the label of the last OK";
        if (n % 10 == 0) {
            TestImage drawn = picture;
            Region all = region;
            plugin.Execute(1, drawn.Data(), drawn.Data(), &all, kWidth, nullptr, nullptr);
            EXPECT_EQ("", drawn.Compare(picture, picture, region, {220, 160, 40})) << "drawing colour";
        }
        if (selfCheck) LeakOnPurpose(script);
    });
    std::printf("plug-in   %d set-ups showed the dialog, %d ended with OK\n", dialogs, oks);
    DestroyWindow(host);
    ASSERT_FALSE(baseline.figures.empty());
    ASSERT_FALSE(session.figures.empty());

    const SessionFigures& first = session.figures.front();
    const SessionFigures& last = session.figures.back();
    const long long gdi = SteadyGrowth(session.figures, &SessionFigures::gdiHighIndex);
    const long long user = SteadyGrowth(session.figures, &SessionFigures::userHighIndex);
    const long long rssAnon = SteadyGrowth(session.figures, &SessionFigures::rssAnonKiB);
    const long long heap = SteadyGrowth(session.figures, &SessionFigures::heapBusyBytes) -
                           SteadyGrowth(baseline.figures, &SessionFigures::heapBusyBytes);
    const long long commit = SteadyGrowth(session.figures, &SessionFigures::privateCommitKiB) -
                             SteadyGrowth(baseline.figures, &SessionFigures::privateCommitKiB);
    std::printf("steady growth per %d cycles: GDI %lld, USER %lld, RssAnon %lld KiB; beyond the baseline's: heap "
                "%lld bytes, private commit %lld KiB; thread windows %d to %d\n",
                Checkpoints(cycles).front(), gdi, user, rssAnon, heap, commit, first.threadWindows, last.threadWindows);

    if (selfCheck) {
        // Each gauge must fail the checks below.
        EXPECT_GT(gdi, kObjectsPerInterval) << "the GDI gauge misses 8 pens per drag";
        EXPECT_GT(user, kObjectsPerInterval) << "the USER gauge misses 3 windows per drag";
        EXPECT_GT(last.threadWindows, first.threadWindows) << "the window count misses leaked windows";
        EXPECT_GT(heap, kHeapBytesPerInterval) << "the heap walk misses 5 KiB per OK";
        EXPECT_GT(rssAnon, kKiBPerInterval) << "RssAnon misses a 64 KiB buffer per drag";
        EXPECT_GT(commit, kKiBPerInterval) << "the commit walk misses a 64 KiB buffer per drag";
        return;
    }
    EXPECT_LE(gdi, kObjectsPerInterval) << "GDI objects leak";
    EXPECT_LE(user, kObjectsPerInterval) << "USER objects leak";
    EXPECT_EQ(first.threadWindows, last.threadWindows) << "windows left behind";
    if (first.gdiObjects > 0) {
        EXPECT_LE(last.gdiObjects - first.gdiObjects, 2) << "GetGuiResources GDI";
    }
    if (first.userObjects > 0) {
        EXPECT_LE(last.userObjects - first.userObjects, 2) << "GetGuiResources USER";
    }
    if (first.rssAnonKiB >= 0) {
        EXPECT_LE(rssAnon, kKiBPerInterval) << "anonymous memory grows";
    }
    EXPECT_LE(heap, kHeapBytesPerInterval) << "the heaps grow";
    EXPECT_LE(commit, kKiBPerInterval) << "committed private memory grows beyond what the same windows cost Wine";
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--cycles=", 9) == 0) cycles = std::atoi(argv[i] + 9);
        if (std::strcmp(argv[i], "--self-check") == 0) selfCheck = true;
    }
    if (cycles < 1) cycles = 1;
    if (!RegisterHostControls()) {
        std::fprintf(stderr, "InitCommonControlsEx failed\n");
        return 2;
    }
    return RUN_ALL_TESTS();
}
