// PBF_Setup for the filter without a dialog, and for indexes outside the
// list: an answer at once and no window.
#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "host/session/PluginLibrary.h"
#include "tests/win/TempFolder.h"

namespace {

int windowsCreated = 0;

LRESULT CALLBACK CountCreations(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) ++windowsCreated;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST(Setup, AnswersWithoutAWindow) {
    PluginLibrary plugin(WidePath(BuiltPluginPath()));
    HWND parent = CreateWindowExA(0, "STATIC", "host", WS_POPUP, 0, 0, 80, 60, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(parent);
    std::vector<uint32_t> pixels(16 * 8, 0xFF808080);

    HHOOK hook = SetWindowsHookExA(WH_CBT, CountCreations, nullptr, GetCurrentThreadId());
    ASSERT_TRUE(hook);
    const struct {
        int index;
        int result;
    } cases[] = {{1, 1}, {2, 0}, {5, 0}, {-1, 0}, {INT_MIN, 0}};
    for (const auto& c : cases) {
        windowsCreated = 0;
        EXPECT_EQ(c.result, plugin.Setup(c.index, parent, pixels.data(), 16, 8)) << "index " << c.index;
        EXPECT_EQ(c.result, plugin.Setup(c.index, nullptr, nullptr, 0, 0)) << "index " << c.index << ", no image";
        EXPECT_EQ(0, windowsCreated) << "index " << c.index;
    }
    UnhookWindowsHookEx(hook);
    DestroyWindow(parent);
}

}  // namespace
