#include <windows.h>

#include "plugin/FilterModule.h"

// The static FilterModule is built before this runs and destroyed, with the
// filters it owns, after process detach.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) return FilterModule::Get().Init(instance);
    return TRUE;
}
