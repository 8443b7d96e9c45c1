// The UI tests link the plug-in's code and run its dialogs from the shipped
// qvhuetint.ppi beside them, as the host would: the templates and cursors
// come from the plug-in module, the common controls from this process.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>

#include "plugin/FilterModule.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_UPDOWN_CLASS | ICC_BAR_CLASSES};
    if (!InitCommonControlsEx(&controls)) {
        std::fprintf(stderr, "InitCommonControlsEx failed\n");
        return 2;
    }
    HMODULE plugin = LoadLibraryA("qvhuetint.ppi");
    if (!plugin || !FilterModule::Get().Init(plugin)) {
        std::fprintf(stderr, "cannot load qvhuetint.ppi (error %lu)\n", GetLastError());
        return 2;
    }
    return RUN_ALL_TESTS();
}
