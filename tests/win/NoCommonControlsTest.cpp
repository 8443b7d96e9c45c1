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
    // Wine registers the common controls on a first lookup by loading
    // comctl32, which registers them all once: unregistered then, they stay so.
    for (const char* name : {"msctls_updown32", "msctls_trackbar32"}) {
        WNDCLASSEXA info = {};
        info.cbSize = sizeof info;
        if (GetClassInfoExA(nullptr, name, &info)) UnregisterClassA(name, info.hInstance);
        ASSERT_FALSE(GetClassInfoExA(nullptr, name, &info)) << name << " is still registered";
    }
    TempFolder folder;
    PluginLibrary plugin(WidePath(folder.CopyPlugin()));
    GuardedPixels image(64, 16);
    for (int i = 0; i < 3; ++i) {
        const ScriptedSetup outcome = RunSetupScripted(plugin, nullptr, image.Data(), 64, 16, SetupScript());
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
