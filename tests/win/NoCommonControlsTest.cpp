// A host that never registered the up-down and trackbar classes: the
// Colorize dialog cannot be created, and set-up returns 0 at once, without a
// message and without a fault. This program links no common-controls library.
#include <windows.h>

#include <gtest/gtest.h>

#include "host/session/GuardedMemory.h"
#include "host/session/PluginLibrary.h"
#include "tests/common/TestImage.h"
#include "tests/win/DialogDriver.h"
#include "tests/win/TempFolder.h"

namespace {

TEST(NoCommonControls, SetupSaysNo) {
    WNDCLASSEXA info = {};
    info.cbSize = sizeof info;
    if (GetClassInfoExA(nullptr, "msctls_updown32", &info) || GetClassInfoExA(nullptr, "msctls_trackbar32", &info))
        GTEST_SKIP() << "the up-down or trackbar class is registered here without InitCommonControlsEx";
    TempFolder folder;
    PluginLibrary plugin(WidePath(folder.CopyPlugin()));
    GuardedPixels image(64, 16);
    for (int i = 0; i < 3; ++i) {
        const ScriptedSetup outcome = RunSetupScripted(plugin, nullptr, image.Data(), 64, 16, SetupScript());
        if (outcome.result == 1 && !outcome.dialogSeen) GTEST_SKIP() << "filter 0 of this build opens no dialog";
        EXPECT_EQ(0, outcome.result);
        EXPECT_FALSE(outcome.dialogSeen) << "a window was shown (a message?)";
        EXPECT_FALSE(outcome.watchdog);
    }
    // The settings file is not touched, and runs still work.
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((folder.Path() + "\\qvfilters.ini").c_str()));
    Region rect = {0, 0, 64, 16};
    EXPECT_EQ(0, plugin.Execute(0, image.Data(), image.Data(), &rect, 64, nullptr, nullptr));
}

}  // namespace
