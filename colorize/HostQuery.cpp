#include "colorize/HostQuery.h"

#include <windows.h>

#include "plugin/FloatState.h"

namespace {
typedef int(WINAPI* QueryClientInfoProc)(int code, void* out);
}

int QueryHostDrawColor(int code, void* out) {
    // The running executable itself, with a reference of our own, rather than
    // its path: an ANSI path of a folder named outside the code page names no
    // file or another program's, and a long one does not fit.
    HMODULE host = nullptr;
    if (!GetModuleHandleExW(0, nullptr, &host) || !host) return 0;
    int result = 0;
    if (auto query = reinterpret_cast<QueryClientInfoProc>(
            reinterpret_cast<void*>(GetProcAddress(host, "PBF_QueryClientInfo")))) {
        HostFloatState hostState;
        result = query(code, out);
    }
    FreeLibrary(host);
    return result;
}
