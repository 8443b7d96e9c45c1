#include "colorize/HostQuery.h"

#include <windows.h>

namespace {
typedef int(WINAPI* QueryClientInfoProc)(int code, void* out);
}

int QueryHostDrawColor(int code, void* out) {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 0;
    // The executable is already mapped: this only adds a reference to it.
    HMODULE host = LoadLibraryA(path);
    if (!host) return 0;
    int result = 0;
    if (auto query = reinterpret_cast<QueryClientInfoProc>(
            reinterpret_cast<void*>(GetProcAddress(host, "PBF_QueryClientInfo"))))
        result = query(code, out);
    FreeLibrary(host);
    return result;
}
