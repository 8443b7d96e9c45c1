// The plug-in as a host sees it: a module loaded by path and its five
// exports, looked up by plain name.
#pragma once

#include <windows.h>

#include <string>

#include "tests/common/TestImage.h"
#include "tests/win/TempFolder.h"

typedef int(WINAPI* HostProgress)(int done, int total, void* userData);

class PluginLibrary {
public:
    explicit PluginLibrary(const std::string& path);
    // For paths outside the ANSI code page, or "\\?\" paths past MAX_PATH.
    explicit PluginLibrary(const std::wstring& path);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    bool Loaded() const { return module != nullptr; }
    HMODULE Module() const { return module; }
    FARPROC Proc(const char* name) const;

    WORD GetPluginInfo(char* buffer, int length) const;
    int FilterCount() const;
    char* GetName(int index, char* category, int categoryLength, char* name, int nameLength) const;
    // The four arguments the plug-in passes through unread get odd values.
    int Execute(int index, void* source, void* destination, Region* rect, int stride, HostProgress callback,
                void* userData) const;
    int Setup(int index, HWND parent, void* pixels, int width, int height) const;

private:
    HMODULE module;
};
